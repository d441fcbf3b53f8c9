#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/jpegencoder.h"
#include "job/stampjob.h"
#include "jobfixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
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

class StampJobTest : public testing::Test {
protected:
    StampJobTest() {
        host.folder = out.Folder();
        MakePicture(stamp, 4, 2, kRed);
    }

    CStampJobSummary Run(bool blend = false, uint8_t halign = 2, uint8_t valign = 2,
                         int32_t offsetX = 0, int32_t offsetY = 0) {
        CStampJob job(
            CStampJobParams{host, stamp, blend, halign, valign, offsetX, offsetY, nullptr, true});
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

TEST_F(StampJobTest, SameTitleTwiceMapsToOneOutput) {
    // Recognition goes by content, so a BMP named .jpg decodes all the same.
    host.Add(Input("photo.bmp"), "photo");
    host.Add(Input("photo.jpg", 5, 5), "photo");

    Run();
    EXPECT_EQ(host.log, "OK: " + out / "photo.bmp" + " created \r\nERR: " + out / "photo.bmp" +
                            " allready existing \r\n");

    host.log.clear();
    host.overwrite = true;
    Run();
    EXPECT_EQ(host.log, "OK: " + out / "photo.bmp" + " created \r\nOK: " + out / "photo.bmp" +
                            " created \r\n");
    CStampBitmap result;
    CAutoDetectDecoder().DecodeFile(out / "photo.bmp", result, 32);
    EXPECT_EQ(result.GetWidth(), 5); // the second replaced the first
}

TEST_F(StampJobTest, FailuresGiveErrLinesWithoutTheTextsLastCharacter) {
    WriteBytes(in / "text.bmp", "this is no picture at all");
    host.Add(in / "text.bmp", "text");
    host.Add(in / "gone.bmp", "gone");
    host.Add(Input("ok.bmp"), "ok");
    host.folder = out / "missing/"; // the encoder cannot create its file

    const CStampJobSummary summary = Run();
    EXPECT_EQ(host.log, "ERR: " + in / "text.bmp" + " : Decoder error: Unknown file type.\r\n" +
                            "ERR: " + in / "gone.bmp" + " : Decoder error: Opening " +
                            in / "gone.bmp" + " failed\r\n" + "ERR: " + in / "ok.bmp" +
                            " : Decoder error: Opening " + out / "missing/ok.bmp" + " failed\r\n");
    // A failed file still scrolls and moves the bar.
    EXPECT_EQ(host.events, WithEnd({"log", "scroll", "progress 1", "log", "scroll", "progress 2",
                                    "log", "scroll", "progress 3"}));
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

} // namespace
