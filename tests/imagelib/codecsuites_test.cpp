// The public decoder suites read from QM_TESTDATA_DIR: every file listed in a suite's
// MANIFEST.md decodes or fails as the manifest says (with our own decisions listed
// below), within the time limit, and where a suite states the expected pixels they match.

#include "codectestfiles.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/pngdecoder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <png.h>

namespace fs = std::filesystem;

namespace {

const std::string kTestData = QM_TESTDATA_DIR;

enum class Expect { Accept, Reject, Either };

struct SuiteFile {
    std::string path; // relative to the suite folder
    Expect expect;
};

// Where our verdict differs from the suite's, and why.
const std::map<std::string, Expect> kOverrides = {
    // Frames reaching outside the logical screen are refused rather than clipped.
    {"gif/pygif-test-suite/image-outside-bg.gif", Expect::Reject},
    {"gif/pygif-test-suite/image-overlap-bg.gif", Expect::Reject},
    // Truncated descriptors (colour map or LZW code size missing): a short stream.
    {"gif/pygif-test-suite/image-zero-width.gif", Expect::Reject},
    {"gif/pygif-test-suite/image-zero-height.gif", Expect::Reject},
    {"gif/pygif-test-suite/image-zero-size.gif", Expect::Reject},
    // giflib reads LZW code sizes up to 8 bits only.
    {"gif/pygif-test-suite/max-codes.gif", Expect::Reject},
    // Indices past the colour map are drawn with the palette's spare entries.
    {"gif/pygif-test-suite/invalid-colors.gif", Expect::Accept},
    // Cut inside the picture: libjpeg's grey filler must not pass for the photo.
    {"jpeg/gdk-pixbuf/premature-end.jpg", Expect::Reject},
    // libpng only warns about these chunks, and its warnings are ignored.
    {"pngsuite/extra-libpng/crashers/empty_ancillary_chunks.png", Expect::Accept},
};

// The cell of column `column` (0 = file) of a manifest table row.
std::string Cell(const std::string& row, int column) {
    std::vector<std::string> cells;
    std::stringstream in(row);
    std::string cell;
    while (std::getline(in, cell, '|'))
        cells.push_back(cell);
    if (size_t(column + 1) >= cells.size())
        return "";
    cell = cells[size_t(column + 1)];
    const size_t first = cell.find_first_not_of(' ');
    return first == std::string::npos ? "" : cell.substr(first);
}

Expect FromVerdict(const std::string& v) {
    auto starts = [&](const char* prefix) { return v.rfind(prefix, 0) == 0; };
    if (v.find("REJECT-OR-SURVIVE") != std::string::npos || v.find(" / ") != std::string::npos)
        return Expect::Either;
    if (starts("ACCEPT upstream; REJECT"))
        return Expect::Reject;
    if (starts("no frame"))
        return Expect::Reject;
    if (starts("ACCEPT") || v.find("frame(s)") != std::string::npos)
        return Expect::Accept;
    if (starts("REJECT"))
        return Expect::Reject;
    return Expect::Either;
}

// Rows of the form | `path` | ... | verdict | ...; suite is "jpeg", "pngsuite" or "gif".
std::vector<SuiteFile> ReadManifest(const std::string& suite, int verdictColumn) {
    std::ifstream in(kTestData + "/" + suite + "/MANIFEST.md");
    std::vector<SuiteFile> files;
    std::string row;
    while (std::getline(in, row)) {
        if (row.rfind("| `", 0) != 0)
            continue;
        const size_t end = row.find('`', 3);
        const std::string path = row.substr(3, end - 3);
        Expect expect = FromVerdict(Cell(row, verdictColumn));
        if (auto o = kOverrides.find(suite + "/" + path); o != kOverrides.end())
            expect = o->second;
        files.push_back({path, expect});
    }
    return files;
}

std::set<std::string> ImageFiles(const std::string& suite, std::set<std::string> extensions) {
    std::set<std::string> out;
    const fs::path root = kTestData + "/" + suite;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && extensions.count(entry.path().extension().string()) &&
            entry.path().string().find("/html/") == std::string::npos &&
            entry.path().filename().string().find(".ref.") == std::string::npos)
            out.insert(fs::relative(entry.path(), root).string());
    return out;
}

const char* Name(Expect e) {
    return e == Expect::Accept ? "accept" : e == Expect::Reject ? "reject" : "either";
}

// Decodes every listed file at requests 0 and 32 and checks verdict and time.
void RunSuite(const std::string& suite, int verdictColumn, std::set<std::string> extensions) {
    if (!fs::exists(kTestData + "/" + suite))
        GTEST_SKIP() << "no test data at " << kTestData;
    const std::vector<SuiteFile> files = ReadManifest(suite, verdictColumn);
    std::set<std::string> listed;
    for (const SuiteFile& f : files)
        listed.insert(f.path);
    for (const std::string& path : ImageFiles(suite, std::move(extensions)))
        EXPECT_TRUE(listed.count(path)) << path << " is not in the manifest";

    CAutoDetectDecoder decoder;
    for (const SuiteFile& f : files) {
        for (int request : {0, 32}) {
            CMemoryBitmap bitmap;
            bool decoded = false;
            std::string error;
            const auto start = std::chrono::steady_clock::now();
            try {
                decoder.DecodeFile(kTestData + "/" + suite + "/" + f.path, bitmap, request);
                decoded = true;
            } catch (const CTextException& e) {
                error = e.GetText();
            }
            const auto elapsed = std::chrono::steady_clock::now() - start;
            EXPECT_LT(elapsed, std::chrono::seconds(2)) << f.path;
            if (f.expect == Expect::Accept) {
                EXPECT_TRUE(decoded) << f.path << " @" << request << ": " << error;
            }
            if (f.expect == Expect::Reject) {
                EXPECT_FALSE(decoded) << f.path << " @" << request << " decoded";
            }
            if (decoded) {
                EXPECT_TRUE(bitmap.GetBitsPerPixel() == 32 ||
                            (request == 0 && bitmap.GetBitsPerPixel() == 8))
                    << f.path;
            }
        }
    }
    std::map<Expect, int> counts;
    for (const SuiteFile& f : files)
        ++counts[f.expect];
    std::cout << suite << ": " << files.size() << " files, " << counts[Expect::Accept] << " "
              << Name(Expect::Accept) << ", " << counts[Expect::Reject] << " "
              << Name(Expect::Reject) << ", " << counts[Expect::Either] << " "
              << Name(Expect::Either) << "\n";
}

TEST(CodecSuites, JpegFilesDecodeOrFailAsListed) {
    RunSuite("jpeg", 3, {".jpg", ".jpeg"});
}

TEST(CodecSuites, PngFilesDecodeOrFailAsListed) {
    RunSuite("pngsuite", 2, {".png"});
}

TEST(CodecSuites, GifFilesDecodeOrFailAsListed) {
    RunSuite("gif", 2, {".gif"});
}

// ---- pixels

void DecodePath(const std::string& path, int request, CImageBitmap& bitmap) {
    CAutoDetectDecoder decoder;
    decoder.DecodeFile(path, bitmap, request);
}

// libpng's own expansion to 8-bit RGB or RGBA, the reference for our decoder.
struct ReferencePng {
    int width = 0, height = 0, channels = 0;
    std::vector<Bytes> rows;
};

bool ReadReference(const char* path, ReferencePng* out) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info,
                 PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_GRAY_TO_RGB,
                 nullptr);
    out->width = int(png_get_image_width(png, info));
    out->height = int(png_get_image_height(png, info));
    out->channels = png_get_channels(png, info);
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < out->height; ++y)
        out->rows.emplace_back(rows[y], rows[y] + size_t(out->width) * out->channels);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

TEST(CodecSuites, PngPixelsMatchLibpngsOwnExpansion) {
    const std::string root = kTestData + "/pngsuite/";
    if (!fs::exists(root))
        GTEST_SKIP();
    int compared = 0;
    for (const SuiteFile& f : ReadManifest("pngsuite", 2)) {
        if (f.expect != Expect::Accept || f.path.find("crashers") != std::string::npos)
            continue;
        SCOPED_TRACE(f.path);
        ReferencePng reference;
        ASSERT_TRUE(ReadReference((root + f.path).c_str(), &reference));
        CMemoryBitmap wide;
        DecodePath(root + f.path, 32, wide);
        CMemoryBitmap natural;
        DecodePath(root + f.path, 0, natural);
        ASSERT_EQ(wide.GetWidth(), reference.width);
        ASSERT_EQ(wide.GetHeight(), reference.height);
        for (int y = 0; y < reference.height; ++y)
            for (int x = 0; x < reference.width; ++x) {
                const uint8_t* ref = &reference.rows[size_t(y)][size_t(x) * reference.channels];
                const uint32_t rgb = uint32_t(ref[0]) << 16 | uint32_t(ref[1]) << 8 | ref[2];
                ASSERT_EQ(wide.GetPixel32(x, y) & 0xFFFFFF, rgb) << x << "," << y;
                ASSERT_EQ(ColourAt(natural, x, y) & 0xFFFFFF, rgb) << x << "," << y;
                if (wide.HasAlpha()) {
                    ASSERT_EQ(wide.GetPixel32(x, y) >> 24, ref[3]) << x << "," << y;
                }
            }
        ++compared;
    }
    EXPECT_GT(compared, 250);
}

TEST(CodecSuites, GifScreensMatchGiflibsRgbDumps) {
    const std::string root = kTestData + "/gif/giflib/";
    if (!fs::exists(root))
        GTEST_SKIP();
    int compared = 0, transparent = 0;
    for (const auto& entry : fs::directory_iterator(root + "pic")) {
        const std::string name = entry.path().stem().string();
        const Bytes dump = ReadFileBytes(root + "tests/" + name + ".rgb");
        if (entry.path().extension() != ".gif" || dump.empty())
            continue;
        SCOPED_TRACE(name);
        CMemoryBitmap bitmap;
        DecodePath(entry.path().string(), 32, bitmap);
        ASSERT_EQ(dump.size(), size_t(bitmap.GetWidth()) * bitmap.GetHeight() * 3);
        size_t i = 0;
        for (int y = 0; y < bitmap.GetHeight(); ++y)
            for (int x = 0; x < bitmap.GetWidth(); ++x, i += 3) {
                const uint32_t rgb =
                    uint32_t(dump[i]) << 16 | uint32_t(dump[i + 1]) << 8 | dump[i + 2];
                // The transparent colour keeps its colour and gets alpha 0.
                const uint32_t pixel = bitmap.GetPixel32(x, y);
                ASSERT_EQ(pixel & 0xFFFFFFu, rgb) << x << "," << y;
                ASSERT_TRUE(pixel >> 24 == 255 || (bitmap.HasAlpha() && pixel >> 24 == 0))
                    << x << "," << y;
                transparent += pixel >> 24 == 0;
            }
        ++compared;
    }
    EXPECT_EQ(compared, 8);
    EXPECT_GT(transparent, 0); // some of the suite's screens have a transparent colour
}

// The suite's expected frame where it is a single frame: every opaque pixel.
TEST(CodecSuites, GifSingleFramesMatchTheSuitesPixels) {
    const std::string root = kTestData + "/gif/pygif-test-suite/";
    if (!fs::exists(root))
        GTEST_SKIP();
    // More than one image with local maps: one palette colours the whole picture.
    const std::set<std::string> onePalette = {"high-color"};
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.path().extension() != ".conf")
            continue;
        const std::string name = entry.path().stem().string();
        std::ifstream conf(entry.path());
        std::string line, frames, pixels;
        while (std::getline(conf, line)) {
            if (line.rfind("frames = ", 0) == 0)
                frames = line.substr(9);
            if (line.rfind("pixels = ", 0) == 0)
                pixels = line.substr(9);
        }
        if (frames != "frame0" || pixels.empty() || onePalette.count(name) ||
            kOverrides.count("gif/pygif-test-suite/" + name + ".gif"))
            continue;
        SCOPED_TRACE(name);
        const Bytes expected = ReadFileBytes(root + pixels);
        CMemoryBitmap bitmap;
        DecodePath(root + name + ".gif", 32, bitmap);
        ASSERT_EQ(expected.size(), size_t(bitmap.GetWidth()) * bitmap.GetHeight() * 4);
        size_t i = 0;
        for (int y = 0; y < bitmap.GetHeight(); ++y)
            for (int x = 0; x < bitmap.GetWidth(); ++x, i += 4) {
                if (expected[i + 3] != 255)
                    continue; // transparent in the suite; we draw the index's colour
                const uint32_t rgb =
                    uint32_t(expected[i]) << 16 | uint32_t(expected[i + 1]) << 8 | expected[i + 2];
                ASSERT_EQ(bitmap.GetPixel32(x, y) & 0xFFFFFF, rgb) << x << "," << y;
            }
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

// Inverted Adobe CMYK, truncated mid-scan: gdk-pixbuf expects libjpeg's concealment to be
// shown. A batch must not write that grey as the photo: the file fails, saying why.
TEST(CodecSuites, CmykJpegCutMidScanFailsAsCut) {
    const std::string root = kTestData + "/jpeg/gdk-pixbuf/";
    if (!fs::exists(root))
        GTEST_SKIP();
    CAutoDetectDecoder decoder;
    CMemoryBitmap decoded;
    try {
        decoder.DecodeFile(root + "premature-end.jpg", decoded, 32);
        FAIL() << "decoded";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetText(), "Decoder error: Premature end of JPEG file\n");
    }
}

} // namespace
