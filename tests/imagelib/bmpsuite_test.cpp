// The public BMP Suite: the good files decode to their reference renderings, and no
// file of the questionable, bad or regression sets crashes, hangs or leaks.

#include "imagelib/autodetectdecoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"

#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kSuite = fs::path(QM_TESTDATA_DIR) / "bmpsuite";

#define SKIP_WITHOUT_SUITE()                                                                       \
    if (!fs::exists(kSuite))                                                                       \
    GTEST_SKIP() << "no test data at " << kSuite

struct Reference {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // BGRA words, top row first
};

bool ReadPng(const fs::path& path, Reference& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA;
    out.width = int(image.width);
    out.height = int(image.height);
    out.pixels.resize(size_t(image.width) * image.height);
    const bool ok = png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

uint32_t ColourAt(const CImageBitmap& bmp, int x, int y) {
    if (bmp.GetBitsPerPixel() == 8)
        return bmp.GetPalette()[bmp.GetLines()[y][x]];
    return bmp.GetPixel32(x, y);
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

struct GoodFile {
    const char* file;
    const char* reference;
    // 16-bit files keep five bits per channel and widen them by shifting; channels wider
    // than 8 bits round.
    int tolerance;
};

// The suite's good files, and the questionable ones this decoder reads right.
const GoodFile kGood[] = {
    {"g/pal1.bmp", "html/pal1.png", 0},
    {"g/pal1bg.bmp", "html/pal1bg.png", 0},
    {"g/pal1wb.bmp", "html/pal1.png", 0},
    {"g/pal4.bmp", "html/pal4.png", 0},
    {"g/pal4gs.bmp", "html/pal4gs.png", 0},
    {"g/pal4rle.bmp", "html/pal4.png", 0},
    {"g/pal8-0.bmp", "html/pal8.png", 0},
    {"g/pal8.bmp", "html/pal8.png", 0},
    {"g/pal8gs.bmp", "html/pal8gs.png", 0},
    {"g/pal8nonsquare.bmp", "html/pal8nonsquare-e.png", 0},
    {"g/pal8os2.bmp", "html/pal8.png", 0},
    {"g/pal8rle.bmp", "html/pal8.png", 0},
    {"g/pal8topdown.bmp", "html/pal8.png", 0},
    {"g/pal8v4.bmp", "html/pal8.png", 0},
    {"g/pal8v5.bmp", "html/pal8.png", 0},
    {"g/pal8w124.bmp", "html/pal8w124.png", 0},
    {"g/pal8w125.bmp", "html/pal8w125.png", 0},
    {"g/pal8w126.bmp", "html/pal8w126.png", 0},
    {"g/rgb16-565.bmp", "html/rgb16-565.png", 7},
    {"g/rgb16-565pal.bmp", "html/rgb16-565.png", 7},
    {"g/rgb16.bmp", "html/rgb16.png", 7},
    {"g/rgb16bfdef.bmp", "html/rgb16.png", 7},
    {"g/rgb24.bmp", "html/rgb24.png", 0},
    {"g/rgb24pal.bmp", "html/rgb24.png", 0},
    {"g/rgb32.bmp", "html/rgb24.png", 0},
    {"g/rgb32bf.bmp", "html/rgb24.png", 0},
    {"g/rgb32bfdef.bmp", "html/rgb24.png", 0},
    {"q/pal8offs.bmp", "html/pal8.png", 0},
    {"q/pal8os2-hs.bmp", "html/pal8.png", 0},
    {"q/pal8os2-sz.bmp", "html/pal8.png", 0},
    {"q/pal8os2sp.bmp", "html/pal8.png", 0},
    {"q/pal8os2v2-40sz.bmp", "html/pal8.png", 0},
    {"q/pal8os2v2-sz.bmp", "html/pal8.png", 0},
    {"q/pal8os2v2.bmp", "html/pal8.png", 0},
    {"q/pal8oversizepal.bmp", "html/pal8.png", 0},
    {"q/rgb16-231.bmp", "html/rgb16-231.png", 0},
    {"q/rgb16-3103.bmp", "html/rgb16-3103.png", 0},
    {"q/rgb16faketrns.bmp", "html/rgb16.png", 7},
    {"q/rgb24largepal.bmp", "html/rgb24.png", 0},
    {"q/rgb24lprof.bmp", "html/rgb24.png", 0},
    {"q/rgb24prof.bmp", "html/rgb24.png", 0},
    {"q/rgb32-111110.bmp", "html/rgb24.png", 1},
    {"q/rgb32-xbgr.bmp", "html/rgb24.png", 0},
    {"q/rgb32fakealpha.bmp", "html/rgb24.png", 0},
    {"q/rgb32h52.bmp", "html/rgb24.png", 0},
    {"extra-gdk-pixbuf/reftests/mandatory-bitmasks.bmp",
     "extra-gdk-pixbuf/reftests/mandatory-bitmasks.bmp.ref.png", 0},
};

void PrintTo(const GoodFile& g, std::ostream* os) {
    *os << g.file;
}

class GoodSuite : public ::testing::TestWithParam<GoodFile> {};

TEST_P(GoodSuite, DecodesToTheReference) {
    SKIP_WITHOUT_SUITE();
    const GoodFile& g = GetParam();
    Reference ref;
    ASSERT_TRUE(ReadPng(kSuite / g.reference, ref)) << g.reference;
    CAutoDetectDecoder decoder;
    // The natural depth shows the file's own colours; 32 bits is what the batch asks for.
    for (int request : {0, 32}) {
        SCOPED_TRACE(request);
        CDIBSectionBitmap bmp;
        decoder.DecodeFile((kSuite / g.file).string(), bmp, request);
        ASSERT_EQ(bmp.GetWidth(), ref.width);
        ASSERT_EQ(bmp.GetHeight(), ref.height);
        int worst = 0;
        for (int y = 0; y < ref.height; ++y) {
            for (int x = 0; x < ref.width; ++x) {
                const uint32_t got = ColourAt(bmp, x, y);
                worst =
                    std::max(worst, ChannelDistance(got, ref.pixels[size_t(y) * ref.width + x]));
            }
        }
        EXPECT_LE(worst, g.tolerance);
    }
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, GoodSuite, ::testing::ValuesIn(kGood), [](const auto& info) {
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

TEST(BmpSuite, EveryGoodFileIsListed) {
    SKIP_WITHOUT_SUITE();
    std::map<std::string, bool> listed;
    for (const GoodFile& g : kGood)
        listed[g.file] = true;
    for (const auto& entry : fs::directory_iterator(kSuite / "g"))
        EXPECT_TRUE(listed.count("g/" + entry.path().filename().string())) << entry.path();
}

// Every other file decodes or ends in CTextException; the sanitizer build checks memory.
TEST(BmpSuite, QuestionableAndBadFilesNeverCrash) {
    SKIP_WITHOUT_SUITE();
    std::vector<fs::path> files;
    for (const char* folder : {"q", "b", "x", "extra-gdk-pixbuf"})
        for (const auto& entry : fs::recursive_directory_iterator(kSuite / folder))
            if (entry.is_regular_file() && entry.path().extension() == ".bmp")
                files.push_back(entry.path());
    ASSERT_GT(files.size(), 60u);
    CAutoDetectDecoder decoder;
    int decoded = 0, rejected = 0;
    for (const fs::path& file : files) {
        for (int request : {0, 32}) {
            CDIBSectionBitmap bmp;
            const auto start = std::chrono::steady_clock::now();
            try {
                decoder.DecodeFile(file.string(), bmp, request);
                ++decoded;
                EXPECT_GT(bmp.GetWidth(), 0) << file;
            } catch (const CTextException& e) {
                ++rejected;
                EXPECT_FALSE(e.GetText().empty());
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << file;
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(rejected, 0);
}

TEST(BmpSuite, ReallyBigIsRefusedAtOnce) {
    SKIP_WITHOUT_SUITE();
    CAutoDetectDecoder decoder;
    CDIBSectionBitmap bmp;
    try {
        decoder.DecodeFile((kSuite / "b" / "reallybig.bmp").string(), bmp, 32);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 10);
        EXPECT_EQ(e.GetText().rfind("picture too large: ", 0), 0u) << e.GetText();
    }
}

} // namespace
