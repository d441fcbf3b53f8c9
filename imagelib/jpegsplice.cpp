#include "imagelib/jpegsplice.h"

#include "imagelib/jpegscan.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <future>
#include <thread>
#include <utility>

using namespace jpegscan;

namespace {

// Splices walking their scans at the moment, in any thread.
std::atomic<int> g_walking{0};

// A Huffman table for writing: code and length of every symbol, length 0 for none.
struct CEncodeTable {
    uint16_t code[256] = {};
    uint8_t length[256] = {};
};

void BuildEncodeTable(const JHUFF_TBL& table, CEncodeTable& e) {
    e = CEncodeTable{};
    int code = 0, index = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < table.bits[length] && index < 256; ++i, ++index, ++code) {
            const int symbol = table.huffval[index];
            e.code[symbol] = uint16_t(code);
            e.length[symbol] = uint8_t(length);
        }
        code <<= 1;
    }
}

// The output as it grows: room is made before each piece, so that bytes go out without
// a check each.
class CWriter {
public:
    explicit CWriter(std::vector<uint8_t>& out) : m_out(out), m_used(out.size()) {}
    ~CWriter() { m_out.resize(m_used); }

    void Room(size_t bytes) {
        // The room reserved first, at once: growing by steps zeroed and moved the output
        // several times over.
        if (m_used + bytes > m_out.size())
            m_out.resize(std::max({m_out.capacity(), m_out.size() * 2, m_used + bytes + 65536}));
    }
    // Bytes that are whole stuffed data already, or markers.
    void Raw(const uint8_t* from, size_t count) {
        Room(count);
        std::memcpy(m_out.data() + m_used, from, count);
        m_used += count;
    }
    void Byte(uint8_t b) { m_out[m_used++] = b; }

    // count (at most 32) bits, top first; room for 8 bytes must be there.
    void Put(uint32_t bits, int count) {
        m_acc = (m_acc << count) | bits;
        m_bits += count;
        if (m_bits >= 32) {
            m_bits -= 32;
            const uint32_t word = uint32_t(m_acc >> m_bits);
            const uint32_t inverted = ~word; // a zero byte here is an 0xFF there
            if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
                const uint32_t big =
                    std::endian::native == std::endian::little ? __builtin_bswap32(word) : word;
                std::memcpy(m_out.data() + m_used, &big, 4);
                m_used += 4;
            } else {
                for (int shift = 24; shift >= 0; shift -= 8)
                    Stuffed(uint8_t(word >> shift));
            }
        }
    }
    // Pending whole bytes out; what remains is less than a byte.
    void FlushBytes() {
        Room(8);
        while (m_bits >= 8) {
            m_bits -= 8;
            Stuffed(uint8_t(m_acc >> m_bits));
        }
    }
    // Fills the last byte with one bits, as libjpeg does.
    void Pad() {
        if (m_bits % 8 != 0) {
            Room(8);
            Put((1u << (8 - m_bits % 8)) - 1, 8 - m_bits % 8);
        }
        FlushBytes();
    }
    int PendingBits() const { return m_bits; }

private:
    void Stuffed(uint8_t b) {
        m_out[m_used++] = b;
        if (b == 0xFF)
            m_out[m_used++] = 0;
    }

    std::vector<uint8_t>& m_out;
    size_t m_used;
    uint64_t m_acc = 0;
    int m_bits = 0;
};

// Where unstuffed byte k of a segment lies among its raw bytes, found back from a place
// known to hold byte known, k not far before: a reader holds the raw place of the byte it
// loads next, and the bits it holds are at most eight bytes back.
const uint8_t* RawOf(const CSegment& segment, const uint8_t* raw, uint64_t known, uint64_t k) {
    for (; known > k; --known) // every 0xFF of the data has its stuffed zero after it
        raw -= raw - segment.begin >= 2 && raw[-1] == 0 && raw[-2] == 0xFF ? 2 : 1;
    return raw;
}

// The raw place of unstuffed byte k, which the reader holds or passed just now.
const uint8_t* RawOf(const CSegment& segment, const CReader& r, uint64_t k) {
    // Past the data's end, a reader counts the zeros it makes up.
    return r.next < segment.end ? RawOf(segment, r.next, r.loaded, k)
                                : RawOf(segment, segment.end, segment.bits / 8, k);
}

// The unstuffed bits [from, to) of a segment after what the writer holds, rawFrom and
// rawTo the raw places of the bytes holding the first and the last.
void CopyBits(const uint8_t* rawFrom, uint64_t from, const uint8_t* rawTo, uint64_t to,
              CWriter& w) {
    if (to <= from)
        return;
    const uint8_t* raw = rawFrom;
    if (from % 8 != 0) { // the rest of the first byte
        const int head = 8 - int(from % 8);
        const int take = int(std::min<uint64_t>(uint64_t(head), to - from));
        w.Room(8);
        w.Put(uint32_t(*raw >> (head - take)) & ((1u << take) - 1), take);
        raw += *raw == 0xFF ? 2 : 1;
        from += uint64_t(take);
        if (from == to)
            return;
    }
    uint64_t bytes = (to - from) / 8;
    if (w.PendingBits() % 8 == 0) {
        // In step with the source: its stuffed bytes go out as they are.
        w.FlushBytes();
        w.Raw(raw, size_t(rawTo - raw));
        raw = rawTo;
    } else {
        w.Room(size_t(bytes) * 2 + 16);
        while (bytes >= 4) {
            uint32_t word;
            std::memcpy(&word, raw, 4);
            const uint32_t inverted = ~word;
            if (((inverted - 0x01010101u) & ~inverted & 0x80808080u) == 0) {
                if constexpr (std::endian::native == std::endian::little)
                    word = __builtin_bswap32(word);
                w.Put(word, 32);
                raw += 4;
                bytes -= 4;
                continue;
            }
            for (int i = 0; i < 4; ++i) {
                w.Put(*raw, 8);
                raw += *raw == 0xFF ? 2 : 1;
            }
            bytes -= 4;
        }
        for (; bytes > 0; --bytes) {
            w.Put(*raw, 8);
            raw += *raw == 0xFF ? 2 : 1;
        }
    }
    if (const int tail = int(to % 8)) {
        w.Room(8);
        w.Put(uint32_t(*raw >> (8 - tail)), tail);
    }
}

// Codes one block as libjpeg's sequential encoder does. False for a symbol the tables
// lack.
inline bool EncodeBlock(const JCOEF* block, int& predictor, const CEncodeTable& dc,
                        const CEncodeTable& ac, CWriter& w) {
    int diff = block[0] - predictor;
    predictor = block[0];
    int bits = diff;
    if (diff < 0) {
        diff = -diff;
        --bits;
    }
    const int size = std::bit_width(unsigned(diff));
    if (size > 15 || dc.length[size] == 0)
        return false;
    w.Put(dc.code[size], dc.length[size]);
    if (size != 0)
        w.Put(uint32_t(bits) & ((1u << size) - 1), size);
    int last = 0;
    for (uint64_t nonzero = NonZeroAc(block); nonzero != 0; nonzero &= nonzero - 1) {
        const int k = std::countr_zero(nonzero);
        int run = k - last - 1;
        last = k;
        for (; run > 15; run -= 16) {
            if (ac.length[0xF0] == 0)
                return false;
            w.Put(ac.code[0xF0], ac.length[0xF0]);
        }
        int value = block[kNaturalOrder[k]];
        bits = value;
        if (value < 0) {
            value = -value;
            --bits;
        }
        const int n = std::bit_width(unsigned(value));
        const int symbol = (run << 4) | n;
        if (n > 15 || ac.length[symbol] == 0)
            return false;
        // A code and its value bits at once: at most 16 + 15 bits.
        w.Put(uint32_t(ac.code[symbol]) << n | (uint32_t(bits) & ((1u << n) - 1)),
              ac.length[symbol] + n);
    }
    if (last < DCTSIZE2 - 1) {
        if (ac.length[0x00] == 0)
            return false;
        w.Put(ac.code[0x00], ac.length[0x00]);
    }
    return true;
}

} // namespace

struct CJpegScanSplice::CState {
    bool mapped = false;
    int components = 0;
    int mcusWide = 0, mcusHigh = 0;
    int64_t mcus = 0;
    unsigned interval = 0;
    int blocksPerMcu = 0;
    // Per block of an MCU: its component, and its place in the MCU (x, y in blocks).
    std::array<int, kMaxBlocksInMcu> blockComponent{}, blockX{}, blockY{};
    int h[3] = {}, v[3] = {};
    std::array<const CHuffman*, kMaxBlocksInMcu> dcSkip{}, acSkip{}, acSymbols{};
    std::array<const CEncodeTable*, kMaxBlocksInMcu> dcCode{}, acCode{};
    CHuffman dcTables[NUM_HUFF_TBLS], acSkipTables[NUM_HUFF_TBLS], acSymbolTables[NUM_HUFF_TBLS];
    CEncodeTable dcEncode[NUM_HUFF_TBLS], acEncode[NUM_HUFF_TBLS];
    std::vector<CSegment> segments;
    // Without restart markers, the walk: the reader and the DC predictions before every
    // kCheckpointMcus-th MCU, and where the data ends. Any other MCU is found by walking on
    // from the checkpoint before it, a few MCUs at most: recording every MCU cost more in
    // memory traffic than the walk itself.
    static constexpr int64_t kCheckpointMcus = 32;
    struct CCheckpoint {
        int64_t mcu;
        CReader reader;
        int predictors[3];
    };
    std::vector<CCheckpoint> checkpoints; // by MCU
    uint64_t endBits = 0;

    // The reader at the start of MCU m (m before the last) and the DC predictions before
    // it. False for a code in no table, which the walk ruled out.
    bool Seek(int64_t m, CReader& r, int* predictors) const {
        const auto after =
            std::upper_bound(checkpoints.begin(), checkpoints.end(), m,
                             [](int64_t mcu, const CCheckpoint& c) { return mcu < c.mcu; });
        const CCheckpoint& c = *(after - 1);
        r = c.reader;
        std::copy(std::begin(c.predictors), std::end(c.predictors), predictors);
        for (int64_t i = c.mcu; i < m; ++i)
            for (int b = 0; b < blocksPerMcu; ++b)
                if (!DecodeBlock(r, *dcSkip[size_t(b)], *acSkip[size_t(b)],
                                 predictors[blockComponent[size_t(b)]]))
                    return false;
        return true;
    }

    // A big scan is walked by two threads, the helper starting in the middle of the data
    // (see jpegscan.h); it records where its blocks start for a while after its footing,
    // then keeps checkpoints.
    struct CMiddle {
        int64_t first = 0;               // the helper's number of the first block recorded
        int phase0 = 0;                  // that block's place in its MCU
        std::vector<uint64_t> positions; // where each recorded block starts
        std::vector<std::array<int, 3>> predictors; // and the predictions before it
        struct CMark {
            int64_t block;
            CReader reader;
            int predictors[3];
        };
        std::vector<CMark> marks; // every kCheckpointMcus-th MCU start after those
        std::vector<int64_t> bad; // blocks with a code in no table, after the warm-up
        int64_t blocks = 0;       // blocks decoded
        bool ok = false;
    };
    // At most: blocks each guess decodes before they are compared; twice that many are
    // recorded then.
    static constexpr int64_t kWarmupBlocks = 1024;
    static constexpr size_t kMostBadCodes = 16; // past the footing, more means bad data
    // The first thread's watch, and where they met: its block, reader and predictions.
    struct CMeeting : CMeetingWatch<CMiddle> {
        int64_t block = -1;
        CReader reader;
        int predictors[3] = {};
    };

    // Walks the scan from its start, checkpoints noted; with a meeting, stops where the
    // helper's recorded state comes up. False for a code in no table or data cut short.
    bool WalkFromStart(CMeeting* meeting) {
        const CSegment& segment = segments[0];
        const int perMcu = blocksPerMcu;
        checkpoints.clear();
        CReader r;
        r.Start(segment.begin, segment.end, 0);
        int predictors[3] = {};
        for (int64_t m = 0; m < mcus; ++m) {
            if (m % kCheckpointMcus == 0) {
                // Data cut short reads as zeros, which decode as blocks as well: given up
                // as soon as the bits are plainly used up, not after a picture's worth.
                if (r.Position() > segment.bits + kMaxMcuBits)
                    return false;
                checkpoints.push_back({m, r, {predictors[0], predictors[1], predictors[2]}});
            }
            for (int b = 0; b < perMcu; ++b) {
                if (meeting && !meeting->gaveUp && r.Position() >= meeting->from &&
                    meeting->Meets(r.Position(), b, perMcu)) {
                    meeting->block = m * perMcu + b;
                    meeting->reader = r;
                    std::copy(predictors, predictors + 3, meeting->predictors);
                    return true;
                }
                if (!DecodeBlock(r, *dcSkip[size_t(b)], *acSkip[size_t(b)],
                                 predictors[blockComponent[size_t(b)]]))
                    return false;
            }
        }
        endBits = r.Position();
        return true;
    }

    // The helper's walk from start, unstuffed byte loadedBefore of the data.
    void WalkFromMiddle(const uint8_t* start, uint64_t loadedBefore, CMiddle& out,
                        std::promise<void>& ready) const {
        const CSegment& segment = segments[0];
        const int perMcu = blocksPerMcu;
        struct CGuess {
            CReader r;
            int phase = 0;
            int predictors[3] = {};
            int64_t n = 0;
        };
        // One block; a code in no table skipped bit by bit, garbage until the guess falls
        // into step.
        const auto step = [&](CGuess& g) {
            const size_t b = size_t(g.phase);
            const bool good =
                DecodeBlock(g.r, *dcSkip[b], *acSkip[b], g.predictors[blockComponent[b]]);
            if (!good)
                g.r.Skip(1);
            g.phase = g.phase + 1 == perMcu ? 0 : g.phase + 1;
            ++g.n;
            return good;
        };
        // A small scan (the walk of one is split in tests) gets a warm-up to its size.
        const int64_t warmup = std::clamp<int64_t>(mcus * perMcu / 16, 8, kWarmupBlocks);
        std::vector<CGuess> guesses(static_cast<size_t>(perMcu));
        for (int p = 0; p < perMcu; ++p) {
            CGuess& g = guesses[size_t(p)];
            g.r.Start(start, segment.end, loadedBefore);
            g.phase = p;
            while (g.n < warmup && g.r.Position() < segment.bits)
                step(g);
        }
        CGuess g = guesses[MostCommonState(guesses)];
        out.first = g.n;
        out.phase0 = g.phase;
        // Every code in no table past the footing is noted; too many end the walk short,
        // at the block where the next came up.
        bool stopped = false;
        const auto noteBad = [&](int64_t block) {
            if (out.bad.size() == kMostBadCodes) {
                stopped = true;
                out.blocks = block;
                return false;
            }
            out.bad.push_back(block);
            return true;
        };
        while (g.n < out.first + 2 * warmup && g.r.Position() < segment.bits) {
            out.positions.push_back(g.r.Position());
            out.predictors.push_back({g.predictors[0], g.predictors[1], g.predictors[2]});
            if (!step(g) && !noteBad(g.n - 1))
                break;
        }
        ready.set_value();
        if (!stopped) {
            out.marks.reserve(size_t(double(segment.end - start) /
                                     double(segment.end - segment.begin) * double(mcus) /
                                     double(kCheckpointMcus)) +
                              2);
            for (int64_t mcu = 0; g.r.Position() < segment.bits;) {
                if (g.phase == 0 && mcu++ % kCheckpointMcus == 0)
                    out.marks.push_back(
                        {g.n, g.r, {g.predictors[0], g.predictors[1], g.predictors[2]}});
                if (!step(g) && !noteBad(g.n - 1))
                    break;
            }
        }
        if (!stopped)
            out.blocks = g.n;
        out.ok = true;
    }

    // The walk split as above; false where the first thread alone would fail too, or the
    // halves did not join (the caller walks alone then).
    bool WalkSplit(bool& joined);

    // The touched MCUs: columns [col0, col1) of rows [row0, row1); with restart markers,
    // every MCU of the intervals they touch, so whole rows. Decoded per component, blocks
    // row by row.
    int col0 = 0, col1 = 0, row0 = 0, row1 = 0;
    std::vector<bool> touchedIntervals;
    int wide[3] = {};
    struct CBlock {
        JCOEF coefficients[DCTSIZE2];
    };
    std::vector<CBlock> blocks[3];
    int64_t recoded = 0;

    JCOEF* Block(int64_t m, int b) {
        const int c = blockComponent[size_t(b)];
        const int mx = int(m % mcusWide) - col0, my = int(m / mcusWide) - row0;
        const size_t row = size_t(my * v[c] + blockY[size_t(b)]);
        return blocks[c][row * size_t(wide[c]) + size_t(mx * h[c] + blockX[size_t(b)])]
            .coefficients;
    }
    bool DecodeMcu(CReader& r, int64_t m, int* predictors) {
        for (int b = 0; b < blocksPerMcu; ++b)
            if (!DecodeCoefficients(r, *dcSkip[size_t(b)], *acSymbols[size_t(b)],
                                    predictors[blockComponent[size_t(b)]], Block(m, b)))
                return false;
        return true;
    }
    bool EncodeMcu(int64_t m, int* predictors, CWriter& w) {
        w.Room(size_t(kMaxMcuBits / 4)); // every byte might be stuffed
        for (int b = 0; b < blocksPerMcu; ++b)
            if (!EncodeBlock(Block(m, b), predictors[blockComponent[size_t(b)]], *dcCode[size_t(b)],
                             *acCode[size_t(b)], w))
                return false;
        ++recoded;
        return true;
    }
};

CJpegScanSplice::CJpegScanSplice() : m_state(std::make_unique<CState>()) {}
CJpegScanSplice::~CJpegScanSplice() = default;

void CJpegScanSplice::Clear() {
    CState& s = *m_state;
    s.mapped = false;
    s.segments.clear();
    s.checkpoints.clear(); // its room serves the next file
    s.endBits = 0;
    for (std::vector<CState::CBlock>& b : s.blocks)
        std::vector<CState::CBlock>().swap(b);
    s.touchedIntervals.clear();
    s.col0 = s.col1 = s.row0 = s.row1 = 0;
    s.recoded = 0;
}

bool CJpegScanSplice::IsMapped() const {
    return m_state->mapped;
}

int64_t CJpegScanSplice::RecodedMcus() const {
    return m_state->recoded;
}

bool CJpegScanSplice::Map(j_decompress_ptr cinfo, const uint8_t* scan, size_t size) {
    Clear();
    CState& s = *m_state;
    const int components = cinfo->num_components;
    const bool colours = components == 3 && (cinfo->jpeg_color_space == JCS_YCbCr ||
                                             cinfo->jpeg_color_space == JCS_RGB);
    const bool grey = components == 1 && cinfo->jpeg_color_space == JCS_GRAYSCALE;
    if (cinfo->progressive_mode || cinfo->arith_code || cinfo->data_precision != 8 ||
        cinfo->comps_in_scan != components || !(colours || grey) || cinfo->Ss != 0 ||
        cinfo->Se != DCTSIZE2 - 1 || cinfo->Ah != 0 || cinfo->Al != 0 || cinfo->image_width == 0 ||
        cinfo->image_height == 0)
        return false;
    s.components = components;
    s.interval = cinfo->restart_interval;
    if (components == 1) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[0];
        s.mcusWide = int(c.width_in_blocks);
        s.mcusHigh = int(c.height_in_blocks);
    } else {
        s.mcusWide = int((cinfo->image_width + 8 * cinfo->max_h_samp_factor - 1) /
                         (8 * cinfo->max_h_samp_factor));
        s.mcusHigh = int((cinfo->image_height + 8 * cinfo->max_v_samp_factor - 1) /
                         (8 * cinfo->max_v_samp_factor));
    }
    bool built[NUM_HUFF_TBLS][2] = {};
    int blocks = 0;
    for (int i = 0; i < components; ++i) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[i];
        if (c.component_index != i || cinfo->max_h_samp_factor % c.h_samp_factor != 0 ||
            cinfo->max_v_samp_factor % c.v_samp_factor != 0 || c.dc_tbl_no < 0 ||
            c.dc_tbl_no >= NUM_HUFF_TBLS || c.ac_tbl_no < 0 || c.ac_tbl_no >= NUM_HUFF_TBLS ||
            c.quant_tbl_no < 0 || c.quant_tbl_no >= NUM_QUANT_TBLS ||
            !cinfo->quant_tbl_ptrs[c.quant_tbl_no])
            return false;
        s.h[i] = components == 1 ? 1 : c.h_samp_factor;
        s.v[i] = components == 1 ? 1 : c.v_samp_factor;
        if (blocks + s.h[i] * s.v[i] > kMaxBlocksInMcu)
            return false;
        const JHUFF_TBL* dc = cinfo->dc_huff_tbl_ptrs[c.dc_tbl_no];
        const JHUFF_TBL* ac = cinfo->ac_huff_tbl_ptrs[c.ac_tbl_no];
        if (!std::exchange(built[c.dc_tbl_no][0], true)) {
            if (!BuildHuffman(dc, CTableUse::Dc, s.dcTables[c.dc_tbl_no]))
                return false;
            BuildEncodeTable(*dc, s.dcEncode[c.dc_tbl_no]);
        }
        if (!std::exchange(built[c.ac_tbl_no][1], true)) {
            if (!BuildHuffman(ac, CTableUse::AcSkip, s.acSkipTables[c.ac_tbl_no]) ||
                !BuildHuffman(ac, CTableUse::Symbols, s.acSymbolTables[c.ac_tbl_no]))
                return false;
            BuildEncodeTable(*ac, s.acEncode[c.ac_tbl_no]);
        }
        for (int y = 0; y < s.v[i]; ++y)
            for (int x = 0; x < s.h[i]; ++x, ++blocks) {
                const size_t b = size_t(blocks);
                s.blockComponent[b] = i;
                s.blockX[b] = x;
                s.blockY[b] = y;
                s.dcSkip[b] = &s.dcTables[c.dc_tbl_no];
                s.acSkip[b] = &s.acSkipTables[c.ac_tbl_no];
                s.acSymbols[b] = &s.acSymbolTables[c.ac_tbl_no];
                s.dcCode[b] = &s.dcEncode[c.dc_tbl_no];
                s.acCode[b] = &s.acEncode[c.ac_tbl_no];
            }
    }
    s.blocksPerMcu = blocks;
    s.mcus = int64_t(s.mcusWide) * s.mcusHigh;
    if (!FindSegments(scan, size, s.segments))
        return false;
    const unsigned interval = s.interval;
    if (interval ? s.segments.size() != size_t((s.mcus + interval - 1) / interval)
                 : s.segments.size() != 1)
        return false;
    CReader r;
    if (interval) {
        // Each interval stands alone: those the stamp leaves are copied without a look, as
        // any decoder reads them alike in the input and in the copy; a touched one is
        // decoded then, and must be sound. The last is read now: a file cut short ends
        // inside it, and must not pass for the photo.
        const CSegment& segment = s.segments.back();
        r.Start(segment.begin, segment.end, 0);
        int predictors[4] = {};
        for (int64_t m = int64_t(s.segments.size() - 1) * interval; m < s.mcus; ++m) {
            if (r.Position() > segment.bits)
                return false;
            for (int b = 0; b < blocks; ++b)
                if (!DecodeBlock(r, *s.dcSkip[size_t(b)], *s.acSkip[size_t(b)],
                                 predictors[s.blockComponent[size_t(b)]]))
                    return false;
        }
        const uint64_t end = r.Position();
        if (end > segment.bits || segment.bits - end >= 8)
            return false;
        s.mapped = true;
        return true;
    }
    // Every code of the scan read once: a code in no table, data cut short or whole bytes
    // left over send the file libjpeg's way. A second thread is worth having while no
    // other splice walks.
    const CSegment& segment = s.segments[0];
    s.checkpoints.reserve(
        size_t(std::min<int64_t>(s.mcus / CState::kCheckpointMcus + 1, int64_t(size / 8) + 1)));
    struct CCount { // every walk counts: workers that keep the cores busy need no helper
        int others = g_walking.fetch_add(1);
        ~CCount() { g_walking.fetch_sub(1); }
    } count;
    bool walked = false, joined = false;
    if (count.others == 0 && size_t(segment.end - scan) >= m_splitBytes &&
        std::thread::hardware_concurrency() > 1)
        walked = s.WalkSplit(joined);
    if (!joined)
        walked = s.WalkFromStart(nullptr);
    if (!walked || s.endBits > segment.bits || segment.bits - s.endBits >= 8)
        return false;
    s.mapped = true;
    return true;
}

bool CJpegScanSplice::CState::WalkSplit(bool& joined) {
    joined = false;
    const CMiddleStart start = MiddleOf(segments[0]);
    CMiddle middle;
    std::promise<void> ready;
    CMeeting meeting;
    meeting.Watch(middle, ready, start);
    std::thread helper;
    try {
        helper = StartMiddleThread(
            ready, [&] { WalkFromMiddle(start.at, start.loadedBefore, middle, ready); });
    } catch (const std::system_error&) {
        return false;
    }
    bool first = false;
    try {
        first = WalkFromStart(&meeting);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    // Bad data before the meeting, or the first thread did it all: as walking alone.
    if (!first || meeting.block < 0) {
        joined = true;
        return first;
    }
    // From the meeting on, the helper read the same codes from the same bits: its blocks
    // are the picture's, every one of them sound, up to the last.
    const int perMcu = blocksPerMcu;
    const int64_t met = middle.first + int64_t(meeting.next); // the helper's number of it
    const int64_t total = mcus * perMcu;
    const int64_t needed = total - meeting.block;
    if (!middle.ok || middle.blocks < met + needed)
        return false;
    for (const int64_t block : middle.bad)
        if (block >= met && block < met + needed)
            return false;
    int offset[3] = {};
    for (size_t c = 0; c < 3; ++c)
        offset[c] = meeting.predictors[c] - middle.predictors[meeting.next][c];
    for (const CMiddle::CMark& mark : middle.marks) {
        const int64_t block = meeting.block + (mark.block - met);
        if (mark.block < met)
            continue;
        if (block >= total)
            break;
        if (block % perMcu != 0)
            return false;
        checkpoints.push_back({block / perMcu,
                               mark.reader,
                               {mark.predictors[0] + offset[0], mark.predictors[1] + offset[1],
                                mark.predictors[2] + offset[2]}});
    }
    // The data ends where the last MCU does.
    CReader r;
    int predictors[3];
    if (!Seek(mcus - 1, r, predictors))
        return false;
    for (int b = 0; b < perMcu; ++b)
        if (!DecodeBlock(r, *dcSkip[size_t(b)], *acSkip[size_t(b)],
                         predictors[blockComponent[size_t(b)]]))
            return false;
    endBits = r.Position();
    joined = true;
    return true;
}

bool CJpegScanSplice::DecodeTouched(int mcuX0, int mcuY0, int mcuX1, int mcuY1) {
    CState& s = *m_state;
    if (!s.mapped)
        return false;
    mcuX0 = std::clamp(mcuX0, 0, s.mcusWide);
    mcuX1 = std::clamp(mcuX1, mcuX0, s.mcusWide);
    mcuY0 = std::clamp(mcuY0, 0, s.mcusHigh);
    mcuY1 = std::clamp(mcuY1, mcuY0, s.mcusHigh);
    if (mcuX0 == mcuX1 || mcuY0 == mcuY1)
        return true;
    int64_t first = 0, last = 0; // intervals [first, last] hold the touched MCUs
    if (s.interval) {
        s.touchedIntervals.assign(s.segments.size(), false);
        first = (int64_t(mcuY0) * s.mcusWide + mcuX0) / s.interval;
        last = (int64_t(mcuY1 - 1) * s.mcusWide + mcuX1 - 1) / s.interval;
        for (int y = mcuY0; y < mcuY1; ++y)
            for (int64_t i = (int64_t(y) * s.mcusWide + mcuX0) / s.interval;
                 i <= (int64_t(y) * s.mcusWide + mcuX1 - 1) / s.interval; ++i)
                s.touchedIntervals[size_t(i)] = true;
        s.col0 = 0;
        s.col1 = s.mcusWide;
        s.row0 = int(first * s.interval / s.mcusWide);
        s.row1 = int((std::min<int64_t>(s.mcus, (last + 1) * s.interval) - 1) / s.mcusWide) + 1;
    } else {
        s.col0 = mcuX0;
        s.col1 = mcuX1;
        s.row0 = mcuY0;
        s.row1 = mcuY1;
    }
    for (int c = 0; c < s.components; ++c) {
        s.wide[c] = (s.col1 - s.col0) * s.h[c];
        s.blocks[c].assign(size_t(s.wide[c]) * size_t((s.row1 - s.row0) * s.v[c]),
                           CState::CBlock{});
    }
    CReader r;
    if (s.interval) {
        for (int64_t i = first; i <= last; ++i) {
            if (!s.touchedIntervals[size_t(i)])
                continue;
            const CSegment& segment = s.segments[size_t(i)];
            r.Start(segment.begin, segment.end, 0);
            int predictors[4] = {};
            const int64_t end = std::min<int64_t>(s.mcus, (i + 1) * s.interval);
            for (int64_t m = i * s.interval; m < end; ++m)
                if (r.Position() > segment.bits || !s.DecodeMcu(r, m, predictors))
                    return false;
            const uint64_t bits = r.Position();
            if (bits > segment.bits || segment.bits - bits >= 8)
                return false;
        }
        return true;
    }
    for (int y = s.row0; y < s.row1; ++y) {
        const int64_t m0 = int64_t(y) * s.mcusWide + s.col0;
        int predictors[4] = {};
        if (!s.Seek(m0, r, predictors))
            return false;
        for (int64_t m = m0; m < m0 + (s.col1 - s.col0); ++m)
            if (!s.DecodeMcu(r, m, predictors))
                return false;
    }
    return true;
}

JBLOCKROW CJpegScanSplice::DecodedBlocks(int component, int blockRow, int blockColumn,
                                         int& available) {
    CState& s = *m_state;
    available = 0;
    if (component < 0 || component >= s.components || s.blocks[component].empty())
        return nullptr;
    const int row = blockRow - s.row0 * s.v[component];
    const int column = blockColumn - s.col0 * s.h[component];
    if (row < 0 || row >= (s.row1 - s.row0) * s.v[component] || column < 0 ||
        column >= s.wide[component])
        return nullptr;
    available = s.wide[component] - column;
    return reinterpret_cast<JBLOCKROW>(
        s.blocks[component][size_t(row) * size_t(s.wide[component]) + size_t(column)].coefficients);
}

bool CJpegScanSplice::WriteScan(std::vector<uint8_t>& out) {
    CState& s = *m_state;
    s.recoded = 0;
    CWriter w(out);
    const bool touched = !s.blocks[0].empty();
    if (s.interval) {
        const size_t count = s.segments.size();
        for (size_t i = 0; i < count; ++i) {
            const CSegment& segment = s.segments[i];
            if (!touched || !s.touchedIntervals[i]) {
                // The interval with the marker after it, as it stands.
                w.Raw(segment.begin,
                      size_t((i + 1 < count ? s.segments[i + 1].begin : segment.end) -
                             segment.begin));
                continue;
            }
            int predictors[4] = {};
            for (int64_t m = int64_t(i) * s.interval;
                 m < std::min<int64_t>(s.mcus, int64_t(i + 1) * s.interval); ++m)
                if (!s.EncodeMcu(m, predictors, w))
                    return false;
            w.Pad();
            if (i + 1 < count) {
                w.Room(2);
                w.Byte(0xFF);
                w.Byte(uint8_t(JPEG_RST0 + i % 8));
            }
        }
        return true;
    }
    const CSegment& segment = s.segments[0];
    uint64_t copied = 0; // the input's bits out so far, and the raw place of their end
    const uint8_t* rawCopied = segment.begin;
    for (int y = s.row0; touched && y < s.row1; ++y) {
        // The touched MCUs of a row, and of the rows after it while they run on.
        const int64_t first = int64_t(y) * s.mcusWide + s.col0;
        while (s.col0 == 0 && s.col1 == s.mcusWide && y + 1 < s.row1)
            ++y;
        const int64_t last = int64_t(y) * s.mcusWide + s.col1;
        CReader r;
        int predictors[4] = {};
        if (!s.Seek(first, r, predictors))
            return false;
        CopyBits(rawCopied, copied, RawOf(segment, r, r.Position() / 8), r.Position(), w);
        for (int64_t m = first; m < last; ++m)
            if (!s.EncodeMcu(m, predictors, w))
                return false;
        if (last == s.mcus) {
            copied = s.endBits;
            break;
        }
        // The next MCU's DC values were predicted from the old blocks: it is coded again
        // against the new ones, so that the rest can be copied.
        JBLOCK next[kMaxBlocksInMcu] = {};
        int old[4] = {};
        if (!s.Seek(last, r, old))
            return false;
        w.Room(size_t(kMaxMcuBits / 4));
        for (int b = 0; b < s.blocksPerMcu; ++b) {
            const int c = s.blockComponent[size_t(b)];
            if (!DecodeCoefficients(r, *s.dcSkip[size_t(b)], *s.acSymbols[size_t(b)], old[c],
                                    next[b]) ||
                !EncodeBlock(next[b], predictors[c], *s.dcCode[size_t(b)], *s.acCode[size_t(b)], w))
                return false;
        }
        ++s.recoded;
        copied = r.Position();
        rawCopied = RawOf(segment, r, copied / 8);
    }
    CopyBits(rawCopied, copied, RawOf(segment, segment.end, segment.bits / 8, s.endBits / 8),
             s.endBits, w);
    w.Pad();
    return true;
}

namespace {

void Put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void Marker(std::vector<uint8_t>& out, int code, size_t length) {
    out.push_back(0xFF);
    out.push_back(uint8_t(code));
    Put16(out, unsigned(length + 2));
}

} // namespace

void WriteSpliceHeaders(j_decompress_ptr cinfo, const jpeg_compress_struct& header,
                        const CSavedMarker* markers, std::vector<uint8_t>& out) {
    out.push_back(0xFF);
    out.push_back(0xD8); // SOI
    if (header.write_JFIF_header) {
        Marker(out, JPEG_APP0, 14);
        for (const char c : {'J', 'F', 'I', 'F', '\0'})
            out.push_back(uint8_t(c));
        out.push_back(header.JFIF_major_version);
        out.push_back(header.JFIF_minor_version);
        out.push_back(header.density_unit);
        Put16(out, header.X_density);
        Put16(out, header.Y_density);
        out.push_back(0);
        out.push_back(0);
    }
    if (header.write_Adobe_marker) {
        const uint8_t transform = header.jpeg_color_space == JCS_YCbCr ? 1 : 0;
        const uint8_t adobe[] = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, transform};
        Marker(out, JPEG_APP0 + 14, sizeof adobe);
        out.insert(out.end(), std::begin(adobe), std::end(adobe));
    }
    for (const CSavedMarker* m = markers; m; m = m->next.get()) {
        const size_t length = std::min<size_t>(m->dataLength, 65533);
        Marker(out, m->marker, length);
        out.insert(out.end(), m->data.get(), m->data.get() + length);
    }
    const int components = cinfo->num_components;
    bool wide = false, sent[NUM_QUANT_TBLS] = {};
    for (int i = 0; i < components; ++i) {
        const int n = cinfo->comp_info[i].quant_tbl_no;
        if (std::exchange(sent[n], true))
            continue;
        const JQUANT_TBL& table = *cinfo->quant_tbl_ptrs[n];
        const bool sixteen = std::any_of(std::begin(table.quantval), std::end(table.quantval),
                                         [](UINT16 q) { return q > 255; });
        wide = wide || sixteen;
        Marker(out, 0xDB, 1 + DCTSIZE2 * (sixteen ? 2 : 1));
        out.push_back(uint8_t((sixteen ? 0x10 : 0) | n));
        for (int k = 0; k < DCTSIZE2; ++k) {
            const unsigned q = table.quantval[kNaturalOrder[k]];
            if (sixteen)
                out.push_back(uint8_t(q >> 8));
            out.push_back(uint8_t(q));
        }
    }
    bool baseline = !wide;
    for (int i = 0; i < components; ++i)
        baseline =
            baseline && cinfo->comp_info[i].dc_tbl_no <= 1 && cinfo->comp_info[i].ac_tbl_no <= 1;
    Marker(out, baseline ? 0xC0 : 0xC1, size_t(6 + 3 * components));
    out.push_back(8);
    Put16(out, cinfo->image_height);
    Put16(out, cinfo->image_width);
    out.push_back(uint8_t(components));
    for (int i = 0; i < components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        out.push_back(uint8_t(c.component_id));
        out.push_back(uint8_t(c.h_samp_factor << 4 | c.v_samp_factor));
        out.push_back(uint8_t(c.quant_tbl_no));
    }
    bool sentHuffman[2][NUM_HUFF_TBLS] = {};
    for (int i = 0; i < components; ++i)
        for (const int ac : {0, 1}) {
            const jpeg_component_info& c = *cinfo->cur_comp_info[i];
            const int n = ac ? c.ac_tbl_no : c.dc_tbl_no;
            if (std::exchange(sentHuffman[ac][n], true))
                continue;
            const JHUFF_TBL& table = ac ? *cinfo->ac_huff_tbl_ptrs[n] : *cinfo->dc_huff_tbl_ptrs[n];
            int count = 0;
            for (int l = 1; l <= 16; ++l)
                count += table.bits[l];
            Marker(out, 0xC4, size_t(1 + 16 + count));
            out.push_back(uint8_t(ac << 4 | n));
            for (int l = 1; l <= 16; ++l)
                out.push_back(table.bits[l]);
            out.insert(out.end(), table.huffval, table.huffval + count);
        }
    if (cinfo->restart_interval) {
        Marker(out, 0xDD, 2);
        Put16(out, cinfo->restart_interval);
    }
    Marker(out, 0xDA, size_t(4 + 2 * components));
    out.push_back(uint8_t(components));
    for (int i = 0; i < components; ++i) {
        const jpeg_component_info& c = *cinfo->cur_comp_info[i];
        out.push_back(uint8_t(c.component_id));
        out.push_back(uint8_t(c.dc_tbl_no << 4 | c.ac_tbl_no));
    }
    out.push_back(0);
    out.push_back(DCTSIZE2 - 1);
    out.push_back(0);
}
