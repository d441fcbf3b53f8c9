#include "imagelib/quantizefilter.h"

#include "imagelib/textexception.h"

#include <algorithm>
#include <array>
#include <new>
#include <numeric>
#include <stdexcept>
#include <vector>

void CImageFilter::ApplyInPlace(CImageBitmap& bitmap) {
    CMemoryBitmap temp;
    Apply(bitmap, temp);
    bitmap.ConvertFrom(temp, 0);
}

namespace {

const char kNoWorkingMemory[] = "Out of memory.";

// The colour space is cut into 32 x 32 x 32 cells by the top five bits of red, green and
// blue; a cell's index is red << 10 | green << 5 | blue.
constexpr int kCells = 32 * 32 * 32;
constexpr int kEntries = 256;
constexpr int kCorners = 8;
constexpr uint32_t kOpaqueBlack = 0xFF000000u;

int CellOf(int r, int g, int b) {
    return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
}

// A cell's representative colour, one channel: its 5-bit level spread over 0 .. 255, so
// that a palette entry made from a single cell reproduces that cell exactly.
int CellLevel(int level5) {
    return level5 * 255 / 31;
}

uint32_t Opaque(int r, int g, int b) {
    return kOpaqueBlack | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

int Clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

template <class T> std::vector<T> WorkBuffer(size_t size, T value) {
    try {
        return std::vector<T>(size, value);
    } catch (const std::bad_alloc&) {
        throw CTextException(10, kNoWorkingMemory);
    } catch (const std::length_error&) {
        throw CTextException(10, kNoWorkingMemory);
    }
}

// Opens an access bracket on a bitmap and closes it on every way out.
class CAccess {
public:
    CAccess(const CImageBitmap& bitmap, bool read, bool write)
        : m_bitmap(const_cast<CImageBitmap&>(bitmap)) {
        m_bitmap.BeginAccess(read, write);
    }
    ~CAccess() { m_bitmap.EndAccess(); }
    CAccess(const CAccess&) = delete;
    CAccess& operator=(const CAccess&) = delete;

private:
    CImageBitmap& m_bitmap;
};

// Pixels per cell; a count stops at 65535 rather than wrapping.
std::vector<uint16_t> BuildHistogram(const CImageBitmap& source) {
    std::vector<uint16_t> histogram = WorkBuffer<uint16_t>(kCells, 0);
    CAccess access(source, true, false);
    const uint8_t* const* lines = source.GetLines();
    for (int y = 0; y < source.GetHeight(); ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(lines[y]);
        for (int x = 0; x < source.GetWidth(); ++x) {
            const uint32_t p = row[x];
            uint16_t& count = histogram[(p >> 9 & 0x7C00) | (p >> 6 & 0x03E0) | (p >> 3 & 0x1F)];
            if (count != 0xFFFF)
                ++count;
        }
    }
    return histogram;
}

// Black, blue, green, cyan, red, magenta, yellow, white: entry i has red from bit 2, green
// from bit 1 and blue from bit 0. Keeping the extremes guarantees that saturated colours
// never drift towards the picture's dominant hues.
void PutCorners(uint32_t* palette) {
    for (int i = 0; i < kCorners; ++i)
        palette[i] = Opaque(i & 4 ? 255 : 0, i & 2 ? 255 : 0, i & 1 ? 255 : 0);
}

// A box of cells, bounds inclusive in 5-bit levels (0 red, 1 green, 2 blue), always shrunk
// to the cells it actually holds.
struct CBox {
    std::array<int, 3> low{};
    std::array<int, 3> high{};
    uint64_t count = 0;
    std::array<uint64_t, 3> levelSum{}; // sum of level x count per channel

    bool Splittable() const { return low != high; }
};

// Recounts a box and shrinks it to its occupied cells.
void Measure(CBox& box, const std::vector<uint16_t>& histogram) {
    std::array<int, 3> low{31, 31, 31}, high{0, 0, 0};
    std::array<uint64_t, 3> sum{};
    uint64_t count = 0;
    for (int r = box.low[0]; r <= box.high[0]; ++r)
        for (int g = box.low[1]; g <= box.high[1]; ++g) {
            const uint16_t* cell = &histogram[size_t(r << 10 | g << 5)];
            for (int b = box.low[2]; b <= box.high[2]; ++b) {
                const uint64_t n = cell[b];
                if (!n)
                    continue;
                count += n;
                sum[0] += n * uint64_t(r);
                sum[1] += n * uint64_t(g);
                sum[2] += n * uint64_t(b);
                const int level[3] = {r, g, b};
                for (int c = 0; c < 3; ++c) {
                    low[c] = std::min(low[c], level[c]);
                    high[c] = std::max(high[c], level[c]);
                }
            }
        }
    box.count = count;
    box.levelSum = sum;
    if (count) {
        box.low = low;
        box.high = high;
    }
}

// Median cut: the eight corners, then one entry per box. The most populous box that still
// spans more than one cell is split across its widest channel at its count-weighted mean
// until the palette is full or no box holding two or more pixels can be split. Entries
// left over stay opaque black (the first black wins every tie, so they are never chosen).
void MedianCutPalette(const std::vector<uint16_t>& histogram, uint32_t* palette) {
    PutCorners(palette);
    std::vector<CBox> boxes;
    boxes.reserve(kEntries - kCorners);
    CBox all;
    all.high = {31, 31, 31};
    Measure(all, histogram);
    if (all.count)
        boxes.push_back(all);

    while (int(boxes.size()) < kEntries - kCorners) {
        CBox* largest = nullptr;
        for (CBox& box : boxes)
            if (box.Splittable() && (!largest || box.count > largest->count))
                largest = &box;
        if (!largest || largest->count < 2)
            break;
        int channel = 0;
        for (int c = 1; c < 3; ++c)
            if (largest->high[c] - largest->low[c] > largest->high[channel] - largest->low[channel])
                channel = c;
        // The box is shrunk to its cells, so both ends of the widest channel are occupied
        // and the mean lies strictly inside; the clamp only guards that invariant.
        const int mean = int(largest->levelSum[channel] / largest->count);
        const int cut = std::clamp(mean, largest->low[channel], largest->high[channel] - 1);
        CBox upper = *largest;
        upper.low[channel] = cut + 1;
        largest->high[channel] = cut;
        Measure(*largest, histogram);
        Measure(upper, histogram);
        boxes.push_back(upper);
    }

    for (size_t i = 0; i < boxes.size(); ++i) {
        const CBox& box = boxes[i];
        palette[kCorners + i] =
            Opaque((box.low[0] + box.high[0]) * 255 / 62, (box.low[1] + box.high[1]) * 255 / 62,
                   (box.low[2] + box.high[2]) * 255 / 62);
    }
}

// The eight corners, then the most frequent occupied cells, the lower cell index first
// among equal counts. Entries left over stay opaque black.
void PopularPalette(const std::vector<uint16_t>& histogram, uint32_t* palette) {
    PutCorners(palette);
    std::vector<int> cells = WorkBuffer<int>(kCells, 0);
    std::iota(cells.begin(), cells.end(), 0);
    const size_t wanted = kEntries - kCorners;
    std::partial_sort(cells.begin(), cells.begin() + wanted, cells.end(), [&](int a, int b) {
        return histogram[size_t(a)] != histogram[size_t(b)]
                   ? histogram[size_t(a)] > histogram[size_t(b)]
                   : a < b;
    });
    for (size_t i = 0; i < wanted && histogram[size_t(cells[i])]; ++i) {
        const int cell = cells[i];
        palette[kCorners + i] =
            Opaque(CellLevel(cell >> 10), CellLevel(cell >> 5 & 31), CellLevel(cell & 31));
    }
}

// The fixed palette: a 6 x 7 x 6 colour cube (red and blue 0, 51, .. 255; green, to which
// the eye is most sensitive, in seven steps 0, 42, 85, 127, 170, 212, 255) at entry
// r x 42 + g x 6 + b, then the greys 51, 102, 153 and 204, which the cube lacks and which
// complete an even six-step grey ramp with its black and white.
void FixedPalette(uint32_t* palette) {
    int i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b)
                palette[i++] = Opaque(r * 51, g * 255 / 6, b * 51);
    for (int grey = 51; grey <= 204; grey += 51)
        palette[i++] = Opaque(grey, grey, grey);
}

// Nearest palette entry per cell, found once and then remembered.
class CNearestEntry {
public:
    explicit CNearestEntry(const uint32_t* palette) : m_cache(WorkBuffer<int16_t>(kCells, -1)) {
        for (int i = 0; i < kEntries; ++i) {
            m_red[i] = int(palette[i] >> 16 & 0xFF);
            m_green[i] = int(palette[i] >> 8 & 0xFF);
            m_blue[i] = int(palette[i] & 0xFF);
        }
    }

    uint8_t operator()(int cell) {
        int16_t& entry = m_cache[size_t(cell)];
        if (entry < 0)
            entry = Search(cell);
        return uint8_t(entry);
    }

    int Red(int i) const { return m_red[i]; }
    int Green(int i) const { return m_green[i]; }
    int Blue(int i) const { return m_blue[i]; }

private:
    int16_t Search(int cell) const {
        const int r = CellLevel(cell >> 10), g = CellLevel(cell >> 5 & 31),
                  b = CellLevel(cell & 31);
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < kEntries; ++i) {
            const int dr = r - m_red[i], dg = g - m_green[i], db = b - m_blue[i];
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) { // strictly less: the first entry wins a tie
                bestDistance = distance;
                best = i;
            }
        }
        return int16_t(best);
    }

    std::vector<int16_t> m_cache;
    int m_red[kEntries];
    int m_green[kEntries];
    int m_blue[kEntries];
};

// Row = y mod 4, column = x mod 4; twice the value is added to every channel.
constexpr int kOrderedDither[4][4] = {
    {-7, 1, -5, 3}, {5, -3, 7, -1}, {-4, 4, -6, 2}, {8, 0, 6, -2}};

} // namespace

void CQuantizeFilter::Apply(const CImageBitmap& source, CImageBitmap& target) {
    if (&source == &target) {
        ApplyInPlace(target);
        return;
    }
    if (source.GetBitsPerPixel() != 32) {
        // Reading any other depth as 32-bit words would run past its rows.
        CMemoryBitmap wide;
        wide.ConvertFrom(source, 32);
        Apply(wide, target);
        return;
    }

    const int width = source.GetWidth();
    const int height = source.GetHeight();
    target.Create(width, height, 8, false);
    uint32_t* palette = target.GetPalette();
    std::fill(palette, palette + kEntries, kOpaqueBlack);
    switch (m_quantizeMode) {
    case 0:
        MedianCutPalette(BuildHistogram(source), palette);
        break;
    case 1:
        PopularPalette(BuildHistogram(source), palette);
        break;
    default: // 2, and any unknown mode: the fixed table needs no look at the picture
        FixedPalette(palette);
        break;
    }

    CNearestEntry nearest(palette);
    // Error diffusion carries, per channel, the error owed to this row and the next, in
    // sixteenths, with a spare pixel at either end so the edges need no tests.
    std::vector<int> thisRow, nextRow;
    if (m_ditherMode == 2) {
        thisRow = WorkBuffer<int>((size_t(width) + 2) * 3, 0);
        nextRow = WorkBuffer<int>((size_t(width) + 2) * 3, 0);
    }

    CAccess reading(source, true, false);
    CAccess writing(target, false, true);
    const uint8_t* const* in = source.GetLines();
    uint8_t** out = target.GetLines();
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = reinterpret_cast<const uint32_t*>(in[y]);
        uint8_t* dst = out[y];
        switch (m_ditherMode) {
        case 1: {
            const int* dither = kOrderedDither[y & 3];
            for (int x = 0; x < width; ++x) {
                const uint32_t p = src[x];
                const int d = 2 * dither[x & 3];
                dst[x] =
                    nearest(CellOf(Clamp255(int(p >> 16 & 0xFF) + d),
                                   Clamp255(int(p >> 8 & 0xFF) + d), Clamp255(int(p & 0xFF) + d)));
            }
            break;
        }
        case 2: {
            std::fill(nextRow.begin(), nextRow.end(), 0);
            for (int x = 0; x < width; ++x) {
                const uint32_t p = src[x];
                int* owed = &thisRow[size_t(x + 1) * 3];
                // Round the owed sixteenths to the nearest whole step.
                const int r = Clamp255(int(p >> 16 & 0xFF) + ((owed[0] + 8) >> 4));
                const int g = Clamp255(int(p >> 8 & 0xFF) + ((owed[1] + 8) >> 4));
                const int b = Clamp255(int(p & 0xFF) + ((owed[2] + 8) >> 4));
                const uint8_t entry = nearest(CellOf(r, g, b));
                dst[x] = entry;
                const int error[3] = {r - nearest.Red(entry), g - nearest.Green(entry),
                                      b - nearest.Blue(entry)};
                int* below = &nextRow[size_t(x + 1) * 3];
                for (int c = 0; c < 3; ++c) {
                    owed[3 + c] += error[c] * 7;
                    below[c - 3] += error[c] * 3;
                    below[c] += error[c] * 5;
                    below[c + 3] += error[c];
                }
            }
            thisRow.swap(nextRow);
            break;
        }
        default:
            for (int x = 0; x < width; ++x) {
                const uint32_t p = src[x];
                dst[x] = nearest(int(p >> 9 & 0x7C00) | int(p >> 6 & 0x03E0) | int(p >> 3 & 0x1F));
            }
            break;
        }
    }
}
