// The stamp on real files against references: ImageMagick as the viewer that turns photos
// upright and as the resampler, and our own decoders and encoders around the stamping.

#include "core/stampbitmap.h"
#include "core/stampcompositing.h"
#include "core/stampscaling.h"
#include "core/stampshape.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/iccprofile.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"
#include "job/losslessjpeg.h"
#include "job/photostamp.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"
#include "job/stampsetup.h"
#include "jobfixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

namespace {

bool HaveConvert() {
    static const bool have = std::system("convert -version >/dev/null 2>&1") == 0;
    return have;
}

// Runs ImageMagick's convert on one file into another; false when it failed.
bool Convert(const std::string& in, const std::string& arguments, const std::string& out) {
    const std::string command = "convert '" + in + "' " + arguments + " '" + out + "'";
    return std::system(command.c_str()) == 0;
}

void Decode(const std::string& path, CImageBitmap& bitmap) {
    CAutoDetectDecoder().DecodeFile(path, bitmap, 32);
}

// A photo with a smooth ramp and a few hard lines, as JPEG survives well.
void Photo(CImageBitmap& bitmap, int width, int height) {
    bitmap.Create(width, height, 32, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int line = x % 7 == 0 ? 60 : 0; // grey lines: no colour edges for JPEG
            SetPixel32(bitmap, x, y,
                       Bgra(uint8_t(40 + 5 * x + line), uint8_t(30 + 8 * y + line),
                            uint8_t(90 + line), 255));
        }
}

// An APP1 EXIF block holding only IFD0 with the orientation tag, little-endian.
std::unique_ptr<CSavedMarker> ExifMarker(int orientation) {
    const uint8_t bytes[] = {'E', 'x',  'i',  'f', 0,
                             0,   'I',  'I',  42,  0,
                             8,   0,    0,    0,   1,
                             0,   0x12, 0x01, 3,   0,
                             1,   0,    0,    0,   uint8_t(orientation),
                             0,   0,    0,    0,   0,
                             0,   0};
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = 0xE1;
    marker->dataLength = marker->originalLength = sizeof bytes;
    marker->data = std::make_unique<uint8_t[]>(sizeof bytes);
    std::copy(std::begin(bytes), std::end(bytes), marker->data.get());
    return marker;
}

std::string App1Of(const CImageBitmap& bitmap) {
    for (const CSavedMarker* m = bitmap.GetMarkers(); m; m = m->next.get())
        if (m->marker == 0xE1)
            return std::string(reinterpret_cast<const char*>(m->data.get()), m->dataLength);
    return {};
}

int MaxDifference(const CImageBitmap& a, const CImageBitmap& b, int x0, int y0, int w, int h) {
    int worst = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(int(a.GetPixel32(x, y) >> shift & 0xFF) -
                                                 int(b.GetPixel32(x, y) >> shift & 0xFF)));
    return worst;
}

const char* const kOrientationNames[] = {"",           "TopLeft", "TopRight", "BottomRight",
                                         "BottomLeft", "LeftTop", "RightTop", "RightBottom",
                                         "LeftBottom"};

// For each of the eight orientations, the photo as ImageMagick shows it upright carries the
// stamp upright at the chosen displayed corner and offsets: exactly in PNG output (written
// upright), and in JPEG output with kept headers, whose pixels stay stored and whose EXIF
// bytes are unchanged.
TEST(PhotoStamp, EveryOrientationShowsTheStampUprightWhereChosen) {
    if (!HaveConvert())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    CTempFolder dir;
    CMemoryBitmap stamp;
    stamp.Create(6, 3, 32, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) // dark left column, bright bottom row: turns show
            SetPixel32(stamp, x, y, x == 0 ? 0xFF000000u : y == 2 ? 0xFFFFFFFFu : 0xFF606060u);
    const int kOffsetX = -3, kOffsetY = 2; // offsets count right and down

    for (int o = 1; o <= 8; ++o) {
        SCOPED_TRACE("orientation " + std::to_string(o));
        // The input: a JPEG whose stored grid is 24 x 16, with the orientation tag.
        CMemoryBitmap photo;
        Photo(photo, 24, 16);
        photo.SetMarkers(ExifMarker(o));
        CJpegEncoder jpeg;
        jpeg.SetQuality(100);
        const std::string input = dir / ("in" + std::to_string(o) + ".jpg");
        jpeg.EncodeFile(input, photo);

        // The reference: our decoded pixels, turned upright by ImageMagick.
        CStampBitmap stored;
        Decode(input, stored);
        const std::string storedPng = dir / "stored.png";
        CPngEncoder().EncodeFile(storedPng, stored);
        ASSERT_TRUE(Convert(storedPng,
                            std::string("-orient ") + kOrientationNames[o] + " -auto-orient",
                            dir / "upright.png"));
        CStampBitmap expected;
        Decode(dir / "upright.png", expected);
        ASSERT_EQ(expected.GetWidth(), o >= 5 ? 16 : 24);
        // Top right, 3 in from the right edge and 2 down.
        const int left = expected.GetWidth() - 6 + kOffsetX;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x)
                SetPixel32(expected, left + x, kOffsetY + y, stamp.GetPixel32(x, y));

        CStampShaper shaper(stamp, {}, CStampLook{});
        const CPhotoPlacement placement{2, 0, kOffsetX, kOffsetY, true};

        // PNG output: no EXIF, so written upright.
        CStampBitmap picture;
        Decode(input, picture);
        EXPECT_EQ(StampPhoto(picture, shaper, placement, false), o);
        const std::string pngOut = dir / "out.png";
        CPngEncoder().EncodeFile(pngOut, picture);
        CStampBitmap written;
        Decode(pngOut, written);
        ASSERT_EQ(written.GetWidth(), expected.GetWidth());
        EXPECT_EQ(MaxDifference(written, expected, 0, 0, written.GetWidth(), written.GetHeight()),
                  0);

        // JPEG output with kept headers: the stored grid and EXIF stay, the stamp turns.
        Decode(input, picture);
        const std::string exif = App1Of(picture);
        StampPhoto(picture, shaper, placement, true);
        ASSERT_EQ(picture.GetWidth(), 24);
        const std::string jpegOut = dir / "out.jpg";
        jpeg.EncodeFile(jpegOut, picture);
        CStampBitmap kept;
        Decode(jpegOut, kept);
        EXPECT_EQ(App1Of(kept), exif);
        ASSERT_TRUE(Convert(jpegOut, "-auto-orient", dir / "shown.png"));
        CStampBitmap shown;
        Decode(dir / "shown.png", shown);
        ASSERT_EQ(shown.GetWidth(), expected.GetWidth());
        // JPEG's rounding at the stamp's hard edges stays below 48; a stamp turned or placed
        // wrong differs by 96 or more (its black column against its grey, its white row).
        EXPECT_LE(MaxDifference(shown, expected, 0, 0, shown.GetWidth(), shown.GetHeight()), 47);

        // The lossless path turns and places the stamp the same way, EXIF bytes kept.
        CLosslessStampPlan plan;
        plan.shaper = &shaper;
        plan.halign = 2;
        plan.valign = 0;
        plan.offsetX = kOffsetX;
        plan.offsetY = kOffsetY;
        plan.preserveHeaders = true;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(CLosslessJpegStamp().StampFile(input, plan, bytes));
        const std::string losslessOut = dir / "lossless.jpg";
        std::ofstream(losslessOut, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        Decode(losslessOut, kept);
        EXPECT_EQ(App1Of(kept), exif);
        ASSERT_TRUE(Convert(losslessOut, "-auto-orient", dir / "shown.png"));
        Decode(dir / "shown.png", shown);
        ASSERT_EQ(shown.GetWidth(), expected.GetWidth());
        EXPECT_LE(MaxDifference(shown, expected, 0, 0, shown.GetWidth(), shown.GetHeight()), 47);

        // Orientation not followed: the stored grid, as before.
        Decode(input, picture);
        EXPECT_EQ(StampPhoto(picture, shaper, {2, 0, kOffsetX, kOffsetY, false}, false), 1);
        EXPECT_EQ(picture.GetWidth(), 24);
        EXPECT_EQ(picture.GetPixel32(24 - 6 + kOffsetX, kOffsetY) & 0xFFFFFF, 0u);
    }
}

// Shrinking against ImageMagick's area averaging (-scale), enlarging against its linear
// filter, both within a small tolerance.
TEST(PhotoStamp, ScalingFollowsAReferenceResampler) {
    if (!HaveConvert())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    CTempFolder dir;
    CMemoryBitmap stamp;
    stamp.Create(40, 30, 32, false);
    std::mt19937 random(7);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool block = (x / 5 + y / 5) % 2 == 0;
            SetPixel32(
                stamp, x, y,
                Bgra(uint8_t(block ? 220 : 20), uint8_t(x * 6), uint8_t(random() % 256), 255));
        }
    const std::string source = dir / "stamp.png";
    CPngEncoder().EncodeFile(source, stamp);
    const struct {
        int width, height;
        const char* filter;
        int tolerance;
    } cases[] = {
        {20, 15, "-scale 20x15!", 1},
        {17, 13, "-scale 17x13!", 1},
        {9, 7, "-scale 9x7!", 1},
        {100, 75, "-filter Triangle -resize 100x75!", 2},
        {61, 45, "-filter Triangle -resize 61x45!", 2},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Convert(source, c.filter, dir / "reference.png"));
        CStampBitmap reference;
        Decode(dir / "reference.png", reference);
        CMemoryBitmap scaled;
        ScaleStampBitmap(stamp, scaled, c.width, c.height);
        ASSERT_EQ(reference.GetWidth(), c.width);
        EXPECT_LE(MaxDifference(scaled, reference, 0, 0, c.width, c.height), c.tolerance)
            << c.filter;
    }
}

// A profile with a header that every reader accepts and an empty tag table. Its body must
// not deflate too well: libpng refuses an iCCP chunk below 92 bytes.
std::vector<uint8_t> RgbProfile(std::size_t size, uint8_t fill) {
    std::vector<uint8_t> p(size);
    std::mt19937 random(fill);
    for (uint8_t& byte : p)
        byte = uint8_t(random());
    std::fill(p.begin(), p.begin() + 132, uint8_t(0));
    for (int i = 0; i < 4; ++i)
        p[size_t(i)] = uint8_t(size >> (24 - 8 * i));
    const auto put = [&](std::size_t at, const char* text) { std::copy(text, text + 4, &p[at]); };
    p[8] = 2;
    p[9] = 0x10;
    put(12, "mntr");
    put(16, "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    const uint8_t d50[] = {0, 0, 0xF6, 0xD6, 0, 1, 0, 0, 0, 0, 0xD3, 0x2D};
    std::copy(std::begin(d50), std::end(d50), &p[68]);
    return p;
}

// Splices APP2 markers with the given data right after a JPEG's SOI.
std::string WithApp2(const std::string& jpeg, const std::vector<std::vector<uint8_t>>& markers) {
    std::string out = jpeg.substr(0, 2);
    for (const std::vector<uint8_t>& m : markers) {
        const std::size_t length = m.size() + 2;
        out += "\xFF\xE2";
        out += char(length >> 8);
        out += char(length & 0xFF);
        out.append(reinterpret_cast<const char*>(m.data()), m.size());
    }
    return out + jpeg.substr(2);
}

// The colour profile of a JPEG (over several APP2 chunks) or a PNG reaches JPEG and PNG
// output byte for byte, with or without kept headers; a broken one is dropped whole.
TEST(PhotoStamp, ColourProfilesReachEveryJpegAndPngOutput) {
    CTempFolder dir;
    CMemoryBitmap photo;
    Photo(photo, 12, 9);
    CJpegEncoder jpeg;
    jpeg.EncodeFile(dir / "plain.jpg", photo);
    const std::string plain = ReadBytes(dir / "plain.jpg");

    const std::vector<uint8_t> profile = RgbProfile(150000, 0x5A); // three chunks
    const std::vector<std::vector<uint8_t>> chunks = SplitIccProfile(profile);
    ASSERT_EQ(chunks.size(), 3u);
    std::vector<uint8_t> mpf = {'M', 'P', 'F', 0, 1, 2, 3}; // another APP2, not a profile
    // Chunks out of order are put in order by their numbers.
    WriteBytes(dir / "profiled.jpg", WithApp2(plain, {chunks[1], mpf, chunks[0], chunks[2]}));
    WriteBytes(dir / "missing.jpg", WithApp2(plain, {chunks[0], chunks[2]}));
    WriteBytes(dir / "repeated.jpg", WithApp2(plain, {chunks[0], chunks[1], chunks[1]}));
    std::vector<uint8_t> miscounted = chunks[2];
    miscounted[13] = 4;
    WriteBytes(dir / "miscounted.jpg", WithApp2(plain, {chunks[0], chunks[1], miscounted}));
    CMemoryBitmap withProfile;
    withProfile.ConvertFrom(photo, 0);
    withProfile.SetIccProfile(RgbProfile(4000, 0x33));
    CPngEncoder().EncodeFile(dir / "profiled.png", withProfile);

    const struct {
        const char* input;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"profiled.jpg", profile}, {"profiled.png", RgbProfile(4000, 0x33)},
        {"missing.jpg", {}},       {"repeated.jpg", {}},
        {"miscounted.jpg", {}},    {"plain.jpg", {}},
    };
    for (const auto& c : cases) {
        CStampBitmap decoded;
        Decode(dir / c.input, decoded);
        EXPECT_EQ(decoded.GetIccProfile(), c.expected) << c.input;
        decoded.FreeMarkers(); // "preserve jpeg-headers" off: the profile still goes
        jpeg.EncodeFile(dir / "out.jpg", decoded);
        CPngEncoder().EncodeFile(dir / "out.png", decoded);
        for (const char* output : {"out.jpg", "out.png"}) {
            CStampBitmap written;
            Decode(dir / output, written);
            EXPECT_EQ(written.GetIccProfile(), c.expected) << c.input << " to " << output;
        }
    }
    // The written JPEG carries the profile in APP2 markers only, not twice.
    CStampBitmap decoded;
    Decode(dir / "profiled.jpg", decoded);
    for (const CSavedMarker* m = decoded.GetMarkers(); m; m = m->next.get())
        EXPECT_NE(m->marker, 0xE2);
}

// An opaque stamp at its own size writes the bytes the engine always wrote, copied or
// blended, keyed or not; a stamp with its own alpha is an "over" composite with alpha x
// opacity.
TEST(PhotoStamp, OpaqueStampsKeepTheirBytesAndOwnAlphaIsComposited) {
    CTempFolder dir, out;
    CMemoryBitmap photo;
    Photo(photo, 30, 20);
    CBmpEncoder().EncodeFile(dir / "photo.bmp", photo);
    CStampBitmap decodedStamp;
    Photo(decodedStamp, 9, 5);
    SetPixel32(decodedStamp, 2, 2, 0xFF112233u);

    struct CHost : CStampJobHost {
        std::string folder, path;
        int GetJpegQuality() override { return 90; }
        bool IsPreserveHeadersChecked() override { return false; }
        std::string GetOutputFolder() override { return folder; }
        bool IsBmpChecked() override { return true; }
        bool IsPngChecked() override { return false; }
        int GetFileCount() override { return 1; }
        std::string GetFilePath(int) override { return path; }
        std::string GetFileTitle(int) override { return "photo"; }
        bool IsOverwriteChecked() override { return true; }
        bool IsStopEnabled() override { return true; }
        std::string GetLogText() override { return {}; }
        void SetLogText(const std::string&) override {}
        void ScrollLogToEnd() override {}
        void SetProgressPosition(int) override {}
        void ClearStampingFlag() override {}
        void EnableRunControls() override {}
        void EnableFormatControls(bool) override {}
    } host;
    host.folder = out.Folder();
    host.path = dir / "photo.bmp";
    auto run = [&](CStampSettingsValues settings, bool shaped) {
        CStampBitmap prepared;
        prepared.ConvertFrom(decodedStamp, 0);
        PrepareStamp(prepared, settings);
        CStampJobParams params{host,
                               prepared,
                               StampNeedsBlend(settings),
                               uint8_t(settings.halign),
                               uint8_t(settings.valign),
                               settings.offsetx,
                               settings.offsety,
                               1,
                               shaped ? MakeStampShaper(decodedStamp, settings) : nullptr,
                               true};
        CStampJob(params).Run();
        return ReadBytes(out / "photo.bmp");
    };
    const std::string original = ReadBytes(dir / "photo.bmp");
    CStampSettingsValues looks[4];
    looks[1].opacity = 100;
    looks[2].usetrans = true;
    looks[2].colora = 1;
    looks[2].colorr = 0x11;
    looks[2].colorg = 0x22;
    looks[2].colorb = 0x33;
    looks[2].feather = 4;
    looks[2].opacity = 180;
    looks[3] = looks[2];
    looks[3].feather = 16;
    looks[3].halign = 0;
    looks[3].offsetx = -3;
    for (const CStampSettingsValues& look : looks) {
        SCOPED_TRACE(std::to_string(look.opacity) + " " + std::to_string(look.feather));
        const std::string before = run(look, false);
        EXPECT_NE(before, original);
        EXPECT_EQ(run(look, true), before);
    }

    // Graded own alpha at opacity 200 over the photo, against "over" by hand.
    CMemoryBitmap graded;
    graded.Create(8, 4, 32, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel32(graded, x, y, Bgra(200, uint8_t(30 * x), 10, uint8_t(x * 36 + y * 3)));
    CPngEncoder().EncodeFile(dir / "logo.png", graded);
    decodedStamp.FreeMarkers();
    Decode(dir / "logo.png", decodedStamp);
    ASSERT_TRUE(decodedStamp.HasAlpha());
    CStampSettingsValues settings;
    settings.opacity = 200;
    settings.halign = settings.valign = 0;
    run(settings, true);
    CStampBitmap result;
    Decode(out / "photo.bmp", result);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            uint32_t want = photo.GetPixel32(x, y) & 0xFFFFFF;
            if (x < 8 && y < 4) {
                const uint32_t s = graded.GetPixel32(x, y);
                const uint32_t a = (s >> 24) * 200 / 255;
                want = 0;
                for (int shift = 0; shift < 24; shift += 8)
                    want |= (((s >> shift) & 0xFF) * a +
                             ((photo.GetPixel32(x, y) >> shift) & 0xFF) * (255 - a)) /
                                255
                            << shift;
            }
            ASSERT_EQ(result.GetPixel32(x, y) & 0xFFFFFF, want) << x << "," << y;
        }
}

} // namespace
