// quillmark-batch run as a user runs it: a separate process with its own environment, on
// pictures the tests write.

#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/outputfile.h"
#include "job/configrecord.h"
#include "job/jobfixtures.h"
#include "job/stampsettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
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
// in home. whileRunning, if given, is called with the process id and the output file.
// Standard input holds input.
CRunResult RunBatch(const CTempFolder& home, std::vector<std::string> args,
                    const std::function<void(pid_t, const std::string&)>& whileRunning = {},
                    const std::string& input = {}, const std::function<void()>& inChild = {}) {
    const std::string inPath = home / "stdin.txt";
    const std::string outPath = home / "stdout.txt";
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

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int in = ::open(inPath.c_str(), O_RDONLY);
        ::dup2(in, 0);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
    result.out = ReadBytes(outPath);
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
    EXPECT_EQ(r.err, "");
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
         "quillmark-batch: cannot read configuration file '" + home / "short.qmc"},
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
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const CRunResult closed = RunBatch(
        home, args,
        [&](pid_t, const std::string&) {
            ::close(pipeFds[1]);
            char c = 0;
            while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') {
            }
            ::close(pipeFds[0]); // the reader has seen enough
        },
        {},
        [&] {
            ::dup2(pipeFds[1], 1);
            ::close(pipeFds[0]);
        });
    EXPECT_EQ(closed.status, 1) << "128 + 13 is a death by SIGPIPE";
    EXPECT_EQ(Temporaries(out), std::vector<std::string>());
    EXPECT_LT(std::distance(std::filesystem::directory_iterator(out),
                            std::filesystem::directory_iterator()),
              40);

    // 1200 x 1000 at 24 bits is 3.6 MB, over the limit; 20 x 20 is not.
    WriteBmp(pictures / "small.bmp", 20, 20, kGrey);
    const CRunResult limited = RunBatch(
        home, Args({"--overwrite", pictures / "small.bmp", pictures / "big.bmp"}), {}, {}, [] {
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
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "OK: " + out + "/a.bmp created \n");
    }
    EXPECT_FALSE(std::filesystem::exists(out + "a.bmp"));

    const std::string saved = home / "defaults.qmc";
    ASSERT_EQ(RunBatch(home, {"--defaults", "--save-config", saved}).status, 0);
    const CRunResult r = RunBatch(
        home, {"-c", saved, "-s", stampPath, "-o", out, "--overwrite", pictures / "a.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(QuillmarkBatch, OutputFormatsGiveTheirExtensionAndSignature) {
    WriteBmp(pictures / "Pic.BMP", 30, 20, kGrey);
    struct Case {
        const char* format;
        const char* name;
        std::string signature;
    };
    for (const Case& c : {Case{"jpg", "Pic.jpg", "\xFF\xD8\xFF"}, Case{"png", "Pic.png", "\x89PNG"},
                          Case{"bmp", "Pic.bmp", "BM"}}) {
        const CRunResult r = RunBatch(home, Args({"-f", c.format, "-q", "90", pictures / ""}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "OK: " + out + "/" + c.name + " created \n");
        EXPECT_EQ(ReadBytes(out + "/" + c.name).substr(0, c.signature.size()), c.signature);
    }
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
    EXPECT_EQ(r.err, "quillmark-batch: cannot read the file list '" + home / "nolist" + "'\n");
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
    EXPECT_EQ(r.out.rfind("Usage: quillmark-batch [options] INPUT...\n", 0), 0u);
    EXPECT_NE(r.out.find("--save-config FILE"), std::string::npos);
    r = RunBatch(home, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("quillmark-batch ", 0), 0u);
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
