// HEIF, AVIF, WebP and TIFF: decoded against their libraries' reference tools, the TIFF
// kinds against the samples they were written from, metadata carried, WebP and AVIF outputs
// read back by the reference decoders, and damaged files of every kind.
#include "codectestfiles.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/avifencoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/webpencoder.h"

#include <gtest/gtest.h>

#include <libheif/heif.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>

#include <png.h>

namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "qm-formats-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

bool Tool(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A photo-like picture of odd size: smooth gradients with a few edges; with alpha, a ramp
// from transparent to opaque.
void Picture(CImageBitmap& bitmap, int width, int height, bool alpha) {
    bitmap.Create(width, height, 32, alpha);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = bitmap.GetLines()[y] + x * 4;
            p[0] = uint8_t(40 + 150 * x / width);
            p[1] = uint8_t(30 + 180 * y / height);
            p[2] = uint8_t((x / 16 + y / 16) % 2 ? 200 : 60);
            p[3] = alpha ? uint8_t(255 * (x + y) / (width + height - 2)) : 255;
        }
}

std::vector<uint8_t> RgbProfile(std::size_t size) {
    std::vector<uint8_t> p(size);
    std::mt19937 random(7);
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
    return p;
}

// An EXIF block with the orientation and a second tag (Make) that must survive untouched.
Bytes ExifWithMake(int orientation) {
    Bytes b = {'E',  'x',  'i', 'f', 0, 0, 'I', 'I',  42,
               0,    8,    0,   0,   0, 2, 0,   0x0F, 0x01,
               2,    0,    4,   0,   0, 0, 'Q', 'M',  'K',
               0, // Make "QMK"
               0x12, 0x01, 3,   0,   1, 0, 0,   0,    uint8_t(orientation),
               0,    0,    0,   0,   0, 0, 0};
    return b;
}
bool HasMake(const CImageBitmap& bitmap) {
    const CSavedMarker* exif = FindExifMarker(bitmap.GetMarkers());
    if (!exif)
        return false;
    const std::string data(reinterpret_cast<const char*>(exif->data.get()), exif->dataLength);
    return data.find("QMK") != std::string::npos;
}

void DecodeFile(const std::string& path, CImageBitmap& bitmap) {
    CAutoDetectDecoder decoder;
    try {
        decoder.DecodeFile(path, bitmap, 32);
    } catch (const CTextException& e) {
        ADD_FAILURE() << path << ": " << e.GetText();
        throw;
    }
}

// A PAM file of dwebp (RGB_ALPHA) as a 32-bit bitmap.
void ReadPam(const std::string& path, CImageBitmap& bitmap) {
    const Bytes bytes = ReadAll(path);
    const std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("ENDHDR\n");
    ASSERT_NE(end, std::string::npos) << path;
    int width = 0, height = 0, depth = 0;
    std::sscanf(text.c_str() + text.find("WIDTH"), "WIDTH %d", &width);
    std::sscanf(text.c_str() + text.find("HEIGHT"), "HEIGHT %d", &height);
    std::sscanf(text.c_str() + text.find("DEPTH"), "DEPTH %d", &depth);
    ASSERT_EQ(depth, 4);
    bitmap.Create(width, height, 32, true);
    const uint8_t* in = bytes.data() + end + 7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, in += 4) {
            uint8_t* p = bitmap.GetLines()[y] + x * 4;
            p[0] = in[2];
            p[1] = in[1];
            p[2] = in[0];
            p[3] = in[3];
        }
}

// The largest difference of any sample; alpha counts when both have it.
int MaxDifference(const CImageBitmap& a, const CImageBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 1000;
    const int channels = a.HasAlpha() && b.HasAlpha() ? 4 : 3;
    int worst = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth() * 4; ++x)
            if (x % 4 < channels)
                worst =
                    std::max(worst, std::abs(int(a.GetLines()[y][x]) - int(b.GetLines()[y][x])));
    return worst;
}

// Peak signal to noise ratio of the colour samples, in dB.
double Psnr(const CImageBitmap& a, const CImageBitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth() * 4; ++x)
            if (x % 4 < 3) {
                const double d = double(a.GetLines()[y][x]) - b.GetLines()[y][x];
                sum += d * d;
            }
    const double mse = sum / (double(a.GetWidth()) * a.GetHeight() * 3);
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A PNG of 16-bit samples (for a 10-bit HEIF), from the picture's 8-bit samples times 257
// plus a low-order pattern that only a deep decoder sees.
void WritePng16(const std::string& path, const CImageBitmap& bitmap) {
    PngShape shape;
    shape.width = bitmap.GetWidth();
    shape.height = bitmap.GetHeight();
    shape.colorType = PNG_COLOR_TYPE_RGB;
    shape.bitDepth = 16;
    for (int y = 0; y < shape.height; ++y) {
        Bytes row;
        for (int x = 0; x < shape.width; ++x)
            for (int c : {2, 1, 0}) {
                const int v = bitmap.GetLines()[y][x * 4 + c] * 257 - ((x + c) % 5) * 40;
                const int s = std::clamp(v, 0, 65535);
                row.push_back(uint8_t(s >> 8));
                row.push_back(uint8_t(s));
            }
        shape.rows.push_back(row);
    }
    WriteAll(path, MakePng(shape));
}

class NewFormats : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"cwebp", "dwebp", "webpmux", "img2webp", "heif-enc",
                                 "heif-convert", "avifenc", "avifdec"})
            if (!Tool(std::string("command -v ") + tool))
                GTEST_SKIP() << tool << " is not installed";
        Picture(m_opaque, 61, 37, false);
        Picture(m_alpha, 61, 37, true);
        CPngEncoder png;
        png.EncodeFile(m_dir / "opaque.png", m_opaque);
        png.EncodeFile(m_dir / "alpha.png", m_alpha);
    }
    TempFolder m_dir;
    CMemoryBitmap m_opaque, m_alpha;
};

// Each kind of input against what its library's own tool decodes from the same file.
TEST_F(NewFormats, DecodeAsTheReferenceDecoders) {
    WritePng16(m_dir / "deep.png", m_opaque);
    struct Case {
        const char* name;
        std::string make;      // writes in.* from the sources
        std::string reference; // writes ref.pam or ref.png from the file
        int tolerance;
        bool alpha;
    };
    const std::string d = m_dir.path + "/";
    const Case cases[] = {
        {"webp lossy", "cwebp -q 80 " + d + "opaque.png -o " + d + "in.webp",
         "dwebp -pam " + d + "in.webp -o " + d + "ref.pam", 0, false},
        {"webp lossless alpha", "cwebp -lossless -exact " + d + "alpha.png -o " + d + "in.webp",
         "dwebp -pam " + d + "in.webp -o " + d + "ref.pam", 0, true},
        {"webp lossy alpha", "cwebp -q 70 " + d + "alpha.png -o " + d + "in.webp",
         "dwebp -pam " + d + "in.webp -o " + d + "ref.pam", 0, true},
        // The first frame of an animation, the second a different picture.
        {"webp animated",
         "img2webp -lossless " + d + "alpha.png " + d + "opaque.png -o " + d + "in.webp",
         "webpmux -get frame 1 " + d + "in.webp -o " + d + "frame.webp && dwebp -pam " + d +
             "frame.webp -o " + d + "ref.pam",
         0, true},
        {"heic", "heif-enc -q 90 " + d + "opaque.png -o " + d + "in.heic",
         "heif-convert " + d + "in.heic " + d + "ref.png", 0, false},
        {"heic alpha", "heif-enc -q 90 " + d + "alpha.png -o " + d + "in.heic",
         "heif-convert " + d + "in.heic " + d + "ref.png", 0, true},
        // 10 bits: the tool writes 16-bit samples, which the PNG decoder cuts to 8.
        {"heic 10 bit", "heif-enc -b 10 -q 90 " + d + "deep.png -o " + d + "in.heic",
         "heif-convert " + d + "in.heic " + d + "ref.png", 1, false},
        {"avif", "avifenc -s 10 " + d + "alpha.png " + d + "in.avif",
         "avifdec " + d + "in.avif " + d + "ref.png", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"in.webp", "in.heic", "in.avif", "ref.pam", "ref.png"})
            fs::remove(m_dir / name);
        ASSERT_TRUE(Tool(c.make));
        ASSERT_TRUE(Tool(c.reference));
        std::string input;
        for (const char* name : {"in.webp", "in.heic", "in.avif"})
            if (fs::exists(m_dir / name))
                input = m_dir / name;
        CMemoryBitmap ours, reference;
        ASSERT_NO_THROW(DecodeFile(input, ours));
        if (fs::exists(m_dir / "ref.pam"))
            ReadPam(m_dir / "ref.pam", reference);
        else
            DecodeFile(m_dir / "ref.png", reference);
        EXPECT_EQ(ours.HasAlpha(), c.alpha);
        EXPECT_LE(MaxDifference(ours, reference), c.tolerance);
        // And close to the picture the file was made from.
        EXPECT_GT(Psnr(ours, c.alpha ? m_alpha : m_opaque), 28.0);
    }
}

// EXIF and colour profile of WebP and HEIF inputs; a HEIF's orientation is already applied.
TEST_F(NewFormats, InputMetadataIsCarried) {
    const std::vector<uint8_t> profile = RgbProfile(600);
    const Bytes exif = ExifWithMake(6);
    WriteAll(m_dir / "exif.bin", Bytes(exif.begin() + 6, exif.end()));
    WriteAll(m_dir / "icc.bin", profile);
    ASSERT_TRUE(Tool("cwebp -q 80 " + m_dir / "opaque.png" + " -o " + m_dir / "plain.webp"));
    ASSERT_TRUE(Tool("webpmux -set exif " + m_dir / "exif.bin" + " " + m_dir / "plain.webp" +
                     " -o " + m_dir / "exif.webp"));
    ASSERT_TRUE(Tool("webpmux -set icc " + m_dir / "icc.bin" + " " + m_dir / "exif.webp" + " -o " +
                     m_dir / "both.webp"));
    CMemoryBitmap webp;
    DecodeFile(m_dir / "both.webp", webp);
    EXPECT_EQ(ExifOrientation(webp), 6);
    EXPECT_TRUE(HasMake(webp));
    EXPECT_EQ(webp.GetIccProfile(), profile);

    // heif-enc takes EXIF and profile from a JPEG.
    CMemoryBitmap photo;
    Picture(photo, 61, 37, false);
    auto marker = MakeExifMarker(ExifWithMake(6));
    photo.SetMarkers(std::move(marker));
    photo.SetIccProfile(profile);
    CJpegEncoder jpeg;
    jpeg.SetQuality(95);
    jpeg.EncodeFile(m_dir / "photo.jpg", photo);
    ASSERT_TRUE(Tool("heif-enc -q 90 " + m_dir / "photo.jpg" + " -o " + m_dir / "photo.heic"));
    CMemoryBitmap heif;
    DecodeFile(m_dir / "photo.heic", heif);
    EXPECT_TRUE(HasMake(heif));
    EXPECT_EQ(ExifOrientation(heif), 1);
    EXPECT_EQ(heif.GetIccProfile(), profile);
}

// Phones store a turned HEIC as upright-coded pixels plus rotation and mirror properties,
// and repeat the turn in the EXIF block. The properties are applied once, as libheif's own
// tool applies them, and the EXIF orientation then says the pixels are upright.
TEST_F(NewFormats, HeifTurnsAreAppliedOnce) {
    const int w = m_opaque.GetWidth(), h = m_opaque.GetHeight();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        heif_context* context = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        ASSERT_EQ(
            heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code,
            heif_error_Ok);
        heif_encoder_set_lossy_quality(encoder, 90);
        heif_image* image = nullptr;
        heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c)
                    plane[y * stride + x * 3 + c] = m_opaque.GetLines()[y][x * 4 + 2 - c];
        heif_encoding_options* options = heif_encoding_options_alloc();
        ASSERT_GE(options->version, 5);
        options->image_orientation = heif_orientation(orientation);
        heif_image_handle* handle = nullptr;
        ASSERT_EQ(heif_context_encode_image(context, image, encoder, options, &handle).code,
                  heif_error_Ok);
        const Bytes exif = ExifWithMake(orientation);
        heif_context_add_exif_metadata(context, handle, exif.data() + 6, int(exif.size() - 6));
        ASSERT_EQ(heif_context_write_to_file(context, (m_dir / "turned.heic").c_str()).code,
                  heif_error_Ok);
        heif_image_handle_release(handle);
        heif_encoding_options_free(options);
        heif_image_release(image);
        heif_encoder_release(encoder);
        heif_context_free(context);

        CMemoryBitmap ours, reference;
        DecodeFile(m_dir / "turned.heic", ours);
        ASSERT_TRUE(Tool("heif-convert " + m_dir / "turned.heic" + " " + m_dir / "ref.png"));
        DecodeFile(m_dir / "ref.png", reference);
        EXPECT_EQ(MaxDifference(ours, reference), 0);
        EXPECT_EQ(ExifOrientation(ours), 1);
        EXPECT_TRUE(HasMake(ours));

        // The turn itself, judged without libheif: the picture as the orientation shows it.
        const bool swap = orientation >= 5;
        ASSERT_EQ(ours.GetWidth(), swap ? h : w);
        ASSERT_EQ(ours.GetHeight(), swap ? w : h);
        CMemoryBitmap expected;
        expected.Create(ours.GetWidth(), ours.GetHeight(), 32, false);
        for (int y = 0; y < expected.GetHeight(); ++y)
            for (int x = 0; x < expected.GetWidth(); ++x) {
                const int sx[] = {x, w - 1 - x, w - 1 - x, x, y, y, w - 1 - y, w - 1 - y};
                const int sy[] = {y, y, h - 1 - y, h - 1 - y, x, h - 1 - x, h - 1 - x, x};
                std::copy_n(m_opaque.GetLines()[sy[orientation - 1]] + sx[orientation - 1] * 4, 4,
                            expected.GetLines()[y] + x * 4);
            }
        EXPECT_GT(Psnr(ours, expected), 28.0);
    }
}

// Our WebP and AVIF outputs open in the reference decoders, look like what was written, and
// carry alpha, EXIF (upright) and colour profile.
TEST_F(NewFormats, OutputsReadBackEverywhere) {
    const std::vector<uint8_t> profile = RgbProfile(700);
    struct Case {
        const char* name;
        std::function<void(const std::string&, const CImageBitmap&)> encode;
        std::string reference; // %s: the file; writes ref.pam or ref.png
    };
    const std::string d = m_dir.path + "/";
    const Case cases[] = {
        {"webp",
         [](const std::string& path, const CImageBitmap& b) {
             CWebpEncoder e;
             e.SetQuality(90);
             e.EncodeFile(path, b);
         },
         "dwebp -pam " + d + "out -o " + d + "ref.pam"},
        {"avif",
         [](const std::string& path, const CImageBitmap& b) {
             CAvifEncoder e;
             e.SetQuality(90);
             e.EncodeFile(path, b);
         },
         // The test's profile is no real one, which the tool's PNG writer would refuse.
         "avifdec --ignore-icc " + d + "out " + d + "ref.png"},
    };
    for (const Case& c : cases)
        for (bool alpha : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (alpha ? " alpha" : ""));
            fs::remove(m_dir / "ref.pam");
            fs::remove(m_dir / "ref.png");
            CMemoryBitmap picture;
            Picture(picture, 61, 37, alpha);
            picture.SetMarkers(MakeExifMarker(ExifWithMake(6)));
            picture.SetIccProfile(profile);
            ASSERT_NO_THROW(c.encode(m_dir / "out", picture));
            ASSERT_TRUE(Tool(c.reference)) << c.reference;
            CMemoryBitmap reference, ours;
            if (fs::exists(m_dir / "ref.pam"))
                ReadPam(m_dir / "ref.pam", reference);
            else
                DecodeFile(m_dir / "ref.png", reference);
            EXPECT_GT(Psnr(reference, picture), 30.0);
            DecodeFile(m_dir / "out", ours);
            EXPECT_EQ(ours.HasAlpha(), alpha);
            // Chroma is upsampled a little differently by the two libraries.
            EXPECT_GT(Psnr(ours, reference), 28.0);
            if (alpha) {
                int worst = 0;
                for (int y = 0; y < 37; ++y)
                    for (int x = 0; x < 61; ++x)
                        worst = std::max(worst, std::abs(int(ours.GetLines()[y][x * 4 + 3]) -
                                                         int(picture.GetLines()[y][x * 4 + 3])));
                EXPECT_LE(worst, 12);
            }
            EXPECT_TRUE(HasMake(ours));
            EXPECT_EQ(ExifOrientation(ours), 1);
            EXPECT_EQ(ours.GetIccProfile(), profile);
        }
}

// ---- TIFF, written here with libtiff in every layout the decoder takes.

struct TiffShape {
    const char* name;
    int photometric;
    int samples;   // per pixel
    int bits;      // 8 or 16 (or 1..8 for palette and grey)
    int extra = 0; // EXTRASAMPLE_* of a fourth (or second) sample; 0: none
    int compression = COMPRESSION_NONE;
    bool separate = false; // planar configuration 2
    int orientation = 1;
    int tolerance = 0;
};

// Sample c of pixel (x, y) at the shape's depth; alpha ramps along x.
int TiffSample(const TiffShape& s, int x, int y, int c) {
    const int top = (1 << s.bits) - 1;
    const bool alphaSample = s.extra && c == s.samples - 1;
    if (alphaSample)
        return top * (x % 5 + 1) / 5; // never 0: premultiplied colours then still count
    if (s.photometric == PHOTOMETRIC_PALETTE)
        return (x + y) % (top + 1);
    const int v = (x * 37 + y * 11 + c * 71) % 256;
    return s.bits == 16 ? v * 257 : v * top / 255;
}

// The colour a viewer shows for the sample values, as 8-bit blue, green, red, alpha.
uint32_t TiffExpected(const TiffShape& s, int x, int y) {
    const int top = (1 << s.bits) - 1;
    auto eight = [&](int v) { return (v * 255 + top / 2) / top; };
    int r, g, b, a = 255;
    if (s.photometric == PHOTOMETRIC_MINISBLACK) {
        r = g = b = eight(TiffSample(s, x, y, 0));
    } else if (s.photometric == PHOTOMETRIC_PALETTE) {
        const int i = TiffSample(s, x, y, 0);
        r = (i * 40) % 256;
        g = (i * 90) % 256;
        b = 255 - i;
    } else if (s.photometric == PHOTOMETRIC_SEPARATED) {
        const int c = eight(TiffSample(s, x, y, 0)), m = eight(TiffSample(s, x, y, 1)),
                  ye = eight(TiffSample(s, x, y, 2)), k = eight(TiffSample(s, x, y, 3));
        r = (255 - k) * (255 - c) / 255;
        g = (255 - k) * (255 - m) / 255;
        b = (255 - k) * (255 - ye) / 255;
    } else {
        r = eight(TiffSample(s, x, y, 0));
        g = eight(TiffSample(s, x, y, 1));
        b = eight(TiffSample(s, x, y, 2));
    }
    if (s.extra)
        a = eight(TiffSample(s, x, y, s.samples - 1));
    if (s.extra == EXTRASAMPLE_ASSOCALPHA) { // stored premultiplied, shown straight
        // the samples above were written as they are, so they are taken as premultiplied
        auto straight = [&](int v) { return std::min(255, (v * 255 + a / 2) / a); };
        r = straight(r);
        g = straight(g);
        b = straight(b);
    }
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

bool WriteTiff(const std::string& path, const TiffShape& s, int width, int height,
               const std::vector<uint8_t>& profile) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, s.samples);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, s.bits);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, s.compression);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 s.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, s.orientation);
    if (s.compression == COMPRESSION_JPEG)
        TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 95);
    if (s.extra) {
        const uint16_t extra[] = {uint16_t(s.extra)};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (s.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    if (s.photometric == PHOTOMETRIC_PALETTE) {
        const int entries = 1 << s.bits;
        std::vector<uint16_t> r(static_cast<size_t>(entries)), g(r), b(r);
        for (int i = 0; i < entries; ++i) {
            r[size_t(i)] = uint16_t(((i * 40) % 256) * 257);
            g[size_t(i)] = uint16_t(((i * 90) % 256) * 257);
            b[size_t(i)] = uint16_t((255 - i) * 257);
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
    }
    if (!profile.empty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.data());
    const int planes = s.separate ? s.samples : 1;
    const int perPixel = s.separate ? 1 : s.samples;
    for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < height; ++y) {
            std::vector<uint8_t> row(size_t(TIFFScanlineSize(tiff)));
            for (int x = 0; x < width; ++x)
                for (int i = 0; i < perPixel; ++i) {
                    const int c = s.separate ? plane : i;
                    const int v = TiffSample(s, x, y, c);
                    const int index = x * perPixel + i;
                    if (s.bits == 16) {
                        reinterpret_cast<uint16_t*>(row.data())[index] = uint16_t(v);
                    } else {
                        const int bit = index * s.bits;
                        row[size_t(bit / 8)] |= uint8_t(v << (8 - s.bits - bit % 8));
                    }
                }
            if (TIFFWriteScanline(tiff, row.data(), uint32_t(y), uint16_t(plane)) < 0) {
                TIFFClose(tiff);
                return false;
            }
        }
    TIFFClose(tiff);
    return true;
}

TEST(TiffDecoder, EveryLayoutGivesItsPixels) {
    TempFolder dir;
    const std::vector<uint8_t> profile = RgbProfile(500);
    const TiffShape shapes[] = {
        {"rgb 8", PHOTOMETRIC_RGB, 3, 8},
        {"rgb 16 lzw", PHOTOMETRIC_RGB, 3, 16, 0, COMPRESSION_LZW},
        {"rgb deflate planes", PHOTOMETRIC_RGB, 3, 8, 0, COMPRESSION_ADOBE_DEFLATE, true},
        // libtiff hands alpha over premultiplied: straight colours come back within its rounding.
        {"rgba unassociated", PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_UNASSALPHA, COMPRESSION_PACKBITS,
         false, 1, 3},
        {"rgba associated 16", PHOTOMETRIC_RGB, 4, 16, EXTRASAMPLE_ASSOCALPHA, COMPRESSION_LZW,
         false, 1, 1},
        {"grey 8", PHOTOMETRIC_MINISBLACK, 1, 8},
        {"grey 16", PHOTOMETRIC_MINISBLACK, 1, 16, 0, COMPRESSION_ADOBE_DEFLATE},
        {"grey 1", PHOTOMETRIC_MINISBLACK, 1, 1},
        {"grey 4", PHOTOMETRIC_MINISBLACK, 1, 4, 0, COMPRESSION_LZW},
        {"palette 8", PHOTOMETRIC_PALETTE, 1, 8, 0, COMPRESSION_LZW},
        {"palette 4", PHOTOMETRIC_PALETTE, 1, 4},
        {"cmyk", PHOTOMETRIC_SEPARATED, 4, 8, 0, COMPRESSION_LZW, false, 1, 1},
        {"jpeg", PHOTOMETRIC_RGB, 3, 8, 0, COMPRESSION_JPEG, false, 1, 40},
        {"turned", PHOTOMETRIC_RGB, 3, 8, 0, COMPRESSION_NONE, false, 6},
        {"mirrored", PHOTOMETRIC_RGB, 3, 8, 0, COMPRESSION_NONE, false, 4},
    };
    const int width = 29, height = 19;
    for (const TiffShape& s : shapes) {
        SCOPED_TRACE(s.name);
        const std::string path = dir / (std::string(s.name) + ".tif");
        ASSERT_TRUE(WriteTiff(path, s, width, height, profile));
        // Both bitmap kinds: the decoder writes bottom-up rows in place.
        CMemoryBitmap memory;
        CDIBSectionBitmap dib;
        for (CImageBitmap* bitmap :
             {static_cast<CImageBitmap*>(&memory), static_cast<CImageBitmap*>(&dib)}) {
            ASSERT_NO_THROW(DecodeFile(path, *bitmap));
            ASSERT_EQ(bitmap->GetWidth(), width); // the stored grid, not turned
            ASSERT_EQ(bitmap->GetHeight(), height);
            EXPECT_EQ(bitmap->HasAlpha(), s.extra != 0);
            int worst = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const uint32_t expected = TiffExpected(s, x, y), got = bitmap->GetPixel32(x, y);
                    for (int shift = 0; shift < 32; shift += 8)
                        worst = std::max(worst, std::abs(int((expected >> shift) & 0xFF) -
                                                         int((got >> shift) & 0xFF)));
                }
            EXPECT_LE(worst, s.tolerance);
            EXPECT_EQ(ExifOrientation(*bitmap), s.orientation);
            EXPECT_EQ(bitmap->GetIccProfile(), profile);
        }
    }
}

// ---- damaged and hostile files of every new kind

// Every prefix class and many flipped bytes of a good file: each decode ends in success or
// in the library's exception, never anything else (the sanitizer build watches the rest).
TEST_F(NewFormats, DamagedFilesFailCleanly) {
    const std::string d = m_dir.path + "/";
    ASSERT_TRUE(Tool("cwebp -q 80 " + d + "alpha.png -o " + d + "a.webp"));
    ASSERT_TRUE(Tool("img2webp -lossy " + d + "alpha.png " + d + "opaque.png -o " + d + "b.webp"));
    ASSERT_TRUE(Tool("heif-enc -q 50 " + d + "alpha.png -o " + d + "c.heic"));
    ASSERT_TRUE(Tool("avifenc -s 10 " + d + "opaque.png " + d + "d.avif"));
    const TiffShape tiff = {"lzw", PHOTOMETRIC_RGB, 4, 8, EXTRASAMPLE_UNASSALPHA, COMPRESSION_LZW};
    ASSERT_TRUE(WriteTiff(d + "e.tif", tiff, 29, 19, {}));
    std::mt19937 random(27);
    for (const char* name : {"a.webp", "b.webp", "c.heic", "d.avif", "e.tif"}) {
        SCOPED_TRACE(name);
        const Bytes good = ReadAll(d + name);
        std::vector<Bytes> damaged;
        for (size_t cut :
             {size_t(12), size_t(30), good.size() / 3, good.size() / 2, good.size() - 1})
            damaged.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(cut));
        for (int i = 0; i < 150; ++i) {
            Bytes bad = good;
            for (int n = 0; n < 3; ++n)
                bad[16 + random() % (bad.size() - 16)] ^= uint8_t(1 + random() % 255);
            damaged.push_back(bad);
        }
        CAutoDetectDecoder decoder;
        for (const Bytes& bytes : damaged) {
            CMemoryBitmap bitmap;
            try {
                decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap, 32);
            } catch (const CTextException& e) {
                // One log line: the text's last character is dropped by the log, so no line
                // break may come before it.
                const std::string& text = e.GetText();
                EXPECT_FALSE(text.empty());
                EXPECT_EQ(text.substr(0, text.size() - 1).find_first_of("\r\n"), std::string::npos)
                    << text;
            }
        }
    }
}

// Declared sizes past the pixel limit fail before anything is allocated for them.
TEST(NewFormatLimits, HugeDeclaredPicturesAreRefused) {
    // A TIFF of 100000 x 100000 pixels in 60 bytes.
    TempFolder dir;
    {
        TIFF* tiff = TIFFOpen((dir / "huge.tif").c_str(), "w");
        ASSERT_TRUE(tiff);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 100000);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 100000);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1);
        std::vector<uint8_t> row(100000);
        TIFFWriteScanline(tiff, row.data(), 0, 0);
        TIFFClose(tiff);
    }
    // A WebP whose extended header declares a canvas of 20000 x 20000.
    Bytes webp = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E',  'B',  'P',  'V',  'P',  '8',
                  'X', 10,  0,   0,   0, 0, 0, 0, 0,   0x1F, 0x4E, 0x00, 0x1F, 0x4E, 0x00};
    webp[4] = uint8_t(webp.size() - 8);
    WriteAll(dir / "huge.webp", webp);
    for (const char* name : {"huge.tif", "huge.webp"}) {
        SCOPED_TRACE(name);
        CMemoryBitmap bitmap;
        try {
            CAutoDetectDecoder().DecodeFile(dir / name, bitmap, 32);
            ADD_FAILURE() << "decoded";
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), 10) << e.GetText();
        }
    }
}

// A 570-byte HEIC (found by fuzzing) whose 24 x 16 image is coded as a 58048 x 61276 tile:
// libheif allocated for the tile before anything else, for a minute and then a crash. It
// must fail at once with libheif's message.
TEST(NewFormatLimits, HeifTileLargerThanItsImageIsRefusedAtOnce) {
    static const uint8_t kFile[] = {
        0x00, 0x00, 0x00, 0x1C, 0x66, 0x74, 0x79, 0x70, 0x68, 0x65, 0x69, 0x63, 0x00, 0x00, 0x00,
        0x00, 0x6D, 0x69, 0x66, 0x31, 0x68, 0x65, 0x69, 0x63, 0x6D, 0x69, 0x61, 0x66, 0x00, 0x00,
        0x01, 0xAD, 0x6D, 0x65, 0x74, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0x68,
        0x64, 0x6C, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x70, 0x69, 0x63, 0x74,
        0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x0E, 0x70, 0x69, 0x74, 0x6D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
        0x10, 0x69, 0x64, 0x61, 0x74, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x12, 0x00, 0x00,
        0x00, 0x38, 0x69, 0x6C, 0x6F, 0x63, 0x01, 0x00, 0x00, 0x00, 0x44, 0x40, 0x00, 0x02, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xD1, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x3F, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x38, 0x69, 0x69,
        0x6E, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x15, 0x69, 0x6E, 0x66,
        0x65, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x69, 0x6F, 0x76, 0x6C, 0x00, 0x00,
        0x00, 0x00, 0x15, 0x69, 0x6E, 0x66, 0x65, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00,
        0x67, 0x72, 0x69, 0x64, 0x00, 0x00, 0x00, 0x00, 0xD8, 0x69, 0x70, 0x72, 0x70, 0x00, 0x00,
        0x00, 0xB6, 0x69, 0x70, 0x63, 0x6F, 0x00, 0x00, 0x00, 0x76, 0x68, 0x76, 0x63, 0x43, 0x01,
        0x03, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1E, 0xF0, 0x00, 0xFC,
        0xFD, 0xF8, 0xF8, 0x00, 0x00, 0x0F, 0x03, 0x20, 0x00, 0x01, 0x00, 0x18, 0x40, 0x01, 0x0C,
        0x01, 0xFF, 0xFF, 0x03, 0x70, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00,
        0x03, 0x00, 0x1E, 0xBA, 0x02, 0x40, 0x21, 0x00, 0x01, 0x00, 0x2A, 0x42, 0x01, 0x01, 0x03,
        0x70, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1E, 0xA0,
        0x20, 0x81, 0x05, 0x96, 0xEA, 0xAE, 0x9A, 0xE6, 0xE0, 0x40, 0x40, 0xC0, 0x80, 0x00, 0x00,
        0x03, 0x00, 0x80, 0x00, 0x00, 0x03, 0x00, 0x84, 0x22, 0x00, 0x01, 0x00, 0x06, 0x44, 0x01,
        0xC1, 0x73, 0xC1, 0x89, 0x00, 0x00, 0x00, 0x14, 0x69, 0x73, 0x70, 0x65, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x14, 0x69, 0x73,
        0x70, 0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00, 0x10, 0x00,
        0x00, 0x00, 0x10, 0x70, 0x69, 0x78, 0x69, 0x00, 0x00, 0x00, 0x00, 0x03, 0x08, 0x08, 0x08,
        0x00, 0x00, 0x00, 0x1A, 0x69, 0x70, 0x6D, 0x61, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x01, 0x02, 0x81, 0x02, 0x00, 0x02, 0x02, 0x03, 0x84, 0x00, 0x00, 0x00, 0x1A,
        0x69, 0x72, 0x65, 0x66, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0E, 0x64, 0x69, 0x6D,
        0x67, 0x00, 0x02, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x47, 0x6D, 0x64, 0x61, 0x74,
        0x00, 0x00, 0x00, 0x3B, 0x28, 0x01, 0xAF, 0x19, 0x21, 0x70, 0xE2, 0xC0, 0xEF, 0x5C, 0x1C,
        0x57, 0xF3, 0xF4, 0x40, 0x3B, 0x04, 0xB6, 0x20, 0xFF, 0x06, 0xB2, 0x02, 0x0C, 0x0F, 0xE2,
        0x34, 0xF8, 0x8D, 0x6A, 0x96, 0xDC, 0x54, 0xBF, 0xF5, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xC8, 0xC8, 0xE9, 0x18, 0xB5, 0x87, 0xDF, 0x58,
        0x88, 0xD4, 0xF9, 0xD0, 0xB8, 0xB2, 0x70, 0x90, 0x32, 0x80, 0xB2, 0x4F, 0x08, 0x49, 0x30,
    };
    CMemoryBitmap bitmap;
    const auto start = std::chrono::steady_clock::now();
    try {
        CAutoDetectDecoder().DecodeMemory(kFile, int(sizeof kFile), bitmap, 32);
        ADD_FAILURE() << "decoded";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 2);
        EXPECT_NE(e.GetText().find("Security limit"), std::string::npos) << e.GetText();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
