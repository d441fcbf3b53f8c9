// Stamping a JPEG through its coefficients. The reference is the ordinary path done by
// hand: the whole picture decoded by the JPEG decoder, changed, and encoded once with the
// input's own tables and sampling. Every block of the output must then be either the
// input's block (outside the touched MCUs) or the reference's block (inside them).

#include "imagelib/jpeglossless.h"

#include "codectestfiles.h"
#include "imagelib/jpegdecoder.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The Huffman tables the scan uses, component by component (DC, then AC): counts and
// symbols.
Bytes ScanTables(const Bytes& jpeg) {
    jpeg_decompress_struct cinfo;
    TestJpegError error;
    cinfo.err = QuietJumpingErrors(error);
    Bytes tables;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    for (int c = 0; c < cinfo.comps_in_scan; ++c)
        for (const JHUFF_TBL* t : {cinfo.dc_huff_tbl_ptrs[cinfo.cur_comp_info[c]->dc_tbl_no],
                                   cinfo.ac_huff_tbl_ptrs[cinfo.cur_comp_info[c]->ac_tbl_no]}) {
            int count = 0;
            for (int l = 1; l <= 16; ++l) {
                tables.push_back(t->bits[l]);
                count += t->bits[l];
            }
            tables.insert(tables.end(), t->huffval, t->huffval + count);
        }
    jpeg_destroy_decompress(&cinfo);
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
bool StampAndCheck(const Bytes& input, Rect rect, const std::string& name,
                   CJpegLosslessStamper::CReport* report = nullptr, Bytes* output = nullptr,
                   CJpegLosslessStamper* reused = nullptr, size_t splitBytes = 1 << 20) {
    CJpegLosslessStamper own;
    CJpegLosslessStamper& stamper = reused ? *reused : own;
    stamper.SetSplitBytes(splitBytes);
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
    if (stamper.LastReport().spliced) {
        // A spliced file keeps the input's tables.
        EXPECT_FALSE(before.progressive) << name;
        EXPECT_TRUE(ScanTables(written) == ScanTables(input)) << name << ": tables not kept";
    } else if (!before.progressive) {
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
    if (report)
        *report = stamper.LastReport();
    if (output)
        *output = written;
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

// A baseline file's single scan as libjpeg reads it: every block in coding order, dummy
// blocks at the right and bottom included, and the codes of its tables.
struct ScanModel {
    int components = 0, mcusWide = 0, mcusHigh = 0, restart = 0;
    int h[3] = {}, v[3] = {}, wide[3] = {};
    std::vector<std::array<JCOEF, 64>> blocks[3]; // padded arrays, row by row
    uint16_t code[3][2][256] = {};                // [component][dc, ac][symbol]
    uint8_t length[3][2][256] = {};
    size_t scanStart = 0; // the first data byte
};

bool ReadScanModel(const Bytes& jpeg, ScanModel* m) {
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
    m->scanStart = jpeg.size() - cinfo.src->bytes_in_buffer;
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    m->components = cinfo.num_components;
    m->restart = int(cinfo.restart_interval);
    const bool single = m->components == 1;
    m->mcusWide = single ? int(cinfo.comp_info[0].width_in_blocks)
                         : int(cinfo.image_width + 8 * cinfo.max_h_samp_factor - 1) /
                               (8 * cinfo.max_h_samp_factor);
    m->mcusHigh = single ? int(cinfo.comp_info[0].height_in_blocks)
                         : int(cinfo.image_height + 8 * cinfo.max_v_samp_factor - 1) /
                               (8 * cinfo.max_v_samp_factor);
    for (int c = 0; c < m->components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        m->h[c] = single ? 1 : comp.h_samp_factor;
        m->v[c] = single ? 1 : comp.v_samp_factor;
        m->wide[c] = single ? m->mcusWide : m->mcusWide * m->h[c];
        const int high = single ? m->mcusHigh : m->mcusHigh * m->v[c];
        m->blocks[c].resize(size_t(m->wide[c]) * size_t(high));
        for (int row = 0; row < high; ++row) {
            JBLOCKARRAY b = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                             arrays[c], JDIMENSION(row), 1, FALSE);
            std::memcpy(&m->blocks[c][size_t(row) * size_t(m->wide[c])], b[0],
                        size_t(m->wide[c]) * sizeof(JBLOCK));
        }
        for (const int ac : {0, 1}) {
            const JHUFF_TBL* t = ac ? cinfo.ac_huff_tbl_ptrs[comp.ac_tbl_no]
                                    : cinfo.dc_huff_tbl_ptrs[comp.dc_tbl_no];
            for (int l = 1, code = 0, i = 0; l <= 16; ++l, code <<= 1)
                for (int n = 0; n < t->bits[l]; ++n, ++i, ++code) {
                    m->code[c][ac][t->huffval[i]] = uint16_t(code);
                    m->length[c][ac][t->huffval[i]] = uint8_t(l);
                }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Writes a model's scan. Where plain(mcu) is false, the blocks are coded as no encoder
// would but every decoder reads alike: a zero-run code before each end of block that
// ends more than 16 zeros, and zero bits to fill an interval's last byte. Where it is
// true, as libjpeg codes them. lastPadOnes: the scan's last byte filled with ones.
Bytes WriteScanModel(const ScanModel& m, const std::function<bool(int64_t)>& plain,
                     bool lastPadOnes) {
    Bytes out;
    uint32_t acc = 0;
    int n = 0;
    const auto put = [&](uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = acc << 1 | ((value >> i) & 1);
            if (++n == 8) {
                out.push_back(uint8_t(acc));
                if (uint8_t(acc) == 0xFF)
                    out.push_back(0);
                acc = 0;
                n = 0;
            }
        }
    };
    const auto pad = [&](bool ones) {
        while (n != 0)
            put(ones ? 1 : 0, 1);
    };
    static constexpr int kNatural[64] = {
        0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
        41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
        30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const auto block = [&](int c, const std::array<JCOEF, 64>& b, int& predictor, bool canonical) {
        const int diff = b[0] - predictor;
        predictor = b[0];
        const int size = std::bit_width(unsigned(std::abs(diff)));
        put(m.code[c][0][size], m.length[c][0][size]);
        put(uint32_t(diff < 0 ? diff - 1 : diff) & ((1u << size) - 1), size);
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            const int value = b[size_t(kNatural[k])];
            if (value == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16)
                put(m.code[c][1][0xF0], m.length[c][1][0xF0]);
            const int bits = std::bit_width(unsigned(std::abs(value)));
            put(m.code[c][1][run << 4 | bits], m.length[c][1][run << 4 | bits]);
            put(uint32_t(value < 0 ? value - 1 : value) & ((1u << bits) - 1), bits);
            run = 0;
        }
        if (run > 0) {
            if (!canonical && run > 16) // an end of block must still follow
                put(m.code[c][1][0xF0], m.length[c][1][0xF0]);
            put(m.code[c][1][0x00], m.length[c][1][0x00]);
        }
    };
    const int64_t mcus = int64_t(m.mcusWide) * m.mcusHigh;
    int predictors[3] = {};
    bool intervalPlain = true;
    for (int64_t i = 0; i < mcus; ++i) {
        if (m.restart && i % m.restart == 0) {
            intervalPlain = false;
            for (int64_t j = i; j < std::min<int64_t>(mcus, i + m.restart); ++j)
                intervalPlain = intervalPlain || plain(j);
        }
        const int mx = int(i % m.mcusWide), my = int(i / m.mcusWide);
        const bool canonical = m.restart ? intervalPlain : plain(i);
        for (int c = 0; c < m.components; ++c)
            for (int y = 0; y < m.v[c]; ++y)
                for (int x = 0; x < m.h[c]; ++x)
                    block(c,
                          m.blocks[c][size_t(my * m.v[c] + y) * size_t(m.wide[c]) +
                                      size_t(mx * m.h[c] + x)],
                          predictors[c], canonical);
        if (m.restart && (i + 1) % m.restart == 0 && i + 1 < mcus) {
            pad(intervalPlain);
            out.push_back(0xFF);
            out.push_back(uint8_t(0xD0 + (i / m.restart) % 8));
            std::fill(std::begin(predictors), std::end(predictors), 0);
        }
    }
    pad(m.restart ? intervalPlain : lastPadOnes);
    return out;
}

// The entropy-coded data of a file: from its scan's first byte to the end of the picture.
Bytes ScanBytes(const Bytes& jpeg, const ScanModel& m) {
    return Bytes(jpeg.begin() + long(m.scanStart), jpeg.end() - 2);
}

// Baseline files are spliced: the bits of every MCU the stamp leaves (and of every restart
// interval it leaves) are the input's, even where libjpeg would code them otherwise; only
// the touched MCUs (and each one after a touched run, whose DC prediction changed) or the
// touched intervals are coded again, as libjpeg codes them.
TEST(JpegLossless, BaselineFilesKeepTheBitsOfEveryUntouchedMcuOrInterval) {
    struct Case {
        const char* name;
        JpegShape shape;
        Rect rect;
        bool ones = false; // coefficients whose codes and values are nearly all ones
    };
    auto shape = [](int w, int h, int comps, int lumaH, int lumaV, int restart) {
        JpegShape s;
        s.width = w;
        s.height = h;
        s.components = comps;
        s.lumaH = lumaH;
        s.lumaV = lumaV;
        s.quality = 80;
        s.restartInterval = restart;
        return s;
    };
    const Case cases[] = {
        {"4:2:0 stuffed bytes everywhere", shape(96, 80, 3, 2, 2, 0), {21, 19, 30, 17}, true},
        {"4:4:4 stuffed, restart every 5", shape(64, 48, 3, 1, 1, 5), {20, 10, 20, 20}, true},
        {"4:2:0 in the middle", shape(96, 80, 3, 2, 2, 0), {21, 19, 30, 17}},
        {"4:2:0 whole rows", shape(96, 80, 3, 2, 2, 0), {0, 20, 96, 20}},
        {"4:2:0 every MCU row", shape(96, 80, 3, 2, 2, 0), {40, 0, 8, 80}},
        {"4:2:0 every MCU", shape(48, 32, 3, 2, 2, 0), {0, 0, 48, 32}},
        {"4:4:4 the last MCU", shape(64, 48, 3, 1, 1, 0), {60, 44, 4, 4}},
        {"4:2:2 odd size, right edge", shape(101, 77, 3, 2, 1, 0), {90, 30, 11, 20}},
        {"grey the first MCU", shape(70, 45, 1, 1, 1, 0), {0, 0, 5, 5}},
        {"4:2:0 a restart marker every row", shape(96, 64, 3, 2, 2, 6), {20, 20, 30, 20}},
        {"4:2:2 odd size, restart every 4 MCUs", shape(101, 77, 3, 2, 1, 4), {30, 30, 20, 20}},
        {"grey restart every MCU, last MCU", shape(40, 40, 1, 1, 1, 1), {32, 32, 8, 8}},
    };
    // Each file walked by one thread, and (from its middle on) by a second one as well.
    for (const size_t splitBytes : {size_t(1) << 20, size_t(1)})
        for (const Case& c : cases) {
            // The input: libjpeg's file with its scan written the unusual way throughout.
            const Bytes made = MakeJpeg(c.shape);
            ScanModel before;
            ASSERT_TRUE(ReadScanModel(made, &before)) << c.name;
            // Their codes are the long ones of the standard tables, 1111111110..., and
            // their value bits all ones: a stuffed 0xFF 00 every few bytes, at every seam.
            for (int comp = 0; c.ones && comp < before.components; ++comp)
                for (std::array<JCOEF, 64>& block : before.blocks[comp])
                    std::fill(block.begin() + 1, block.begin() + 12, JCOEF(1023));
            Bytes input(made.begin(), made.begin() + long(before.scanStart));
            const Bytes scan = WriteScanModel(
                before, [](int64_t) { return false; }, false);
            input.insert(input.end(), scan.begin(), scan.end());
            input.push_back(0xFF);
            input.push_back(0xD9);

            CJpegLosslessStamper::CReport report;
            Bytes output;
            ASSERT_TRUE(StampAndCheck(input, c.rect, c.name, &report, &output, nullptr, splitBytes))
                << c.name;
            EXPECT_TRUE(report.spliced) << c.name << ", walk split from " << splitBytes;

            // What the output's scan must be: the touched MCUs (with restart markers, their
            // intervals) and the MCU after each touched run as libjpeg codes them, every other
            // MCU as the input has it.
            ScanModel after;
            ASSERT_TRUE(ReadScanModel(output, &after)) << c.name;
            CJpegLosslessStamper probe;
            ASSERT_TRUE(probe.Open(input.data(), input.size()));
            const CJpegLosslessStamper::CRect t =
                probe.TouchedRegion(c.rect.x, c.rect.y, c.rect.w, c.rect.h);
            probe.Close();
            const int mcuW = c.shape.components == 1 ? 8 : 8 * c.shape.lumaH;
            const int mcuH = c.shape.components == 1 ? 8 : 8 * c.shape.lumaV;
            const auto touched = [&](int64_t i) {
                const int mx = int(i % after.mcusWide), my = int(i / after.mcusWide);
                return mx * mcuW >= t.x && mx * mcuW < t.x + t.width && my * mcuH >= t.y &&
                       my * mcuH < t.y + t.height;
            };
            const auto plain = [&](int64_t i) {
                return touched(i) || (!after.restart && i > 0 && touched(i - 1));
            };
            const Bytes expected = WriteScanModel(after, plain, true);
            const Bytes got = ScanBytes(output, after);
            EXPECT_EQ(got.size(), expected.size()) << c.name;
            EXPECT_TRUE(got == expected)
                << c.name << ": the scan is not the input's outside the stamp";
            // Nothing but the stamped blocks grew.
            EXPECT_LE(output.size(),
                      input.size() + (got.size() > scan.size() ? got.size() - scan.size() : 0) + 64)
                << c.name;
        }
}

// A file whose tables hold only the codes its own blocks use cannot code the stamp's
// blocks with them: it is coded again whole, with tables of its own. The stamper has just
// spliced a file with libjpeg's standard tables, whose codes must not linger.
TEST(JpegLossless, TablesLackingTheStampsCodesTakeTheWholeRecode) {
    JpegShape flat;
    flat.width = 64;
    flat.height = 48;
    flat.samples.assign(size_t(flat.width * flat.height * 3), 128);
    Bytes optimised;
    ASSERT_TRUE(RecodeOptimised(MakeJpeg(flat), &optimised));
    CJpegLosslessStamper stamper;
    CJpegLosslessStamper::CReport report;
    ASSERT_TRUE(StampAndCheck(MakeJpeg(flat), {10, 10, 30, 20}, "flat, standard tables", &report,
                              nullptr, &stamper));
    EXPECT_TRUE(report.spliced);
    ASSERT_TRUE(StampAndCheck(optimised, {10, 10, 30, 20}, "flat, optimised tables", &report,
                              nullptr, &stamper));
    EXPECT_FALSE(report.spliced);
    // Stamped off the picture, the same file is copied as it stands.
    Bytes copy;
    ASSERT_TRUE(StampAndCheck(optimised, {100, 100, 30, 20}, "flat, untouched", &report, &copy));
    EXPECT_TRUE(report.spliced);
    EXPECT_EQ(report.recodedMcus, 0);
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
    // Cut inside its last restart interval: every marker there, the data not.
    JpegShape restarts = baseline;
    restarts.restartInterval = 4;
    Bytes cutLast = MakeJpeg(restarts);
    cutLast.resize(cutLast.size() - 12);
    const Bytes notJpeg = {'B', 'M', 0, 0, 0, 0};
    const std::pair<const char*, Bytes> files[] = {
        {"CMYK", MakeJpeg(cmyk)},
        {"YCCK", MakeJpeg(ycck)},
        {"arithmetic coding", MakeJpeg(arithmetic)},
        {"progressive scans cut short", truncated},
        {"baseline cut short", cut},
        {"restart intervals, the last cut short", cutLast},
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
    // A scan naming a Huffman table its file never defines, found by fuzzing: the tables of
    // the file before must not stand in for it.
    const Bytes borrowing = {
        0xff, 0xd8, 0xff, 0xdb, 0x00, 0x84, 0x00, 0x14, 0x10, 0x10, 0x19, 0x12, 0x19, 0x27, 0x17,
        0x17, 0x27, 0x32, 0x26, 0x1f, 0x26, 0x32, 0x2e, 0x26, 0x26, 0x26, 0x26, 0x2e, 0x3e, 0x35,
        0x35, 0x35, 0x35, 0x35, 0x3e, 0x44, 0x41, 0x41, 0x41, 0x41, 0x41, 0x41, 0x44, 0x44, 0x44,
        0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44,
        0x44, 0x44, 0x44, 0x44, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x15, 0x19, 0x19,
        0x20, 0x1c, 0x20, 0x26, 0x18, 0x18, 0x26, 0x36, 0x26, 0x20, 0x26, 0x36, 0x44, 0x36, 0x2b,
        0x2b, 0x36, 0x44, 0x44, 0x44, 0x42, 0x35, 0x42, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44,
        0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44,
        0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44,
        0x44, 0xff, 0xc0, 0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x22, 0x00, 0x02,
        0x11, 0x01, 0x03, 0x11, 0x01, 0xff, 0xc4, 0x00, 0x4b, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x01, 0x01,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02,
        0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0xb3, 0x00, 0x1f, 0xff, 0xd9};
    EXPECT_FALSE(stamper.Open(borrowing.data(), borrowing.size()));
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
            // Every file's walk split between two threads, as big photos' are.
            if (StampAndCheck(bytes, rect, name, nullptr, nullptr, nullptr, 1))
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
