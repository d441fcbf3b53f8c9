// Stamping a JPEG through its coefficients. The reference is the ordinary path done by
// hand: the whole picture decoded by the JPEG decoder, changed, and encoded once with the
// input's own tables and sampling. Every block of the output must then be either the
// input's block (outside the touched MCUs) or the reference's block (inside them).

#include "imagelib/jpeglossless.h"

#include "codectestfiles.h"
#include "imagelib/jpegdecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace {

struct Coefficients {
    int components = 0, width = 0, height = 0, maxH = 1, maxV = 1;
    bool progressive = false;
    int h[4] = {}, v[4] = {}, wide[4] = {}, high[4] = {}, quant[4][64] = {};
    std::vector<std::vector<std::array<JCOEF, 64>>> blocks; // per component, row by row
};

// No C++ object lives in this frame between setjmp and the end.
bool ReadCoefficients(const Bytes& jpeg, Coefficients* out) {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
    cinfo.err = QuietJumpingErrors(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // Memory bombs among the public files end in an error, not in the machine's swap.
    cinfo.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    out->components = cinfo.num_components;
    out->width = int(cinfo.image_width);
    out->height = int(cinfo.image_height);
    out->maxH = cinfo.max_h_samp_factor;
    out->maxV = cinfo.max_v_samp_factor;
    out->progressive = cinfo.progressive_mode;
    out->blocks.resize(size_t(cinfo.num_components));
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        out->h[c] = comp.h_samp_factor;
        out->v[c] = comp.v_samp_factor;
        out->wide[c] = int(comp.width_in_blocks);
        out->high[c] = int(comp.height_in_blocks);
        for (int k = 0; k < 64; ++k)
            out->quant[c][k] = comp.quant_table ? comp.quant_table->quantval[k] : 0;
        out->blocks[size_t(c)].resize(size_t(out->wide[c]) * size_t(out->high[c]));
        for (int row = 0; row < out->high[c]; ++row) {
            JBLOCKARRAY b = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                             arrays[c], JDIMENSION(row), 1, FALSE);
            std::memcpy(&out->blocks[size_t(c)][size_t(row) * size_t(out->wide[c])], b[0],
                        size_t(out->wide[c]) * sizeof(JBLOCK));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The ordinary path's encode with the input's tables: float DCT, 4-byte pixels as the
// image library's encoder feeds them.
bool EncodeLike(const Bytes& input, CImageBitmap& pixels, Bytes* out) {
    jpeg_decompress_struct in;
    jpeg_compress_struct enc;
    TestJpegError error;
    in.err = QuietJumpingErrors(error);
    enc.err = &error.pub;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&enc);
        jpeg_destroy_decompress(&in);
        std::free(buffer);
        return false;
    }
    jpeg_create_decompress(&in);
    jpeg_create_compress(&enc);
    jpeg_mem_src(&in, input.data(), (unsigned long)input.size());
    jpeg_read_header(&in, TRUE);
    jpeg_copy_critical_parameters(&in, &enc);
    enc.input_components = 4;
    enc.in_color_space = JCS_EXT_BGRX;
    enc.dct_method = JDCT_FLOAT;
    jpeg_mem_dest(&enc, &buffer, &size);
    jpeg_start_compress(&enc, TRUE);
    uint8_t** lines = pixels.GetLines();
    while (enc.next_scanline < enc.image_height)
        jpeg_write_scanlines(&enc, lines + enc.next_scanline, 1);
    jpeg_finish_compress(&enc);
    out->assign(buffer, buffer + size);
    jpeg_destroy_compress(&enc);
    jpeg_destroy_decompress(&in);
    std::free(buffer);
    return true;
}

// libjpeg's own optimisation of a file's coefficients: the same single scan and restart
// interval, the Huffman tables counted by libjpeg.
bool RecodeOptimised(const Bytes& input, Bytes* out) {
    jpeg_decompress_struct in;
    jpeg_compress_struct enc;
    TestJpegError error;
    in.err = QuietJumpingErrors(error);
    enc.err = &error.pub;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&enc);
        jpeg_destroy_decompress(&in);
        std::free(buffer);
        return false;
    }
    jpeg_create_decompress(&in);
    jpeg_create_compress(&enc);
    jpeg_mem_src(&in, input.data(), (unsigned long)input.size());
    jpeg_read_header(&in, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&in);
    jpeg_copy_critical_parameters(&in, &enc);
    enc.restart_interval = in.restart_interval;
    enc.optimize_coding = TRUE;
    jpeg_mem_dest(&enc, &buffer, &size);
    jpeg_write_coefficients(&enc, arrays);
    jpeg_finish_compress(&enc);
    out->assign(buffer, buffer + size);
    jpeg_destroy_compress(&enc);
    jpeg_destroy_decompress(&in);
    std::free(buffer);
    return true;
}

// The DHT segments of a file before its first scan, in file order.
Bytes HuffmanTables(const Bytes& jpeg) {
    Bytes tables;
    for (size_t i = 2; i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA;) {
        const size_t end = i + 2 + (size_t(jpeg[i + 2]) << 8 | jpeg[i + 3]);
        if (jpeg[i + 1] == 0xC4)
            tables.insert(tables.end(), jpeg.begin() + long(i),
                          jpeg.begin() + long(std::min(end, jpeg.size())));
        i = end;
    }
    return tables;
}

// The change a stamp would make, different for every pixel and channel.
void Paint(CImageBitmap& bitmap, int originX, int originY, int x, int y, int w, int h) {
    uint8_t** lines = bitmap.GetLines();
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col) {
            const int bx = col - originX, by = row - originY;
            if (bx < 0 || by < 0 || bx >= bitmap.GetWidth() || by >= bitmap.GetHeight())
                continue;
            uint8_t* p = lines[by] + 4 * bx;
            p[0] = uint8_t(255 - p[0]);
            p[1] = uint8_t((p[1] + col * 7) / 2);
            p[2] = uint8_t(row * 3 + col);
        }
}

struct Rect {
    int x, y, w, h;
};

// Stamps rect through the coefficient path and checks every block of the output against
// the input and the reference. False when the path declined the file.
bool StampAndCheck(const Bytes& input, Rect rect, const std::string& name) {
    CJpegLosslessStamper stamper;
    if (!stamper.Open(input.data(), input.size()))
        return false;
    const CJpegLosslessStamper::CRect touched =
        stamper.TouchedRegion(rect.x, rect.y, rect.w, rect.h);
    stamper.ReplaceRegion(rect.x, rect.y, rect.w, rect.h, [&](CImageBitmap& b, int ox, int oy) {
        Paint(b, ox, oy, rect.x, rect.y, rect.w, rect.h);
    });
    CSavedMarker comment;
    comment.marker = JPEG_COM;
    comment.dataLength = comment.originalLength = 5;
    comment.data = std::make_unique<uint8_t[]>(5);
    std::memcpy(comment.data.get(), "stamp", 5);
    Bytes written;
    stamper.Write(&comment, written);

    // The reference: the whole picture as the decoder gives it, changed, encoded once.
    CMemoryBitmap whole;
    CJpegDecoder decoder;
    decoder.DecodeMemory(input.data(), int(input.size()), whole, 32);
    Paint(whole, 0, 0, rect.x, rect.y, rect.w, rect.h);
    Bytes reference;
    EXPECT_TRUE(EncodeLike(input, whole, &reference)) << name;

    Coefficients before, after, expected;
    EXPECT_TRUE(ReadCoefficients(input, &before)) << name;
    EXPECT_TRUE(ReadCoefficients(written, &after)) << name;
    EXPECT_TRUE(ReadCoefficients(reference, &expected)) << name;
    EXPECT_EQ(after.progressive, before.progressive) << name;
    // A sequential output's tables are counted by our own pass, which must count exactly
    // what libjpeg's would: the same tables, byte for byte.
    if (!before.progressive) {
        Bytes recoded;
        EXPECT_TRUE(RecodeOptimised(written, &recoded)) << name;
        const Bytes tables = HuffmanTables(written);
        EXPECT_FALSE(tables.empty()) << name;
        EXPECT_TRUE(tables == HuffmanTables(recoded)) << name << ": Huffman tables differ";
    }
    EXPECT_EQ(after.components, before.components) << name;
    EXPECT_EQ(after.width, before.width) << name;
    EXPECT_EQ(after.height, before.height) << name;
    if (after.components != before.components || expected.components != before.components)
        return true;
    int replaced = 0;
    for (int c = 0; c < before.components; ++c) {
        EXPECT_EQ(after.h[c], before.h[c]) << name;
        EXPECT_EQ(after.v[c], before.v[c]) << name;
        EXPECT_EQ(0, std::memcmp(after.quant[c], before.quant[c], sizeof after.quant[c])) << name;
        if (after.blocks[size_t(c)].size() != before.blocks[size_t(c)].size() ||
            expected.blocks[size_t(c)].size() != before.blocks[size_t(c)].size()) {
            ADD_FAILURE() << name << ": block counts differ";
            continue;
        }
        // Block (bx, by) covers these picture pixels of its MCU.
        const int unitW = before.components == 1 ? 8 : 8 * before.maxH / before.h[c];
        const int unitH = before.components == 1 ? 8 : 8 * before.maxV / before.v[c];
        int mismatches = 0;
        for (int by = 0; by < before.high[c]; ++by)
            for (int bx = 0; bx < before.wide[c]; ++bx) {
                const int px = bx * unitW, py = by * unitH;
                const bool inside = px >= touched.x && px < touched.x + touched.width &&
                                    py >= touched.y && py < touched.y + touched.height;
                const size_t i = size_t(by) * size_t(before.wide[c]) + size_t(bx);
                const std::array<JCOEF, 64>& want =
                    inside ? expected.blocks[size_t(c)][i] : before.blocks[size_t(c)][i];
                if (after.blocks[size_t(c)][i] != want && mismatches++ == 0)
                    ADD_FAILURE() << name << " component " << c << " sampling " << before.h[c]
                                  << "x" << before.v[c] << " of " << before.maxH << "x"
                                  << before.maxV << ": block " << bx << "," << by
                                  << (inside ? " inside" : " outside") << " the touched "
                                  << touched.x << "," << touched.y << " " << touched.width << "x"
                                  << touched.height
                                  << " coefficient 0: " << after.blocks[size_t(c)][i][0] << " not "
                                  << want[0];
                replaced += inside;
            }
        EXPECT_EQ(mismatches, 0) << name << " component " << c;
    }
    EXPECT_EQ(replaced > 0, touched.width > 0) << name;
    // The comment made it into the file.
    EXPECT_NE(
        std::search(written.begin(), written.end(), comment.data.get(), comment.data.get() + 5),
        written.end())
        << name;
    return true;
}

TEST(JpegLossless, OnlyTheTouchedMcusChangeAndTheyMatchOneEncodeOfTheOrdinaryComposite) {
    struct Case {
        const char* name;
        JpegShape shape;
        Rect rect;
    };
    auto shape = [](int w, int h, int comps, int lumaH, int lumaV, bool progressive, int quality,
                    int restart = 0) {
        JpegShape s;
        s.width = w;
        s.height = h;
        s.components = comps;
        s.lumaH = lumaH;
        s.lumaV = lumaV;
        s.progressive = progressive;
        s.quality = quality;
        s.restartInterval = restart;
        return s;
    };
    const Case cases[] = {
        {"4:2:0 inside", shape(96, 80, 3, 2, 2, false, 75), {21, 19, 30, 17}},
        {"4:2:2 odd size at the corner", shape(101, 77, 3, 2, 1, false, 90), {80, 60, 40, 40}},
        {"4:4:4", shape(64, 48, 3, 1, 1, false, 95), {8, 8, 8, 8}},
        {"4:4:0", shape(64, 64, 3, 1, 2, false, 80), {3, 30, 20, 5}},
        {"grey", shape(70, 45, 1, 1, 1, false, 85), {-5, -5, 20, 20}},
        {"progressive 4:2:0", shape(120, 90, 3, 2, 2, true, 88), {50, 40, 33, 21}},
        {"restart intervals", shape(96, 64, 3, 2, 2, false, 70, 2), {0, 30, 96, 10}},
        {"quality 100", shape(48, 48, 3, 2, 2, false, 100), {10, 10, 5, 5}},
        {"empty rectangle", shape(32, 32, 3, 2, 2, false, 75), {40, 40, 10, 10}},
        {"whole picture", shape(40, 24, 3, 2, 2, true, 60), {-10, -10, 100, 100}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(StampAndCheck(MakeJpeg(c.shape), c.rect, c.name)) << c.name;
}

TEST(JpegLossless, FilesThePathCannotTakeAreDeclinedWithoutAThrow) {
    JpegShape cmyk;
    cmyk.components = 4;
    JpegShape ycck = cmyk;
    ycck.ycck = true;
    JpegShape arithmetic;
    arithmetic.arithmetic = true;
    JpegShape progressive;
    progressive.width = progressive.height = 64;
    progressive.progressive = true;
    Bytes truncated = MakeJpeg(progressive);
    truncated.resize(truncated.size() * 2 / 3);
    JpegShape baseline;
    baseline.width = baseline.height = 64;
    Bytes cut = MakeJpeg(baseline);
    cut.resize(cut.size() / 2);
    const Bytes notJpeg = {'B', 'M', 0, 0, 0, 0};
    const std::pair<const char*, Bytes> files[] = {
        {"CMYK", MakeJpeg(cmyk)},
        {"YCCK", MakeJpeg(ycck)},
        {"arithmetic coding", MakeJpeg(arithmetic)},
        {"progressive scans cut short", truncated},
        {"baseline cut short", cut},
        {"not a JPEG", notJpeg},
        {"empty", Bytes{}},
    };
    CJpegLosslessStamper stamper; // reused, as the batch reuses it
    for (const auto& [name, bytes] : files) {
        EXPECT_FALSE(stamper.Open(bytes.data(), bytes.size())) << name;
        EXPECT_EQ(stamper.GetWidth(), 0) << name;
    }
    // And still takes a good file afterwards.
    const Bytes good = MakeJpeg(baseline);
    EXPECT_TRUE(stamper.Open(good.data(), good.size()));
    EXPECT_EQ(stamper.GetWidth(), 64);
}

// Every public test file either takes the path and passes the block check, or is declined.
TEST(JpegLossless, PublicJpegFilesPassTheBlockCheckOrTakeTheOrdinaryPath) {
    const std::filesystem::path root = std::filesystem::path(QM_TESTDATA_DIR) / "jpeg";
    if (!std::filesystem::is_directory(root))
        GTEST_SKIP() << "no test data at " << root;
    int taken = 0, declined = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".jpg" && ext != ".jpeg" && ext != ".JPG"))
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (bytes.size() > (8u << 20))
            continue;
        const std::string name = entry.path().lexically_relative(root).string();
        Coefficients shape;
        if (!ReadCoefficients(bytes, &shape) || shape.width <= 0) {
            CJpegLosslessStamper stamper;
            EXPECT_FALSE(stamper.Open(bytes.data(), bytes.size())) << name;
            ++declined;
            continue;
        }
        // A rectangle that straddles MCU borders in the middle of the picture.
        const Rect rect{shape.width / 3 + 3, shape.height / 3 + 5, shape.width / 4 + 1,
                        shape.height / 5 + 1};
        try {
            if (StampAndCheck(bytes, rect, name))
                ++taken;
            else
                ++declined;
        } catch (const CTextException& e) {
            ADD_FAILURE() << name << ": " << e.GetText();
        }
    }
    EXPECT_GT(taken, 10);
    std::printf("coefficient path: %d files taken, %d declined\n", taken, declined);
}

} // namespace
