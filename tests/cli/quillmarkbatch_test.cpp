// quillmark-batch run as a user runs it: a separate process with its own environment, on
// pictures the tests write.

#include "cli/jsonlog.h"
#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/avifencoder.h"
#include "imagelib/exiforientation.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/outputfile.h"
#include "imagelib/pngencoder.h"
#include "imagelib/webpencoder.h"
#include "job/configrecord.h"
#include "job/jobfixtures.h"
#include "job/stampsettings.h"

#include "cameraexif.h"
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

namespace {

constexpr uint32_t kGrey = 0xFF808080;
constexpr uint32_t kRed = 0xFFFF0000;

struct CRunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with the arguments in an environment whose settings store and home lie
// in home, which is also its working folder. whileRunning, if given, is called with the
// process id and the output file. Standard input holds input; standard output goes to
// stdoutTo when given. inChild, if given, runs in the new process just before the program
// starts (limits, privileges).
CRunResult RunBatch(const CTempFolder& home, std::vector<std::string> args,
                    const std::function<void(pid_t, const std::string&)>& whileRunning = {},
                    const std::string& input = {}, const std::string& stdoutTo = {},
                    const std::function<void()>& inChild = {}) {
    const std::string inPath = home / "stdin.txt";
    const std::string outPath = stdoutTo.empty() ? home / "stdout.txt" : stdoutTo;
    const std::string errPath = home / "stderr.txt";
    WriteBytes(inPath, input);
    std::vector<std::string> env = {"HOME=" + home / "", "XDG_CONFIG_HOME=" + home / "config",
                                    "PATH=/usr/bin:/bin"};
    args.insert(args.begin(), QM_BATCH_EXE);
    std::vector<char*> argv, envp;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string workdir = home.Folder();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(inPath.c_str(), O_RDONLY);
        ::dup2(in, 0);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (::chdir(workdir.c_str()) != 0)
            ::_exit(126);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        // As a shell leaves them: a test runner's own choices do not reach the program.
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        if (inChild)
            inChild();
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (whileRunning)
        whileRunning(pid, outPath);
    CRunResult result;
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = stdoutTo.empty() ? ReadBytes(outPath) : std::string();
    result.err = ReadBytes(errPath);
    return result;
}

class QuillmarkBatch : public testing::Test {
protected:
    QuillmarkBatch() {
        WriteBmp(stampPath, 4, 2, kRed);
        std::filesystem::create_directory(out);
    }

    // The common start: defaults, the test's stamp and output folder, BMP output.
    std::vector<std::string> Args(std::vector<std::string> more) {
        std::vector<std::string> args = {"--defaults", "-s", stampPath, "-o", out, "-f", "bmp"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    uint32_t OutputPixel(const std::string& name, int x, int y) {
        CStampBitmap result;
        CAutoDetectDecoder().DecodeFile(out + "/" + name, result, 32);
        return result.GetPixel32(x, y) & 0xFFFFFF;
    }

    CTempFolder home;
    CTempFolder pictures;
    std::string stampPath = home / "stamp.bmp";
    std::string out = home / "out";
};

TEST_F(QuillmarkBatch, StampsFilesAndFoldersInOrder) {
    WriteBmp(pictures / "b.bmp", 20, 10, kGrey);
    WriteBmp(pictures / "a.BMP", 20, 10, kGrey);
    WriteBmp(home / "single.bmp", 8, 8, kGrey);

    const CRunResult r = RunBatch(home, Args({"--align", "right,bottom", "--offset", "-1,-2",
                                              home / "single.bmp", pictures / ""}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK: " + out + "/single.bmp created \n" + "OK: " + out + "/a.bmp created \n" +
                         "OK: " + out + "/b.bmp created \n");
    EXPECT_EQ(r.err, "3 created, 0 skipped, 0 failed\n");
    // Several files at once: the same lines in the same order, the same files.
    const std::string serialOutput = ReadBytes(out + "/b.bmp");
    const CRunResult parallel =
        RunBatch(home, Args({"--align", "right,bottom", "--offset", "-1,-2", "--overwrite", "-j",
                             "3", home / "single.bmp", pictures / ""}));
    EXPECT_EQ(parallel.status, 0) << parallel.err;
    EXPECT_EQ(parallel.out, r.out);
    EXPECT_EQ(ReadBytes(out + "/b.bmp"), serialOutput);
    // Right and bottom aligned, then moved 1 left and 2 up: columns 15..18, rows 6..7.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(OutputPixel("a.bmp", x, y),
                      (x >= 15 && x <= 18 && y >= 6 && y <= 7 ? kRed : kGrey) & 0xFFFFFF)
                << x << "," << y;
}

TEST_F(QuillmarkBatch, AnyFailedOrSkippedFileGivesStatusOne) {
    WriteBmp(pictures / "a.bmp", 5, 5, kGrey);
    WriteBytes(pictures / "bad.bmp", "not a picture");
    WriteBytes(out + "/a.bmp", "old");

    CRunResult r = RunBatch(home, Args({pictures / "a.bmp"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ERR: " + out + "/a.bmp allready existing \n");
    EXPECT_EQ(ReadBytes(out + "/a.bmp"), "old");

    r = RunBatch(home, Args({"--overwrite", pictures / "a.bmp", pictures / "bad.bmp"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "OK: " + out + "/a.bmp created \nERR: " + pictures / "bad.bmp" +
                         " : Decoder error: Unknown file type.\n");
}

TEST_F(QuillmarkBatch, SetupProblemsGiveStatusTwoAndOneLine) {
    WriteBmp(pictures / "a.bmp", 5, 5, kGrey);
    WriteBytes(home / "short.qmc", "too short");
    const std::string in = pictures / "a.bmp";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--frobnicate", in}, "quillmark-batch: unknown option --frobnicate\n"},
        {{"--defaults", "-q", "101", in}, "quillmark-batch: --quality: 101 is out of range"},
        {{"--defaults", "-s", stampPath}, "quillmark-batch: no input pictures given\n"},
        {{"--defaults", "-s", stampPath, "-o", home / "nowhere", in},
         "quillmark-batch: output folder '" + home / "nowhere/' does not exist\n"},
        {{"--defaults", "-o", out, in}, "quillmark-batch: no stamp picture"},
        {{"--defaults", "-s", stampPath, "-o", "", in},
         "quillmark-batch: --output: the folder must not be empty\n"},
        {{"--defaults", "-s", stampPath, "--output=", in},
         "quillmark-batch: --output: the folder must not be empty\n"},
        {{"--defaults", "-o", out, "-s", in + ".missing", in},
         "quillmark-batch: cannot read stamp picture '" + in + ".missing': Decoder error: "},
        {{"-c", home / "short.qmc", "-s", stampPath, "-o", out, in},
         "quillmark-batch: cannot read configuration file '" + home / "short.qmc" +
             "' (not a quillmark configuration file)\n"},
        {{"-c", home / "missing.qmc", "-s", stampPath, "-o", out, in},
         "quillmark-batch: cannot read configuration file '" + home / "missing.qmc" +
             "': No such file or directory\n"},
        {{"--defaults", "-o", out, "-s", pictures / "", in},
         "quillmark-batch: cannot read stamp picture '" + pictures / "" +
             "': Decoder error: Opening " + pictures / "" + " failed: Is a directory\n"},
        {{"--defaults", "-rz", in}, "quillmark-batch: unknown option -z\n"},
    };
    for (const Case& c : cases) {
        const CRunResult r = RunBatch(home, c.args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(out));
}

// The temporaries in a folder: what a run must never leave behind.
std::vector<std::string> Temporaries(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (COutputFile::IsTemporaryName(entry.path().filename().string()))
            found.push_back(entry.path().filename().string());
    return found;
}

// Waits until the output shows text, or a while.
void WaitForOutput(const std::string& outPath, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ReadBytes(outPath).find(text) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// Stops the process while it holds a temporary in folder (the file it is writing), one
// that is not among others; false when it ended first.
bool StopWhileWriting(pid_t pid, const std::string& folder,
                      const std::vector<std::string>& others = {}) {
    // Held: its writer has it locked (a moment after creating it).
    const auto writing = [&] {
        for (const std::string& name : Temporaries(folder)) {
            if (std::find(others.begin(), others.end(), name) != others.end())
                continue;
            const int fd = ::open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            if (fd >= 0)
                ::close(fd);
            if (locked)
                return true;
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (writing()) {
            ::kill(pid, SIGSTOP);
            if (writing())
                return true;
            ::kill(pid, SIGCONT);
        }
        if (::waitpid(pid, nullptr, WNOHANG | WNOWAIT | WEXITED) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

// Interrupt, termination and hang-up stop the run between two files: the files in progress
// finish, "canceled" ends the log (and the jsonl record of the run says so), nothing is
// left half written, and the status is 1. A second signal ends the program at once, still
// without leaving a temporary.
TEST_F(QuillmarkBatch, TerminationSignalsStopBetweenTwoFiles) {
    // One larger picture under many names: every file takes a while, so the signal
    // arrives long before the last one.
    WriteBmp(pictures / "big.bmp", 1200, 1000, kGrey);
    std::vector<std::string> inputs;
    for (int i = 0; i < 60; ++i) {
        inputs.push_back(pictures / ("big" + std::to_string(i) + ".bmp"));
        std::filesystem::create_symlink(pictures / "big.bmp", inputs.back());
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const bool jsonl : {false, true}) {
            for (const bool twice : {false, true}) {
                SCOPED_TRACE(std::to_string(signal) + (jsonl ? " jsonl" : "") +
                             (twice ? " twice" : ""));
                std::vector<std::string> args =
                    Args({"--overwrite", "-j", "2", "--log-format", jsonl ? "jsonl" : "text"});
                args.insert(args.end(), inputs.begin(), inputs.end());
                const CRunResult r =
                    RunBatch(home, args, [&](pid_t pid, const std::string& outPath) {
                        WaitForOutput(outPath, jsonl ? "\"ok\"" : "OK: ");
                        ::kill(pid, signal);
                        if (twice) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(5));
                            ::kill(pid, signal);
                        }
                    });
                EXPECT_EQ(Temporaries(out), std::vector<std::string>());
                EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 60);
                if (twice) {
                    // At once, unless the run had wound up before the second one came.
                    EXPECT_TRUE(r.status == 128 + signal || r.status == 1) << r.status;
                    continue;
                }
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(r.out.find("ERR"), std::string::npos);
                EXPECT_EQ(r.out.find("\"status\":\"error\""), std::string::npos);
                ASSERT_GE(r.out.size(), 9u);
                if (jsonl)
                    EXPECT_NE(
                        r.out.substr(r.out.rfind('\n', r.out.size() - 2)).find("\"canceled\":true"),
                        std::string::npos)
                        << r.out;
                else
                    EXPECT_EQ(r.out.substr(r.out.size() - 9), "canceled\n");
            }
        }
    }
}

// Nothing the program writes can kill it: a reader that closes the pipe ends the run as a
// stop, and a file size limit fails the file that outgrows it with its reason.
TEST_F(QuillmarkBatch, AClosedOutputOrAFileSizeLimitDoNotKillTheRun) {
    WriteBmp(pictures / "big.bmp", 1200, 1000, kGrey);
    std::vector<std::string> args = Args({"--overwrite", "-j", "1"});
    for (int i = 0; i < 40; ++i) {
        args.push_back(pictures / ("big" + std::to_string(i) + ".bmp"));
        std::filesystem::create_symlink(pictures / "big.bmp", args.back());
    }
    // A reader that has gone before the first line: that line's write fails, so the run
    // stops after its first file.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[0]);
    const CRunResult closed = RunBatch(
        home, args, [&](pid_t, const std::string&) { ::close(pipeFds[1]); }, {}, {},
        [&] { ::dup2(pipeFds[1], 1); });
    EXPECT_EQ(closed.status, 1) << "128 + 13 is a death by SIGPIPE";
    EXPECT_NE(closed.err.find("cannot write to standard output: Broken pipe"), std::string::npos)
        << closed.err;
    EXPECT_EQ(Temporaries(out), std::vector<std::string>());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out),
                            std::filesystem::directory_iterator()),
              1);

    // 1200 x 1000 at 24 bits is 3.6 MB, over the limit; 20 x 20 is not.
    WriteBmp(pictures / "small.bmp", 20, 20, kGrey);
    const CRunResult limited = RunBatch(
        home, Args({"--overwrite", pictures / "small.bmp", pictures / "big.bmp"}), {}, {}, {}, [] {
            const rlimit limit{1000000, 1000000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.out, "OK: " + out + "/small.bmp created \nERR: " + pictures / "big.bmp" +
                               " : Writing " + out + "/big.bmp failed: File too large\n");
    EXPECT_EQ(Temporaries(out), std::vector<std::string>());
}

// A run killed outright (kill -9, a power cut) leaves its temporary; the next run into that
// folder removes it, but never the temporary of a run that is still writing.
TEST_F(QuillmarkBatch, TemporariesOfKilledRunsGoWithTheNextRunAndLiveOnesStay) {
    WriteBmp(pictures / "big.bmp", 1200, 1000, kGrey);
    WriteBmp(pictures / "small.bmp", 20, 20, kGrey);
    std::vector<std::string> args = Args({"-j", "1"});
    for (int i = 0; i < 20; ++i) {
        args.push_back(pictures / ("big" + std::to_string(i) + ".bmp"));
        std::filesystem::create_symlink(pictures / "big.bmp", args.back());
    }
    std::vector<std::string> killedTemporaries;
    const CRunResult killed = RunBatch(home, args, [&](pid_t pid, const std::string&) {
        EXPECT_TRUE(StopWhileWriting(pid, out));
        killedTemporaries = Temporaries(out);
        ::kill(pid, SIGKILL);
    });
    EXPECT_EQ(killed.status, 128 + SIGKILL);
    ASSERT_EQ(Temporaries(out), killedTemporaries);
    ASSERT_EQ(killedTemporaries.size(), 1u);

    // The next run, caught writing, has removed it; meanwhile a third one runs into the
    // same folder.
    CTempFolder otherHome;
    const CRunResult live = RunBatch(otherHome, args, [&](pid_t pid, const std::string&) {
        EXPECT_TRUE(StopWhileWriting(pid, out, killedTemporaries));
        const std::vector<std::string> liveTemporaries = Temporaries(out);
        EXPECT_EQ(liveTemporaries.size(), 1u);
        EXPECT_NE(liveTemporaries, killedTemporaries);
        const CRunResult third = RunBatch(home, Args({pictures / "small.bmp"}));
        EXPECT_EQ(third.status, 0) << third.out;
        EXPECT_EQ(Temporaries(out), liveTemporaries);
        ::kill(pid, SIGCONT);
        ::kill(pid, SIGTERM);
    });
    EXPECT_EQ(live.status, 1) << live.out;
    EXPECT_NE(live.out.find(" created \ncanceled\n"), std::string::npos) << live.out;
    EXPECT_EQ(live.out.find("ERR"), std::string::npos) << live.out;
    EXPECT_EQ(Temporaries(out), std::vector<std::string>());
}

// Two runs into one folder at once, without overwrite: every name is written by one of
// them, the other one reports it as existing, and each output is the one whose run said
// "created".
TEST_F(QuillmarkBatch, TwoRunsAtOnceNeverReplaceEachOthersOutputs) {
    const std::string blueStamp = home / "blue.bmp";
    WriteBmp(blueStamp, 4, 2, 0xFF0000FF);
    std::vector<std::string> names;
    for (int i = 0; i < 16; ++i) {
        names.push_back("p" + std::to_string(i));
        WriteBmp(pictures / (names.back() + ".bmp"), 400 + 8 * i, 300, kGrey);
    }
    const std::vector<std::string> red = Args({"-j", "1", "--align", "left,top", pictures / ""});
    std::vector<std::string> blue = red;
    blue[2] = blueStamp;
    CTempFolder otherHome;
    CRunResult second;
    const CRunResult first =
        RunBatch(home, red, [&](pid_t, const std::string&) { second = RunBatch(otherHome, blue); });
    EXPECT_EQ(Temporaries(out), std::vector<std::string>());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string created = "OK: " + out + "/" + name + ".bmp created \n";
        const std::string existing = "ERR: " + out + "/" + name + ".bmp allready existing \n";
        const bool byFirst = first.out.find(created) != std::string::npos;
        const bool bySecond = second.out.find(created) != std::string::npos;
        EXPECT_NE(byFirst, bySecond) << "created by both or by neither";
        EXPECT_NE((byFirst ? second : first).out.find(existing), std::string::npos);
        EXPECT_EQ(OutputPixel(name + ".bmp", 0, 0), byFirst ? kRed & 0xFFFFFF : 0x0000FFu);
    }
}

TEST_F(QuillmarkBatch, StoredSettingsAreReadButNeverWritten) {
    WriteBmp(pictures / "a.bmp", 6, 6, kGrey);
    std::filesystem::create_directories(home / "config/quillmark");
    const std::string store = home / "config/quillmark/quillmark.conf";
    const std::string stored = "[General]\noutputdir=" + out + "/\npathstamp=" + stampPath +
                               "\noutputtype=1\nhalign=0\nvalign=0\n";
    WriteBytes(store, stored);

    const CRunResult r = RunBatch(home, {pictures / "a.bmp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK: " + out + "/a.bmp created \n");
    EXPECT_EQ(OutputPixel("a.bmp", 0, 0), kRed & 0xFFFFFF); // top left, from the store
    EXPECT_EQ(ReadBytes(store), stored);

    // Without a store nothing is created either.
    std::filesystem::remove_all(home / "config");
    RunBatch(home, {"-s", stampPath, "-o", out, "--overwrite", pictures / "a.bmp"});
    EXPECT_FALSE(std::filesystem::exists(home / "config"));
}

TEST_F(QuillmarkBatch, SavedConfigurationStartsTheNextRun) {
    const std::string config = home / "run.qmc";
    CRunResult r = RunBatch(
        home, Args({"-q", "55", "--align", "left,top", "--offset", "3,4", "--size", "30%width",
                    "--no-orientation", "--lossless", "--save-config", config}));
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string bytes = ReadBytes(config);
    ASSERT_GT(bytes.size(), kConfigRecordSize); // the record, then the extension
    EXPECT_EQ(uint8_t(bytes[ConfigOffset::jpgquality]), 55);
    EXPECT_EQ(uint8_t(bytes[ConfigOffset::offsetx]), 3);
    EXPECT_EQ(bytes.substr(ConfigOffset::outputdir, out.size() + 2), out + "/" + '\0');
    CStampSettings saved;
    EXPECT_NE(saved.ImportSettings(config), 0);
    EXPECT_EQ(saved.sizemode, kSizePercentOfWidth);
    EXPECT_EQ(saved.sizepercent, 30);
    EXPECT_FALSE(saved.followexif);
    EXPECT_TRUE(saved.losslessjpeg);

    WriteBmp(pictures / "a.bmp", 10, 10, kGrey);
    r = RunBatch(home, {"-c", config, "--size", "original", pictures / "a.bmp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(OutputPixel("a.bmp", 3, 4), kRed & 0xFFFFFF);
    EXPECT_EQ(OutputPixel("a.bmp", 2, 4), kGrey & 0xFFFFFF);
}

// A folder without its trailing separator, as files and stores written elsewhere hold it,
// still receives the outputs; and what --defaults saves reads back without repairs.
TEST_F(QuillmarkBatch, OutputFolderOfEverySourceIsJoinedAsAPath) {
    WriteBmp(pictures / "a.bmp", 6, 6, kGrey);
    CStampSettingsValues values;
    values.ValidateSettings();
    values.outputdir = out;
    values.pathstamp = stampPath;
    values.outputtype = 1;
    const CConfigRecord record = EncodeConfigRecord(values);
    WriteBytes(home / "bare.qmc", std::string(record.begin(), record.end()));
    std::filesystem::create_directories(home / "config/quillmark");
    WriteBytes(home / "config/quillmark/quillmark.conf",
               "[General]\noutputdir=" + out + "\npathstamp=" + stampPath + "\noutputtype=1\n");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-c", home / "bare.qmc", "--overwrite", pictures / "a.bmp"},
          std::vector<std::string>{"--overwrite", pictures / "a.bmp"}}) {
        const CRunResult r = RunBatch(home, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "1 created, 0 skipped, 0 failed\n");
        EXPECT_EQ(r.out, "OK: " + out + "/a.bmp created \n");
    }
    EXPECT_FALSE(std::filesystem::exists(out + "a.bmp"));

    const std::string saved = home / "defaults.qmc";
    ASSERT_EQ(RunBatch(home, {"--defaults", "--save-config", saved}).status, 0);
    const CRunResult r = RunBatch(
        home, {"-c", saved, "-s", stampPath, "-o", out, "--overwrite", pictures / "a.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "1 created, 0 skipped, 0 failed\n");
}

TEST_F(QuillmarkBatch, OutputFormatsGiveTheirExtensionAndSignature) {
    WriteBmp(pictures / "Pic.BMP", 30, 20, kGrey);
    struct Case {
        const char* format;
        const char* name;
        std::string signature;
    };
    for (const Case& c : {Case{"jpg", "Pic.jpg", "\xFF\xD8\xFF"}, Case{"png", "Pic.png", "\x89PNG"},
                          Case{"bmp", "Pic.bmp", "BM"}, Case{"WebP", "Pic.webp", "RIFF"},
                          Case{"avif", "Pic.avif", std::string("\0\0\0", 3)}}) {
        const CRunResult r = RunBatch(home, Args({"-f", c.format, "-q", "90", pictures / ""}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "OK: " + out + "/" + c.name + " created \n");
        EXPECT_EQ(ReadBytes(out + "/" + c.name).substr(0, c.signature.size()), c.signature);
        // Read back: the stamp's red at the centre, the grey photo around it.
        const uint32_t centre = OutputPixel(c.name, 15, 10), corner = OutputPixel(c.name, 1, 1);
        EXPECT_GT(int(centre >> 16 & 0xFF), int(centre >> 8 & 0xFF) + 60) << c.format;
        EXPECT_NEAR(int(corner & 0xFF), 0x80, 8) << c.format;
    }
}

// The new input formats are found in folders by their extensions (any case) and read by
// their bytes; a turned photo written as AVIF with its headers comes out upright with its
// EXIF block saying so.
TEST_F(QuillmarkBatch, NewInputFormatsInFolders) {
    CStampBitmap photo;
    photo.Create(30, 20, 32, false);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            reinterpret_cast<uint32_t*>(photo.GetLines()[y])[x] = kGrey;
    photo.SetMarkers(MakeExifMarker(MinimalExifBlock(6)));
    CJpegEncoder jpeg;
    jpeg.EncodeFile(pictures / "Turned.jpg", photo);
    photo.FreeMarkers();
    CWebpEncoder webp;
    webp.EncodeFile(pictures / "a.WEBP", photo);
    CAvifEncoder avif;
    avif.EncodeFile(pictures / "b.avif", photo);
    WriteBytes(pictures / "c.tiff", "II*\0 not really a TIFF");
    WriteBytes(pictures / "notes.txt", "not a picture");

    const CRunResult r =
        RunBatch(home, Args({"-f", "avif", "--preserve-headers", "-j", "1", pictures / ""}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("TIFF"), std::string::npos) << "libtiff printed: " << r.err;
    const std::string tiffError = "ERR: " + pictures / "c.tiff" + " : Decoder error: TIFF: ";
    const std::string expected = "OK: " + out + "/Turned.avif created \nOK: " + out +
                                 "/a.avif created \nOK: " + out + "/b.avif created \n" + tiffError;
    EXPECT_EQ(r.out.rfind(expected, 0), 0u) << r.out;
    CStampBitmap turned;
    CAutoDetectDecoder().DecodeFile(out + "/Turned.avif", turned, 32);
    EXPECT_EQ(turned.GetWidth(), 20);
    EXPECT_EQ(turned.GetHeight(), 30);
    EXPECT_EQ(ExifOrientation(turned), 1);
    EXPECT_TRUE(FindExifMarker(turned.GetMarkers()));
}

TEST_F(QuillmarkBatch, FileListsTakePathsAsTheyAre) {
    const std::string odd[] = {pictures / "with space.bmp",
                               pictures / "gr\xC3\xB6\xC3\x9F"
                                          "e.bmp",
                               pictures / "line\nbreak.bmp"};
    for (const std::string& path : odd)
        WriteBmp(path, 6, 4, kGrey);
    WriteBmp(home / "named.bmp", 6, 4, kGrey);
    const std::string list = home / "list.txt";
    WriteBytes(list, odd[0] + "\n\n" + odd[1] + "\n");

    // A list file after the inputs named on the command line.
    CRunResult r = RunBatch(home, Args({"--files-from", list, home / "named.bmp"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK: " + out + "/named.bmp created \n" + "OK: " + out +
                         "/with space.bmp created \n" + "OK: " + out +
                         "/gr\xC3\xB6\xC3\x9F"
                         "e.bmp created \n");

    // NUL-separated on standard input, a line feed in a name included.
    r = RunBatch(home, Args({"--overwrite", "--files-from", "-", "-0"}), {},
                 odd[2] + '\0' + odd[0] + '\0');
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK: " + out + "/line\nbreak.bmp created \n" + "OK: " + out +
                         "/with space.bmp created \n");
    EXPECT_TRUE(std::filesystem::exists(out + "/line\nbreak.bmp"));

    // The same as JSON lines: a line feed in a name stays inside its string.
    r = RunBatch(home, Args({"--files-from", "-", "-0", "--log-format", "jsonl"}), {},
                 odd[2] + '\0' + pictures / "missing.bmp");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string lines[] = {
        "{\"input\":\"" + pictures / "line\\nbreak.bmp\",\"output\":\"" + out +
            "/line\\nbreak.bmp\",\"status\":\"skipped\",\"message\":\"\",\"milliseconds\":",
        "{\"input\":\"" + pictures / "missing.bmp\",\"output\":\"" + out +
            "/missing.bmp\",\"status\":\"error\",\"message\":\"Decoder error: Opening ",
        "{\"run\":\"end\",\"files\":2,\"ok\":0,\"skipped\":1,\"error\":1,\"canceled\":false,"
        "\"milliseconds\":"};
    size_t at = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(r.out.compare(at, line.size(), line), 0) << r.out;
        at = r.out.find('\n', at) + 1;
    }
    EXPECT_EQ(at, r.out.size()) << r.out;

    // An empty list is nothing to do; a list that cannot be read is a usage error.
    r = RunBatch(home, Args({"--files-from", "-", "--log-format", "jsonl"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"run\":\"end\",\"files\":0,\"ok\":0,\"skipped\":0,\"error\":0,"
                     "\"canceled\":false,\"milliseconds\":0}\n");
    r = RunBatch(home, Args({"--files-from", home / "nolist"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quillmark-batch: cannot read the file list '" + home / "nolist" +
                         "': No such file or directory\n");
}

TEST_F(QuillmarkBatch, RecursiveRunsKeepTheSubFoldersApart) {
    for (const char* sub : {"2023", "2024/may"})
        std::filesystem::create_directories(pictures / sub);
    WriteBmp(pictures / "top.bmp", 6, 4, kGrey);
    WriteBmp(pictures / "2023/photo.bmp", 6, 4, kGrey);
    WriteBmp(pictures / "2024/may/photo.bmp", 8, 4, kGrey);
    std::filesystem::create_directories(out + "/2023"); // one there already, one not

    const CRunResult r = RunBatch(home, Args({"--recursive", pictures / ""}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK: " + out + "/top.bmp created \n" + "OK: " + out +
                         "/2023/photo.bmp created \n" + "OK: " + out +
                         "/2024/may/photo.bmp created \n");
    EXPECT_EQ(OutputPixel("2024/may/photo.bmp", 7, 3), kGrey & 0xFFFFFF); // the wider one
    EXPECT_EQ(OutputPixel("2023/photo.bmp", 3, 2), kRed & 0xFFFFFF);

    // A file where a sub-folder must go fails that file alone.
    std::filesystem::remove_all(out + "/2024");
    WriteBytes(out + "/2024", "in the way");
    const CRunResult blocked = RunBatch(home, Args({"-r", "--overwrite", pictures / ""}));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.out.find("ERR: " + pictures / "2024/may/photo.bmp" + " : Creating folder " +
                               out + "/2024 failed\n"),
              std::string::npos)
        << blocked.out;
    EXPECT_NE(blocked.out.find("OK: " + out + "/2023/photo.bmp created"), std::string::npos);
}

TEST_F(QuillmarkBatch, HelpAndVersion) {
    CRunResult r = RunBatch(home, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: quillmark-batch [options] [--] INPUT...\n", 0), 0u);
    EXPECT_NE(r.out.find("--save-config FILE"), std::string::npos);
    EXPECT_NE(r.out.find("\n  --  "), std::string::npos); // the end of the options
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
    for (const char* version : {"--version", "-V"}) {
        r = RunBatch(home, {version});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("quillmark-batch ", 0), 0u);
    }
}

// What a text run tells besides its lines: a reason at the end of a failure, the summary on
// standard error, only the failures when quiet, and a dry run that writes nothing.
TEST_F(QuillmarkBatch, TextRunsReportWhatTheyDid) {
    WriteBmp(pictures / "a.bmp", 5, 5, kGrey);
    WriteBmp(pictures / "b.bmp", 5, 5, kGrey);
    const std::string missing = pictures / "missing.bmp";

    CRunResult r = RunBatch(home, Args({"--dry-run", "-f", "webp", pictures / "", missing}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, pictures / "a.bmp -> " + out + "/a.webp\n" + pictures / "b.bmp -> " + out +
                         "/b.webp\n" + missing + " -> " + out + "/missing.webp\n");
    EXPECT_TRUE(std::filesystem::is_empty(out));

    r = RunBatch(home, Args({pictures / "a.bmp", missing}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "OK: " + out + "/a.bmp created \nERR: " + missing +
                         " : Decoder error: Opening " + missing +
                         " failed: No such file or directory\n");
    EXPECT_EQ(r.err, "1 created, 0 skipped, 1 failed\n");

    // The existing output shows in the dry run as in the run that follows it.
    r = RunBatch(home, Args({"--dry-run", pictures / "a.bmp"}));
    EXPECT_EQ(r.out, pictures / "a.bmp -> " + out + "/a.bmp (exists: skipped)\n");
    // And so do the refusals: an input in the way, a name taken by an earlier input.
    r = RunBatch(home, Args({"--dry-run", "--overwrite", "-o", pictures / "", pictures / "a.bmp",
                             out + "/a.bmp"}));
    EXPECT_EQ(r.out, pictures / "a.bmp -> " + pictures / "a.bmp (refused: " +
                         pictures / "a.bmp would replace its input)\n" + out + "/a.bmp -> " +
                         pictures / "a.bmp (refused: " + pictures / "a.bmp would replace " +
                         pictures / "a.bmp, an input of this run)\n");
    std::filesystem::create_directories(pictures / "x");
    WriteBmp(pictures / "x/a.bmp", 5, 5, kGrey);
    r = RunBatch(home,
                 Args({"--dry-run", "-o", home / "", pictures / "a.bmp", pictures / "x/a.bmp"}));
    EXPECT_EQ(r.out, pictures / "a.bmp -> " + home / "a.bmp\n" + pictures / "x/a.bmp -> " +
                         home / "a.bmp (refused: an earlier file of this run has this name)\n");
    std::filesystem::remove_all(pictures / "x");
    r = RunBatch(home, Args({"--quiet", pictures / "", missing}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ERR: " + out + "/a.bmp allready existing \nERR: " + missing +
                         " : Decoder error: Opening " + missing +
                         " failed: No such file or directory\n");
    EXPECT_EQ(r.err, "1 created, 1 skipped, 1 failed\n");
    r = RunBatch(home, Args({"--quiet", "--overwrite", pictures / ""}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

// A log that cannot be written is a failed run, not a quiet one.
TEST_F(QuillmarkBatch, WriteErrorsOnStandardOutputFailTheRun) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    WriteBmp(pictures / "a.bmp", 5, 5, kGrey);
    const std::vector<std::string> cases[] = {
        {"--help"}, {"-V"}, Args({pictures / ""}), Args({"--log-format", "jsonl", pictures / ""})};
    for (const std::vector<std::string>& args : cases) {
        const CRunResult r = RunBatch(home, args, {}, {}, "/dev/full");
        EXPECT_NE(r.status, 0) << args.front();
        EXPECT_NE(r.err.find("quillmark-batch: cannot write to standard output: No space left on "
                             "device\n"),
                  std::string::npos)
            << r.err;
    }
    EXPECT_TRUE(std::filesystem::exists(out + "/a.bmp")); // the pictures themselves were made
}

TEST_F(QuillmarkBatch, SavedConfigurationHoldsAbsolutePaths) {
    // Relative to the working folder, which is home.
    std::filesystem::create_directory(home / "in");
    const CRunResult r = RunBatch(
        home, {"--defaults", "-s", "stamp.bmp", "-o", "./out/../out", "--save-config", "job.qmc"});
    ASSERT_EQ(r.status, 0) << r.err;
    CStampSettings saved;
    ASSERT_NE(saved.ImportSettings(home / "job.qmc"), 0);
    EXPECT_EQ(saved.pathstamp, stampPath);
    EXPECT_EQ(saved.outputdir, out + "/");
    EXPECT_EQ(saved.inputdir.front(), '/');
}

// The progress line as a terminal receives it: escape sequences only where the terminal
// takes them.
TEST_F(QuillmarkBatch, ProgressLineOnATerminal) {
    for (int i = 0; i < 3; ++i)
        WriteBmp(pictures / (std::to_string(i) + ".bmp"), 5, 5, kGrey);
    const std::string exe = QM_BATCH_EXE;
    auto onTerminal = [&](const std::string& term, const std::string& flag) {
        std::vector<std::string> args = {exe, "--overwrite", "-j", "1"};
        const std::vector<std::string> common = Args({pictures / ""});
        args.insert(args.end(), common.begin(), common.end());
        if (!flag.empty())
            args.push_back(flag);
        std::vector<std::string> env = {"HOME=" + home / "", "XDG_CONFIG_HOME=" + home / "config",
                                        "TERM=" + term};
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        std::string screen;
        char buffer[4096];
        for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;)
            screen.append(buffer, size_t(got));
        ::close(master);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
        return screen;
    };
    const std::string xterm = onTerminal("xterm", "");
    EXPECT_NE(xterm.find("\033[K"), std::string::npos) << xterm;
    EXPECT_NE(xterm.find("] 0/3 0.bmp"), std::string::npos) << xterm;
    const std::string dumb = onTerminal("dumb", "");
    EXPECT_EQ(dumb.find('\033'), std::string::npos) << dumb;
    EXPECT_NE(dumb.find("] 0/3 0.bmp"), std::string::npos) << dumb;
    const std::string off = onTerminal("xterm", "--no-progress");
    EXPECT_EQ(off.find('\033'), std::string::npos) << off;
    EXPECT_EQ(off.find("] 0/3"), std::string::npos) << off;
    EXPECT_NE(off.find("3 created, 0 skipped, 0 failed"), std::string::npos) << off;
}

} // namespace

namespace {
// A JPEG of noise, written at quality 60: a second encode at another quality would change
// every block.
void WriteNoisyJpeg(const std::string& path, int width, int height) {
    CMemoryBitmap picture;
    MakePicture(picture, width, height, 0);
    uint32_t seed = 3;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel32(picture, x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    CJpegEncoder encoder;
    encoder.SetQuality(60);
    encoder.EncodeFile(path, picture);
}
} // namespace

TEST_F(QuillmarkBatch, LosslessKeepsEveryBlockAwayFromTheStampOfJpegInputs) {
    WriteNoisyJpeg(pictures / "photo.jpg", 64, 48);
    WriteBmp(pictures / "plain.bmp", 20, 10, kGrey);
    for (const bool lossless : {true, false}) {
        SCOPED_TRACE(lossless ? "--lossless" : "--no-lossless");
        const CRunResult r =
            RunBatch(home, Args({"-f", "jpg", "-q", "95", "--overwrite", "--align", "left,top",
                                 lossless ? "--lossless" : "--no-lossless", pictures / ""}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out,
                  "OK: " + out + "/photo.jpg created \nOK: " + out + "/plain.jpg created \n");
        // The stamp covers 4 x 2 pixels of the first 16 x 16 MCU; the other MCUs keep the
        // input's pixels exactly only without a second encode.
        CStampBitmap before, after;
        CAutoDetectDecoder().DecodeFile(pictures / "photo.jpg", before, 32);
        CAutoDetectDecoder().DecodeFile(out + "/photo.jpg", after, 32);
        int same = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                if (x >= 16 || y >= 16)
                    same += before.GetPixel32(x, y) == after.GetPixel32(x, y);
        EXPECT_EQ(same == 64 * 48 - 16 * 16, lossless) << same;
        // A BMP takes the ordinary path into JPEG.
        CStampBitmap plain;
        CAutoDetectDecoder().DecodeFile(out + "/plain.jpg", plain, 32);
        EXPECT_EQ(plain.GetWidth(), 20);
    }
    // The lossless path shapes the stamp as the ordinary one does: at half the photo's
    // width it is 32 x 16 and reaches into the second MCU, which must then change.
    for (const bool lossless : {true, false}) {
        SCOPED_TRACE(lossless ? "--lossless --size" : "--no-lossless --size");
        const CRunResult r = RunBatch(
            home, Args({"-f", "jpg", "-q", "95", "--overwrite", "--align", "left,top", "--size",
                        "50%width", lossless ? "--lossless" : "--no-lossless", pictures / ""}));
        EXPECT_EQ(r.status, 0) << r.err;
        CStampBitmap before, after;
        CAutoDetectDecoder().DecodeFile(pictures / "photo.jpg", before, 32);
        CAutoDetectDecoder().DecodeFile(out + "/photo.jpg", after, 32);
        int changed = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 20; x < 32; ++x)
                changed += before.GetPixel32(x, y) != after.GetPixel32(x, y);
        EXPECT_GT(changed, 12 * 16 / 2);
    }
}

namespace {
// A GIF of screen width x height whose one image is the top-left pixel, index 1 of a two
// colour map, without the trailer byte when trailer is false.
std::string SmallGif(int width, int height, bool trailer) {
    std::string gif = "GIF89a";
    gif += char(width & 0xFF);
    gif += char(width >> 8);
    gif += char(height & 0xFF);
    gif += char(height >> 8);
    gif += std::string("\x80\x00\x00", 3);                // global map of 2, background 0
    gif += std::string("\x80\x80\x80\xFF\x00\x00", 6);    // grey, red
    gif += std::string("\x2C\0\0\0\0\x01\0\x01\0\0", 10); // 1 x 1 at 0, 0
    gif += std::string("\x02\x02\x4C\x01\x00", 5);        // code size 2: clear, 1, end of data
    if (trailer)
        gif += ';';
    return gif;
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

// Damaged inputs fail with their reason and leave nothing behind, complete ones are
// stamped whatever trails them, and a photo its stamp misses is not written unstamped: in
// each way a photo goes through (lossless JPEG or decoded), at one worker or several.
TEST_F(QuillmarkBatch, DamagedInputsAndMissedStampsFailAndWriteNothing) {
    WriteNoisyJpeg(pictures / "whole.jpg", 64, 48);
    const std::string jpeg = ReadBytes(pictures / "whole.jpg");
    WriteBytes(pictures / "cut.jpg", jpeg.substr(0, jpeg.size() * 2 / 3));
    WriteBytes(pictures / "noend.jpg", jpeg.substr(0, jpeg.size() - 2));
    WriteBytes(pictures / "notrailer.gif", SmallGif(40, 8, false));
    WriteBytes(pictures / "cutgif.gif", SmallGif(40, 8, true).substr(0, 31)); // in its picture
    WriteBmp(pictures / "narrow.bmp", 20, 8, kGrey); // the stamp at x 30 misses it
    WriteNoisyJpeg(pictures / "narrowjpeg.jpg", 24, 16);
    const std::string cut = "ERR: " + pictures / "cut.jpg" +
                            " : Decoder error: Premature end of "
                            "JPEG file\n";
    const std::string missed = " : the stamp lies outside the picture\n";
    for (const char* lossless : {"--lossless", "--no-lossless"})
        for (const char* jobs : {"1", "3"}) {
            SCOPED_TRACE(std::string(lossless) + " -j " + jobs);
            std::filesystem::remove_all(out);
            std::filesystem::create_directory(out);
            const CRunResult r =
                RunBatch(home, Args({"-f", "jpg", lossless, "-j", jobs, "--align", "left,top",
                                     "--offset", "30,0", pictures / ""}));
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "3 created, 0 skipped, 4 failed\n"); // no word of libjpeg's own
            EXPECT_EQ(r.out,
                      cut + "ERR: " + pictures / "cutgif.gif" +
                          " : End of file reached while decoding.\n" + "ERR: " +
                          pictures / "narrow.bmp" + missed + "ERR: " + pictures / "narrowjpeg.jpg" +
                          missed + "OK: " + out + "/noend.jpg created \n" + "OK: " + out +
                          "/notrailer.jpg created \n" + "OK: " + out + "/whole.jpg created \n");
            EXPECT_EQ(FolderNames(out),
                      (std::vector<std::string>{"noend.jpg", "notrailer.jpg", "whole.jpg"}));
        }
    CStampBitmap gif;
    CAutoDetectDecoder().DecodeFile(out + "/notrailer.jpg", gif, 32);
    EXPECT_EQ(gif.GetWidth(), 40);
}

// Under -r, a sub-folder that cannot be listed, or an entry whose path is too long for the
// system, gets its own line, and the run goes on with the rest.
TEST_F(QuillmarkBatch, RecursiveRunsReportWhatTheyCannotRead) {
    std::filesystem::create_directories(pictures / "a");
    std::filesystem::create_directories(pictures / "locked");
    WriteBmp(pictures / "a/photo.bmp", 6, 4, kGrey);
    WriteBmp(pictures / "locked/photo.bmp", 6, 4, kGrey);
    WriteBmp(pictures / "z.bmp", 6, 4, kGrey);
    // Folders nested past the longest path the system takes, made step by step.
    const std::string step(200, 'd');
    std::string deep = pictures / "deep";
    std::filesystem::create_directory(deep);
    int dir = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    int depth = 0;
    for (size_t length = deep.size(); length <= 4096; length += step.size() + 1, ++depth) {
        ASSERT_EQ(::mkdirat(dir, step.c_str(), 0755), 0);
        const int next = ::openat(dir, step.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(dir);
        dir = next;
    }
    ::close(dir);
    ASSERT_EQ(::chmod((pictures / "locked").c_str(), 0), 0);

    // Without the privilege to read what mode bits deny, as a user runs it: root's
    // capabilities out of the bounding set, so that the program gets none when it starts.
    const auto asUser = [] {
        if (::geteuid() == 0)
            for (int cap = 0; cap <= 63; ++cap)
                ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
    };
    const CRunResult r = RunBatch(home, Args({"-r", pictures / ""}), {}, {}, {}, asUser);
    ::chmod((pictures / "locked").c_str(), 0755);
    std::string tooLong = deep;
    while (tooLong.size() + step.size() + 1 < 4096)
        tooLong += "/" + step;
    tooLong += "/" + step;
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "2 created, 0 skipped, 2 failed\n");
    EXPECT_EQ(r.out, "ERR: " + tooLong + " : cannot read: File name too long\n" +
                         "ERR: " + pictures / "locked" +
                         " : cannot list folder: Permission denied\n" + "OK: " + out +
                         "/z.bmp created \n" + "OK: " + out + "/a/photo.bmp created \n");
    // The machine-readable log counts them as failed files.
    const CRunResult json =
        RunBatch(home, Args({"-r", "--overwrite", "--log-format", "jsonl", pictures / "deep"}));
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "{\"input\":" + JsonString(tooLong) +
                            ",\"output\":\"\",\"status\":\"error\",\"message\":\"cannot "
                            "read: File name too long\",\"milliseconds\":0}\n"
                            "{\"run\":\"end\",\"files\":1,\"ok\":0,\"skipped\":0,\"error\":1,"
                            "\"canceled\":false,\"milliseconds\":0}\n");
    // Too deep for the usual removal.
    EXPECT_EQ(std::system(("rm -rf '" + deep + "'").c_str()), 0);
}

// A turned, tiled stamp: the copies where the grid puts them, the same bytes whatever the
// worker count, and the lossless path stamping every copy as the ordinary one does.
TEST_F(QuillmarkBatch, TurnedTiledStampCoversThePictureAlikeOnEveryPath) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        WriteBmp(pictures / name, 20, 10, kGrey);
    const std::vector<std::string> layout = {"--align", "left,top",   "--angle", "90",
                                             "--tile",  "--tile-gap", "100%"};
    std::vector<std::string> serial = layout, parallel = layout;
    serial.insert(serial.end(), {"-j", "1", pictures / ""});
    ASSERT_EQ(RunBatch(home, Args(serial)).status, 0);
    // Turned a quarter, the 4 x 2 stamp stands 2 wide and 4 high; with a gap as large as
    // itself the copies start every 4 pixels across and 8 down: 5 columns, the second row
    // cut to 2 lines by the picture's bottom.
    int red = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inCopy = x % 4 < 2 && y % 8 < 4;
            const uint32_t pixel = OutputPixel("b.bmp", x, y);
            EXPECT_EQ(pixel, inCopy ? (kRed & 0xFFFFFF) : (kGrey & 0xFFFFFF)) << x << "," << y;
            red += pixel == (kRed & 0xFFFFFF);
        }
    EXPECT_EQ(red, 5 * 8 + 5 * 4);
    const std::string serialBytes = ReadBytes(out + "/b.bmp");
    parallel.insert(parallel.end(), {"-j", "2", "--overwrite", pictures / ""});
    ASSERT_EQ(RunBatch(home, Args(parallel)).status, 0);
    EXPECT_EQ(ReadBytes(out + "/b.bmp"), serialBytes);

    // JPEG photos: the lossless output shows the same copies as the ordinary output.
    WriteNoisyJpeg(pictures / "photo.jpg", 64, 48);
    std::vector<std::string> jpeg = {"-f",      "jpg", "-q",     "100",        "--overwrite",
                                     "--angle", "30",  "--tile", "--tile-gap", "50"};
    std::vector<CStampBitmap> results(2);
    for (const bool lossless : {false, true}) {
        std::vector<std::string> args = jpeg;
        args.insert(args.end(),
                    {lossless ? "--lossless" : "--no-lossless", pictures / "photo.jpg"});
        ASSERT_EQ(RunBatch(home, Args(args)).status, 0);
        CAutoDetectDecoder().DecodeFile(out + "/photo.jpg", results[lossless], 32);
    }
    CStampBitmap input;
    CAutoDetectDecoder().DecodeFile(pictures / "photo.jpg", input, 32);
    auto far = [](uint32_t p, uint32_t q) {
        for (int shift = 0; shift < 24; shift += 8)
            if (std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)) > 80)
                return true;
        return false;
    };
    int stamped = 0, disagree = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            stamped += far(results[0].GetPixel32(x, y), input.GetPixel32(x, y));
            disagree += far(results[0].GetPixel32(x, y), results[1].GetPixel32(x, y));
        }
    // The copies cover a good part of the photo (red differs that much from about two
    // thirds of the noise), and both paths put them in one place
    // (the lossless output keeps the photo's coarser quantisation, hence some difference).
    EXPECT_GT(stamped, 64 * 48 / 6);
    EXPECT_LT(disagree, stamped / 10);
}

namespace {

// A camera's EXIF block, written out by hand so that every byte is known: IFD0 with make,
// orientation 6, copyright and links to the EXIF and GPS directories, the EXIF directory
// with the pixel size and the time taken, a GPS directory, and a thumbnail directory with
// its picture.
std::string CameraExif(uint16_t width, uint16_t height) {
    std::string t("II*\0\x08\0\0\0", 8);
    auto u16 = [](std::string& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); };
    auto u32 = [&](std::string& s, uint32_t v) { u16(s, uint16_t(v)), u16(s, uint16_t(v >> 16)); };
    auto entry = [&](std::string& s, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        u16(s, tag), u16(s, type), u32(s, count), u32(s, value);
    };
    // Offsets: IFD0 at 8 (6 entries: 2 + 72 + 4 = 78) -> data from 86.
    const uint32_t make = 86, copyright = 96, exifIfd = 116, gpsIfd = 170, gpsData = 200,
                   ifd1 = 224, thumb = 254;
    u16(t, 6);
    entry(t, 0x010F, 2, 10, make);      // Make
    entry(t, 0x0112, 3, 1, 6);          // Orientation
    entry(t, 0x8298, 2, 20, copyright); // Copyright
    entry(t, 0x8769, 4, 1, exifIfd);
    entry(t, 0x8825, 4, 1, gpsIfd);
    entry(t, 0x0131, 2, 4, 0x00584951); // Software "QIX", inline
    u32(t, ifd1);
    t += std::string("TestCam 1\0", 10);
    t += std::string("(c) Quill Mark 2026\0", 20);
    // EXIF IFD at 116: 3 entries -> 2 + 36 + 4 = 42, date at 158 (12 bytes used of 20...).
    u16(t, 3);
    entry(t, 0xA002, 4, 1, width);
    entry(t, 0xA003, 4, 1, height);
    entry(t, 0x9000, 7, 4, 0x32333230); // ExifVersion "0232"
    u32(t, 0);
    t += std::string(12, '\0'); // to 170
    // GPS IFD at 170: 2 entries -> 2 + 24 + 4 = 30, latitude at 200.
    u16(t, 2);
    entry(t, 0x0001, 2, 2, 'N');
    entry(t, 0x0002, 5, 3, gpsData);
    u32(t, 0);
    for (uint32_t v : {52u, 1u, 31u, 1u, 1234u, 100u})
        u32(t, v);
    // IFD1 at 224: 2 entries -> 2 + 24 + 4 = 30, thumbnail at 254.
    u16(t, 2);
    entry(t, 0x0201, 4, 1, thumb);
    entry(t, 0x0202, 4, 1, 16);
    u32(t, 0);
    t += std::string("\xFF\xD8\xFF\xDBthumbnail!\xFF\xD9", 16);
    return std::string("Exif\0\0", 6) + t;
}

const char kXmp[] =
    "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n<rdf:Description "
    "xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:xmp='http://ns.adobe.com/xap/1.0/'\n"
    " xmp:Rating='4' exif:GPSLatitude='52,31.2N' exif:GPSAltitude=\"12/1\">\n"
    " <exif:GPSLongitude>13,24.6E</exif:GPSLongitude>\n <xmp:Label>keep</xmp:Label>\n"
    "</rdf:Description></rdf:RDF></x:xmpmeta>";

std::unique_ptr<CSavedMarker> App1(const std::string& data, std::unique_ptr<CSavedMarker> next) {
    auto m = std::make_unique<CSavedMarker>();
    m->marker = 0xE1;
    m->dataLength = m->originalLength = uint32_t(data.size());
    m->data = std::make_unique<uint8_t[]>(data.size());
    std::memcpy(m->data.get(), data.data(), data.size());
    m->next = std::move(next);
    return m;
}

// The markers of a JPEG file, as (code, bytes) in file order.
std::vector<std::pair<int, std::string>> JpegMarkers(const std::string& file) {
    std::vector<std::pair<int, std::string>> result;
    for (size_t i = 2; i + 4 <= file.size() && uint8_t(file[i]) == 0xFF;) {
        const int code = uint8_t(file[i + 1]);
        if (code == 0xDA)
            break;
        const size_t length = size_t(uint8_t(file[i + 2])) << 8 | uint8_t(file[i + 3]);
        result.emplace_back(code, file.substr(i + 4, length - 2));
        i += 2 + length;
    }
    return result;
}

std::string ExiftoolView(const std::string& path) {
    const std::string command =
        "exiftool -a -G1 -s -n -x File:all -x ExifTool:all -x Composite:all -x JFIF:all '" + path +
        "' 2>/dev/null | sort";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, got);
        ::pclose(pipe);
    }
    return text;
}

} // namespace

// A web export: resized, stamped at a tenth of the copy's width, GPS removed and the rest
// of the headers kept; then the same without any headers.
TEST_F(QuillmarkBatch, WebExportResizesStampsAndStripsLocation) {
    CMemoryBitmap photo;
    MakePicture(photo, 600, 400, kGrey);
    photo.SetMarkers(App1(CameraExif(600, 400), App1(std::string(kXmp, sizeof kXmp - 1), nullptr)));
    CJpegEncoder encoder;
    encoder.SetQuality(90);
    encoder.EncodeFile(pictures / "photo.jpg", photo);

    CRunResult r =
        RunBatch(home, Args({"-f", "jpg", "--preserve-headers", "--resize", "long:300", "--size",
                             "10%width", "--strip-location", pictures / "photo.jpg"}));
    ASSERT_EQ(r.status, 0) << r.err;
    // Orientation 6: shown 400 x 600, so the long side is the stored width... of the
    // shown portrait: 200 x 300 shown, 300 x 200 stored (the EXIF block stays, so does the
    // grid).
    CStampBitmap copy;
    CAutoDetectDecoder().DecodeFile(out + "/photo.jpg", copy, 32);
    ASSERT_EQ(copy.GetWidth(), 300);
    ASSERT_EQ(copy.GetHeight(), 200);
    // The 4 x 2 stamp at 10 % of the shown width (200): 20 x 10 shown, 10 x 20 stored.
    int red = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            const uint32_t p = copy.GetPixel32(x, y);
            red += ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
        }
    EXPECT_NEAR(red, 200, 50);

    const std::string input = ReadBytes(pictures / "photo.jpg");
    const std::string output = ReadBytes(out + "/photo.jpg");
    std::string exifIn, exifOut, xmpOut;
    for (const auto& [code, data] : JpegMarkers(input))
        if (code == 0xE1 && data.rfind("Exif", 0) == 0)
            exifIn = data;
    for (const auto& [code, data] : JpegMarkers(output)) {
        if (code == 0xE1 && data.rfind("Exif", 0) == 0)
            exifOut = data;
        if (code == 0xE1 && data.rfind("http://ns.adobe.com/xap/1.0/", 0) == 0)
            xmpOut = data;
    }
    // Same length; IFD0 keeps make, orientation, copyright and software byte for byte, its
    // GPS link is gone, and the GPS directory, the thumbnail directory and picture are zero.
    ASSERT_EQ(exifOut.size(), exifIn.size());
    EXPECT_EQ(exifOut.substr(6 + 86, 118 - 86), exifIn.substr(6 + 86, 118 - 86))
        << "make and copyright";
    EXPECT_EQ(exifOut.substr(6 + 8, 2), std::string("\x05\0", 2)); // IFD0: one entry fewer
    EXPECT_EQ(exifOut.substr(6 + 170), std::string(exifIn.size() - 6 - 170, '\0'));
    EXPECT_EQ(xmpOut.find("exif:GPS"), std::string::npos) << xmpOut;
    EXPECT_NE(xmpOut.find("xmp:Rating='4'"), std::string::npos) << xmpOut;
    EXPECT_NE(xmpOut.find("<xmp:Label>keep</xmp:Label>"), std::string::npos) << xmpOut;
    if (std::system("exiftool -ver >/dev/null 2>&1") == 0) {
        // What a reader of the file sees: the input's tags less GPS and thumbnail, with
        // the new pixel size.
        std::istringstream before(ExiftoolView(pictures / "photo.jpg"));
        std::string expected, line;
        while (std::getline(before, line)) {
            if (line.find("GPS") != std::string::npos || line.rfind("[IFD1]", 0) == 0)
                continue;
            if (line.find("ExifImageWidth") != std::string::npos)
                line.replace(line.rfind(' ') + 1, std::string::npos, "300");
            if (line.find("ExifImageHeight") != std::string::npos)
                line.replace(line.rfind(' ') + 1, std::string::npos, "200");
            expected += line + "\n";
        }
        EXPECT_EQ(ExiftoolView(out + "/photo.jpg"), expected);
    }

    // --strip-metadata: no APP1 at all, and the photo written upright (200 x 300).
    r = RunBatch(home, Args({"-f", "jpg", "--preserve-headers", "--overwrite", "--resize",
                             "long:300", "--strip-metadata", pictures / "photo.jpg"}));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& [code, data] : JpegMarkers(ReadBytes(out + "/photo.jpg")))
        EXPECT_TRUE(code != 0xE1 && code != 0xED && code != 0xFE) << code;
    CAutoDetectDecoder().DecodeFile(out + "/photo.jpg", copy, 32);
    EXPECT_EQ(copy.GetWidth(), 200);
    EXPECT_EQ(copy.GetHeight(), 300);
}

namespace {

// A 35-byte GIF whose screen is width x height and whose one image is a single pixel: a
// small file that decodes to a big picture.
std::string HostileGif(int width, int height) {
    std::string gif = "GIF89a";
    for (const int side : {width, height}) {
        gif += char(side & 0xFF);
        gif += char(side >> 8);
    }
    gif += std::string("\x80\x00\x00\x80\x80\x80\xFF\x00\x00", 9);
    gif += std::string("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x4C\x01\x00;", 17);
    return gif;
}
} // namespace

// Under an address-space limit that holds one such picture but not two at once, the
// workers take them in turn instead of failing at random with "Out of memory"; a picture
// that cannot fit even alone fails at once, naming its size.
TEST_F(QuillmarkBatch, WorkersWaitForMemoryAndWhatNeverFitsFailsNamingItsSize) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
#endif
    for (int i = 0; i < 6; ++i)
        WriteBytes(pictures / ("p" + std::to_string(i) + ".gif"), HostileGif(4000, 4000));
    WriteBytes(pictures / "z.gif", HostileGif(16000, 16000));
    const auto limited = [] {
        const rlimit limit{450u << 20, 450u << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    };
    const CRunResult r =
        RunBatch(home, Args({"-j", "2", "-f", "jpg", pictures / ""}), {}, {}, {}, limited);
    EXPECT_EQ(r.status, 1);
    std::string expected;
    for (int i = 0; i < 6; ++i)
        expected += "OK: " + out + "/p" + std::to_string(i) + ".jpg created \n";
    ASSERT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
    const std::string tooLarge =
        "ERR: " + pictures / "z.gif" +
        " : picture too large for the memory available: 16000 x 16000 needs 2442 MB, ";
    EXPECT_EQ(r.out.substr(expected.size(), tooLarge.size()), tooLarge) << r.out;
    EXPECT_EQ(r.err, "6 created, 0 skipped, 1 failed\n");
}

// The pixel limit is said as what it is, not as a shortage of memory.
TEST_F(QuillmarkBatch, APictureBeyondThePixelLimitSaysItsSize) {
    WriteBytes(pictures / "wide.gif", HostileGif(65535, 65535));
    const CRunResult r = RunBatch(home, Args({pictures / "wide.gif"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ERR: " + pictures / "wide.gif" + " : picture too large: 65535 x 65535\n");
}

// A photo with a transparent background (a product shot): the stamp is laid over it, so it
// shows where the photo is transparent, and into a format without alpha the photo is first
// laid on the background colour (white unless told), not on black.
TEST_F(QuillmarkBatch, TransparentPhotosTakeTheStampAndTheirBackground) {
    // Left half clear, right half opaque grey; the 4 x 2 red stamp straddles the middle.
    CMemoryBitmap photo;
    photo.Create(8, 4, 32, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel32(photo, x, y, x < 4 ? 0x00000000u : kGrey);
    CPngEncoder().EncodeFile(pictures / "shot.png", photo);
    const auto pixel = [&](const std::string& name, int x, int y) {
        CStampBitmap result;
        CAutoDetectDecoder().DecodeFile(out + "/" + name, result, 32);
        return result.HasAlpha() ? result.GetPixel32(x, y) : result.GetPixel32(x, y) | 0xFF000000u;
    };
    const struct {
        std::vector<std::string> args;
        const char* name;
        uint32_t clearUnderStamp, clearBeside, opaqueUnderStamp, opaqueBeside;
    } cases[] = {
        // Opaque stamp (copied): opaque red over the clear half; the rest of it stays clear.
        {{"-f", "png"}, "shot.png", kRed, 0x00000000u, kRed, kGrey},
        // Half opacity (blended): alpha 128 over clear, the stamp's own colour there.
        {{"-f", "png", "--opacity", "128"},
         "shot.png",
         0x80FF0000u,
         0x00000000u,
         0xFFBF3F3Fu,
         kGrey},
        // Without alpha: laid on white, or on the colour asked for.
        {{"-f", "bmp"}, "shot.bmp", kRed, 0xFFFFFFFFu, kRed, kGrey},
        {{"-f", "bmp", "--background", "0,0,255"}, "shot.bmp", kRed, 0xFF0000FFu, kRed, kGrey},
        {{"-f", "bmp", "--opacity", "128", "--background", "0,0,255"},
         "shot.bmp",
         0xFF80007Fu,
         0xFF0000FFu,
         0xFFBF3F3Fu,
         kGrey},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--overwrite", "--align", "center,top", pictures / "shot.png"});
        const CRunResult r = RunBatch(home, Args(args));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(pixel(c.name, 3, 0), c.clearUnderStamp);
        EXPECT_EQ(pixel(c.name, 0, 0), c.clearBeside);
        EXPECT_EQ(pixel(c.name, 4, 1), c.opaqueUnderStamp);
        EXPECT_EQ(pixel(c.name, 7, 3), c.opaqueBeside);
    }
    // The colour is a setting: saved into the configuration file's extension and read back.
    const CRunResult saved =
        RunBatch(home, Args({"--background", "1,2,3", "--save-config", home / "bg.qmc"}));
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(ReadBytes(home / "bg.qmc").find("background=1,2,3\n"), std::string::npos);
    const CRunResult fromFile = RunBatch(home, {"-c", home / "bg.qmc", "-s", stampPath, "-o", out,
                                                "-f", "bmp", "--overwrite", pictures / "shot.png"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_EQ(pixel("shot.bmp", 0, 3), 0xFF010203u);
    EXPECT_EQ(RunBatch(home, Args({"--background", "1,2", pictures / "shot.png"})).status, 2);
}

namespace {

// A JPEG photo whose EXIF knows its owner, its model and when it was taken.
void WriteCameraJpeg(const std::string& path, const std::string& model) {
    const std::string exif = CameraExifBlock(model);
    CMemoryBitmap photo;
    MakePicture(photo, 24, 16, kGrey);
    photo.SetMarkers(App1(exif, nullptr));
    CJpegEncoder().EncodeFile(path, photo);
}

void SetModificationDay(const std::string& path, int year, int month, int day) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = 12;
    when.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The files below a folder by their paths from it, sorted.
std::vector<std::string> TreeFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            names.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Every placeholder of a name template, and every way a template or the name it makes is
// refused: before the run (exit 2, nothing written) when the template itself is unusable,
// by the file's own line when only a photo's values spoil its name.
TEST_F(QuillmarkBatch, NameTemplatesFillEveryPlaceholderOrAreRefused) {
    WriteCameraJpeg(pictures / "IMG_7.jpg", "X/100");
    WriteBmp(pictures / "plain.bmp", 24, 16, kGrey);
    SetModificationDay(pictures / "plain.bmp", 2021, 3, 4);
    const std::string jpg = pictures / "IMG_7.jpg", bmp = pictures / "plain.bmp";

    const struct {
        const char* name;
        int status;
        std::vector<std::string> outputs; // in the output folder afterwards
        const char* says;                 // in the run's log or error text
    } cases[] = {
        {"{name}", 0, {"IMG_7.bmp", "plain.bmp"}, ""},
        {"{n}-{name}.{ext}", 0, {"1-IMG_7.jpg.bmp", "2-plain.bmp.bmp"}, ""},
        {"{date} {exif:Artist}", 0, {"2021-03-04 .bmp", "2024-05-06 Jane Doe.bmp"}, ""},
        {"{year}{{x}}", 0, {"2021{x}.bmp", "2024{x}.bmp"}, ""},
        {"{exif:Model}", 1, {}, "the file name template gives 'X/100', which contains '/'"},
        {"{exif:Artist}", 1, {"Jane Doe.bmp"}, "the file name template gives an empty name"},
        {"same", 1, {"same.bmp"}, "an earlier file of this run has the name"},
        {"{nmae}", 2, {}, "--name: unknown placeholder '{nmae}'"},
        {"{name", 2, {}, "--name: unknown placeholder '{name'"},
        {"cards/{name}", 2, {}, "contains '/'"},
        {".{name}", 2, {}, "begins with '.'"},
        {"a\tb", 2, {}, "contains a control character"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        const CRunResult r = RunBatch(home, Args({"-j", "2", "--name", c.name, jpg, bmp}));
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        EXPECT_EQ(TreeFiles(out), c.outputs) << c.name;
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos)
            << c.name << ": " << r.out << r.err;
    }
}

// Keeping both: thirty photos all named by one year, into a folder that holds that name and
// its "-2" already, with a broken file among them that takes no name. One worker and two
// give the same names to the same photos; {n} is padded to the count's width.
TEST_F(QuillmarkBatch, KeepBothNamesAreTheSerialRunsOnEveryWorkerCount) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 30; ++i) {
        const std::string path = pictures / ("p" + std::to_string(100 + i) + ".bmp");
        // The first photo takes longest, so later ones finish before it on two workers.
        if (i == 4)
            WriteBytes(path, "BM not a picture");
        else
            WriteBmp(path, i == 0 ? 1600 : 12, i == 0 ? 1200 : 8,
                     0xFF000000u | uint32_t(i * 8) << 8);
        SetModificationDay(path, 2019, 7, 1);
        inputs.push_back(path);
    }
    std::string log[2];
    std::vector<std::string> names[2];
    for (const int workers : {1, 2}) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        WriteBytes(out + "/2019.bmp", "older export");
        WriteBytes(out + "/2019-2.bmp", "older export");
        std::vector<std::string> args =
            Args({"--name", "{year}", "--if-exists", "rename", "-j", std::to_string(workers)});
        args.insert(args.end(), inputs.begin(), inputs.end());
        const CRunResult r = RunBatch(home, args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, "29 created, 0 skipped, 1 failed\n");
        log[workers - 1] = r.out;
        names[workers - 1] = TreeFiles(out);
        EXPECT_EQ(ReadBytes(out + "/2019.bmp"), "older export");
        // The first free name for each photo in turn, skipping the broken one: photo i
        // (from 0) went to 2019-(i+1) before the kept "-2", to 2019-(i+2) after it.
        for (int i = 0; i < 30; ++i) {
            if (i == 4)
                continue;
            const int k = i == 0 ? 1 : i < 4 ? i + 2 : i + 1;
            const std::string name = "2019-" + std::to_string(k) + ".bmp";
            EXPECT_NE(r.out.find("OK: " + out + "/" + name + " created"), std::string::npos)
                << name;
            EXPECT_EQ(OutputPixel(name, 0, 7), uint32_t(i * 8) << 8) << name << " is photo " << i;
        }
    }
    EXPECT_EQ(log[0], log[1]);
    EXPECT_EQ(names[0], names[1]);
    EXPECT_EQ(names[0].size(), 31u);

    // The photos' own names, each given twice: the second of each is kept beside the first.
    for (const int workers : {1, 2}) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        const CRunResult r =
            RunBatch(home, Args({"--if-exists", "rename", "-j", std::to_string(workers),
                                 pictures / "", pictures / ""}));
        log[workers - 1] = r.out;
    }
    EXPECT_EQ(log[0], log[1]);
    EXPECT_NE(log[0].find("OK: " + out + "/p129-1.bmp created"), std::string::npos) << log[0];

    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    std::vector<std::string> args = Args({"--name", "p{n}", "-j", "2"});
    args.insert(args.end(), inputs.begin(), inputs.end());
    RunBatch(home, args);
    const std::vector<std::string> numbered = TreeFiles(out);
    EXPECT_EQ(numbered.size(), 29u);
    EXPECT_EQ(numbered.front(), "p01.bmp");
    EXPECT_EQ(numbered.back(), "p30.bmp");
    EXPECT_FALSE(std::filesystem::exists(out + "/p05.bmp")) << "the broken file";
}

// Two memory cards with the same file names, given as folders and through a list: each
// card's folders are made again below the output folder. An input outside the base is
// refused before anything is written.
TEST_F(QuillmarkBatch, BaseMirrorsEachCardsFoldersIntoTheOutput) {
    for (const char* card : {"card1", "card2"}) {
        std::filesystem::create_directories(pictures / (std::string(card) + "/DCIM"));
        WriteBmp(pictures / (std::string(card) + "/DCIM/P1.bmp"), 12, 8,
                 card[4] == '1' ? kGrey : kRed);
    }
    WriteBmp(home / "elsewhere.bmp", 12, 8, kGrey);
    const CRunResult r = RunBatch(
        home, Args({"--base", pictures / "", pictures / "card1/DCIM", "--files-from", "-"}), {},
        pictures / "card2/DCIM/P1.bmp\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TreeFiles(out), (std::vector<std::string>{"card1/DCIM/P1.bmp", "card2/DCIM/P1.bmp"}));
    EXPECT_EQ(OutputPixel("card2/DCIM/P1.bmp", 0, 7), kRed & 0xFFFFFF);
    // A name template names the file; the folders stay the card's.
    const CRunResult named =
        RunBatch(home, Args({"--base", pictures / "", "--name", "{n}", pictures / "card1/DCIM",
                             pictures / "card2/DCIM"}));
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/card1/DCIM/1.bmp"));
    EXPECT_TRUE(std::filesystem::exists(out + "/card2/DCIM/2.bmp"));

    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const CRunResult outside = RunBatch(
        home, Args({"--base", pictures / "card1", pictures / "card1", home / "elsewhere.bmp"}));
    EXPECT_EQ(outside.status, 2);
    EXPECT_NE(outside.err.find("--base: '" + home / "elsewhere.bmp" + "' is not in the folder"),
              std::string::npos)
        << outside.err;
    EXPECT_TRUE(TreeFiles(out).empty());
}
