// BMP decoding and encoding against a memcpy of the same bytes, measured in the same run.
#include "imagelib/bmpdecoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/dibbitmap.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kW = 4000, kH = 3000;

class CVectorSink : public CImageSink {
public:
    explicit CVectorSink(int capacity) : m_storage(size_t(capacity)) {
        OpenCommon("bench", m_storage.data(), capacity);
    }
    void Rewind() { OpenCommon("bench", m_storage.data(), int(m_storage.size())); }
    std::vector<uint8_t> Bytes() const {
        return std::vector<uint8_t>(m_storage.begin(), m_storage.begin() + GetPosition());
    }

private:
    std::vector<uint8_t> m_storage;
};

std::vector<uint8_t> EncodeBmp(const CImageBitmap& bmp) {
    CBmpEncoder encoder;
    CVectorSink sink(encoder.GetSinkCapacity(bmp));
    encoder.Encode(bmp, sink);
    return sink.Bytes();
}

const CDIBSectionBitmap& Picture(int bpp) {
    static CDIBSectionBitmap pictures[2];
    CDIBSectionBitmap& p = pictures[bpp == 8];
    if (p.GetWidth() != kW) {
        p.Create(kW, kH, uint16_t(bpp), false);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t v = uint32_t(x * 2654435761u ^ y * 40503u) >> 8;
                if (bpp == 8)
                    p.GetLines()[y][x] = uint8_t(v);
                else
                    reinterpret_cast<uint32_t*>(p.GetLines()[y])[x] = v | 0xFF000000u;
            }
    }
    return p;
}

// The floor: the file's bytes copied once into a bitmap-sized block.
void BM_MemcpyFile(benchmark::State& state) {
    const std::vector<uint8_t> file = EncodeBmp(Picture(32));
    std::vector<uint8_t> target(file.size());
    for (auto _ : state) {
        std::memcpy(target.data(), file.data(), file.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
}
BENCHMARK(BM_MemcpyFile)->Unit(benchmark::kMillisecond);

// The floor of a decode into a fresh bitmap: creating it and writing every row once.
void BM_CreateAndFill32(benchmark::State& state) {
    CDIBSectionBitmap bmp;
    for (auto _ : state) {
        bmp.Create(kW, kH, 32, false);
        for (int y = 0; y < kH; ++y)
            std::memset(bmp.GetLines()[y], 0x5A, size_t(kW) * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * 3);
}
BENCHMARK(BM_CreateAndFill32)->Unit(benchmark::kMillisecond);

void BM_DecodeBmp(benchmark::State& state) {
    const int fileBpp = int(state.range(0));
    const int request = int(state.range(1));
    const std::vector<uint8_t> file = EncodeBmp(Picture(fileBpp));
    CBmpDecoder decoder;
    CDIBSectionBitmap bmp;
    for (auto _ : state) {
        decoder.DecodeMemory(file.data(), int(file.size()), bmp, request);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(file.size()));
}
// 24-bit file to 32 bits; 8-bit file to 8 and to 32 bits.
BENCHMARK(BM_DecodeBmp)->Args({32, 32})->Args({8, 0})->Args({8, 32})->Unit(benchmark::kMillisecond);

void BM_EncodeBmp24(benchmark::State& state) {
    const CImageBitmap& picture = Picture(32);
    CBmpEncoder encoder;
    CVectorSink sink(encoder.GetSinkCapacity(picture));
    for (auto _ : state) {
        sink.Rewind();
        encoder.Encode(picture, sink);
        benchmark::DoNotOptimize(sink.GetPosition());
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kW) * kH * 3);
}
BENCHMARK(BM_EncodeBmp24)->Unit(benchmark::kMillisecond);

} // namespace
