#include "job/losslessjpeg.h"

#include <sys/stat.h>

#include "core/stampbitmap.h"
#include "core/stampcompositing.h"
#include "core/stamppreparation.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"
#include "jobfixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::unique_ptr<CSavedMarker> Markers(const std::vector<std::pair<int, std::string>>& list) {
    std::unique_ptr<CSavedMarker> first;
    std::unique_ptr<CSavedMarker>* tail = &first;
    for (const auto& [code, text] : list) {
        auto m = std::make_unique<CSavedMarker>();
        m->marker = uint8_t(code);
        m->originalLength = m->dataLength = uint32_t(text.size());
        m->data = std::make_unique<uint8_t[]>(text.size() + 1);
        std::copy(text.begin(), text.end(), m->data.get());
        *tail = std::move(m);
        tail = &(*tail)->next;
    }
    return first;
}

std::vector<std::string> Texts(const CSavedMarker* m) {
    std::vector<std::string> texts;
    for (; m; m = m->next.get())
        texts.push_back(std::to_string(m->marker) + ":" +
                        std::string(reinterpret_cast<const char*>(m->data.get()), m->dataLength));
    return texts;
}

std::string Chunk(int number, int count, const std::string& body) {
    return std::string("ICC_PROFILE\0", 12) + char(number) + char(count) + body;
}

TEST(LosslessOutputMarkers, HeadersAsThePreserveSettingSaysAndTheProfileWheneverItIsWhole) {
    const std::string exif = "225:Exif", comment = "254:note", iptc = "237:Photoshop";
    const std::string p1 = "226:" + Chunk(1, 2, "aa"), p2 = "226:" + Chunk(2, 2, "bb");
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::string>> input;
        bool preserve;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"kept headers, then the profile in chunk order",
         {{0xE2, Chunk(2, 2, "bb")},
          {0xE1, "Exif"},
          {0xE2, Chunk(1, 2, "aa")},
          {0xFE, "note"},
          {0xED, "Photoshop"}},
         true,
         {exif, comment, iptc, p1, p2}},
        {"headers dropped, profile kept",
         {{0xE1, "Exif"}, {0xE2, Chunk(1, 2, "aa")}, {0xE2, Chunk(2, 2, "bb")}},
         false,
         {p1, p2}},
        {"chunk missing", {{0xE1, "Exif"}, {0xE2, Chunk(1, 2, "aa")}}, true, {exif}},
        {"chunk repeated",
         {{0xE2, Chunk(1, 2, "aa")}, {0xE2, Chunk(1, 2, "aa")}, {0xE2, Chunk(2, 2, "bb")}},
         true,
         {}},
        {"counts disagree", {{0xE2, Chunk(1, 1, "aa")}, {0xE2, Chunk(2, 2, "bb")}}, true, {}},
        {"chunk number zero", {{0xE2, Chunk(0, 1, "aa")}}, true, {}},
        {"other APP2 data is not a profile", {{0xE2, "FPXR\0stuff"}}, true, {}},
        {"nothing", {}, true, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Texts(LosslessOutputMarkers(Markers(c.input), c.preserve).get()), c.expected)
            << c.what;
}

// A photo-like picture with detail everywhere, so a second encode would show.
void WriteJpeg(const std::string& path, int width, int height, int quality) {
    CMemoryBitmap picture;
    MakePicture(picture, width, height, 0);
    uint32_t seed = 7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            SetPixel32(picture, x, y,
                       0xFF000000u | ((x * 4) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | (seed >> 26));
        }
    picture.SetMarkers(Markers({{0xE1, "Exif\0\0fake"}, {0xE2, Chunk(1, 1, "profile")}}));
    CJpegEncoder encoder;
    encoder.SetQuality(quality);
    encoder.EncodeFile(path, picture);
}

TEST(LosslessJpegStamp, PixelsOutsideTheStampedMcusStayBitForBit) {
    CTempFolder folder;
    const std::string input = folder / "photo.jpg";
    WriteJpeg(input, 100, 70, 80);
    CStampBitmap stamp;
    MakePicture(stamp, 20, 10, 0xFFFF0000);
    // Blended at half opacity, bottom right, 5 pixels in: 75..94 x 55..64, which touches
    // the 16 x 16 MCUs 64..95 x 48..69 (the picture ends at row 69); the last 4 columns
    // stay the input's.
    FillAlpha(stamp, 128);
    const CLosslessStampPlan plan{&stamp, true, 2, 2, -5, -5, false};

    CLosslessJpegStamp lossless;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(lossless.StampFile(input, plan, bytes));
    CMemoryBitmap before, after;
    CJpegDecoder().DecodeFile(input, before, 32);
    CJpegDecoder().DecodeMemory(bytes.data(), int(bytes.size()), after, 32);
    ASSERT_EQ(after.GetWidth(), 100);
    ASSERT_EQ(after.GetHeight(), 70);
    // The ordinary path at the quality the input was written with, so with its tables.
    CMemoryBitmap ordinary;
    CJpegDecoder().DecodeFile(input, ordinary, 32);
    BlendStampPixels(stamp, ordinary, ComputeStampPlacement(stamp, ordinary, 2, 2, -5, -5));
    CJpegEncoder encoder;
    encoder.SetQuality(80);
    encoder.EncodeFile(folder / "ordinary.jpg", ordinary);
    CJpegDecoder().DecodeFile(folder / "ordinary.jpg", ordinary, 32);

    int changedOutside = 0, differentInside = 0, stamped = 0;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint32_t b = after.GetPixel32(x, y) & 0xFFFFFF;
            if (x < 64 || x >= 96 || y < 48)
                changedOutside += (before.GetPixel32(x, y) & 0xFFFFFF) != b;
            else
                differentInside += (ordinary.GetPixel32(x, y) & 0xFFFFFF) != b;
            stamped += b != (before.GetPixel32(x, y) & 0xFFFFFF);
        }
    EXPECT_EQ(changedOutside, 0);
    EXPECT_EQ(differentInside, 0);
    EXPECT_GT(stamped, 150);
    // The profile goes along; the EXIF block only with preserved headers.
    EXPECT_EQ(Texts(after.GetMarkers()), std::vector<std::string>{});
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("ICC_PROFILE"), std::string::npos);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("fake"), std::string::npos);

    // Other formats, and files that are not there, are left to the ordinary path.
    WriteBmp(folder / "a.bmp", 8, 8, 0xFF808080);
    EXPECT_FALSE(lossless.StampFile(folder / "a.bmp", plan, bytes));
    EXPECT_FALSE(lossless.StampFile(folder / "missing.jpg", plan, bytes));
    // A pipe named like a JPEG is refused at once: opening it must not wait for a writer.
    ASSERT_EQ(::mkfifo((folder / "pipe.jpg").c_str(), 0600), 0);
    EXPECT_FALSE(lossless.StampFile(folder / "pipe.jpg", plan, bytes));
}

} // namespace
