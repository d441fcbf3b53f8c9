// Compositing, preparation and conversion against a memcpy of the same rows, measured in
// the same run so the ratios hold on any machine.
#include "core/stampcompositing.h"
#include "core/stamppreparation.h"
#include "imagelib/dibbitmap.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

constexpr int kStamp = 1000;
constexpr int kPictureW = 4000, kPictureH = 3000;

void FillPattern(CImageBitmap& bmp, bool varyAlpha) {
    for (int y = 0; y < bmp.GetHeight(); ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(bmp.GetLines()[y]);
        for (int x = 0; x < bmp.GetWidth(); ++x) {
            const uint32_t alpha = varyAlpha ? uint32_t((x * 7 + y * 3) & 0xFF) : 0xFFu;
            row[x] = alpha << 24 | uint32_t(x * 2654435761u ^ y) >> 8;
        }
    }
}

struct Scene {
    CDIBSectionBitmap stamp, picture;
    CStampPlacement placement;
    Scene() {
        stamp.Create(kStamp, kStamp, 32, true);
        picture.Create(kPictureW, kPictureH, 32, false);
        FillPattern(stamp, true);
        FillPattern(picture, false);
        placement = ComputeStampPlacement(stamp, picture, 1, 1, 0, 0);
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_MemcpyStampRows(benchmark::State& state) {
    Scene& s = TheScene();
    const CStampPlacement& p = s.placement;
    for (auto _ : state) {
        for (int r = 0; r < p.height; ++r)
            std::memcpy(s.picture.GetLines()[p.targetY + r] + 4 * p.targetX,
                        s.stamp.GetLines()[p.sourceY + r] + 4 * p.sourceX, size_t(4) * p.width);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(4) * p.width * p.height);
}
BENCHMARK(BM_MemcpyStampRows)->Unit(benchmark::kMicrosecond);

void BM_CopyStampPixels(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        CopyStampPixels(s.stamp, s.picture, s.placement);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(4) * kStamp * kStamp);
}
BENCHMARK(BM_CopyStampPixels)->Unit(benchmark::kMicrosecond);

void BM_BlendStampPixels(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        BlendStampPixels(s.stamp, s.picture, s.placement);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(4) * kStamp * kStamp);
}
BENCHMARK(BM_BlendStampPixels)->Unit(benchmark::kMicrosecond);

// state.range(0): 1 grows the edge outward, 0 fades it inward.
void BM_FeatherAlpha10Passes(benchmark::State& state) {
    const bool grow = state.range(0) != 0;
    CDIBSectionBitmap stamp;
    stamp.Create(kStamp, kStamp, 32, true);
    for (int y = 0; y < kStamp; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(stamp.GetLines()[y]);
        for (int x = 0; x < kStamp; ++x) // a disc on a keyed-out background
            row[x] = (x - 500) * (x - 500) + (y - 500) * (y - 500) < 400 * 400 ? 0xFF336699u
                                                                               : 0xFF00FF00u;
    }
    for (auto _ : state) {
        ApplyKeyColour(stamp, MakeKeyColour(0, 255, 0, true), 10, 0, 255, grow);
        FeatherAlpha(stamp, 255, 10, grow);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FeatherAlpha10Passes)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Memcpy8BitPicture(benchmark::State& state) {
    CDIBBitmap source, target;
    source.Create(kPictureW, kPictureH, 8, false);
    target.Create(kPictureW, kPictureH, 32, false);
    for (auto _ : state) {
        for (int y = 0; y < kPictureH; ++y)
            std::memcpy(target.GetLines()[y], source.GetLines()[y], kPictureW);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Memcpy8BitPicture)->Unit(benchmark::kMillisecond);

void BM_ConvertFrom8To32(benchmark::State& state) {
    CDIBBitmap source;
    source.Create(kPictureW, kPictureH, 8, false);
    for (int y = 0; y < kPictureH; ++y)
        for (int x = 0; x < kPictureW; ++x)
            source.GetLines()[y][x] = uint8_t(x ^ y);
    CDIBSectionBitmap target;
    for (auto _ : state) {
        target.ConvertFrom(source, 32);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ConvertFrom8To32)->Unit(benchmark::kMillisecond);

} // namespace

// One line of text at 200 px em laid out and drawn: what a text with placeholders costs
// per file. The first drawing also loads the fonts; the loop measures the rest.
#include "core/textrender.h"
#include "imagelib/bitmap.h"

namespace {

void BM_TextLine200(benchmark::State& state) {
    const CTextBlock block{"\u00a9 2026 Jane Doe \u00b7 IMG_0042", {}, 200, 2};
    const bool shadow = state.range(0) != 0;
    CMemoryBitmap stamp;
    RenderTextStamp(block, {255, 255, 255, shadow}, stamp);
    for (auto _ : state) {
        RenderTextStamp(block, {255, 255, 255, shadow}, stamp);
        benchmark::DoNotOptimize(stamp.GetLines()[0]);
    }
    state.SetLabel(std::to_string(stamp.GetWidth()) + " x " + std::to_string(stamp.GetHeight()) +
                   (shadow ? " with shadow" : " without shadow"));
}
BENCHMARK(BM_TextLine200)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
