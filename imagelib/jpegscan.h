#pragma once

// The Huffman machinery shared by the decoders that walk a baseline JPEG scan on their own:
// the preview's DC decoder and the lossless stamper's splice. Internal to the image library.

#include <jpeglib.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jpegscan {

constexpr int kLookahead = 11;
constexpr int kMaxBlocksInMcu = 10; // as libjpeg allows
// The most an MCU can code: every block's 64 codes of 16 bits with 15 value bits.
constexpr uint64_t kMaxMcuBits = kMaxBlocksInMcu * 64 * 31;

// A Huffman table for skipping through a scan. fast holds, for the next kLookahead bits:
// DC: code length | symbol << 5, for codes that fit;
// AC: up to two whole codes with their value bits: total length (bits 0-3), the first
//     code's length with its value bits (4-7), the first's advance (8-15) and the total
//     advance (16-23), an advance being the zero run plus one, or 64 at an end of block;
//     or, where a code fits but not its value bits, kCodeOnly | code length | value bits
//     << 5 | advance << 9;
// 0 sends the decoder to the canonical decode of the JPEG standard.
inline constexpr uint32_t kCodeOnly = 0x80000000u;

struct CHuffman {
    uint32_t fast[1 << kLookahead] = {};
    int maxCode[17] = {};     // largest code of each length, -1 for none
    int valueOffset[17] = {}; // index into values of a code of each length, minus the code
    uint8_t values[256] = {};
};

// What a table's fast lookup is made for: DC skipping, AC skipping, or decoding symbols
// one at a time (fast as for DC, any symbol).
enum class CTableUse { Dc, AcSkip, Symbols };

// False for a table libjpeg would refuse: more codes than their lengths hold, or a DC
// symbol over 15.
inline bool BuildHuffman(const JHUFF_TBL* table, CTableUse use, CHuffman& h) {
    const bool dc = use != CTableUse::AcSkip;
    h = CHuffman{}; // a table may be built again over another file's
    if (!table)
        return false;
    int code = 0, count = 0;
    std::array<uint16_t, 256> codes{};
    std::array<uint8_t, 256> lengths{};
    for (int length = 1; length <= 16; ++length) {
        const int n = table->bits[length];
        if (count + n > 256)
            return false;
        h.valueOffset[length] = count - code;
        for (int i = 0; i < n; ++i, ++count, ++code) {
            codes[size_t(count)] = uint16_t(code);
            lengths[size_t(count)] = uint8_t(length);
        }
        h.maxCode[length] = n > 0 ? code - 1 : -1;
        if (code >= (1 << length))
            return false;
        code <<= 1;
    }
    std::memcpy(h.values, table->huffval, sizeof h.values);
    std::array<uint16_t, 1 << kLookahead> single{}; // AC: length | advance << 5
    for (int i = 0; i < count; ++i) {
        const int length = lengths[size_t(i)], symbol = table->huffval[i];
        if (use == CTableUse::Dc && symbol > 15)
            return false;
        const int size = symbol & 15, run = symbol >> 4;
        const int whole = dc ? length : length + size;
        const int advance = size == 0 && run != 15 ? 64 : run + 1;
        if (whole > kLookahead) {
            // Dense pictures have many long values: their codes at least are looked up.
            if (!dc && length <= kLookahead) {
                const int shift = kLookahead - length;
                for (int rest = 0; rest < (1 << shift); ++rest)
                    h.fast[codes[size_t(i)] << shift | rest] =
                        kCodeOnly | uint32_t(length | size << 5 | advance << 9);
            }
            continue;
        }
        const int shift = kLookahead - length;
        for (int rest = 0; rest < (1 << shift); ++rest) {
            const int index = codes[size_t(i)] << shift | rest;
            if (dc)
                h.fast[index] = uint32_t(length | symbol << 5);
            else
                single[size_t(index)] = uint16_t(whole | advance << 5);
        }
    }
    if (dc)
        return true;
    for (int index = 0; index < (1 << kLookahead); ++index) {
        const int first = single[size_t(index)];
        if (first == 0)
            continue; // a code-only entry, or none
        const int length = first & 31, advance = first >> 5;
        int total = length, totalAdvance = advance;
        if (advance < 64 && length < kLookahead) {
            // The bits after the first code, zeros after them: good for a second code
            // only if it ends within them.
            const int second = single[size_t((index << length) & ((1 << kLookahead) - 1))];
            if (second != 0 && (second & 31) <= kLookahead - length) {
                total += second & 31;
                totalAdvance += second >> 5;
            }
        }
        h.fast[index] = uint32_t(total | length << 4 | advance << 8 | totalAdvance << 16);
    }
    return true;
}

// The canonical decode: the symbol of the code in front of bits (top first), or -1.
inline int SlowSymbol(const CHuffman& h, uint64_t bits, int& length) {
    for (int l = 1; l <= 16; ++l) {
        const int code = int(bits >> (64 - l));
        if (code <= h.maxCode[l]) {
            const int index = h.valueOffset[l] + code;
            if (index < 0 || index > 255)
                return -1;
            length = l;
            return h.values[index];
        }
    }
    return -1;
}

// The data of one restart interval (or the whole scan): original bytes [begin, end),
// every 0xFF in them followed by a stuffed zero, and the bits that remain unstuffed.
struct CSegment {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    uint64_t bits = 0;
};

// Reads a segment's bits, the stuffed zeros left out, zeros past its end.
struct CReader {
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;
    uint64_t acc = 0; // the bits to come, top first; below the count, zeros
    int count = 0;
    uint64_t loaded = 0; // unstuffed bytes taken into acc since the segment began

    void Start(const uint8_t* from, const uint8_t* segmentEnd, uint64_t loadedBefore) {
        next = from;
        end = segmentEnd;
        acc = 0;
        count = 0;
        loaded = loadedBefore;
        Refill();
    }
    // Bits consumed since the segment began, unstuffed.
    uint64_t Position() const { return loaded * 8 - uint64_t(count); }
    void Skip(int n) {
        acc <<= n;
        count -= n;
    }
    void Refill() {
        if (end - next >= 8) {
            uint64_t word;
            std::memcpy(&word, next, 8);
            const uint64_t inverted = ~word; // a zero byte here is an 0xFF there
            if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
                if constexpr (std::endian::native == std::endian::little)
                    word = __builtin_bswap64(word);
                acc |= word >> count;
                const int bytes = (63 - count) >> 3;
                next += bytes;
                loaded += uint64_t(bytes);
                count |= 56;
                return;
            }
        }
        while (count <= 56) {
            uint8_t byte = 0;
            if (next < end) {
                byte = *next;
                next += byte == 0xFF ? 2 : 1;
            }
            acc |= uint64_t(byte) << (56 - count);
            count += 8;
            ++loaded;
        }
    }
};

// Decodes a block's DC difference into predictor. False for a code in no table; nothing of
// it is consumed then.
inline bool DecodeDcDifference(CReader& r, const CHuffman& dc, int& predictor) {
    if (r.count < 32)
        r.Refill();
    int length, size;
    if (const uint32_t e = dc.fast[r.acc >> (64 - kLookahead)]) {
        length = int(e & 31);
        size = int(e >> 5);
    } else if ((size = SlowSymbol(dc, r.acc, length)) < 0) {
        return false;
    }
    r.Skip(length); // at least 16 bits remain, enough for the value's 15
    if (size != 0) {
        const int value = int(r.acc >> (64 - size));
        r.Skip(size);
        predictor += value < (1 << (size - 1)) ? value - (1 << size) + 1 : value;
    }
    return true;
}

// Decodes one block: the DC difference into predictor, the AC codes skipped. False for
// a code in no table; nothing of it is consumed then.
inline bool DecodeBlock(CReader& r, const CHuffman& dc, const CHuffman& ac, int& predictor) {
    if (!DecodeDcDifference(r, dc, predictor))
        return false;
    int length;
    for (int k = 1; k < 64;) {
        if (r.count < 32)
            r.Refill();
        if (const uint32_t e = ac.fast[r.acc >> (64 - kLookahead)]) {
            if (e & kCodeOnly) {
                r.Skip(int(e & 31) + int(e >> 5 & 15));
                k += int(e >> 9 & 127);
                continue;
            }
            const int first = int(e >> 8) & 0xFF;
            if (k + first < 64) {
                r.Skip(int(e & 15));
                k += int(e >> 16);
            } else { // the first code ends the block: the second belongs to the next
                r.Skip(int(e >> 4) & 15);
                k += first;
            }
            continue;
        }
        const int symbol = SlowSymbol(ac, r.acc, length);
        if (symbol < 0)
            return false;
        r.Skip(length);
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0 && run != 15)
            break;
        r.Skip(size);
        k += run + 1;
    }
    return true;
}

// Natural-order position of each coefficient in coding order.
inline constexpr uint8_t kNaturalOrder[DCTSIZE2] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// For byte j of a block's non-zero mask in natural order, the same bits at their coding
// positions: eight lookups turn a mask into coding order.
inline constexpr std::array<std::array<uint64_t, 256>, 8> MakeCodingBits() {
    int codingPosition[DCTSIZE2] = {};
    for (int k = 0; k < DCTSIZE2; ++k)
        codingPosition[kNaturalOrder[k]] = k;
    std::array<std::array<uint64_t, 256>, 8> table = {};
    for (int j = 0; j < 8; ++j)
        for (int value = 0; value < 256; ++value)
            for (int bit = 0; bit < 8; ++bit)
                if (value & (1 << bit))
                    table[size_t(j)][size_t(value)] |= uint64_t(1) << codingPosition[8 * j + bit];
    return table;
}
inline constexpr std::array<std::array<uint64_t, 256>, 8> kCodingBits = MakeCodingBits();

// Bit k set for each non-zero AC coefficient at coding position k.
inline uint64_t NonZeroAc(const JCOEF* block) {
    uint64_t natural = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i + 8));
        const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        natural |= uint64_t(~unsigned(_mm_movemask_epi8(zeros)) & 0xFFFFu) << (16 * i);
    }
#else
    for (int n = 0; n < DCTSIZE2; ++n)
        natural |= uint64_t(block[n] != 0) << n;
#endif
    uint64_t coded = 0;
    for (int j = 0; j < 8; ++j)
        coded |= kCodingBits[size_t(j)][(natural >> (8 * j)) & 0xFF];
    return coded & ~uint64_t(1);
}

// Decodes one block's coefficients as libjpeg decodes them, into a zeroed block: a run
// that overshoots the block puts its coefficient in the last place, as libjpeg's does.
// False for a code in no table, or a DC value beyond what a coefficient holds. symbols is
// built for CTableUse::Symbols.
inline bool DecodeCoefficients(CReader& r, const CHuffman& dc, const CHuffman& symbols,
                               int& predictor, JCOEF* block) {
    if (!DecodeDcDifference(r, dc, predictor))
        return false;
    if (predictor < -32768 || predictor > 32767)
        return false;
    block[0] = JCOEF(predictor);
    for (int k = 1; k < 64; ++k) {
        if (r.count < 32)
            r.Refill();
        int length, symbol;
        if (const uint32_t e = symbols.fast[r.acc >> (64 - kLookahead)]) {
            length = int(e & 31);
            symbol = int(e >> 5);
        } else if ((symbol = SlowSymbol(symbols, r.acc, length)) < 0) {
            return false;
        }
        r.Skip(length);
        const int run = symbol >> 4;
        const int size = symbol & 15;
        if (size == 0) {
            if (run != 15)
                break;
            k += 15;
            continue;
        }
        k += run;
        const int value = int(r.acc >> (64 - size));
        r.Skip(size);
        block[kNaturalOrder[k < 64 ? k : 63]] =
            JCOEF(value < (1 << (size - 1)) ? value - (1 << size) + 1 : value);
    }
    return true;
}

// Finds the scan's end and its restart intervals. False when the markers are out of order
// or anything but the end of the picture follows the scan: libjpeg may refuse the rest.
inline bool FindSegments(const uint8_t* scan, size_t size, std::vector<CSegment>& segments) {
    const uint8_t* const end = scan + size;
    const uint8_t* p = scan;
    CSegment segment{scan, end, 0};
    uint64_t stuffed = 0;
    for (;;) {
        const auto* ff = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(end - p)));
        if (!ff || ff + 1 == end) {
            segment.end = ff ? ff : end;
            break;
        }
        if (ff[1] == 0x00) {
            ++stuffed;
            p = ff + 2;
            continue;
        }
        const uint8_t* marker = ff + 1;
        while (marker < end && *marker == 0xFF) // fill bytes
            ++marker;
        segment.end = ff;
        if (marker == end || *marker == JPEG_EOI)
            break;
        if (*marker < JPEG_RST0 || *marker > JPEG_RST0 + 7)
            return false;
        if (*marker != JPEG_RST0 + segments.size() % 8)
            return false;
        segment.bits = (uint64_t(segment.end - segment.begin) - stuffed) * 8;
        segments.push_back(segment);
        segment = CSegment{marker + 1, end, 0};
        stuffed = 0;
        p = marker + 1;
    }
    segment.bits = (uint64_t(segment.end - segment.begin) - stuffed) * 8;
    segments.push_back(segment);
    return true;
}

struct CTables {
    CHuffman dc[NUM_HUFF_TBLS], ac[NUM_HUFF_TBLS];
};

// ---- A second thread on a scan without restart markers
// It starts in the middle of the data and finds its footing: Huffman codes fall back into
// step after a short while. Of one guess for each place in the MCU, the state most of them
// reach is taken, and the blocks from there are recorded. The first thread, arriving, takes
// the second's work from the first block where it finds the very same state: from there
// both read the same codes, only the second's DC predictions began elsewhere.

// Where the second thread starts: the middle byte of the data, never the zero of a stuffed
// pair, and the unstuffed bytes before it.
struct CMiddleStart {
    const uint8_t* at = nullptr;
    uint64_t loadedBefore = 0;
};
inline CMiddleStart MiddleOf(const CSegment& all) {
    const uint8_t* start = all.begin + (all.end - all.begin) / 2;
    if (start > all.begin && start[-1] == 0xFF)
        ++start;
    uint64_t stuffedBefore = 0; // every 0xFF in a segment is a stuffed pair
    for (const uint8_t* p = all.begin;
         p < start &&
         (p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, size_t(start - p)))) != nullptr;
         p += 2)
        ++stuffedBefore;
    return {start, uint64_t(start - all.begin) - stuffedBefore};
}

// The guess whose state (where its next block starts, and that block's place in the MCU)
// most guesses reached. Each guess has a reader r and a phase.
template <class TGuess> size_t MostCommonState(const std::vector<TGuess>& guesses) {
    size_t best = 0;
    int bestVotes = 0;
    for (size_t i = 0; i < guesses.size(); ++i) {
        int votes = 0;
        for (const TGuess& other : guesses)
            votes +=
                other.r.Position() == guesses[i].r.Position() && other.phase == guesses[i].phase;
        if (votes > bestVotes) {
            best = i;
            bestVotes = votes;
        }
    }
    return best;
}

// The first thread's watch for the state the second recorded: TMiddle's positions (where
// each recorded block starts, the first at place phase0 of its MCU) are complete once ready
// is kept.
template <class TMiddle> struct CMeetingWatch {
    const TMiddle* middle = nullptr;
    std::shared_future<void> ready;
    uint64_t from = 0; // where the second thread began
    size_t next = 0;   // the recorded block looked at
    bool waited = false, gaveUp = false;

    void Watch(const TMiddle& m, std::promise<void>& kept, const CMiddleStart& start) {
        middle = &m;
        ready = kept.get_future().share();
        from = start.loadedBefore * 8;
    }
    // Whether the block at position, place phase of its MCU, is the recorded one at next.
    bool Meets(uint64_t position, int phase, int blocksPerMcu) {
        if (!waited) {
            ready.wait();
            waited = true;
        }
        const std::vector<uint64_t>& p = middle->positions;
        while (next < p.size() && p[next] < position)
            ++next;
        if (next == p.size()) {
            gaveUp = true;
            return false;
        }
        return p[next] == position && (middle->phase0 + int(next)) % blocksPerMcu == phase;
    }
};

// Runs walk on a thread of its own. ready is kept even when walk throws (out of memory), so
// that the first thread never waits for ever. Throws std::system_error as std::thread does.
template <class F> std::thread StartMiddleThread(std::promise<void>& ready, F walk) {
    return std::thread([&ready, walk]() mutable {
        try {
            walk();
        } catch (...) {
            try {
                ready.set_value();
            } catch (const std::future_error&) { // kept already
            }
        }
    });
}

} // namespace jpegscan
