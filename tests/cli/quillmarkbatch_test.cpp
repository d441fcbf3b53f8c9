// quillmark-batch run as a user runs it: a separate process with its own environment, on
// pictures the tests write.

#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/avifencoder.h"
#include "imagelib/exiforientation.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/webpencoder.h"
#include "job/configrecord.h"
#include "job/jobfixtures.h"
#include "job/stampsettings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
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
                    const std::string& input = {}) {
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

TEST_F(QuillmarkBatch, InterruptStopsBetweenTwoFiles) {
    // One larger picture named many times: every file takes a while, so the interrupt
    // arrives long before the last one.
    WriteBmp(pictures / "big.bmp", 1200, 1000, kGrey);
    std::vector<std::string> args = Args({"--overwrite"});
    for (int i = 0; i < 60; ++i)
        args.push_back(pictures / "big.bmp");

    const CRunResult r = RunBatch(home, args, [](pid_t pid, const std::string& outPath) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ReadBytes(outPath).find("OK: ") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid, SIGINT);
    });
    EXPECT_EQ(r.status, 1);
    ASSERT_GE(r.out.size(), 9u);
    EXPECT_EQ(r.out.substr(r.out.size() - 9), "canceled\n");
    EXPECT_EQ(r.out.find("ERR"), std::string::npos);
    EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 60);
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
