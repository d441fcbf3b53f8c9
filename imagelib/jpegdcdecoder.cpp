#include "imagelib/jpegdcdecoder.h"

#include "imagelib/jpegscan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <future>
#include <memory>
#include <thread>
#include <utility>

namespace {

using namespace jpegscan;

// Blocks each guess decodes from the middle before the guesses are compared, and the
// states kept for the first thread to meet.
constexpr int kWarmupBlocks = 4096;

struct CLayout {
    int blocksPerMcu = 0;
    int64_t mcus = 0;
    unsigned restartInterval = 0;
    std::array<int, kMaxBlocksInMcu> component{}; // scan position of each block's component
    std::array<const CHuffman*, kMaxBlocksInMcu> dc{}, ac{};
};

// What the second thread found, starting in the middle of an interval-less scan.
struct CMiddle {
    int phase0 = 0;                             // the MCU position its block 0 takes
    std::vector<uint64_t> positions;            // where each of its first blocks starts
    std::vector<std::array<int, 4>> predictors; // and the predictors before it
    std::vector<int32_t> dc;                    // each block's DC value, on its own predictors
    int64_t lastBad = -1;                       // its last block with a code in no table
    uint64_t endPosition = 0;
    bool ok = false;
};

// The first thread's watch, and where they met: the first thread's block and predictors,
// the second's block.
struct CMeeting : CMeetingWatch<CMiddle> {
    int64_t block = -1, middleBlock = -1;
    std::array<int, 4> predictors{};
};

// Decodes MCUs [first, last) into dc, each restart interval from its own segment. With a
// meeting, stops at the first block where the second thread's recorded state comes up.
bool DecodeMcus(const CLayout& layout, const std::vector<CSegment>& segments, int64_t first,
                int64_t last, int16_t* dc, CMeeting* meeting) {
    const int perMcu = layout.blocksPerMcu;
    const unsigned interval = layout.restartInterval;
    size_t segment = interval ? size_t(first / interval) : 0;
    CReader r;
    r.Start(segments[segment].begin, segments[segment].end, 0);
    int predictors[4] = {};
    for (int64_t m = first; m < last; ++m) {
        // Data cut short reads as zeros, which decode as blocks as well: give up as soon as
        // the bits are plainly used up, not after a picture's worth of zeros.
        if (r.Position() > segments[segment].bits + kMaxMcuBits)
            return false;
        if (interval && m != first && m % interval == 0) {
            if (r.Position() > segments[segment].bits)
                return false;
            ++segment;
            r.Start(segments[segment].begin, segments[segment].end, 0);
            std::fill(std::begin(predictors), std::end(predictors), 0);
        }
        for (int b = 0; b < perMcu; ++b) {
            int& predictor = predictors[layout.component[size_t(b)]];
            if (meeting && !meeting->gaveUp && r.Position() >= meeting->from &&
                meeting->Meets(r.Position(), b, perMcu)) {
                meeting->block = m * perMcu + b;
                meeting->middleBlock = int64_t(meeting->next);
                std::copy(std::begin(predictors), std::end(predictors),
                          meeting->predictors.begin());
                return true;
            }
            if (!DecodeBlock(r, *layout.dc[size_t(b)], *layout.ac[size_t(b)], predictor))
                return false;
            dc[m * perMcu + b] = int16_t(predictor);
        }
    }
    return r.Position() <= segments[segment].bits;
}

// A guess of the second thread: where it is, and what it found.
struct CGuess {
    CReader r;
    int phase = 0; // the MCU position of the next block
    std::array<int, 4> predictors{};
    int64_t lastBad = -1;
    std::vector<int32_t> dc;
    std::vector<uint64_t> positions;                  // while recording: where each block starts
    std::vector<std::array<int, 4>> predictorsBefore; // and the predictors before it
};

// Decodes blocks on a guess until it holds limit blocks or the data ends, a code in no
// table skipped bit by bit (garbage until the guess falls into step). The reader and the
// predictors are worked on as locals, where the compiler can keep them in registers.
void DecodeGuess(const CLayout& layout, uint64_t endBits, size_t limit, bool record, CGuess& g) {
    const int perMcu = layout.blocksPerMcu;
    CReader r = g.r;
    std::array<int, 4> predictors = g.predictors;
    int phase = g.phase;
    int64_t lastBad = g.lastBad;
    std::vector<int32_t> dc = std::move(g.dc);
    size_t n = dc.size();
    while (n < limit && r.Position() < endBits) {
        if (record) {
            g.positions.push_back(r.Position());
            g.predictorsBefore.push_back(predictors);
        }
        if (n == dc.size())
            dc.resize(std::max({size_t(4096), n * 2, dc.capacity()}));
        const size_t b = size_t(phase);
        int& predictor = predictors[size_t(layout.component[b])];
        if (!DecodeBlock(r, *layout.dc[b], *layout.ac[b], predictor)) {
            lastBad = int64_t(n);
            r.Skip(1);
        }
        dc[n++] = predictor;
        phase = phase + 1 == perMcu ? 0 : phase + 1;
    }
    dc.resize(n);
    g.dc = std::move(dc);
    g.r = r;
    g.predictors = predictors;
    g.phase = phase;
    g.lastBad = lastBad;
}

// The second thread: one guess for each MCU position the middle byte may fall in, each
// decoding blocks until the guesses have had time to fall into step; the state most of
// them reached is taken on to the end of the data.
void DecodeFromMiddle(const CLayout& layout, const CSegment& segment, const uint8_t* start,
                      uint64_t loadedBefore, CMiddle& out, std::promise<void>& ready) {
    const int perMcu = layout.blocksPerMcu;
    std::vector<CGuess> guesses(static_cast<size_t>(perMcu));
    for (int p = 0; p < perMcu; ++p) {
        CGuess& g = guesses[size_t(p)];
        g.r.Start(start, segment.end, loadedBefore);
        g.phase = p;
        DecodeGuess(layout, segment.bits, kWarmupBlocks, true, g);
    }
    const size_t best = MostCommonState(guesses);
    CGuess& g = guesses[best];
    out.phase0 = int(best); // its positions are recorded from its start
    out.positions = std::move(g.positions);
    out.predictors = std::move(g.predictorsBefore);
    ready.set_value();
    // Room for the rest at once: growing step by step made this thread a fifth slower.
    const double share = double(segment.end - start) / double(segment.end - segment.begin);
    g.dc.reserve(size_t(share * double(layout.mcus * perMcu) * 1.1));
    DecodeGuess(layout, segment.bits, SIZE_MAX, false, g);
    out.dc = std::move(g.dc);
    out.lastBad = g.lastBad;
    out.endPosition = g.r.Position();
    out.ok = true;
}

bool Decode(j_decompress_ptr cinfo, const uint8_t* scan, size_t size, int threads,
            size_t splitBytes, CJpegDcDecoder::CPlanes& planes) {
    const int components = cinfo->num_components;
    const bool colours = components == 3 && (cinfo->jpeg_color_space == JCS_YCbCr ||
                                             cinfo->jpeg_color_space == JCS_RGB);
    const bool grey = components == 1 && cinfo->jpeg_color_space == JCS_GRAYSCALE;
    if (cinfo->progressive_mode || cinfo->arith_code || cinfo->data_precision != 8 ||
        cinfo->comps_in_scan != components || !(colours || grey) || cinfo->Ss != 0 ||
        cinfo->Se != DCTSIZE2 - 1 || cinfo->Ah != 0 || cinfo->Al != 0)
        return false;
    if (int64_t(cinfo->image_width) * cinfo->image_height > CImageBitmap::kMaxPixels ||
        cinfo->image_width == 0 || cinfo->image_height == 0)
        return false;
    auto tables = std::make_unique<CTables>();
    bool built[2][NUM_HUFF_TBLS] = {};
    CLayout layout;
    layout.restartInterval = cinfo->restart_interval;
    if (components == 1) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[0];
        planes.blocksPerMcu = 1;
        planes.mcusWide = int(c.width_in_blocks);
        planes.mcusHigh = int(c.height_in_blocks);
    } else {
        planes.mcusWide = int((cinfo->image_width + 8 * cinfo->max_h_samp_factor - 1) /
                              (8 * cinfo->max_h_samp_factor));
        planes.mcusHigh = int((cinfo->image_height + 8 * cinfo->max_v_samp_factor - 1) /
                              (8 * cinfo->max_v_samp_factor));
    }
    int blocks = 0;
    for (int i = 0; i < components; ++i) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[i];
        // Blocks are kept in scan order, and read back as the frame's components.
        if (c.component_index != i || cinfo->max_h_samp_factor % c.h_samp_factor != 0 ||
            cinfo->max_v_samp_factor % c.v_samp_factor != 0)
            return false;
        const int count = components == 1 ? 1 : c.h_samp_factor * c.v_samp_factor;
        if (blocks + count > kMaxBlocksInMcu || c.dc_tbl_no < 0 || c.dc_tbl_no >= NUM_HUFF_TBLS ||
            c.ac_tbl_no < 0 || c.ac_tbl_no >= NUM_HUFF_TBLS)
            return false;
        for (const int dc : {1, 0}) {
            const int n = dc ? c.dc_tbl_no : c.ac_tbl_no;
            if (!std::exchange(built[dc][n], true) &&
                !BuildHuffman(dc ? cinfo->dc_huff_tbl_ptrs[n] : cinfo->ac_huff_tbl_ptrs[n],
                              dc ? CTableUse::Dc : CTableUse::AcSkip,
                              dc ? tables->dc[n] : tables->ac[n]))
                return false;
        }
        for (int k = 0; k < count; ++k, ++blocks) {
            layout.component[size_t(blocks)] = i;
            layout.dc[size_t(blocks)] = &tables->dc[c.dc_tbl_no];
            layout.ac[size_t(blocks)] = &tables->ac[c.ac_tbl_no];
        }
    }
    layout.blocksPerMcu = planes.blocksPerMcu = blocks;
    layout.mcus = int64_t(planes.mcusWide) * planes.mcusHigh;

    std::vector<CSegment> segments;
    if (!FindSegments(scan, size, segments))
        return false;
    const unsigned interval = layout.restartInterval;
    if (interval ? segments.size() != size_t((layout.mcus + interval - 1) / interval)
                 : segments.size() != 1)
        return false;
    planes.dc.assign(size_t(layout.mcus * blocks), 0);
    int16_t* dc = planes.dc.data();
    // The scan's own length: phone pictures often carry more after the picture's end.
    if (threads < 2 || size_t(segments.back().end - scan) < splitBytes)
        return DecodeMcus(layout, segments, 0, layout.mcus, dc, nullptr);

    if (interval) {
        // Two halves on a restart boundary: each starts afresh.
        const int64_t half = int64_t(segments.size() / 2) * interval;
        bool second = false;
        std::thread helper;
        try {
            helper = std::thread(
                [&] { second = DecodeMcus(layout, segments, half, layout.mcus, dc, nullptr); });
        } catch (const std::system_error&) {
            return DecodeMcus(layout, segments, 0, layout.mcus, dc, nullptr);
        }
        const bool firstHalf = DecodeMcus(layout, segments, 0, half, dc, nullptr);
        helper.join();
        planes.secondThreadFrom = half * blocks;
        return firstHalf && second;
    }

    // No restart markers: the second thread starts in the middle of the data.
    const CSegment& all = segments[0];
    const CMiddleStart start = MiddleOf(all);
    CMiddle middle;
    std::promise<void> ready;
    CMeeting meeting;
    meeting.Watch(middle, ready, start);
    std::thread helper;
    try {
        helper = StartMiddleThread(ready, [&] {
            DecodeFromMiddle(layout, all, start.at, start.loadedBefore, middle, ready);
        });
    } catch (const std::system_error&) {
        return DecodeMcus(layout, segments, 0, layout.mcus, dc, nullptr);
    }
    const bool first = DecodeMcus(layout, segments, 0, layout.mcus, dc, &meeting);
    helper.join();
    if (!first)
        return false;
    if (meeting.block < 0)
        return true; // the first thread did it all
    // From the meeting on, the second thread decoded the same blocks from the same bits;
    // only its predictors began elsewhere.
    const int64_t j = meeting.middleBlock;
    const int64_t needed = layout.mcus * blocks - meeting.block;
    const int64_t decoded = int64_t(middle.dc.size());
    if (!middle.ok || middle.lastBad >= j || decoded < j + needed ||
        (decoded == j + needed && middle.endPosition > all.bits))
        return DecodeMcus(layout, segments, 0, layout.mcus, dc, nullptr);
    std::array<int, 4> offset{};
    for (size_t c = 0; c < 4; ++c)
        offset[c] = meeting.predictors[c] - middle.predictors[size_t(j)][c];
    int phase = int(meeting.block % blocks);
    for (int64_t i = 0; i < needed; ++i) {
        const int c = layout.component[size_t(phase)];
        dc[meeting.block + i] = int16_t(middle.dc[size_t(j + i)] + offset[size_t(c)]);
        phase = phase + 1 == blocks ? 0 : phase + 1;
    }
    planes.secondThreadFrom = meeting.block;
    return true;
}

// libjpeg's sample from a DC-only transform, by the rounded, level-shifted mean masked
// to 10 bits: limited as its range table limits, wrapping far outside as corrupt data may.
constexpr std::array<uint8_t, 1024> MakeRangeLimit() {
    std::array<uint8_t, 1024> table{};
    for (int v = 0; v < 1024; ++v)
        table[size_t(v)] = uint8_t(v < 128 ? v + 128 : v < 384 ? 255 : v < 896 ? 0 : v - 896);
    return table;
}
constexpr std::array<uint8_t, 1024> kRangeLimit = MakeRangeLimit();

inline uint8_t DcSample(int dc, int quant) {
    return kRangeLimit[size_t(((dc * quant + 4) >> 3) & 1023)];
}

inline uint8_t Clamp(int v) {
    return uint8_t(std::clamp(v, 0, 255));
}

} // namespace

bool CJpegDcDecoder::DecodeDc(j_decompress_ptr cinfo, const uint8_t* scan, size_t size, int threads,
                              CPlanes& planes, size_t splitBytes) {
    planes = CPlanes();
    if (Decode(cinfo, scan, size, threads, splitBytes, planes))
        return true;
    planes = CPlanes();
    return false;
}

bool CJpegDcDecoder::DecodeEighth(j_decompress_ptr cinfo, const uint8_t* scan, size_t size,
                                  int threads, CImageBitmap& bitmap) {
    const int components = cinfo->num_components;
    // The quantisation steps of the DC coefficient, checked before any work.
    int quant[3] = {};
    for (int i = 0; i < components && i < 3; ++i) {
        const int n = cinfo->cur_comp_info[i] ? cinfo->cur_comp_info[i]->quant_tbl_no : -1;
        if (n < 0 || n >= NUM_QUANT_TBLS || !cinfo->quant_tbl_ptrs[n])
            return false;
        quant[i] = cinfo->quant_tbl_ptrs[n]->quantval[0];
    }
    CPlanes planes;
    if (!DecodeDc(cinfo, scan, size, threads, planes))
        return false;
    // Each block's sample, in place of its coefficient.
    const int perMcu = planes.blocksPerMcu;
    std::vector<uint8_t> samples(planes.dc.size());
    {
        int quantOf[kMaxBlocksInMcu] = {};
        for (int i = 0, b = 0; i < components; ++i) {
            const jpeg_component_info& c = *cinfo->cur_comp_info[i];
            for (int k = 0; k < (components == 1 ? 1 : c.h_samp_factor * c.v_samp_factor); ++k)
                quantOf[b++] = quant[i];
        }
        for (size_t i = 0; i < samples.size(); i += size_t(perMcu))
            for (int b = 0; b < perMcu; ++b)
                samples[i + size_t(b)] = DcSample(planes.dc[i + size_t(b)], quantOf[b]);
    }
    std::vector<int16_t>().swap(planes.dc);
    const int width = int((cinfo->image_width + 7) / 8);
    const int height = int((cinfo->image_height + 7) / 8);
    // Where each output column and row finds its block of each component.
    std::vector<int> columns[3], rows[3];
    for (int i = 0, base = 0; i < components; ++i) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[i];
        const int h = components == 1 ? 1 : c.h_samp_factor;
        const int v = components == 1 ? 1 : c.v_samp_factor;
        const int maxH = components == 1 ? 1 : cinfo->max_h_samp_factor;
        const int maxV = components == 1 ? 1 : cinfo->max_v_samp_factor;
        columns[i].resize(size_t(width));
        rows[i].resize(size_t(height));
        for (int x = 0; x < width; ++x) {
            const int px = x * h / maxH;
            columns[i][size_t(x)] = px / h * perMcu + base + px % h;
        }
        for (int y = 0; y < height; ++y) {
            const int py = y * v / maxV;
            rows[i][size_t(y)] = py / v * planes.mcusWide * perMcu + py % v * h;
        }
        base += h * v;
    }
    // JFIF's conversion in 16-bit fixed point, rounded as libjpeg rounds.
    int crToRed[256], cbToBlue[256], toGreen[256][2];
    for (int v = 0; v < 256; ++v) {
        crToRed[v] = (91881 * (v - 128) + 32768) >> 16;
        cbToBlue[v] = (116130 * (v - 128) + 32768) >> 16;
        toGreen[v][0] = -22554 * (v - 128);
        toGreen[v][1] = -46802 * (v - 128) + 32768;
    }
    const bool ycc = cinfo->jpeg_color_space == JCS_YCbCr;
    bitmap.Create(width, height, 32, false);
    bitmap.BeginAccess(false, true);
    uint8_t** lines = bitmap.GetLines();
    for (int y = 0; y < height; ++y) {
        uint8_t* out = lines[y];
        const uint8_t* first = samples.data() + rows[0][size_t(y)];
        if (components == 1) {
            for (int x = 0; x < width; ++x, out += 4) {
                out[0] = out[1] = out[2] = first[columns[0][size_t(x)]];
                out[3] = 255;
            }
            continue;
        }
        const uint8_t* second = samples.data() + rows[1][size_t(y)];
        const uint8_t* third = samples.data() + rows[2][size_t(y)];
        for (int x = 0; x < width; ++x, out += 4) {
            const int a = first[columns[0][size_t(x)]];
            const int b = second[columns[1][size_t(x)]];
            const int c = third[columns[2][size_t(x)]];
            if (ycc) {
                out[2] = Clamp(a + crToRed[c]);
                out[1] = Clamp(a + ((toGreen[b][0] + toGreen[c][1]) >> 16));
                out[0] = Clamp(a + cbToBlue[b]);
            } else {
                out[2] = uint8_t(a);
                out[1] = uint8_t(b);
                out[0] = uint8_t(c);
            }
            out[3] = 255;
        }
    }
    bitmap.EndAccess();
    return true;
}
