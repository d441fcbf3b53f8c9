// Output sizing: the size rules, the resampler's arithmetic, and its quality against a
// reference Lanczos resize (Pillow's, where it is installed).

#include "imagelib/autodetectdecoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/resample.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>

namespace {

struct SizeCase {
    int width, height, orientation;
    CResizeRule rule;
    int wantWidth, wantHeight; // stored grid
};

TEST(ResizedStoredSize, EveryModeRoundsKeepsAspectAndNeverEnlargesUnlessAsked) {
    const SizeCase cases[] = {
        {4000, 3000, 1, {kResizeNone, 2048, false}, 4000, 3000},
        {4000, 3000, 1, {kResizeLong, 2048, false}, 2048, 1536},
        {3000, 4000, 1, {kResizeLong, 2048, false}, 1536, 2048},
        {4000, 3000, 1, {kResizeShort, 1000, false}, 1333, 1000},
        {4000, 3000, 1, {kResizeWidth, 1001, false}, 1001, 751}, // 750.75 rounds up
        {4000, 3000, 1, {kResizeHeight, 1001, false}, 1335, 1001},
        {4000, 3000, 1, {kResizePercent, 25, false}, 1000, 750},
        {4000, 3000, 1, {kResizePercent, 33, false}, 1320, 990},
        // Never enlarged by default; with --enlarge it is.
        {800, 600, 1, {kResizeLong, 2048, false}, 800, 600},
        {800, 600, 1, {kResizeLong, 2048, true}, 2048, 1536},
        {800, 600, 1, {kResizePercent, 150, false}, 800, 600},
        {800, 600, 1, {kResizePercent, 150, true}, 1200, 900},
        // A sliver keeps at least one pixel.
        {10000, 3, 1, {kResizeWidth, 100, false}, 100, 1},
        // Orientation 6 and 8: the rule sees the portrait a viewer shows, the result is
        // the stored landscape grid.
        {4000, 3000, 6, {kResizeWidth, 1500, false}, 2000, 1500},
        {4000, 3000, 8, {kResizeHeight, 2000, false}, 2000, 1500},
        {4000, 3000, 6, {kResizeLong, 2048, false}, 2048, 1536},
        {4000, 3000, 3, {kResizeWidth, 1000, false}, 1000, 750},
        // Values out of range leave the picture alone.
        {4000, 3000, 1, {kResizeLong, 0, false}, 4000, 3000},
        {4000, 3000, 1, {kResizePercent, 5000, true}, 4000, 3000},
    };
    for (const SizeCase& c : cases) {
        const CPixelSize got = ResizedStoredSize({c.width, c.height}, c.orientation, c.rule);
        EXPECT_EQ(got, (CPixelSize{c.wantWidth, c.wantHeight}))
            << c.width << "x" << c.height << " orientation " << c.orientation << " mode "
            << c.rule.mode << " value " << c.rule.value << " enlarge " << c.rule.enlarge << " gave "
            << got.width << "x" << got.height;
    }
    // DCT scaling only where the filter still gets the output's size.
    EXPECT_EQ(ResizeReduction({4000, 3000}, {2048, 1536}), 1);
    EXPECT_EQ(ResizeReduction({4000, 3000}, {2000, 1500}), 1);
    EXPECT_EQ(ResizeReduction({4000, 3000}, {1999, 1499}), 2);
    EXPECT_EQ(ResizeReduction({4000, 3000}, {1000, 750}), 2);
    EXPECT_EQ(ResizeReduction({4001, 3001}, {500, 376}), 4);
    EXPECT_EQ(ResizeReduction({6000, 4000}, {300, 200}), 8);
}

// Smooth areas, hard edges and fine texture, as a photograph has them.
void PaintScene(CImageBitmap& bitmap, bool alpha, unsigned seed) {
    std::mt19937 random(seed);
    const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w, fy = double(y) / h;
            int b = int(128 + 100 * std::sin(fx * 7 + fy * 3));
            int g = int(128 + 90 * std::cos(fy * 9 - fx * 2));
            int r = int(60 + 150 * fx * fy);
            if ((x / 37 + y / 53) % 5 == 0)
                r = 240; // hard edged blocks
            if (std::hypot(x - w * 0.6, y - h * 0.4) < h * 0.2)
                g = 20 + ((x + y) % 6) * 30; // a disc of fine stripes
            const int grain = int(random() % 9) - 4;
            const uint8_t a = alpha ? uint8_t((x * 255 / std::max(1, w - 1) + y) % 256) : 255;
            SetPixel32(bitmap, x, y,
                       Bgra(uint8_t(std::clamp(b + grain, 0, 255)),
                            uint8_t(std::clamp(g + grain, 0, 255)),
                            uint8_t(std::clamp(r + grain, 0, 255)), a));
        }
}

TEST(ResampleBitmap, VectorKernelsMatchPlainOnesAndUnchangedSizesStayExact) {
    struct Case {
        int inW, inH, outW, outH;
        bool alpha;
    };
    const Case cases[] = {
        {401, 301, 200, 150, false}, {401, 301, 57, 43, true},   {64, 48, 150, 113, false},
        {300, 200, 300, 97, false},  {300, 200, 123, 200, true}, {5, 3, 2, 1, false},
        {2, 2, 40, 40, true},        {1000, 7, 31, 7, false},
    };
    for (const Case& c : cases) {
        CMemoryBitmap source;
        source.Create(c.inW, c.inH, 32, c.alpha);
        PaintScene(source, c.alpha, unsigned(c.inW * 31 + c.outW));
        CMemoryBitmap plain, vector;
        SetResampleVectorUnits(false);
        ResampleBitmap(source, plain, c.outW, c.outH);
        SetResampleVectorUnits(true);
        ResampleBitmap(source, vector, c.outW, c.outH);
        ASSERT_EQ(plain.GetWidth(), c.outW);
        ASSERT_EQ(plain.GetHeight(), c.outH);
        for (int y = 0; y < c.outH; ++y)
            for (int x = 0; x < c.outW; ++x)
                ASSERT_EQ(plain.GetPixel32(x, y), vector.GetPixel32(x, y))
                    << c.inW << "x" << c.inH << " to " << c.outW << "x" << c.outH << " at " << x
                    << "," << y;
    }
    // The same size: every pixel as it was; a flat picture stays flat at any size.
    CMemoryBitmap source, same, flat, flatOut;
    source.Create(97, 61, 32, false);
    PaintScene(source, false, 7);
    ResampleBitmap(source, same, 97, 61);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 97; ++x)
            ASSERT_EQ(same.GetPixel32(x, y), source.GetPixel32(x, y));
    flat.Create(333, 222, 32, true);
    Fill32(flat, Bgra(10, 200, 77, 255));
    for (const auto& [w, h] : {std::pair{100, 67}, std::pair{999, 666}, std::pair{41, 222}}) {
        ResampleBitmap(flat, flatOut, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(flatOut.GetPixel32(x, y), Bgra(10, 200, 77, 255));
    }
    // Premultiplied: a fully transparent neighbour lends no colour to an opaque pixel.
    CMemoryBitmap edge, edgeOut;
    edge.Create(40, 4, 32, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 40; ++x)
            SetPixel32(edge, x, y, x < 20 ? Bgra(0, 0, 255, 255) : Bgra(255, 255, 255, 0));
    ResampleBitmap(edge, edgeOut, 20, 2);
    for (int x = 0; x < 10; ++x) {
        const uint32_t p = edgeOut.GetPixel32(x, 0);
        if ((p >> 24) > 16) { // visible pixels are red, not pinkish
            EXPECT_LT(p & 0xFF, 24u) << x;
        }
    }
}

double Psnr(const CImageBitmap& a, const CImageBitmap& b) {
    double sum = 0;
    int64_t n = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x) {
            const uint32_t p = a.GetPixel32(x, y), q = b.GetPixel32(x, y);
            for (int c = 0; c < 3; ++c) {
                const double d = double((p >> (8 * c)) & 0xFF) - double((q >> (8 * c)) & 0xFF);
                sum += d * d;
                ++n;
            }
        }
    const double mse = sum / double(n);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

bool HavePillow() {
    return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
}

// JPEGs decoded with a size rule (reduced by the DCT where the output is at most half,
// then filtered) against Pillow's Lanczos resize of the whole decode.
TEST(ResampleBitmap, JpegOutputsMatchPillowsLanczosOfTheFullDecode) {
    if (!HavePillow())
        GTEST_SKIP() << "python3 with PIL is not installed";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("qm_resample_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CMemoryBitmap scene;
    scene.Create(1600, 1200, 32, false);
    PaintScene(scene, false, 3);
    const std::string input = (dir / "scene.jpg").string();
    CJpegEncoder encoder;
    encoder.SetQuality(92);
    encoder.EncodeFile(input, scene);

    struct Case {
        CResizeRule rule;
        int width, height;
    };
    const Case cases[] = {
        {{kResizeLong, 1400, false}, 1400, 1050}, // the filter alone
        {{kResizeLong, 800, false}, 800, 600},    // exactly half: the filter alone
        {{kResizeLong, 700, false}, 700, 525},    // DCT 1/2, then the filter
        {{kResizeWidth, 300, false}, 300, 225},   // DCT 1/4, then the filter
        {{kResizePercent, 10, false}, 160, 120},  // DCT 1/8, then the filter
        {{kResizeLong, 2000, true}, 2000, 1500},  // enlarged
    };
    // One interpreter for every reference: reference<i>.png for case i.
    std::string command = "/usr/bin/python3 -c 'import sys; from PIL import Image; "
                          "im = Image.open(sys.argv[1]).convert(\"RGB\"); a = sys.argv[2:]; "
                          "[im.resize((int(a[i]), int(a[i + 1])), Image.LANCZOS).save(a[i + 2]) "
                          "for i in range(0, len(a), 3)]' " +
                          input;
    for (size_t i = 0; i < std::size(cases); ++i)
        command += " " + std::to_string(cases[i].width) + " " + std::to_string(cases[i].height) +
                   " " + (dir / ("reference" + std::to_string(i) + ".png")).string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        CAutoDetectDecoder decoder;
        decoder.SetResize(c.rule, true);
        CMemoryBitmap ours;
        decoder.DecodeFile(input, ours, 32);
        ASSERT_EQ(ours.GetWidth(), c.width);
        ASSERT_EQ(ours.GetHeight(), c.height);
        CMemoryBitmap theirs;
        decoder.SetResize({}, true);
        decoder.DecodeFile((dir / ("reference" + std::to_string(i) + ".png")).string(), theirs, 32);
        const double psnr = Psnr(ours, theirs);
        EXPECT_GE(psnr, 36.0) << c.width << "x" << c.height;
        std::printf("  %dx%d: %.2f dB against Pillow\n", c.width, c.height, psnr);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
