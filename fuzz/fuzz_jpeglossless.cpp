// libFuzzer target: the coefficient path on arbitrary bytes. A stream it takes is stamped
// over a rectangle chosen by the input's first bytes, written, and must decode again. When
// the scan was spliced (copied but for the touched MCUs), libjpeg must read the very same
// coefficients from the output as from the input outside the touched MCUs.
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpeglossless.h"
#include "imagelib/textexception.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

struct CJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void Jump(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<CJump*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

struct CBlocks {
    int components = 0;
    int wide[MAX_COMPONENTS] = {}, high[MAX_COMPONENTS] = {};
    int unitW[MAX_COMPONENTS] = {}, unitH[MAX_COMPONENTS] = {}; // pixels a block covers
    std::vector<JCOEF> coefficients[MAX_COMPONENTS];
};

// Every block libjpeg reads from a file, warnings and all; false on its errors. No C++
// object with a destructor lives in this frame across setjmp.
bool ReadBlocks(const std::vector<uint8_t>& jpeg, CBlocks* out) {
    jpeg_decompress_struct cinfo;
    CJump error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = Jump;
    error.pub.emit_message = Quiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = 256L << 20;
    jpeg_mem_src(&cinfo, jpeg.data(), (unsigned long)jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    out->components = cinfo.num_components;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& comp = cinfo.comp_info[c];
        out->wide[c] = int(comp.width_in_blocks);
        out->high[c] = int(comp.height_in_blocks);
        out->unitW[c] =
            cinfo.num_components == 1 ? 8 : 8 * cinfo.max_h_samp_factor / comp.h_samp_factor;
        out->unitH[c] =
            cinfo.num_components == 1 ? 8 : 8 * cinfo.max_v_samp_factor / comp.v_samp_factor;
        out->coefficients[c].resize(size_t(out->wide[c]) * size_t(out->high[c]) * DCTSIZE2);
        for (int row = 0; row < out->high[c]; ++row) {
            JBLOCKARRAY b = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                             arrays[c], JDIMENSION(row), 1, FALSE);
            std::memcpy(&out->coefficients[c][size_t(row) * size_t(out->wide[c]) * DCTSIZE2], b[0],
                        size_t(out->wide[c]) * sizeof(JBLOCK));
        }
    }
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CJpegLosslessStamper stamper; // reused, as a batch worker reuses it
    const uint8_t pick = size > 4 ? data[4] : 0;
    // Half the scans walked by two threads, as a big photo's is.
    stamper.SetSplitBytes(pick & 8 ? 1 : size_t(1) << 20);
    if (!stamper.Open(data, size))
        return 0;
    const int width = stamper.GetWidth(), height = stamper.GetHeight();
    const int x = width * (pick & 7) / 8 - 3, y = height * (pick >> 5) / 8 - 5;
    const int w = width / 3 + 9, h = height / 4 + 17;
    const CJpegLosslessStamper::CRect touched = stamper.TouchedRegion(x, y, w, h);
    std::vector<uint8_t> out;
    try {
        stamper.ReplaceRegion(x, y, w, h, [](CImageBitmap& region, int, int) {
            for (int row = 0; row < region.GetHeight(); ++row) {
                uint8_t* p = region.GetLines()[row];
                for (int i = 0; i < region.GetWidth() * 4; ++i)
                    p[i] = uint8_t(255 - p[i]);
            }
        });
        stamper.Write(nullptr, out);
    } catch (const CTextException&) {
        stamper.Close();
        return 0;
    }
    // What we wrote decodes, whole: a failure here escapes and is reported.
    CMemoryBitmap check;
    CJpegDecoder().DecodeMemory(out.data(), int(out.size()), check, 32);
    if (check.GetWidth() != width || check.GetHeight() != height)
        std::abort();
    if (!stamper.LastReport().spliced)
        return 0;
    CBlocks before, after;
    const std::vector<uint8_t> input(data, data + size);
    if (!ReadBlocks(input, &before) || !ReadBlocks(out, &after) ||
        before.components != after.components)
        std::abort();
    for (int c = 0; c < before.components; ++c) {
        if (before.wide[c] != after.wide[c] || before.high[c] != after.high[c])
            std::abort();
        for (int by = 0; by < before.high[c]; ++by)
            for (int bx = 0; bx < before.wide[c]; ++bx) {
                const int px = bx * before.unitW[c], py = by * before.unitH[c];
                if (px >= touched.x && px < touched.x + touched.width && py >= touched.y &&
                    py < touched.y + touched.height)
                    continue;
                const size_t at = (size_t(by) * size_t(before.wide[c]) + size_t(bx)) * DCTSIZE2;
                if (std::memcmp(&before.coefficients[c][at], &after.coefficients[c][at],
                                DCTSIZE2 * sizeof(JCOEF)) != 0)
                    std::abort();
            }
    }
    return 0;
}
