#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/outputfile.h"
#include "imagelib/pngencoder.h"
#include "job/stampjob.h"
#include "jobfixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t kGrey = 0xFF808080;
constexpr uint32_t kRed = 0xFFFF0000; // blue 0, green 0, red 255

// The page as the engine sees it, recording every call that changes something.
class CFakeHost : public CStampJobHost {
public:
    int quality = 90;
    bool preserve = false;
    std::string folder;
    bool bmp = true;
    bool png = false;
    bool overwrite = false;
    bool stopEnabled = true;
    std::vector<std::string> paths;
    std::vector<std::string> titles;
    std::string log;
    std::vector<std::string> events;
    // Runs when the engine asks for the path of a file, i.e. while that file is in progress.
    std::function<void(int)> onFileStarted;

    int GetJpegQuality() override { return quality; }
    bool IsPreserveHeadersChecked() override { return preserve; }
    std::string GetOutputFolder() override { return folder; }
    bool IsBmpChecked() override { return bmp; }
    bool IsPngChecked() override { return png; }
    int GetFileCount() override { return int(paths.size()); }
    std::string GetFilePath(int index) override {
        if (onFileStarted)
            onFileStarted(index);
        return paths[size_t(index)];
    }
    std::string GetFileTitle(int index) override { return titles[size_t(index)]; }
    std::vector<std::string> GetFilePaths() override { return paths; }
    bool IsOverwriteChecked() override { return overwrite; }
    bool IsStopEnabled() override { return stopEnabled; }
    std::string GetLogText() override { return log; }
    void SetLogText(const std::string& text) override {
        log = text;
        events.push_back("log");
    }
    void ScrollLogToEnd() override { events.push_back("scroll"); }
    void SetProgressPosition(int position) override {
        events.push_back("progress " + std::to_string(position));
    }
    void ClearStampingFlag() override { events.push_back("flag"); }
    void EnableRunControls() override { events.push_back("run controls"); }
    void EnableFormatControls(bool jpeg) override {
        events.push_back(jpeg ? "format controls+quality" : "format controls");
    }
    void FileDone(const CStampFileResult& result) override {
        // Right after the file's own log line: that line is the log's last.
        const std::string status[] = {"created", "skipped", "failed"};
        done.push_back(status[result.status] + " " + result.input + " -> " + result.output + " " +
                       result.message +
                       (log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0
                            ? ""
                            : " (log line missing)"));
    }
    std::vector<std::string> done;

    void Add(const std::string& path, const std::string& title) {
        paths.push_back(path);
        titles.push_back(title);
    }
};

const std::vector<std::string> kEndEvents = {"flag", "run controls", "progress 0",
                                             "format controls"};

std::vector<std::string> WithEnd(std::vector<std::string> events) {
    events.insert(events.end(), kEndEvents.begin(), kEndEvents.end());
    return events;
}

// Every file of a folder with its bytes: what a run leaves behind, temporaries included.
std::map<std::string, std::string> FilesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}

class StampJobTest : public testing::Test {
protected:
    StampJobTest() {
        host.folder = out.Folder();
        MakePicture(stamp, 4, 2, kRed);
    }

    CStampJobSummary Run(bool blend = false, uint8_t halign = 2, uint8_t valign = 2,
                         int32_t offsetX = 0, int32_t offsetY = 0, int workers = 1) {
        CStampJob job(CStampJobParams{host, stamp, blend, halign, valign, offsetX, offsetY, workers,
                                      nullptr, true});
        return job.Run();
    }

    std::string Input(const std::string& name, int width = 10, int height = 8) {
        const std::string path = in / name;
        WriteBmp(path, width, height, kGrey);
        return path;
    }

    CTempFolder in;
    CTempFolder out;
    CStampBitmap stamp;
    CFakeHost host;
};

TEST_F(StampJobTest, StampsEveryFileAndLogsOneLineEach) {
    host.Add(Input("a.bmp"), "a");
    host.Add(Input("b.BMP", 3, 3), "b");
    const CStampJobSummary summary = Run();

    EXPECT_EQ(host.log,
              "OK: " + out / "a.bmp" + " created \r\nOK: " + out / "b.bmp" + " created \r\n");
    EXPECT_EQ(host.events, WithEnd({"log", "scroll", "progress 1", "log", "scroll", "progress 2"}));
    EXPECT_EQ(summary.created, 2);
    EXPECT_FALSE(summary.canceled);

    // Bottom-right placement: the stamp covers the last 4 x 2 pixels and nothing else.
    CStampBitmap result;
    CAutoDetectDecoder().DecodeFile(out / "a.bmp", result, 32);
    ASSERT_EQ(result.GetWidth(), 10);
    ASSERT_EQ(result.GetHeight(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(result.GetPixel32(x, y) & 0xFFFFFF,
                      (x >= 6 && y >= 6 ? kRed : kGrey) & 0xFFFFFF)
                << x << "," << y;
    // A stamp larger than the picture is clipped, not refused.
    CAutoDetectDecoder().DecodeFile(out / "b.bmp", result, 32);
    EXPECT_EQ(result.GetPixel32(0, 0) & 0xFFFFFF, kGrey & 0xFFFFFF);
    EXPECT_EQ(result.GetPixel32(2, 2) & 0xFFFFFF, kRed & 0xFFFFFF);
}

TEST_F(StampJobTest, BlendFlagDecidesBetweenBlendAndCopy) {
    for (int y = 0; y < stamp.GetHeight(); ++y)
        for (int x = 0; x < stamp.GetWidth(); ++x)
            SetPixel32(stamp, x, y, (kRed & 0xFFFFFF) | uint32_t(x < 2 ? 0 : 128) << 24);
    host.Add(Input("a.bmp"), "a");

    struct Case {
        bool blend;
        uint32_t transparentPart; // where the stamp's alpha is 0
        uint32_t halfPart;        // alpha 128
    };
    // Copy ignores alpha; blend skips alpha 0 and mixes red at 128 over grey 128, truncating:
    // (255 x 128 + 127 x 128) / 255 = 191 and (0 + 127 x 128) / 255 = 63.
    for (const Case& c : {Case{false, kRed, kRed}, Case{true, kGrey, 0xBF3F3Fu}}) {
        host.overwrite = true;
        Run(c.blend, 0, 0);
        CStampBitmap result;
        CAutoDetectDecoder().DecodeFile(out / "a.bmp", result, 32);
        EXPECT_EQ(result.GetPixel32(0, 0) & 0xFFFFFF, c.transparentPart & 0xFFFFFF) << c.blend;
        EXPECT_EQ(result.GetPixel32(3, 1) & 0xFFFFFF, c.halfPart & 0xFFFFFF) << c.blend;
    }
}

TEST_F(StampJobTest, ExistingOutputIsSkippedWithoutScrollOrProgress) {
    host.Add(Input("a.bmp"), "a");
    host.Add(Input("b.bmp"), "b");
    WriteBytes(out / "a.bmp", "keep");

    const CStampJobSummary summary = Run();
    EXPECT_EQ(host.log, "ERR: " + out / "a.bmp" + " allready existing \r\nOK: " + out / "b.bmp" +
                            " created \r\n");
    EXPECT_EQ(host.events, WithEnd({"log", "log", "scroll", "progress 2"}));
    EXPECT_EQ(ReadBytes(out / "a.bmp"), "keep");
    EXPECT_EQ(summary.skipped, 1);
    EXPECT_EQ(summary.created, 1);
}

// Inputs from two folders, or of two formats, map to one output name: the first keeps it,
// whatever the overwrite setting and the number of workers. An earlier file that wrote
// nothing leaves the name to the next one.
TEST_F(StampJobTest, ANameWrittenInTheRunIsNeverWrittenAgain) {
    std::filesystem::create_directories(in / "x");
    // Recognition goes by content, so a BMP named .jpg decodes all the same.
    host.Add(Input("photo.bmp"), "photo");
    host.Add(Input("x/photo.jpg", 5, 5), "photo");
    host.Add(Input("photo.png", 6, 6), "photo");
    WriteBytes(in / "z.gif", "no picture");
    host.Add(in / "z.gif", "z");
    host.Add(Input("z.bmp", 7, 7), "z");
    const std::string earlier = " : an earlier file of this run has the name " + out / "photo.bmp";
    const std::string expected =
        "OK: " + out / "photo.bmp" + " created \r\nERR: " + in / "x/photo.jpg" + earlier +
        "\r\nERR: " + in / "photo.png" + earlier + "\r\nERR: " + in / "z.gif" +
        " : Decoder error: Unknown file type.\r\nOK: " + out / "z.bmp" + " created \r\n";
    for (const bool overwrite : {false, true}) {
        for (const int workers : {1, 3}) {
            SCOPED_TRACE(std::to_string(workers) + (overwrite ? " overwrite" : ""));
            std::filesystem::remove(out / "photo.bmp");
            std::filesystem::remove(out / "z.bmp");
            host.log.clear();
            host.overwrite = overwrite;
            const CStampJobSummary summary = Run(false, 2, 2, 0, 0, workers);
            EXPECT_EQ(host.log, expected);
            EXPECT_EQ(summary.failed, 3);
            CStampBitmap result;
            CAutoDetectDecoder().DecodeFile(out / "photo.bmp", result, 32);
            EXPECT_EQ(result.GetWidth(), 10); // the first input's
            EXPECT_EQ(FilesIn(out.Folder()).size(), 2u);
        }
    }
}

// The originals are never replaced: an output that is an input of the run, however its
// path is spelled, fails whatever the overwrite setting, and the input keeps its bytes.
TEST_F(StampJobTest, AnOutputNeverReplacesAnInputOfTheRun) {
    std::filesystem::create_directories(in / "sub");
    std::filesystem::create_symlink(in / "", out / "linked");
    const std::string a = Input("a.bmp"), b = Input("b.bmp", 6, 6);
    // A PNG whose output is a later input of the run, not yet read when it is written.
    WriteBmp(in / "sub/b.png", 3, 3, kGrey);
    std::filesystem::create_hard_link(a, out / "hard.bmp");
    struct Case {
        const char* what;
        std::string folder;
        std::vector<std::pair<std::string, std::string>> inputs; // path, title
        std::string log;
    };
    const Case cases[] = {
        {"the input's own folder",
         in.Folder(),
         {{a, "a"}},
         "ERR: " + a + " : " + in / "a.bmp would replace its input\r\n"},
        {"another spelling of it",
         in / "./sub/..//",
         {{a, "a"}},
         "ERR: " + a + " : " + in / "./sub/..//a.bmp would replace its input\r\n"},
        {"a linked folder",
         out / "linked",
         {{a, "a"}},
         "ERR: " + a + " : " + out / "linked/a.bmp would replace its input\r\n"},
        {"a hard link",
         out.Folder(),
         {{a, "hard"}},
         "ERR: " + a + " : " + out / "hard.bmp would replace its input\r\n"},
        {"a later input",
         in.Folder(),
         {{in / "sub/b.png", "b"}, {b, "b"}},
         "ERR: " + in / "sub/b.png" + " : " + in / "b.bmp would replace " + b +
             ", an input of this run\r\nERR: " + b + " : " +
             in / "b.bmp would replace its input\r\n"},
    };
    const std::string aBytes = ReadBytes(a), bBytes = ReadBytes(b);
    for (const Case& c : cases) {
        for (const bool overwrite : {false, true}) {
            for (const int workers : {1, 2}) {
                SCOPED_TRACE(std::string(c.what) + " " + std::to_string(workers) +
                             (overwrite ? " overwrite" : ""));
                host = CFakeHost();
                host.folder = c.folder;
                host.overwrite = overwrite;
                for (const auto& [path, title] : c.inputs)
                    host.Add(path, title);
                const CStampJobSummary summary = Run(false, 2, 2, 0, 0, workers);
                EXPECT_EQ(host.log, c.log);
                EXPECT_EQ(summary.failed, int(c.inputs.size()));
                EXPECT_EQ(ReadBytes(a), aBytes);
                EXPECT_EQ(ReadBytes(b), bBytes);
                const auto entries = std::distance(std::filesystem::directory_iterator(in / ""),
                                                   std::filesystem::directory_iterator());
                EXPECT_EQ(entries, 3) << "a temporary was left behind";
            }
        }
    }
}

// What stands under an output's name is replaced only with overwrite on, and then it keeps
// its permission bits and, where the process may give them, its owner and group. A link
// there is never written through: without overwrite it is a file there, dangling or not;
// with it, the link itself is replaced. A file that appears while the output is being made
// (another run into the same folder) wins without overwrite.
TEST_F(StampJobTest, WhatIsUnderAnOutputNameIsReplacedOnlyWithOverwrite) {
    const bool root = ::geteuid() == 0;
    const std::string target = in / "target.txt";
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make; // given the output path
        bool appearsLater;                            // made while the file is in progress
    };
    const Case cases[] = {
        {"a private file",
         [&](const std::string& path) {
             WriteBytes(path, "older");
             std::filesystem::permissions(path, std::filesystem::perms(0600));
             if (root) {
                 EXPECT_EQ(::chown(path.c_str(), 4242, 4343), 0);
             }
         },
         false},
        {"a group-shared file",
         [&](const std::string& path) {
             WriteBytes(path, "older");
             std::filesystem::permissions(path, std::filesystem::perms(0664));
         },
         false},
        {"a dangling link",
         [&](const std::string& path) { std::filesystem::create_symlink(in / "nothing", path); },
         false},
        {"a link to a file",
         [&](const std::string& path) { std::filesystem::create_symlink(target, path); }, false},
        {"a file that appears meanwhile",
         [&](const std::string& path) { WriteBytes(path, "other run"); }, true},
    };
    for (const Case& c : cases) {
        for (const bool overwrite : {false, true}) {
            for (const int workers : {1, 2}) {
                SCOPED_TRACE(std::string(c.what) + " " + std::to_string(workers) +
                             (overwrite ? " overwrite" : ""));
                CTempFolder folder;
                WriteBytes(target, "target");
                const std::string output = folder / "a.bmp";
                struct stat before {};
                if (!c.appearsLater) {
                    c.make(output);
                    ::lstat(output.c_str(), &before);
                }
                host = CFakeHost();
                host.folder = folder.Folder();
                host.overwrite = overwrite;
                host.Add(Input("a.bmp"), "a");
                host.onFileStarted = [&](int) {
                    if (c.appearsLater) {
                        c.make(output);
                        ::lstat(output.c_str(), &before);
                    }
                };
                Run(false, 2, 2, 0, 0, workers);
                EXPECT_EQ(host.log, overwrite ? "OK: " + output + " created \r\n"
                                              : "ERR: " + output + " allready existing \r\n");
                EXPECT_EQ(ReadBytes(target), "target") << "written through a link";
                struct stat after {};
                ASSERT_EQ(::lstat(output.c_str(), &after), 0);
                if (!overwrite) {
                    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
                } else {
                    EXPECT_TRUE(S_ISREG(after.st_mode));
                    CStampBitmap result;
                    CAutoDetectDecoder().DecodeFile(output, result, 32);
                    EXPECT_EQ(result.GetWidth(), 10);
                    if (S_ISREG(before.st_mode)) {
                        EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
                        EXPECT_EQ(after.st_uid, before.st_uid);
                        EXPECT_EQ(after.st_gid, before.st_gid);
                    }
                }
                EXPECT_EQ(FilesIn(folder.Folder()).size(), 1u) << "a temporary was left behind";
            }
        }
    }
}

TEST_F(StampJobTest, FailuresGiveErrLinesWithoutTheTextsLastCharacter) {
    WriteBytes(in / "text.bmp", "this is no picture at all");
    host.Add(in / "text.bmp", "text");
    host.Add(in / "gone.bmp", "gone");
    host.Add(Input("ok.bmp"), "ok");

    CStampJobSummary summary = Run();
    EXPECT_EQ(host.log, "ERR: " + in / "text.bmp" + " : Decoder error: Unknown file type.\r\n" +
                            "ERR: " + in / "gone.bmp" + " : Decoder error: Opening " +
                            in / "gone.bmp" + " failed: No such file or directory\r\n" +
                            "OK: " + out / "ok.bmp" + " created \r\n");
    // A failed file still scrolls and moves the bar.
    EXPECT_EQ(host.events, WithEnd({"log", "scroll", "progress 1", "log", "scroll", "progress 2",
                                    "log", "scroll", "progress 3"}));
    EXPECT_EQ(summary.failed, 2);

    // An output that cannot be created is a failed write, named as such with its reason,
    // and it fails before the input is read: a broken input gives the same line.
    host.log.clear();
    host.folder = out / "missing/";
    summary = Run();
    std::string expected;
    for (const char* name : {"text", "gone", "ok"})
        expected += "ERR: " + in / (name + std::string(".bmp")) + " : Creating " +
                    out / "missing/" + name + ".bmp failed: No such file or directory\r\n";
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(summary.failed, 3);
}

TEST_F(StampJobTest, StopBeforeTheFirstFileTouchesNothing) {
    host.Add(Input("a.bmp"), "a");
    host.log = "earlier run\r\n";
    host.stopEnabled = false;

    const CStampJobSummary summary = Run();
    EXPECT_EQ(host.log, "earlier run\r\ncanceled");
    EXPECT_EQ(host.events, WithEnd({"log"}));
    EXPECT_FALSE(std::filesystem::exists(out / "a.bmp"));
    EXPECT_TRUE(summary.canceled);
}

TEST_F(StampJobTest, StopDuringAFileFinishesItFirst) {
    for (const int stopAt : {0, 1}) {
        SCOPED_TRACE(stopAt);
        CTempFolder target;
        host = CFakeHost();
        host.folder = target.Folder();
        host.Add(Input("a.bmp"), "a");
        host.Add(Input("b.bmp"), "b");
        host.onFileStarted = [&](int index) {
            if (index == stopAt)
                host.stopEnabled = false;
        };
        Run();
        std::string expected = "OK: " + target / "a.bmp" + " created \r\n";
        if (stopAt == 1) // the last file: it completes, then the stop is acknowledged
            expected += "OK: " + target / "b.bmp" + " created \r\n";
        EXPECT_EQ(host.log, expected + "canceled");
        EXPECT_EQ(std::filesystem::exists(target / "b.bmp"), stopAt == 1);
    }
}

TEST_F(StampJobTest, EndStepEnablesQualityOnlyForJpegAndEmptyListEndsAtOnce) {
    host.bmp = false;
    Run();
    EXPECT_EQ(host.events, (std::vector<std::string>{"flag", "run controls", "progress 0",
                                                     "format controls+quality"}));
    EXPECT_EQ(host.log, "");
}

// A JPEG input carrying an EXIF-like APP1 block and a comment.
void WriteJpegWithMarkers(const std::string& path) {
    CMemoryBitmap bitmap;
    MakePicture(bitmap, 16, 16, kGrey);
    std::unique_ptr<CSavedMarker> first;
    CSavedMarker* last = nullptr;
    for (const auto& [code, text] : {std::pair<uint8_t, std::string>{0xE1, "Exif\0\0fake"},
                                     std::pair<uint8_t, std::string>{0xFE, "a comment"}}) {
        auto marker = std::make_unique<CSavedMarker>();
        marker->marker = code;
        marker->originalLength = marker->dataLength = uint32_t(text.size());
        marker->data = std::make_unique<uint8_t[]>(text.size());
        std::copy(text.begin(), text.end(), marker->data.get());
        CSavedMarker* raw = marker.get();
        (last ? last->next : first) = std::move(marker);
        last = raw;
    }
    bitmap.SetMarkers(std::move(first));
    CJpegEncoder().EncodeFile(path, bitmap);
}

std::vector<std::string> MarkersOf(const std::string& path) {
    CStampBitmap bitmap;
    CAutoDetectDecoder().DecodeFile(path, bitmap, 32);
    std::vector<std::string> markers;
    for (const CSavedMarker* m = bitmap.GetMarkers(); m; m = m->next.get())
        markers.push_back(std::to_string(m->marker) + ":" +
                          std::string(reinterpret_cast<const char*>(m->data.get()), m->dataLength));
    return markers;
}

TEST_F(StampJobTest, PreserveFlagKeepsOrDropsTheMarkersOfJpegOutput) {
    WriteJpegWithMarkers(in / "photo.jpg");
    const std::vector<std::string> inputMarkers = MarkersOf(in / "photo.jpg");
    ASSERT_EQ(inputMarkers.size(), 2u);
    host.Add(in / "photo.jpg", "photo");
    host.overwrite = true;

    struct Case {
        bool bmp, png, preserve;
        const char* output;
        bool markers;
    };
    const Case cases[] = {
        {false, false, true, "photo.jpg", true},
        {false, false, false, "photo.jpg", false},
        {false, true, true, "photo.png", false}, // PNG has no place for them
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + std::string(c.preserve ? " preserve" : ""));
        host.bmp = c.bmp;
        host.png = c.png;
        host.preserve = c.preserve;
        host.log.clear();
        Run();
        ASSERT_EQ(host.log, "OK: " + out / c.output + " created \r\n");
        EXPECT_EQ(MarkersOf(out / c.output), c.markers ? inputMarkers : std::vector<std::string>{});
    }
    const std::string png = ReadBytes(out / "photo.png");
    EXPECT_EQ(png.substr(0, 4), "\x89PNG");
}

TEST_F(StampJobTest, JpegQualityIsReadOnceAndReachesTheEncoder) {
    CMemoryBitmap noisy; // detail that a low quality visibly throws away
    MakePicture(noisy, 64, 64, 0);
    uint32_t seed = 1;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            SetPixel32(noisy, x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    CBmpEncoder().EncodeFile(in / "a.bmp", noisy);
    host.Add(in / "a.bmp", "a");
    host.bmp = false;
    host.overwrite = true;
    std::vector<size_t> sizes;
    for (const int quality : {10, 95}) {
        host.quality = quality;
        Run();
        sizes.push_back(ReadBytes(out / "a.jpg").size());
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

TEST(JobExtension, FollowsTheFormatChoices) {
    EXPECT_STREQ(JobExtension(true, false), ".bmp");
    EXPECT_STREQ(JobExtension(true, true), ".bmp");
    EXPECT_STREQ(JobExtension(false, true), ".png");
    EXPECT_STREQ(JobExtension(false, false), ".jpg");
}

TEST(FileTitle, DropsOnlyTheLastExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"a/b.c.jpg", "b.c"},      {"photo.JPG", "photo"},
        {"/x/.hidden", ".hidden"}, {"noext", "noext"},
        {"/a.b/noext", "noext"},   {"/a/photo.tar.gz", "photo.tar"},
        {"dir.d/file", "file"},    {"a.", "a"},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(FileTitle(path), title) << path;
}

// ---- Several workers

void WriteNoisy(CImageEncoder&& encoder, const std::string& path, int width, int height,
                uint32_t seed) {
    CMemoryBitmap picture;
    MakePicture(picture, width, height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel32(picture, x, y, 0xFF000000u | (seed = seed * 1664525u + 1013904223u) >> 8);
    encoder.EncodeFile(path, picture);
}

// What one run showed and left.
struct CRunTrace {
    std::string log;
    std::vector<std::string> events;
    std::vector<std::string> done;
    std::map<std::string, std::string> files;
    bool operator==(const CRunTrace&) const = default;
};

// A batch of everything the engine meets: the four input formats, a broken file, a file
// that is gone, one that shrinks and one that vanishes after the run has started, two
// inputs that write one output (one of each kind before and after it), an output that
// exists already, and files of different sizes so that the workers finish out of order.
class ParallelJobTest : public StampJobTest {
protected:
    ParallelJobTest() {
        std::filesystem::create_directories(in / "x");
        std::filesystem::create_directories(in / "y");
        WriteNoisy(CJpegEncoder(), in / "a.jpg", 300, 200, 1);
        WriteNoisy(CPngEncoder(), in / "b.png", 40, 30, 2);
        // A GIF of an 8 x 4 screen (where the stamp lands) whose one image is 1 x 1, with a
        // two-colour table.
        WriteBytes(in / "c.gif", std::string("GIF89a\x08\x00\x04\x00\x80\x00\x00\x10\x20\x30\xff"
                                             "\xff\xff,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02"
                                             "\x02\x44\x01\x00;",
                                             35));
        WriteNoisy(CBmpEncoder(), in / "d.bmp", 500, 400, 3);
        WriteBytes(in / "broken.jpg", std::string("\xFF\xD8\xFF\xE0 not really", 15));
        WriteNoisy(CBmpEncoder(), in / "x/photo.bmp", 200, 100, 4);
        WriteNoisy(CPngEncoder(), in / "y/photo.png", 20, 10, 5);
        WriteNoisy(CBmpEncoder(), in / "kept.bmp", 30, 30, 6);
        for (int i = 0; i < 6; ++i)
            WriteNoisy(CBmpEncoder(), in / ("f" + std::to_string(i) + ".bmp"), 10 + 90 * (i % 3),
                       20, uint32_t(10 + i));
        for (const char* name :
             {"f0.bmp", "a.jpg", "b.png", "x/photo.bmp", "c.gif", "d.bmp", "broken.jpg", "f1.bmp",
              "gone.bmp", "y/photo.png", "shrinks.bmp", "f2.bmp", "kept.bmp", "vanishes.bmp",
              "f3.bmp", "f4.bmp", "f5.bmp"})
            host.Add(in / name, FileTitle(name));
    }

    // One run into a fresh output folder where kept's output exists already.
    CRunTrace RunInto(int workers, const std::string& extension, bool overwrite, int stopAt = -2) {
        for (const auto& entry : std::filesystem::directory_iterator(target.Folder()))
            std::filesystem::remove(entry.path());
        WriteBytes(target / ("kept" + extension), "older");
        WriteNoisy(CBmpEncoder(), in / "shrinks.bmp", 64, 64, 7);
        WriteNoisy(CBmpEncoder(), in / "vanishes.bmp", 8, 8, 8);
        const auto paths = host.paths;
        const auto titles = host.titles;
        host = CFakeHost();
        host.paths = paths;
        host.titles = titles;
        host.folder = target.Folder();
        host.bmp = extension == ".bmp";
        host.png = extension == ".png";
        host.overwrite = overwrite;
        host.preserve = true;
        host.stopEnabled = stopAt != -1;
        host.onFileStarted = [&](int index) {
            // Changed by another program after the run has taken them up.
            if (paths[size_t(index)] == in / "shrinks.bmp")
                std::filesystem::resize_file(in / "shrinks.bmp", 100);
            if (paths[size_t(index)] == in / "vanishes.bmp")
                std::filesystem::remove(in / "vanishes.bmp");
            if (index == stopAt)
                host.stopEnabled = false;
        };
        Run(true, 2, 2, -3, -2, workers);
        return CRunTrace{host.log, host.events, host.done, FilesIn(target.Folder())};
    }

    CTempFolder target;
};

TEST_F(ParallelJobTest, SeveralWorkersShowAndWriteExactlyWhatOneWorkerDoes) {
    for (const bool overwrite : {false, true}) {
        for (const std::string extension : {".jpg", ".bmp"}) {
            SCOPED_TRACE(extension + (overwrite ? " overwrite" : ""));
            const CRunTrace serial = RunInto(1, extension, overwrite);
            // The serial run is the reference; make sure it meets every case.
            const std::string& log = serial.log;
            EXPECT_NE(log.find("OK: " + host.folder + "c" + extension + " created"),
                      std::string::npos)
                << log;
            EXPECT_NE(log.find("ERR: " + in / "broken.jpg" + " : "), std::string::npos);
            EXPECT_NE(log.find("ERR: " + in / "gone.bmp" + " : Decoder error: Opening"),
                      std::string::npos);
            EXPECT_NE(log.find("ERR: " + in / "shrinks.bmp" +
                               " : End of file reached while decoding.\r\n"),
                      std::string::npos);
            EXPECT_NE(log.find("ERR: " + in / "vanishes.bmp" + " : Decoder error: Opening"),
                      std::string::npos);
            const std::string photo = host.folder + "photo" + extension;
            EXPECT_NE(log.find("ERR: " + in / "y/photo.png" +
                               " : an earlier file of this run has the name " + photo + "\r\n"),
                      std::string::npos)
                << "the second photo";
            EXPECT_EQ(serial.files.at("kept" + extension) == "older", !overwrite);
            EXPECT_EQ(serial.done.size(), host.paths.size());
            EXPECT_EQ(serial.files.size(), 12u) << "a temporary was left behind";

            for (const int workers : {2, 3, 8}) {
                SCOPED_TRACE(workers);
                const CRunTrace parallel = RunInto(workers, extension, overwrite);
                EXPECT_EQ(parallel.log, serial.log);
                EXPECT_EQ(parallel.events, serial.events);
                EXPECT_EQ(parallel.done, serial.done);
                EXPECT_TRUE(parallel.files == serial.files);
            }
        }
    }
}

TEST_F(ParallelJobTest, AStopLetsTheStartedFilesFinishInOrderAndStartsNoOther) {
    const CRunTrace full = RunInto(1, ".jpg", false);
    const int last = int(host.paths.size()) - 1;
    // -1: before the first file; a file index: pressed while that file is in progress.
    for (const int stopAt : {-1, 0, 5, last - 1, last}) {
        SCOPED_TRACE(stopAt);
        const CRunTrace serial = RunInto(1, ".jpg", false, stopAt);
        size_t prefix = 0;
        for (int i = 0; i <= stopAt; ++i)
            prefix = full.log.find("\r\n", prefix) + 2;
        EXPECT_EQ(serial.log, full.log.substr(0, prefix) + "canceled");
        for (const int workers : {2, 5}) {
            const CRunTrace parallel = RunInto(workers, ".jpg", false, stopAt);
            EXPECT_EQ(parallel.log, serial.log) << workers;
            EXPECT_EQ(parallel.events, serial.events) << workers;
            // Every file logged as created is there, and nothing else was written.
            EXPECT_TRUE(parallel.files == serial.files) << workers;
        }
    }
}

// A write that fails (the disk is full, or the file grows past what the system allows)
// costs its own file alone: its name is untouched, an older file there stays as it was, no
// temporary is left, and the other workers' files are written.
TEST_F(StampJobTest, AFailedWriteCostsItsFileAloneAndLeavesNoPieceBehind) {
    WriteNoisy(CBmpEncoder(), in / "big.bmp", 200, 200, 1); // 160 kB as BMP
    for (const char* name : {"s0.bmp", "big.bmp", "s1.bmp", "s2.bmp", "s3.bmp"}) {
        if (name[0] == 's')
            WriteNoisy(CBmpEncoder(), in / name, 20, 20, 2);
        host.Add(in / name, FileTitle(name));
    }
    host.overwrite = true;
    WriteBytes(out / "big.bmp", "older");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file size limit fails the write as a full disk does, without a signal.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{50000, 50000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Run(false, 2, 2, 0, 0, 3);
        WriteBytes(out / "log.txt", host.log);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string expected;
    for (const char* name : {"s0", "big", "s1", "s2", "s3"})
        expected += name == std::string("big")
                        ? "ERR: " + in / "big.bmp" + " : Writing " + out / "big.bmp" +
                              " failed: File too large\r\n"
                        : "OK: " + out / (name + std::string(".bmp")) + " created \r\n";
    EXPECT_EQ(ReadBytes(out / "log.txt"), expected);
    const auto files = FilesIn(out.Folder());
    EXPECT_EQ(files.size(), 6u); // four outputs, the older big.bmp and the log
    EXPECT_EQ(files.at("big.bmp"), "older");
}

TEST(OutputFile, TemporaryNamesAreHiddenAndMarked) {
    CTempFolder folder;
    COutputFile file;
    file.Create(folder / "a.jpg");
    const std::string temporary = file.GetTemporaryPath();
    const std::string name = temporary.substr(temporary.rfind('/') + 1);
    EXPECT_EQ(name[0], '.');
    EXPECT_TRUE(COutputFile::IsTemporaryName(name)) << name;
    EXPECT_FALSE(COutputFile::IsTemporaryName("a.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder / "a.jpg"));
    file.Commit("abc", 3);
    EXPECT_EQ(ReadBytes(folder / "a.jpg"), "abc");
    EXPECT_EQ(FilesIn(folder.Folder()).size(), 1u);
}

} // namespace

// Without replacing, on every file system: one with renameat2's RENAME_NOREPLACE, one with
// hard links only, one with neither. A name taken by anything, a dangling link included,
// stays as it was, and the temporary stays for another name until it is dropped.
TEST(OutputFile, PublishingWithoutReplacingLeavesATakenNameAlone) {
    for (const int missing : {0, 1, 2}) {
        for (const char* under : {"nothing", "a file", "a dangling link"}) {
            SCOPED_TRACE(std::to_string(missing) + " " + under);
            CTempFolder folder;
            const std::string path = folder / "a.jpg";
            const bool taken = std::string(under) != "nothing";
            COutputFile::SimulateMissingNoReplace(missing);
            // A private file there from the start: its mode is the replacement's, not that of
            // a new file under another name.
            if (std::string(under) == "a file") {
                WriteBytes(path, "older");
                std::filesystem::permissions(path, std::filesystem::perms(0600));
            }
            {
                COutputFile file;
                file.Create(path);
                if (std::string(under) == "a dangling link")
                    std::filesystem::create_symlink(folder / "nowhere", path);
                file.Write("new", 3);
                EXPECT_EQ(file.Publish(COutputFile::CExisting::Keep), !taken);
                if (taken) {
                    EXPECT_TRUE(std::filesystem::exists(file.GetTemporaryPath()));
                    EXPECT_TRUE(file.Publish(COutputFile::CExisting::Keep, folder / "b.jpg"));
                    EXPECT_EQ(ReadBytes(folder / "b.jpg"), "new");
                    WriteBytes(folder / "c.jpg", "");
                    EXPECT_EQ(std::filesystem::status(folder / "b.jpg").permissions(),
                              std::filesystem::status(folder / "c.jpg").permissions());
                    std::filesystem::remove(folder / "c.jpg");
                }
            }
            COutputFile::SimulateMissingNoReplace(0);
            if (std::string(under) == "a dangling link")
                EXPECT_TRUE(std::filesystem::is_symlink(path));
            else
                EXPECT_EQ(ReadBytes(path), taken ? "older" : "new");
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / ""),
                                    std::filesystem::directory_iterator()),
                      taken ? 2 : 1)
                << "a temporary or a second name was left behind";
        }
    }
}
