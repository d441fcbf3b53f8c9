#include "imagelib/jpeglossless.h"

#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegerrormanager.h"
#include "imagelib/jpegscan.h"
#include "imagelib/jpegsplice.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <jerror.h>

extern "C" {
// libjpeg's own table builder: exported, as its progressive coder calls it, though not
// declared in jpeglib.h. Code lengths from symbol counts by the JPEG standard's procedure;
// freq has 257 entries and is overwritten.
void jpeg_gen_optimal_table(j_compress_ptr cinfo, JHUFF_TBL* htbl, long freq[]);
}

namespace {
constexpr long kMaxLibraryMemory = CJpegDecoder::kMaxLibraryMemory;

int RoundUp(int value, int step) {
    return (value + step - 1) / step * step;
}

// The size of a component's coefficient array: libjpeg pads every component to whole MCUs.
int PaddedBlocksWide(const jpeg_component_info& c) {
    return RoundUp(int(c.width_in_blocks), c.h_samp_factor);
}
int PaddedBlocksHigh(const jpeg_component_info& c) {
    return RoundUp(int(c.height_in_blocks), c.v_samp_factor);
}
// A JPEG built in memory that grows as libjpeg writes; ours, so an abort leaves nothing
// behind that libjpeg allocated.
struct CGrowingDestination {
    jpeg_destination_mgr pub; // first, so that cinfo->dest points at the whole record
    std::vector<uint8_t> bytes;
};

CGrowingDestination& GrowingOf(j_compress_ptr cinfo) {
    return *reinterpret_cast<CGrowingDestination*>(cinfo->dest);
}

// The buffer counts as full up to size `used`, whatever free_in_buffer says: libjpeg's
// entropy coders call for more room with the count of their own local copy.
void Grow(j_compress_ptr cinfo, size_t used, size_t size) {
    CGrowingDestination& dest = GrowingOf(cinfo);
    try {
        dest.bytes.resize(size);
    } catch (const std::bad_alloc&) {
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    }
    dest.pub.next_output_byte = dest.bytes.data() + used;
    dest.pub.free_in_buffer = dest.bytes.size() - used;
}

void InitGrowing(j_compress_ptr cinfo) {
    GrowingOf(cinfo).bytes.clear();
    Grow(cinfo, 0, 65536);
}

boolean EmptyGrowing(j_compress_ptr cinfo) {
    const size_t full = GrowingOf(cinfo).bytes.size();
    Grow(cinfo, full, full * 2);
    return TRUE;
}

void TermGrowing(j_compress_ptr cinfo) {
    CGrowingDestination& dest = GrowingOf(cinfo);
    dest.bytes.resize(dest.bytes.size() - dest.pub.free_in_buffer);
}
} // namespace

struct CJpegLosslessStamper::CState {
    CJpegErrorManager error;
    jpeg_decompress_struct input;     // the file: its coefficients live in its pool
    jpeg_compress_struct scratchOut;  // crops of the file, and the changed crop
    jpeg_decompress_struct scratchIn; // reads the changed crop's coefficients
    jpeg_compress_struct output;
    bool inputCreated = false, scratchOutCreated = false, scratchInCreated = false,
         outputCreated = false;
    bool open = false;
    jvirt_barray_ptr* coefficients = nullptr;
    CGrowingDestination memory; // a crop, the changed crop, or the output
    // The crop as the JPEG decoder gives it, then as the caller changed it.
    CMemoryBitmap region;
    CJpegDecoder decoder;
    // A baseline file is spliced: its scan mapped, not decoded, and only the rows under
    // the stamp decoded; coefficients stays null until the file has to go libjpeg's way.
    CJpegScanSplice splice;
    bool spliced = false;
    // The blocks ReplaceRegion changed, per component: x, y, wide, high.
    bool changed = false;
    std::array<std::array<int, 4>, MAX_COMPONENTS> changedBlocks{};
    CReport report;

    void FreeMemory() { std::vector<uint8_t>().swap(memory.bytes); }
    // Every context back to its idle state after a failure.
    void AbortAll() {
        jpeg_abort_compress(&scratchOut);
        jpeg_abort_decompress(&scratchIn);
        jpeg_abort_compress(&output);
        if (inputCreated)
            jpeg_abort_decompress(&input);
        open = false;
        coefficients = nullptr;
        splice.Clear();
        spliced = false;
        changed = false;
        FreeMemory();
    }
    bool ReadAllCoefficients();
};

// libjpeg's decode of every coefficient, for files the splice does not take; the blocks
// a splice changed already are put in. False for a file libjpeg had to warn about or
// that cannot be stamped; libjpeg errors jump to the caller's handler.
bool CJpegLosslessStamper::CState::ReadAllCoefficients() {
    j_decompress_ptr in = &input;
    coefficients = jpeg_read_coefficients(in);
    bool complete = error.pub.num_warnings == 0;
    // libjpeg smooths blocks whose coefficients a progressive file never completed, using
    // their neighbours; such pictures cannot be decoded piecewise.
    if (complete && in->progressive_mode)
        for (int c = 0; c < in->num_components && complete; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                if (in->coef_bits[c][k] != 0)
                    complete = false;
    // A zero step cannot quantise anything the stamp brings in; no valid file has one.
    for (int c = 0; c < in->num_components && complete; ++c) {
        const JQUANT_TBL* table = in->comp_info[c].quant_table;
        if (!table)
            complete = false;
        for (int k = 0; table && k < DCTSIZE2; ++k)
            if (table->quantval[k] == 0)
                complete = false;
    }
    if (!complete)
        return false;
    if (spliced && changed)
        for (int c = 0; c < in->num_components; ++c) {
            const jpeg_component_info& comp = in->comp_info[c];
            const auto [bx, by, wide, high] = changedBlocks[size_t(c)];
            for (int row = by; row < by + high && row < PaddedBlocksHigh(comp); ++row) {
                int available = 0;
                const JBLOCKROW from = splice.DecodedBlocks(c, row, bx, available);
                const int count = std::min({wide, available, PaddedBlocksWide(comp) - bx});
                if (!from || count <= 0)
                    continue;
                JBLOCKARRAY to = (*in->mem->access_virt_barray)(
                    reinterpret_cast<j_common_ptr>(in), coefficients[c], JDIMENSION(row), 1, TRUE);
                std::memcpy(to[0] + bx, from, size_t(count) * sizeof(JBLOCK));
            }
        }
    spliced = false;
    splice.Clear();
    return true;
}

CJpegLosslessStamper::CJpegLosslessStamper() : m_state(std::make_unique<CState>()) {
    CState& s = *m_state;
    InstallJpegErrorManager(s.error, 0);
    s.input.err = &s.error.pub;
    s.scratchOut.err = &s.error.pub;
    s.scratchIn.err = &s.error.pub;
    s.output.err = &s.error.pub;
    if (setjmp(s.error.jump))
        throw CTextException(10, "Out of memory.");
    jpeg_CreateDecompress(&s.input, 62, sizeof(jpeg_decompress_struct));
    s.inputCreated = true;
    jpeg_CreateCompress(&s.scratchOut, 62, sizeof(jpeg_compress_struct));
    s.scratchOutCreated = true;
    jpeg_CreateDecompress(&s.scratchIn, 62, sizeof(jpeg_decompress_struct));
    s.scratchInCreated = true;
    jpeg_CreateCompress(&s.output, 62, sizeof(jpeg_compress_struct));
    s.outputCreated = true;
    s.input.mem->max_memory_to_use = kMaxLibraryMemory;
    s.scratchOut.mem->max_memory_to_use = kMaxLibraryMemory;
    s.scratchIn.mem->max_memory_to_use = kMaxLibraryMemory;
    s.output.mem->max_memory_to_use = kMaxLibraryMemory;
    s.memory.pub.init_destination = InitGrowing;
    s.memory.pub.empty_output_buffer = EmptyGrowing;
    s.memory.pub.term_destination = TermGrowing;
}

CJpegLosslessStamper::~CJpegLosslessStamper() {
    CState& s = *m_state;
    s.FreeMemory();
    if (s.outputCreated)
        jpeg_destroy_compress(&s.output);
    if (s.scratchInCreated)
        jpeg_destroy_decompress(&s.scratchIn);
    if (s.scratchOutCreated)
        jpeg_destroy_compress(&s.scratchOut);
    if (s.inputCreated)
        jpeg_destroy_decompress(&s.input);
}

void CJpegLosslessStamper::Close() {
    m_state->AbortAll();
}

int CJpegLosslessStamper::GetWidth() const {
    return m_state->open ? int(m_state->input.image_width) : 0;
}

int CJpegLosslessStamper::GetHeight() const {
    return m_state->open ? int(m_state->input.image_height) : 0;
}

bool CJpegLosslessStamper::Open(const uint8_t* data, size_t size, const CAccept& accept) {
    CState& s = *m_state;
    s.AbortAll();
    ResetJpegErrorManager(s.error);
    if (setjmp(s.error.jump)) {
        s.AbortAll();
        return false;
    }
    // The tables a file defines stay in libjpeg's context for the next file (made for
    // abbreviated streams): a file lacking one of its own was read with the last file's
    // and written as a picture it does not hold. A context of its own per file makes such
    // a file fail here as it fails alone.
    if (s.inputCreated) {
        s.inputCreated = false;
        jpeg_destroy_decompress(&s.input);
    }
    jpeg_CreateDecompress(&s.input, 62, sizeof(jpeg_decompress_struct));
    s.inputCreated = true;
    s.input.mem->max_memory_to_use = kMaxLibraryMemory;
    j_decompress_ptr in = &s.input;
    jpeg_mem_src(in, data, (unsigned long)size);
    jpeg_save_markers(in, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(in, JPEG_APP0 + 2, 0xFFFF);
    jpeg_save_markers(in, JPEG_APP0 + 13, 0xFFFF);
    jpeg_save_markers(in, JPEG_COM, 0xFFFF);
    jpeg_read_header(in, TRUE);
    const bool colours = in->num_components == 3 &&
                         (in->jpeg_color_space == JCS_YCbCr || in->jpeg_color_space == JCS_RGB);
    const bool grey = in->num_components == 1 && in->jpeg_color_space == JCS_GRAYSCALE;
    if (in->arith_code || in->data_precision != 8 || !(colours || grey)) {
        jpeg_abort_decompress(in);
        return false;
    }
    // The picture limit of every decoder; beyond it the ordinary path reports the failure.
    if (int64_t(in->image_width) * in->image_height > CImageBitmap::kMaxPixels) {
        jpeg_abort_decompress(in);
        return false;
    }
    for (int c = 0; c < in->num_components; ++c) {
        const jpeg_component_info& comp = in->comp_info[c];
        if (in->max_h_samp_factor % comp.h_samp_factor != 0 ||
            in->max_v_samp_factor % comp.v_samp_factor != 0) {
            jpeg_abort_decompress(in);
            return false;
        }
    }
    // Before the coefficients, the one costly step.
    if (accept) {
        bool accepted = false;
        try {
            accepted = accept(CopySavedMarkers(in->marker_list).get(), int(in->image_width),
                              int(in->image_height));
        } catch (...) {
            s.AbortAll();
            throw;
        }
        if (!accepted) {
            jpeg_abort_decompress(in);
            return false;
        }
    }
    // A scan the splice can walk is only walked here; the rest is read by libjpeg.
    bool quantised = s.error.pub.num_warnings == 0;
    for (int c = 0; c < in->num_components && quantised; ++c) {
        const int n = in->comp_info[c].quant_tbl_no;
        const JQUANT_TBL* table = n >= 0 && n < NUM_QUANT_TBLS ? in->quant_tbl_ptrs[n] : nullptr;
        quantised = table && std::find(std::begin(table->quantval), std::end(table->quantval),
                                       UINT16(0)) == std::end(table->quantval);
    }
    try {
        s.spliced = quantised && !in->progressive_mode &&
                    s.splice.Map(in, in->src->next_input_byte, in->src->bytes_in_buffer);
    } catch (const std::bad_alloc&) {
        s.spliced = false;
    }
    if (!s.spliced) {
        s.splice.Clear();
        if (!s.ReadAllCoefficients()) {
            s.AbortAll();
            return false;
        }
    }
    s.open = true;
    return true;
}

std::unique_ptr<CSavedMarker> CJpegLosslessStamper::TakeMarkers() {
    const CState& s = *m_state;
    return s.open ? CopySavedMarkers(s.input.marker_list) : nullptr;
}

CJpegLosslessStamper::CRect CJpegLosslessStamper::TouchedRegion(int x, int y, int width,
                                                                int height) const {
    const CState& s = *m_state;
    CRect r;
    if (!s.open)
        return r;
    const int pictureWidth = int(s.input.image_width);
    const int pictureHeight = int(s.input.image_height);
    const int64_t x0 = std::max(0, x), y0 = std::max(0, y);
    const int64_t x1 = std::min<int64_t>(pictureWidth, int64_t(x) + std::max(0, width));
    const int64_t y1 = std::min<int64_t>(pictureHeight, int64_t(y) + std::max(0, height));
    if (x1 <= x0 || y1 <= y0)
        return r;
    // A single-component file is coded block by block; otherwise one MCU covers the
    // largest sampling factor's worth of blocks.
    const bool single = s.input.num_components == 1;
    const int unitX = single ? DCTSIZE : s.input.max_h_samp_factor * DCTSIZE;
    const int unitY = single ? DCTSIZE : s.input.max_v_samp_factor * DCTSIZE;
    r.x = int(x0 / unitX * unitX);
    r.y = int(y0 / unitY * unitY);
    r.width = int(std::min<int64_t>(pictureWidth, (x1 + unitX - 1) / unitX * unitX)) - r.x;
    r.height = int(std::min<int64_t>(pictureHeight, (y1 + unitY - 1) / unitY * unitY)) - r.y;
    return r;
}

namespace {
// Block offsets of a picture position: whole MCUs, so exact for every component.
int BlockOffset(int pixels, int samp, int maxSamp) {
    return pixels * samp / (maxSamp * DCTSIZE);
}

// Copies the blocks of one component into a coefficient array, the destination's block
// (0, 0) being the source's (bx, by); rows the source does not give read as zero, blocks
// outside the destination are left out. source(row, column, available) gives the block
// of the source at a place with the number of blocks from it to its row's end, or null.
template <typename CSource>
void CopyBlocks(const CSource& source, j_common_ptr dstOwner, jvirt_barray_ptr dst, int dstWide,
                int dstHigh, int bx, int by) {
    for (int row = 0; row < dstHigh; ++row) {
        int available = 0;
        const JBLOCKROW from = by + row < 0 ? nullptr : source(by + row, bx, available);
        if (!from)
            continue;
        JBLOCKARRAY to =
            (*dstOwner->mem->access_virt_barray)(dstOwner, dst, JDIMENSION(row), 1, TRUE);
        const int count = std::min(dstWide, available);
        if (count > 0)
            std::memcpy(to[0], from, size_t(count) * sizeof(JBLOCK));
    }
}
} // namespace

void CJpegLosslessStamper::ReplaceRegion(int x, int y, int width, int height, const CEdit& edit) {
    CState& s = *m_state;
    if (!s.open)
        RaiseDecoderError(6, "No JPEG coefficients to stamp.\n");
    const CRect r = TouchedRegion(x, y, width, height);
    if (r.width <= 0 || r.height <= 0)
        return;
    ResetJpegErrorManager(s.error);
    j_decompress_ptr in = &s.input;

    if (setjmp(s.error.jump)) {
        s.AbortAll();
        RaiseJpegFailure(s.error);
    }
    // 0. A spliced file has the rows under the rectangle decoded, nothing else.
    if (s.spliced) {
        const bool single = in->num_components == 1;
        const int unitX = single ? DCTSIZE : in->max_h_samp_factor * DCTSIZE;
        const int unitY = single ? DCTSIZE : in->max_v_samp_factor * DCTSIZE;
        bool decoded = false;
        try {
            decoded = s.splice.DecodeTouched(r.x / unitX, r.y / unitY,
                                             (r.x + r.width + unitX - 1) / unitX,
                                             (r.y + r.height + unitY - 1) / unitY);
        } catch (const std::bad_alloc&) {
            s.AbortAll();
            throw CTextException(10, "Out of memory.");
        }
        if (!decoded && !s.ReadAllCoefficients()) {
            s.AbortAll();
            RaiseDecoderError(6, "JPEG data not fit for lossless stamping.\n");
        }
    }
    // Rows of a component's blocks where they are now: decoded by the splice, or in
    // libjpeg's arrays.
    const auto rowsOf = [&](int c, bool write) {
        return [&s, in, c, write](int row, int column, int& available) -> JBLOCKROW {
            if (s.spliced)
                return s.splice.DecodedBlocks(c, row, column, available);
            const jpeg_component_info& comp = in->comp_info[c];
            available = PaddedBlocksWide(comp) - column;
            if (row >= PaddedBlocksHigh(comp) || available <= 0)
                return nullptr;
            return (*in->mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(in),
                                                  s.coefficients[c], JDIMENSION(row), 1,
                                                  write ? TRUE : FALSE)[0] +
                   column;
        };
    };

    // 1. The touched MCUs as a JPEG of their own, coefficients copied.
    {
        j_compress_ptr crop = &s.scratchOut;
        jpeg_copy_critical_parameters(in, crop);
        crop->image_width = JDIMENSION(r.width);
        crop->image_height = JDIMENSION(r.height);
        crop->optimize_coding = FALSE;
        jvirt_barray_ptr arrays[MAX_COMPONENTS] = {};
        int wide[MAX_COMPONENTS] = {}, high[MAX_COMPONENTS] = {};
        for (int c = 0; c < in->num_components; ++c) {
            const jpeg_component_info& comp = in->comp_info[c];
            const int blocksWide =
                RoundUp(r.width * comp.h_samp_factor, in->max_h_samp_factor * DCTSIZE) /
                (in->max_h_samp_factor * DCTSIZE);
            const int blocksHigh =
                RoundUp(r.height * comp.v_samp_factor, in->max_v_samp_factor * DCTSIZE) /
                (in->max_v_samp_factor * DCTSIZE);
            wide[c] = RoundUp(blocksWide, comp.h_samp_factor);
            high[c] = RoundUp(blocksHigh, comp.v_samp_factor);
            arrays[c] = (*crop->mem->request_virt_barray)(
                reinterpret_cast<j_common_ptr>(crop), JPOOL_IMAGE, TRUE, JDIMENSION(wide[c]),
                JDIMENSION(high[c]), JDIMENSION(comp.v_samp_factor));
        }
        (*crop->mem->realize_virt_arrays)(reinterpret_cast<j_common_ptr>(crop));
        for (int c = 0; c < in->num_components; ++c) {
            const jpeg_component_info& comp = in->comp_info[c];
            CopyBlocks(rowsOf(c, false), reinterpret_cast<j_common_ptr>(crop), arrays[c], wide[c],
                       high[c], BlockOffset(r.x, comp.h_samp_factor, in->max_h_samp_factor),
                       BlockOffset(r.y, comp.v_samp_factor, in->max_v_samp_factor));
        }
        crop->dest = &s.memory.pub;
        jpeg_write_coefficients(crop, arrays);
        jpeg_finish_compress(crop);
    }

    // 2. Decoded by the JPEG decoder itself, so that the pixels are the ones a whole
    // decode gives: each MCU decodes on its own without fancy upsampling or smoothing.
    // 3. Changed by the caller.
    try {
        s.decoder.DecodeMemory(s.memory.bytes.data(), int(s.memory.bytes.size()), s.region, 32);
        s.FreeMemory();
        if (s.region.GetWidth() != r.width || s.region.GetHeight() != r.height)
            RaiseDecoderError(6, "JPEG crop decoded to another size.\n");
        edit(s.region, r.x, r.y);
    } catch (...) {
        s.AbortAll();
        throw;
    }

    // 4. Encoded with the file's tables, colour space and sampling, read back as
    // coefficients, and put in place of the old blocks.
    volatile bool accessing = false;
    if (setjmp(s.error.jump)) {
        if (accessing)
            s.region.EndAccess();
        s.AbortAll();
        RaiseJpegFailure(s.error);
    }
    {
        j_compress_ptr enc = &s.scratchOut;
        jpeg_copy_critical_parameters(in, enc);
        enc->image_width = JDIMENSION(r.width);
        enc->image_height = JDIMENSION(r.height);
        enc->input_components = 4;
        enc->in_color_space = JCS_EXT_BGRX;
        enc->dct_method = JDCT_FLOAT;
        enc->optimize_coding = FALSE;
        enc->dest = &s.memory.pub;
        jpeg_start_compress(enc, TRUE);
        s.region.BeginAccess(true, false);
        accessing = true;
        uint8_t** lines = s.region.GetLines();
        while (enc->next_scanline < enc->image_height) {
            const JDIMENSION row = enc->next_scanline;
            if (jpeg_write_scanlines(enc, lines + row, enc->image_height - row) == 0)
                break;
        }
        accessing = false;
        s.region.EndAccess();
        jpeg_finish_compress(enc);

        j_decompress_ptr back = &s.scratchIn;
        jpeg_mem_src(back, s.memory.bytes.data(), (unsigned long)s.memory.bytes.size());
        jpeg_read_header(back, TRUE);
        jvirt_barray_ptr* changed = jpeg_read_coefficients(back);
        if (back->num_components != in->num_components)
            ERREXIT(back, JERR_COMPONENT_COUNT);
        for (int c = 0; c < in->num_components; ++c) {
            const jpeg_component_info& comp = in->comp_info[c];
            const jpeg_component_info& part = back->comp_info[c];
            const int bx = BlockOffset(r.x, comp.h_samp_factor, in->max_h_samp_factor);
            const int by = BlockOffset(r.y, comp.v_samp_factor, in->max_v_samp_factor);
            s.changedBlocks[size_t(c)] = {bx, by, PaddedBlocksWide(part), PaddedBlocksHigh(part)};
            const auto rows = rowsOf(c, true);
            for (int row = 0; row < PaddedBlocksHigh(part); ++row) {
                int available = 0;
                const JBLOCKROW to = rows(by + row, bx, available);
                if (!to)
                    continue;
                JBLOCKARRAY from = (*back->mem->access_virt_barray)(
                    reinterpret_cast<j_common_ptr>(back), changed[c], JDIMENSION(row), 1, FALSE);
                const int count = std::min(PaddedBlocksWide(part), available);
                if (count > 0)
                    std::memcpy(to, from[0], size_t(count) * sizeof(JBLOCK));
            }
        }
        s.changed = true;
        jpeg_abort_decompress(back);
    }
    s.FreeMemory();
}

namespace {
using jpegscan::kNaturalOrder;
using jpegscan::NonZeroAc;

struct CSymbolCounts {
    long dc[NUM_HUFF_TBLS][257] = {};
    long ac[NUM_HUFF_TBLS][257] = {};
};

// Counts the Huffman symbols of one block: its DC difference category, then a symbol per
// non-zero AC coefficient (run of zeros before it, its size), runs over 15 as ZRL, and an
// end of block unless the last coefficient is non-zero. False for a coefficient beyond
// what 8-bit data allows, which the encoder must report itself.
inline bool CountBlock(const JCOEF* block, int& lastDc, long* dc, long* ac) {
    const int dcBits = std::bit_width(unsigned(std::abs(block[0] - lastDc)));
    lastDc = block[0];
    if (dcBits > 11)
        return false;
    ++dc[dcBits];
    int last = 0;
    for (uint64_t nonzero = NonZeroAc(block); nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        int run = k - last - 1;
        last = k;
        for (; run > 15; run -= 16)
            ++ac[0xF0];
        const int bits = std::bit_width(unsigned(std::abs(int(block[kNaturalOrder[k]]))));
        if (bits > 10)
            return false;
        ++ac[(run << 4) | bits];
    }
    if (last < DCTSIZE2 - 1)
        ++ac[0x00];
    return true;
}

// Counts the symbols of the single sequential scan the output gets, in its order: the
// components interleaved MCU by MCU, or a lone component block by block, DC predictions
// starting again at every restart. In the right and bottom MCUs, blocks past a component's
// own size are coded as libjpeg's transcoder codes them: the DC of the block before, no AC.
// libjpeg's optimising pass counts the same symbols in a loop several times slower, and
// it was the largest share of a lossless stamp.
bool CountSequentialScan(j_decompress_ptr in, jvirt_barray_ptr* arrays,
                         const jpeg_compress_struct& out, CSymbolCounts& counts) {
    const j_common_ptr owner = reinterpret_cast<j_common_ptr>(in);
    const int components = in->num_components;
    const unsigned restart = out.restart_interval;
    unsigned restartsToGo = restart;
    int lastDc[MAX_COMPONENTS] = {};
    auto startMcu = [&] {
        if (restart == 0)
            return;
        if (restartsToGo == 0) {
            std::fill(std::begin(lastDc), std::end(lastDc), 0);
            restartsToGo = restart;
        }
        --restartsToGo;
    };
    long* dc[MAX_COMPONENTS];
    long* ac[MAX_COMPONENTS];
    for (int c = 0; c < components; ++c) {
        dc[c] = counts.dc[out.comp_info[c].dc_tbl_no];
        ac[c] = counts.ac[out.comp_info[c].ac_tbl_no];
    }
    if (components == 1) {
        const jpeg_component_info& comp = in->comp_info[0];
        for (JDIMENSION row = 0; row < comp.height_in_blocks; ++row) {
            const JBLOCKROW blocks =
                (*in->mem->access_virt_barray)(owner, arrays[0], row, 1, FALSE)[0];
            for (JDIMENSION col = 0; col < comp.width_in_blocks; ++col) {
                startMcu();
                if (!CountBlock(blocks[col], lastDc[0], dc[0], ac[0]))
                    return false;
            }
        }
        return true;
    }
    const int mcusWide = RoundUp(int(in->image_width), in->max_h_samp_factor * DCTSIZE) /
                         (in->max_h_samp_factor * DCTSIZE);
    const int mcusHigh = RoundUp(int(in->image_height), in->max_v_samp_factor * DCTSIZE) /
                         (in->max_v_samp_factor * DCTSIZE);
    for (int my = 0; my < mcusHigh; ++my) {
        JBLOCKARRAY rows[MAX_COMPONENTS];
        for (int c = 0; c < components; ++c) {
            const int v = in->comp_info[c].v_samp_factor;
            rows[c] = (*in->mem->access_virt_barray)(owner, arrays[c], JDIMENSION(my * v),
                                                     JDIMENSION(v), FALSE);
        }
        for (int mx = 0; mx < mcusWide; ++mx) {
            startMcu();
            for (int c = 0; c < components; ++c) {
                const jpeg_component_info& comp = in->comp_info[c];
                for (int y = 0; y < comp.v_samp_factor; ++y)
                    for (int x = 0; x < comp.h_samp_factor; ++x) {
                        const int bx = mx * comp.h_samp_factor + x;
                        const int by = my * comp.v_samp_factor + y;
                        if (bx < int(comp.width_in_blocks) && by < int(comp.height_in_blocks)) {
                            if (!CountBlock(rows[c][y][bx], lastDc[c], dc[c], ac[c]))
                                return false;
                        } else {
                            ++dc[c][0];
                            ++ac[c][0x00];
                        }
                    }
            }
        }
    }
    return true;
}

// Gives a sequential output optimal Huffman tables counted here; false leaves the counting
// to libjpeg.
bool SetOptimalTables(j_decompress_ptr in, jvirt_barray_ptr* arrays, j_compress_ptr out) {
    if (in->progressive_mode)
        return false;
    auto counts = std::make_unique<CSymbolCounts>();
    if (!CountSequentialScan(in, arrays, *out, *counts))
        return false;
    bool made[2][NUM_HUFF_TBLS] = {}; // tables that several components share come once
    for (int c = 0; c < in->num_components; ++c)
        for (const int dc : {1, 0}) {
            const int number = dc ? out->comp_info[c].dc_tbl_no : out->comp_info[c].ac_tbl_no;
            if (std::exchange(made[dc][number], true))
                continue;
            JHUFF_TBL*& table = dc ? out->dc_huff_tbl_ptrs[number] : out->ac_huff_tbl_ptrs[number];
            if (!table)
                table = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(out));
            jpeg_gen_optimal_table(out, table, dc ? counts->dc[number] : counts->ac[number]);
        }
    return true;
}
} // namespace

void CJpegLosslessStamper::Write(const CSavedMarker* markers, std::vector<uint8_t>& out) {
    CState& s = *m_state;
    if (!s.open)
        RaiseDecoderError(6, "No JPEG coefficients to write.\n");
    ResetJpegErrorManager(s.error);
    j_decompress_ptr in = &s.input;
    j_compress_ptr dst = &s.output;
    if (setjmp(s.error.jump)) {
        s.AbortAll();
        RaiseJpegFailure(s.error);
    }
    jpeg_copy_critical_parameters(in, dst);
    if (in->saw_JFIF_marker) {
        dst->density_unit = in->density_unit;
        dst->X_density = in->X_density;
        dst->Y_density = in->Y_density;
    }
    if (s.spliced) {
        bool whole = false;
        std::vector<uint8_t> bytes;
        try {
            bytes.reserve(in->src->bytes_in_buffer + 65536);
            WriteSpliceHeaders(in, *dst, markers, bytes);
            whole = s.splice.WriteScan(bytes);
        } catch (const std::bad_alloc&) {
            s.AbortAll();
            throw CTextException(10, "Out of memory.");
        }
        jpeg_abort_compress(dst);
        if (whole) {
            bytes.push_back(0xFF);
            bytes.push_back(JPEG_EOI);
            s.report = {true, s.splice.RecodedMcus()};
            s.AbortAll();
            out.swap(bytes);
            return;
        }
        // A changed block needs a code the file's tables lack: the file is coded again
        // whole, with tables of its own.
        if (!s.ReadAllCoefficients()) {
            s.AbortAll();
            RaiseDecoderError(6, "JPEG data not fit for lossless stamping.\n");
        }
        jpeg_copy_critical_parameters(in, dst);
        if (in->saw_JFIF_marker) {
            dst->density_unit = in->density_unit;
            dst->X_density = in->X_density;
            dst->Y_density = in->Y_density;
        }
    }
    if (in->progressive_mode)
        jpeg_simple_progression(dst);
    dst->restart_interval = in->restart_interval;
    dst->optimize_coding = !SetOptimalTables(in, s.coefficients, dst);
    dst->dest = &s.memory.pub;
    jpeg_write_coefficients(dst, s.coefficients);
    for (const CSavedMarker* m = markers; m; m = m->next.get())
        jpeg_write_marker(dst, m->marker, m->data.get(), m->dataLength);
    jpeg_finish_compress(dst);
    jpeg_abort_decompress(in);
    s.open = false;
    s.coefficients = nullptr;
    s.report = {false, -1};
    out.swap(s.memory.bytes);
    s.FreeMemory();
}

CJpegLosslessStamper::CReport CJpegLosslessStamper::LastReport() const {
    return m_state->report;
}

void CJpegLosslessStamper::SetSplitBytes(size_t bytes) {
    m_state->splice.SetSplitBytes(bytes);
}
