// The DC-only decoder against libjpeg: every DC coefficient it gives must be the one
// libjpeg reads from the same file, split over two threads or not, and the picture it
// makes must be libjpeg's own 1/8 decode wherever no chroma is subsampled.

#include "imagelib/jpegdcdecoder.h"

#include "codectestfiles.h"
#include "imagelib/jpegdecoder.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// The file's DC coefficients as libjpeg reads them, in the coding order of CPlanes.
bool LibjpegDc(const Bytes& jpeg, std::vector<int16_t>* out) {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
    cinfo.err = QuietJumpingErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    const int n = cinfo.num_components;
    const auto block = [&](int c, int x, int y) {
        return (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo), arrays[c],
                                                JDIMENSION(y), 1, FALSE)[0][x][0];
    };
    out->clear();
    if (n == 1) {
        for (JDIMENSION y = 0; y < cinfo.comp_info[0].height_in_blocks; ++y)
            for (JDIMENSION x = 0; x < cinfo.comp_info[0].width_in_blocks; ++x)
                out->push_back(block(0, int(x), int(y)));
    } else {
        const int mcusWide = int((cinfo.image_width + 8 * cinfo.max_h_samp_factor - 1) /
                                 (8 * cinfo.max_h_samp_factor));
        const int mcusHigh = int((cinfo.image_height + 8 * cinfo.max_v_samp_factor - 1) /
                                 (8 * cinfo.max_v_samp_factor));
        for (int my = 0; my < mcusHigh; ++my)
            for (int mx = 0; mx < mcusWide; ++mx)
                for (int c = 0; c < n; ++c) {
                    const int h = cinfo.comp_info[c].h_samp_factor;
                    const int v = cinfo.comp_info[c].v_samp_factor;
                    for (int y = 0; y < v; ++y)
                        for (int x = 0; x < h; ++x)
                            out->push_back(block(c, mx * h + x, my * v + y));
                }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Runs the DC decoder on a file as the JPEG decoder does: after libjpeg read the header.
// -1: libjpeg could not read the header; 0: declined; 1: decoded.
int DecodeDc(const Bytes& jpeg, int threads, CJpegDcDecoder::CPlanes* planes,
             CImageBitmap* eighth = nullptr, size_t splitBytes = CJpegDcDecoder::kSplitBytes) {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
    cinfo.err = QuietJumpingErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    const bool ok =
        eighth ? CJpegDcDecoder::DecodeEighth(&cinfo, cinfo.src->next_input_byte,
                                              cinfo.src->bytes_in_buffer, threads, *eighth)
               : CJpegDcDecoder::DecodeDc(&cinfo, cinfo.src->next_input_byte,
                                          cinfo.src->bytes_in_buffer, threads, *planes, splitBytes);
    jpeg_destroy_decompress(&cinfo);
    return ok ? 1 : 0;
}

// Noise over gradients: a big scan that the decoder splits between its threads.
Bytes BigNoisyJpeg(int width, int height, int restartInterval, int components = 3) {
    JpegShape shape;
    shape.width = width;
    shape.height = height;
    shape.components = components;
    shape.quality = 95;
    shape.restartInterval = restartInterval;
    shape.samples.resize(size_t(width) * size_t(height) * size_t(components));
    uint32_t seed = 7;
    for (size_t i = 0; i < shape.samples.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const size_t pixel = i / size_t(components);
        const int x = int(pixel % size_t(width)), y = int(pixel / size_t(width));
        shape.samples[i] = uint8_t((x / 3 + y / 2 + int(i % 3) * 60 + int(seed >> 27)) & 0xFF);
    }
    return MakeJpeg(shape);
}

int smallSplitsMet = 0; // how often the threads met on a small file, for the record

// Every file the decoder takes gives libjpeg's DC coefficients, on one thread and on two.
void ExpectLibjpegDc(const Bytes& jpeg, const std::string& name, int* taken, bool split = false) {
    CJpegDcDecoder::CPlanes one, two;
    const int result = DecodeDc(jpeg, 1, &one);
    if (result <= 0)
        return;
    ++*taken;
    std::vector<int16_t> expected;
    ASSERT_TRUE(LibjpegDc(jpeg, &expected)) << name;
    ASSERT_EQ(one.dc.size(), expected.size()) << name;
    EXPECT_TRUE(one.dc == expected) << name << ": DC coefficients differ";
    ASSERT_EQ(DecodeDc(jpeg, 2, &two), 1) << name;
    EXPECT_TRUE(two.dc == expected) << name << ": DC coefficients differ on two threads";
    if (split) {
        EXPECT_GT(two.secondThreadFrom, 0) << name << ": not split";
    }
    // Small files split too when told to: the second thread's guesses on short data.
    CJpegDcDecoder::CPlanes small;
    ASSERT_EQ(DecodeDc(jpeg, 2, &small, nullptr, 1), 1) << name;
    EXPECT_TRUE(small.dc == expected) << name << ": DC coefficients differ split small";
    smallSplitsMet += small.secondThreadFrom > 0;
}

TEST(JpegDcDecoder, GivesLibjpegsDcCoefficientsOnOneThreadAndOnTwo) {
    struct Case {
        const char* name;
        int width, height, components, lumaH, lumaV, restart;
    };
    const Case cases[] = {
        {"4:2:0", 97, 61, 3, 2, 2, 0},         {"4:2:2", 50, 33, 3, 2, 1, 0},
        {"4:4:4", 40, 24, 3, 1, 1, 0},         {"4:4:0", 31, 45, 3, 1, 2, 0},
        {"grey", 70, 45, 1, 1, 1, 0},          {"restarts", 96, 64, 3, 2, 2, 3},
        {"grey restarts", 64, 64, 1, 1, 1, 5},
    };
    int taken = 0;
    for (const Case& c : cases) {
        JpegShape shape;
        shape.width = c.width;
        shape.height = c.height;
        shape.components = c.components;
        shape.lumaH = c.lumaH;
        shape.lumaV = c.lumaV;
        shape.restartInterval = c.restart;
        ExpectLibjpegDc(MakeJpeg(shape), c.name, &taken);
    }
    EXPECT_EQ(taken, int(std::size(cases)));
    // Big enough to be split: in the middle of the data, and on a restart boundary.
    taken = 0;
    ExpectLibjpegDc(BigNoisyJpeg(1600, 1200, 0), "split in the middle", &taken, true);
    ExpectLibjpegDc(BigNoisyJpeg(1600, 1200, 7), "split on a restart", &taken, true);
    // Data after the picture's end, as phones append: the split is in the scan's middle.
    Bytes trailed = BigNoisyJpeg(1600, 1200, 0);
    trailed.resize(trailed.size() * 3, 0x55);
    ExpectLibjpegDc(trailed, "split with data after the end", &taken, true);
    ExpectLibjpegDc(BigNoisyJpeg(1700, 1300, 0, 1), "grey split in the middle", &taken, true);
    EXPECT_EQ(taken, 4);
}

TEST(JpegDcDecoder, DeclinesWhatItDoesNotTake) {
    JpegShape progressive;
    progressive.progressive = true;
    JpegShape cmyk;
    cmyk.components = 4;
    JpegShape arithmetic;
    arithmetic.arithmetic = true;
    JpegShape plain;
    plain.width = plain.height = 64;
    Bytes cut = MakeJpeg(plain);
    cut.resize(cut.size() * 2 / 3);
    Bytes bigCut = BigNoisyJpeg(1600, 1200, 0);
    bigCut.resize(bigCut.size() * 3 / 4);
    Bytes bigRestartsCut = BigNoisyJpeg(1600, 1200, 7);
    bigRestartsCut.resize(bigRestartsCut.size() * 3 / 4);
    Bytes badRestart = BigNoisyJpeg(800, 600, 2);
    for (size_t i = badRestart.size() / 2; i + 1 < badRestart.size(); ++i)
        if (badRestart[i] == 0xFF && badRestart[i + 1] >= JPEG_RST0 &&
            badRestart[i + 1] <= JPEG_RST0 + 7) {
            badRestart[i + 1] = uint8_t(JPEG_RST0 + (badRestart[i + 1] - JPEG_RST0 + 3) % 8);
            break;
        }
    const std::pair<const char*, Bytes> files[] = {
        {"progressive", MakeJpeg(progressive)},
        {"CMYK", MakeJpeg(cmyk)},
        {"arithmetic coding", MakeJpeg(arithmetic)},
        {"cut short", cut},
        {"big, cut short", bigCut},
        {"big with restarts, cut short", bigRestartsCut},
        {"restart marker out of order", badRestart},
    };
    for (const auto& [name, bytes] : files)
        for (const int threads : {1, 2}) {
            CJpegDcDecoder::CPlanes planes;
            EXPECT_EQ(DecodeDc(bytes, threads, &planes), 0) << name << ", threads " << threads;
        }
}

// libjpeg's own 1/8 decode, as the JPEG decoder asked for it before: blue, green, red,
// opaque; no fancy upsampling.
bool LibjpegEighth(const Bytes& jpeg, int* width, int* height, Bytes* out) {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
    cinfo.err = QuietJumpingErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    *width = int(cinfo.output_width);
    *height = int(cinfo.output_height);
    out->resize(size_t(*width) * size_t(*height) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->data() + size_t(cinfo.output_scanline) * size_t(*width) * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The picture: libjpeg's 1/8 decode exactly where no chroma is subsampled, and close to it
// where libjpeg brings in the subsampled chroma's first AC coefficients.
TEST(JpegDcDecoder, PictureIsLibjpegsEighth) {
    struct Case {
        const char* name;
        int components, lumaH, lumaV, tolerance;
    };
    const Case cases[] = {{"grey", 1, 1, 1, 0}, {"4:4:4", 3, 1, 1, 0}, {"4:2:0", 3, 2, 2, 6}};
    for (const Case& c : cases) {
        JpegShape shape;
        shape.width = 203;
        shape.height = 150;
        shape.components = c.components;
        shape.lumaH = c.lumaH;
        shape.lumaV = c.lumaV;
        for (int y = 0; y < shape.height; ++y) // gentle gradients, as photographs have
            for (int x = 0; x < shape.width; ++x)
                for (int k = 0; k < c.components; ++k)
                    shape.samples.push_back(uint8_t(30 + (k == 0   ? x
                                                          : k == 1 ? y
                                                                   : x + y) *
                                                             190 / (shape.width + shape.height)));
        const Bytes jpeg = MakeJpeg(shape);
        CMemoryBitmap ours;
        ASSERT_EQ(DecodeDc(jpeg, 1, nullptr, &ours), 1) << c.name;
        int width = 0, height = 0;
        Bytes theirs;
        ASSERT_TRUE(LibjpegEighth(jpeg, &width, &height, &theirs)) << c.name;
        ASSERT_EQ(ours.GetWidth(), width) << c.name;
        ASSERT_EQ(ours.GetHeight(), height) << c.name;
        int worst = 0;
        long total = 0;
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < width * 4; ++i) {
                const int d = std::abs(ours.GetLines()[y][i] - theirs[size_t(y * width * 4 + i)]);
                worst = std::max(worst, d);
                total += d;
            }
        EXPECT_LE(worst, c.tolerance) << c.name;
        EXPECT_LE(double(total) / (width * height * 3), c.tolerance / 3.0) << c.name;
    }
}

// Every public test file the decoder takes gives libjpeg's DC coefficients; broken ones
// among them are declined or agree all the same.
TEST(JpegDcDecoder, PublicJpegFilesGiveLibjpegsDcOrAreDeclined) {
    const std::filesystem::path root = std::filesystem::path(QM_TESTDATA_DIR) / "jpeg";
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no test data at " << root;
    int taken = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG"))
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (bytes.size() > (8u << 20))
            continue;
        ExpectLibjpegDc(bytes, entry.path().lexically_relative(root).string(), &taken);
    }
    EXPECT_GT(taken, 10);
    std::printf("DC decoder: %d public files taken, split small %d times\n", taken, smallSplitsMet);
}

} // namespace
