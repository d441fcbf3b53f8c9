#include "imagelib/resample.h"

#include "imagelib/bitmap.h"
#include "imagelib/textexception.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QM_RESAMPLE_X86 1
#endif

namespace {

// Weights in fixed point: 14 fraction bits leave room for the negative lobes and for two
// products of 255 in a 16-bit multiply-add.
constexpr int kShift = 14;
constexpr int kOne = 1 << kShift;
constexpr int kRound = 1 << (kShift - 1);
// Rows carry this many spare bytes, so the vector kernels may read and write whole vectors
// past a row's last pixel.
constexpr size_t kRowSlack = 64;

std::atomic<bool> g_vectorUnits{true};

int64_t RoundedRatio(int64_t a, int64_t b) {
    return (2 * a + b) / (2 * b);
}

double Sinc(double x) {
    if (x == 0.0)
        return 1.0;
    x *= M_PI;
    return std::sin(x) / x;
}

double Lanczos3(double x) {
    return x > -3.0 && x < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
}

// The taps of one direction: for each output position the first input position, and
// `taps` weights (zero past the window's real length).
struct CTaps {
    int taps = 0;
    std::vector<int> start;
    std::vector<int16_t> weights; // taps per output
};

CTaps ComputeTaps(int inSize, int outSize, int multiple) {
    const double scale = double(inSize) / double(outSize);
    const double filterScale = std::max(scale, 1.0);
    const double support = 3.0 * filterScale;
    CTaps result;
    int widest = 1;
    std::vector<std::pair<int, std::vector<double>>> windows{size_t(outSize)};
    for (int out = 0; out < outSize; ++out) {
        const double centre = (out + 0.5) * scale;
        const int first = std::max(int(centre - support + 0.5), 0);
        const int last = std::min(int(centre + support + 0.5), inSize);
        std::vector<double> w;
        double sum = 0;
        for (int x = first; x < last; ++x) {
            w.push_back(Lanczos3((x - centre + 0.5) / filterScale));
            sum += w.back();
        }
        if (w.empty() || sum == 0.0) {
            // Cannot happen for sane sizes; the nearest pixel is the safe answer.
            w.assign(1, 1.0);
            sum = 1.0;
        }
        for (double& v : w)
            v /= sum;
        widest = std::max(widest, int(w.size()));
        windows[size_t(out)] = {first, std::move(w)};
    }
    result.taps = (widest + multiple - 1) / multiple * multiple;
    result.start.resize(size_t(outSize));
    result.weights.assign(size_t(outSize) * size_t(result.taps), 0);
    for (int out = 0; out < outSize; ++out) {
        const auto& [windowStart, w] = windows[size_t(out)];
        // A window near the far edge starts earlier, with zero weights in front, so that the
        // kernels never read past the last input position.
        const int shift = std::clamp(windowStart + result.taps - inSize, 0, windowStart);
        const int first = windowStart - shift;
        int16_t* fixed = &result.weights[size_t(out) * size_t(result.taps)] + shift;
        // Rounded one by one, then the rounding error goes to the largest weight so that a
        // flat area stays exactly flat.
        int total = 0;
        size_t largest = 0;
        for (size_t k = 0; k < w.size(); ++k) {
            fixed[k] = int16_t(std::lround(w[k] * kOne));
            total += fixed[k];
            if (w[k] > w[largest])
                largest = k;
        }
        fixed[largest] = int16_t(fixed[largest] + kOne - total);
        result.start[size_t(out)] = first;
    }
    return result;
}

uint8_t Clamp(int value) {
    value = (value + kRound) >> kShift;
    return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

// ---- Plain kernels

void VerticalPlain(const uint8_t* const* rows, const int16_t* weights, int taps, size_t bytes,
                   uint8_t* out) {
    for (size_t x = 0; x < bytes; ++x) {
        int sum = 0;
        for (int k = 0; k < taps; ++k)
            sum += weights[k] * rows[k][x];
        out[x] = Clamp(sum);
    }
}

void HorizontalPlain(const uint8_t* in, const CTaps& taps, int outWidth, uint8_t* out) {
    for (int x = 0; x < outWidth; ++x) {
        const uint8_t* p = in + 4 * size_t(taps.start[size_t(x)]);
        const int16_t* w = &taps.weights[size_t(x) * size_t(taps.taps)];
        int b = 0, g = 0, r = 0, a = 0;
        for (int k = 0; k < taps.taps; ++k, p += 4) {
            b += w[k] * p[0];
            g += w[k] * p[1];
            r += w[k] * p[2];
            a += w[k] * p[3];
        }
        out[4 * x + 0] = Clamp(b);
        out[4 * x + 1] = Clamp(g);
        out[4 * x + 2] = Clamp(r);
        out[4 * x + 3] = Clamp(a);
    }
}

#if QM_RESAMPLE_X86
// ---- AVX2 kernels

// Two rows a step, 32 bytes at a time: bytes widened to 16 bits, the two rows' values
// interleaved so that one multiply-add applies both weights.
__attribute__((target("avx2"))) void VerticalAvx2(const uint8_t* const* rows,
                                                  const int16_t* weights, int taps, size_t bytes,
                                                  uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i round = _mm256_set1_epi32(kRound);
    for (size_t x = 0; x < bytes; x += 32) {
        __m256i acc0 = round, acc1 = round, acc2 = round, acc3 = round;
        for (int k = 0; k < taps; k += 2) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + x));
            const __m256i w = _mm256_set1_epi32(int(uint16_t(weights[k])) |
                                                (int(uint16_t(weights[k + 1])) << 16));
            const __m256i aLo = _mm256_unpacklo_epi8(a, zero);
            const __m256i aHi = _mm256_unpackhi_epi8(a, zero);
            const __m256i bLo = _mm256_unpacklo_epi8(b, zero);
            const __m256i bHi = _mm256_unpackhi_epi8(b, zero);
            acc0 = _mm256_add_epi32(acc0, _mm256_madd_epi16(_mm256_unpacklo_epi16(aLo, bLo), w));
            acc1 = _mm256_add_epi32(acc1, _mm256_madd_epi16(_mm256_unpackhi_epi16(aLo, bLo), w));
            acc2 = _mm256_add_epi32(acc2, _mm256_madd_epi16(_mm256_unpacklo_epi16(aHi, bHi), w));
            acc3 = _mm256_add_epi32(acc3, _mm256_madd_epi16(_mm256_unpackhi_epi16(aHi, bHi), w));
        }
        acc0 = _mm256_srai_epi32(acc0, kShift);
        acc1 = _mm256_srai_epi32(acc1, kShift);
        acc2 = _mm256_srai_epi32(acc2, kShift);
        acc3 = _mm256_srai_epi32(acc3, kShift);
        const __m256i lo = _mm256_packs_epi32(acc0, acc1);
        const __m256i hi = _mm256_packs_epi32(acc2, acc3);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(lo, hi));
    }
}

// Four taps a step: the four pixels' bytes regrouped channel by channel in pairs, widened,
// and multiplied-added with the weights laid out to match (see VectorWeights).
__attribute__((target("avx2"))) void HorizontalAvx2(const uint8_t* in, const CTaps& taps,
                                                    const int16_t* vectorWeights, int outWidth,
                                                    uint8_t* out) {
    const __m128i order = _mm_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m128i round = _mm_set1_epi32(kRound);
    const int groups = taps.taps / 4;
    for (int x = 0; x < outWidth; ++x) {
        const uint8_t* p = in + 4 * size_t(taps.start[size_t(x)]);
        const int16_t* w = vectorWeights + size_t(x) * size_t(groups) * 16;
        __m256i acc = _mm256_setzero_si256();
        for (int g = 0; g < groups; ++g, p += 16, w += 16) {
            const __m128i pixels =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), order);
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(_mm256_cvtepu8_epi16(pixels),
                                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w))));
        }
        __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        sum = _mm_srai_epi32(_mm_add_epi32(sum, round), kShift);
        sum = _mm_packs_epi32(sum, sum);
        sum = _mm_packus_epi16(sum, sum);
        const int pixel = _mm_cvtsi128_si32(sum);
        std::memcpy(out + 4 * size_t(x), &pixel, 4);
    }
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#else
bool HaveAvx2() {
    return false;
}
#endif

// The horizontal weights as the vector kernel reads them: per group of four taps
// w0 w1 w0 w1 w0 w1 w0 w1 w2 w3 w2 w3 w2 w3 w2 w3.
std::vector<int16_t> VectorWeights(const CTaps& taps, int outWidth) {
    const int groups = taps.taps / 4;
    std::vector<int16_t> result(size_t(outWidth) * size_t(groups) * 16);
    for (int x = 0; x < outWidth; ++x) {
        const int16_t* w = &taps.weights[size_t(x) * size_t(taps.taps)];
        int16_t* v = &result[size_t(x) * size_t(groups) * 16];
        for (int g = 0; g < groups; ++g, w += 4, v += 16)
            for (int i = 0; i < 4; ++i) {
                v[2 * i] = w[0];
                v[2 * i + 1] = w[1];
                v[8 + 2 * i] = w[2];
                v[8 + 2 * i + 1] = w[3];
            }
    }
    return result;
}

struct CRowBlock {
    std::unique_ptr<uint8_t[]> bytes;
    size_t stride = 0;
    uint8_t* Row(size_t i) { return bytes.get() + i * stride; }
};

CRowBlock MakeRows(size_t count, size_t rowBytes) {
    CRowBlock block;
    block.stride = (rowBytes + kRowSlack + 31) / 32 * 32;
    try {
        block.bytes.reset(new uint8_t[block.stride * count]());
    } catch (const std::bad_alloc&) {
        throw CTextException(10, "Out of memory creating bitmap.");
    }
    return block;
}

void Premultiply(uint8_t* row, int width) {
    for (int x = 0; x < width; ++x, row += 4) {
        const unsigned a = row[3];
        if (a == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            row[c] = uint8_t((row[c] * a + 127) / 255);
    }
}

void Unpremultiply(uint8_t* row, int width) {
    for (int x = 0; x < width; ++x, row += 4) {
        const unsigned a = row[3];
        if (a == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            row[c] = a == 0 ? 0 : uint8_t(std::min(255u, (row[c] * 255u + a / 2) / a));
    }
}

} // namespace

void SetResampleVectorUnits(bool use) {
    g_vectorUnits = use;
}

CPixelSize ResizedSize(CPixelSize picture, const CResizeRule& rule) {
    const int64_t w = picture.width, h = picture.height;
    if (w <= 0 || h <= 0 || rule.value <= 0)
        return picture;
    // The side the rule names and the length it asks for it, or percent of both.
    int64_t side = 0, wanted = 0;
    switch (rule.mode) {
    case kResizeLong:
        side = std::max(w, h);
        wanted = rule.value;
        break;
    case kResizeShort:
        side = std::min(w, h);
        wanted = rule.value;
        break;
    case kResizeWidth:
        side = w;
        wanted = rule.value;
        break;
    case kResizeHeight:
        side = h;
        wanted = rule.value;
        break;
    case kResizePercent:
        side = 100;
        wanted = rule.value;
        break;
    default:
        return picture;
    }
    if (rule.mode != kResizePercent && rule.value > kMaxResizePixels)
        return picture;
    if (rule.mode == kResizePercent && rule.value > kMaxResizePercent)
        return picture;
    if (wanted > side && !rule.enlarge)
        return picture;
    CPixelSize result{int32_t(std::max<int64_t>(1, RoundedRatio(w * wanted, side))),
                      int32_t(std::max<int64_t>(1, RoundedRatio(h * wanted, side)))};
    // The named side is exactly the value asked for, whatever the rounding of the other.
    if (rule.mode == kResizeWidth || (rule.mode == kResizeLong && w >= h) ||
        (rule.mode == kResizeShort && w < h))
        result.width = int32_t(wanted);
    else if (rule.mode != kResizePercent)
        result.height = int32_t(wanted);
    // Past the largest picture a bitmap may hold, nothing is enlarged.
    if (int64_t(result.width) * result.height > CImageBitmap::kMaxPixels)
        return picture;
    return result;
}

CPixelSize ResizedStoredSize(CPixelSize stored, int orientation, const CResizeRule& rule) {
    const bool swaps = orientation >= 5 && orientation <= 8;
    const CPixelSize shown = swaps ? CPixelSize{stored.height, stored.width} : stored;
    const CPixelSize resized = ResizedSize(shown, rule);
    return swaps ? CPixelSize{resized.height, resized.width} : resized;
}

int ResizeReduction(CPixelSize from, CPixelSize to) {
    int factor = 1;
    while (factor < 8) {
        const int next = factor * 2;
        // Strictly more than the output: a picture left to the DCT alone (exactly half, say)
        // is visibly softer than the filter makes it.
        if ((from.width + next - 1) / next <= to.width ||
            (from.height + next - 1) / next <= to.height)
            break;
        factor = next;
    }
    return factor;
}

// ---- CResampler

struct CResampler::CState {
    int inWidth = 0, inHeight = 0, outWidth = 0, outHeight = 0;
    bool alpha = false;
    bool vector = false;
    CImageBitmap* target = nullptr;
    CTaps vertical, horizontal;
    std::vector<int16_t> horizontalVector;
    bool sameHeight = false, sameWidth = false;
    // The last input rows, as many as the vertical filter reaches over.
    CRowBlock ring;
    int ringRows = 0;
    CRowBlock work; // one row filtered vertically, before the horizontal pass
    int rowsIn = 0;
    int nextOut = 0;
    std::vector<const uint8_t*> taps;

    void Produce(int out);
};

CResampler::CResampler(int inWidth, int inHeight, CImageBitmap& target, bool alpha)
    : m_state(std::make_unique<CState>()) {
    CState& s = *m_state;
    s.inWidth = inWidth;
    s.inHeight = inHeight;
    s.outWidth = target.GetWidth();
    s.outHeight = target.GetHeight();
    s.alpha = alpha;
    s.target = &target;
    s.vector = g_vectorUnits && HaveAvx2();
    s.sameWidth = s.inWidth == s.outWidth;
    s.sameHeight = s.inHeight == s.outHeight;
    if (!s.sameHeight)
        s.vertical = ComputeTaps(inHeight, s.outHeight, 2);
    if (!s.sameWidth) {
        s.horizontal = ComputeTaps(inWidth, s.outWidth, 4);
        if (s.vector)
            s.horizontalVector = VectorWeights(s.horizontal, s.outWidth);
    }
    s.ringRows = s.sameHeight ? 1 : s.vertical.taps;
    const size_t rowBytes = 4 * size_t(inWidth);
    // A picture narrower than the horizontal window is read past its end (with weight zero).
    const size_t readBytes = rowBytes + 4 * size_t(s.horizontal.taps);
    s.ring = MakeRows(size_t(s.ringRows), readBytes);
    s.work = MakeRows(1, readBytes);
    s.taps.resize(size_t(s.sameHeight ? 1 : s.vertical.taps));
}

CResampler::~CResampler() = default;

uint8_t* CResampler::NextRow() {
    CState& s = *m_state;
    return s.ring.Row(size_t(s.rowsIn % s.ringRows));
}

int CResampler::RowsLeft() const {
    return m_state->inHeight - m_state->rowsIn;
}

void CResampler::RowWritten() {
    CState& s = *m_state;
    if (s.rowsIn >= s.inHeight)
        return;
    if (s.alpha)
        Premultiply(NextRow(), s.inWidth);
    ++s.rowsIn;
    // Every output row whose window is now complete.
    while (s.nextOut < s.outHeight) {
        const int last =
            s.sameHeight
                ? s.nextOut
                : std::min(s.vertical.start[size_t(s.nextOut)] + s.vertical.taps, s.inHeight) - 1;
        if (last >= s.rowsIn)
            break;
        s.Produce(s.nextOut++);
    }
}

void CResampler::CState::Produce(int out) {
    const size_t rowBytes = 4 * size_t(inWidth);
    const uint8_t* filtered = nullptr;
    if (sameHeight) {
        filtered = ring.Row(size_t(out % ringRows));
    } else {
        const int first = vertical.start[size_t(out)];
        const int16_t* w = &vertical.weights[size_t(out) * size_t(vertical.taps)];
        // Past the picture's last row a tap has weight zero; any row will do for it.
        for (int k = 0; k < vertical.taps; ++k) {
            const int row = std::min(first + k, rowsIn - 1);
            taps[size_t(k)] = ring.Row(size_t(row % ringRows));
        }
        uint8_t* dest = work.Row(0);
        if (vector) {
#if QM_RESAMPLE_X86
            VerticalAvx2(taps.data(), w, vertical.taps, rowBytes, dest);
#endif
        } else {
            VerticalPlain(taps.data(), w, vertical.taps, rowBytes, dest);
        }
        filtered = dest;
    }
    uint8_t* line = target->GetLines()[out];
    if (sameWidth) {
        std::memcpy(line, filtered, rowBytes);
    } else if (vector) {
#if QM_RESAMPLE_X86
        HorizontalAvx2(filtered, horizontal, horizontalVector.data(), outWidth, line);
#endif
    } else {
        HorizontalPlain(filtered, horizontal, outWidth, line);
    }
    if (alpha)
        Unpremultiply(line, outWidth);
}

void ResampleBitmap(const CImageBitmap& source, CImageBitmap& target, int width, int height) {
    if (source.GetBitsPerPixel() != 32)
        throw CTextException(6, "Only 32-bit pictures can be resized.");
    target.Create(width, height, 32, source.HasAlpha());
    if (width <= 0 || height <= 0 || source.GetWidth() <= 0 || source.GetHeight() <= 0)
        return;
    CResampler resampler(source.GetWidth(), source.GetHeight(), target, source.HasAlpha());
    const size_t rowBytes = 4 * size_t(source.GetWidth());
    for (int y = 0; y < source.GetHeight(); ++y) {
        std::memcpy(resampler.NextRow(), source.GetLines()[y], rowBytes);
        resampler.RowWritten();
    }
}
