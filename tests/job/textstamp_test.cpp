#include "job/textstamp.h"

#include "imagelib/bitmap.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"
#include "job/jobfixtures.h"
#include "job/photostamp.h"
#include "job/stampdescription.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"

#include "cameraexif.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

// An APP1 marker with the EXIF block of a camera that knows its owner and the date.
std::unique_ptr<CSavedMarker> CameraExif() {
    const std::string block = CameraExifBlock("X100");
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = 0xE1;
    marker->dataLength = marker->originalLength = unsigned(block.size());
    marker->data = std::make_unique<uint8_t[]>(block.size());
    std::memcpy(marker->data.get(), block.data(), block.size());
    return marker;
}

int Luma(const uint8_t* p) {
    return (114 * p[0] + 587 * p[1] + 299 * p[2]) / 1000;
}

// A window's part in a run: the files, the output folder, JPEG at quality 85.
struct CRunHost : CStampJobHost {
    std::vector<std::string> paths;
    std::string folder, log;
    int GetJpegQuality() override { return 85; }
    bool IsPreserveHeadersChecked() override { return false; }
    std::string GetOutputFolder() override { return folder; }
    bool IsBmpChecked() override { return false; }
    bool IsPngChecked() override { return false; }
    int GetFileCount() override { return int(paths.size()); }
    std::string GetFilePath(int i) override { return paths[size_t(i)]; }
    std::string GetFileTitle(int i) override { return FileTitle(paths[size_t(i)]); }
    bool IsOverwriteChecked() override { return true; }
    bool IsStopEnabled() override { return true; }
    std::string GetLogText() override { return log; }
    void SetLogText(const std::string& text) override { log = text; }
    void ScrollLogToEnd() override {}
    void SetProgressPosition(int) override {}
    void ClearStampingFlag() override {}
    void EnableRunControls() override {}
    void EnableFormatControls(bool) override {}
};

} // namespace

TEST(TextPlaceholders, FilledFromTheFileNameAndExifOrRefused) {
    CTempFolder folder;
    const std::string plain = folder / "IMG_0042.JPG";
    WriteBytes(plain, "x");
    // A file without EXIF dates itself by its modification time.
    std::tm day{};
    day.tm_year = 2021 - 1900;
    day.tm_mon = 2;
    day.tm_mday = 4;
    day.tm_hour = 12;
    day.tm_isdst = -1;
    const utimbuf times{std::mktime(&day), std::mktime(&day)};
    ASSERT_EQ(::utime(plain.c_str(), &times), 0);
    const std::unique_ptr<CSavedMarker> exif = CameraExif();

    const struct {
        const char* text;
        bool withExif;
        const char* filled;
    } cases[] = {
        {"{name}", true, "IMG_0042"},
        {"{ext}", true, "JPG"},
        {"{date}", true, "2024-05-06"},
        {"\u00a9 {year} {exif:Artist}", true, "\u00a9 2024 Jane Doe"},
        {"{exif:Model}/{exif:Copyright}.", true, "X100/."},
        {"{{{year}}} }} {", false, nullptr},
        {"{{{year}}} }}", false, "{2021} }"},
        {"{date}", false, "2021-03-04"},
        {"{exif:Artist}", false, ""},
        {"no fields", false, "no fields"},
    };
    for (const auto& c : cases) {
        CTextTemplate parsed;
        std::string unknown;
        const bool ok = parsed.Parse(c.text, unknown);
        EXPECT_EQ(ok, c.filled != nullptr) << c.text;
        if (!ok)
            continue;
        EXPECT_EQ(parsed.Fill(plain, c.withExif ? exif.get() : nullptr), c.filled) << c.text;
        EXPECT_EQ(parsed.HasFields(), std::string(c.text) != "no fields") << c.text;
    }
    const struct {
        const char* text;
        const char* unknown;
    } refused[] = {
        {"{nmae}", "{nmae}"}, {"a {exif:Nope} b", "{exif:Nope}"},
        {"{}", "{}"},         {"x {name", "{name"},
        {"{na{me}", "{na"},   {"{{{name}", ""},
    };
    for (const auto& r : refused)
        EXPECT_EQ(UnknownPlaceholder(r.text), r.unknown) << r.text;
}

// A text stamp on photos: its size by the size rule, its place by the alignment, its tone
// from the photo under it, drawn once per size unless its text names the photo.
TEST(TextStamp, SizePlaceToneAndDrawingOncePerSize) {
    CStampLook look;
    look.sizeMode = kSizePercentOfWidth;
    look.sizePercent = 20;
    CTextStampParams params;
    params.text = "\u00a9 Jane Doe";
    params.font = {"DejaVu Sans", "Bold"};
    params.autoColour = true;
    params.halign = 2;
    const CPhotoPlacement placement{2, 2, 0, 0, true};
    for (const uint32_t background : {0xFF000000u, 0xFFFFFFFFu, 0xFF203040u, 0xFFE0F0D0u}) {
        CTextStampMaker maker(params, look);
        for (const int width : {1000, 500}) {
            CMemoryBitmap photo;
            MakePicture(photo, width, 400, background);
            StampPhoto(photo, maker, placement, false);
            CPhotoFacts facts;
            facts.displayed = {width, 400};
            facts.lumaUnder = [&](CGridSize, CGridSize, CGridSize) {
                return Luma(reinterpret_cast<const uint8_t*>(&background));
            };
            const CShapedStamp shaped = maker.Shape(facts);
            // The text's block is the share; the shadow's margin lies around it.
            const int margin = TextShadowMargin(maker.EmFor(params.text, {width, 400}), true);
            EXPECT_NEAR(shaped.upright.width - 2 * margin, width / 5, 1) << width;
            const CStampPlacement where =
                PhotoStampPlacement(shaped, shaped.own, {width, 400}, 1, placement);
            EXPECT_EQ(where.targetX + where.width, width);
            EXPECT_EQ(where.targetY + where.height, 400);
            const bool darkPhoto = Luma(reinterpret_cast<const uint8_t*>(&background)) < 128;
            int changed = 0, outside = 0, textTone = 0;
            for (int y = 0; y < 400; ++y)
                for (int x = 0; x < width; ++x) {
                    const uint8_t* p = photo.GetLines()[y] + 4 * x;
                    if (std::memcmp(p, &background, 3) == 0)
                        continue;
                    ++changed;
                    outside += x < where.targetX || y < where.targetY;
                    textTone += darkPhoto ? Luma(p) > 240 : Luma(p) < 15;
                }
            EXPECT_EQ(outside, 0);
            EXPECT_GT(textTone, width / 5) << std::hex << background << " " << width;
        }
        // Two sizes of photo, one drawing each (the ForPhoto calls above came from the cache).
        EXPECT_EQ(maker.DrawCount(), 2);
    }

    // A text naming its photo is drawn for each file; offsets scale with the em.
    params.text = "{name}";
    params.autoColour = false;
    CTextStampMaker named(params, look);
    CPhotoFacts facts;
    facts.displayed = {1000, 400};
    facts.path = "/a/one.jpg";
    const CShapedStamp one = named.Shape(facts);
    facts.path = "/b/two.jpg";
    named.Shape(facts);
    named.Shape(facts);
    EXPECT_EQ(named.DrawCount(), 2);
    EXPECT_NEAR(double(one.upright.width) / one.own.width, named.EmFor("one", {1000, 400}) / 48,
                0.02);
}

// Byte-identical outputs for one worker and two, for every path a text takes: per-file
// placeholders with the tone chosen per photo, and a fixed colour through the lossless
// JPEG path.
TEST(TextStamp, OneWorkerAndTwoWriteTheSameBytes) {
    CTempFolder in;
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i) {
        CMemoryBitmap photo;
        MakePicture(photo, 320 + 16 * i, 240, i % 2 ? 0xFFF0F0F0u : 0xFF102030u);
        const std::string path = in / ("photo" + std::to_string(i) + ".jpg");
        CJpegEncoder encoder;
        encoder.SetQuality(90);
        encoder.EncodeFile(path, photo);
        inputs.push_back(path);
    }
    for (const bool lossless : {false, true}) {
        CStampSettingsValues settings;
        settings.stampkind = kStampText;
        settings.stamptext = lossless ? "\u00a9 2026\nJane" : "{name} \u05e9\u05dc\u05d5\u05dd";
        settings.textcolor = lossless ? 0xFFC000 : kTextColourAuto;
        settings.sizemode = kSizePercentOfWidth;
        settings.sizepercent = 30;
        settings.halign = 2;
        settings.valign = 2;
        settings.offsetx = -10;
        settings.offsety = -5;
        const CStampDescription description = DescribeStamp(settings);
        std::vector<std::string> outputs[2];
        for (const int workers : {1, 2}) {
            CTempFolder out;
            CRunHost host;
            host.paths = inputs;
            host.folder = out.Folder();
            CStampJob job(
                StampJobParams(host, description, MakeStamp(description), workers, lossless));
            const CStampJobSummary summary = job.Run();
            EXPECT_EQ(summary.created, 6) << host.log;
            for (int i = 0; i < 6; ++i)
                outputs[workers - 1].push_back(
                    ReadBytes(out / ("photo" + std::to_string(i) + ".jpg")));
        }
        for (int i = 0; i < 6; ++i) {
            EXPECT_FALSE(outputs[0][size_t(i)].empty());
            EXPECT_EQ(outputs[0][size_t(i)], outputs[1][size_t(i)]) << lossless << " " << i;
            // Every file its own text: no two outputs alike.
            if (i > 0 && !lossless) {
                EXPECT_NE(outputs[0][size_t(i)], outputs[0][size_t(i - 1)]);
            }
        }
    }
}

// Automatic tone on the lossless path: the tone is decided on the decoded blocks under the
// text's box, the pixels the ordinary path measures, so both paths choose the same tone,
// also where the photo is near the middle grey or another tone away from the text. The
// lossless output keeps every block outside the stamp bit for bit (the photos are written
// at another quality than the run's, so the ordinary path changes them all).
TEST(TextStamp, AutomaticToneOnTheLosslessPathChoosesAsTheOrdinaryPath) {
    struct CCase {
        const char* what;
        int top, bottom; // grey levels above and below row 160
        bool lightText;
    };
    const CCase cases[] = {{"dark", 60, 60, true},
                           {"light", 200, 200, false},
                           {"light above, dark under the text", 200, 60, true},
                           {"dark above, light under the text", 60, 200, false},
                           {"just below the middle under the text", 200, 124, true},
                           {"just above the middle under the text", 60, 132, false}};
    constexpr int kCases = int(std::size(cases));
    CTempFolder in;
    std::vector<std::string> inputs;
    for (const CCase& c : cases) {
        CMemoryBitmap photo;
        MakePicture(photo, 320, 240, 0);
        uint32_t seed = uint32_t(inputs.size()) + 11;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                // Each channel its own noise, 24 levels around the grey.
                for (int channel = 0; channel < 3; ++channel) {
                    seed = seed * 1664525u + 1013904223u;
                    photo.GetLines()[y][4 * x + channel] =
                        uint8_t((y < 160 ? c.top : c.bottom) - 12 + int(seed >> 27) * 24 / 31);
                }
        const std::string path = in / ("photo" + std::to_string(inputs.size()) + ".jpg");
        CJpegEncoder encoder;
        encoder.SetQuality(95);
        encoder.EncodeFile(path, photo);
        inputs.push_back(path);
    }
    CStampSettingsValues settings;
    settings.stampkind = kStampText;
    settings.stamptext = "\u00a9 Jane Doe";
    settings.textfont = "DejaVu Sans:Bold";
    settings.textcolor = kTextColourAuto;
    settings.sizemode = kSizePercentOfWidth;
    settings.sizepercent = 40;
    settings.halign = 2;
    settings.valign = 2;
    settings.offsetx = -10;
    settings.offsety = -10;
    const CStampDescription description = DescribeStamp(settings);
    // Where the text goes (its box does not depend on its tone).
    CPhotoFacts facts;
    facts.displayed = {320, 240};
    facts.lumaUnder = [](CGridSize, CGridSize, CGridSize) { return 0; };
    const CShapedStamp shaped = MakeStamp(description)->Shape(facts);
    const CStampPlacement box =
        PhotoStampPlacement(shaped, shaped.own, {320, 240}, 1, description.placement);
    ASSERT_GE(box.targetY, 160);
    // The MCUs it touches, at most 16 pixels square.
    const int left = box.targetX / 16 * 16, top = box.targetY / 16 * 16;

    CMemoryBitmap outputs[2][kCases]; // ordinary, lossless
    for (const bool lossless : {false, true}) {
        CTempFolder out;
        CRunHost host;
        host.paths = inputs;
        host.folder = out.Folder();
        CStampJob job(StampJobParams(host, description, MakeStamp(description), 1, lossless));
        ASSERT_EQ(job.Run().created, kCases) << host.log;
        for (int i = 0; i < kCases; ++i)
            CJpegDecoder().DecodeFile(out / ("photo" + std::to_string(i) + ".jpg"),
                                      outputs[lossless][i], 32);
    }
    for (int i = 0; i < kCases; ++i) {
        const CCase& c = cases[i];
        CMemoryBitmap input;
        CJpegDecoder().DecodeFile(inputs[size_t(i)], input, 32);
        for (const bool lossless : {false, true}) {
            const CMemoryBitmap& output = outputs[lossless][i];
            int changedOutside = 0, light = 0, dark = 0;
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x) {
                    if (x < left || y < top) {
                        changedOutside += (output.GetPixel32(x, y) & 0xFFFFFF) !=
                                          (input.GetPixel32(x, y) & 0xFFFFFF);
                    } else {
                        const int luma = Luma(output.GetLines()[y] + 4 * x);
                        light += luma > 245;
                        dark += luma < 10;
                    }
                }
            if (lossless)
                EXPECT_EQ(changedOutside, 0) << c.what;
            else
                EXPECT_GT(changedOutside, 1000) << c.what;
            EXPECT_GT(c.lightText ? light : dark, 100) << c.what << " " << lossless;
            EXPECT_LT(c.lightText ? dark : light, 5) << c.what << " " << lossless;
        }
    }
}
