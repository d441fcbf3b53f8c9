// JPEG decode and encode of a 12-megapixel picture through our classes, next to libjpeg
// called directly with the same settings (float DCT, no fancy upsampling, quality 75,
// 4-byte BGR rows), measured in the same run so the ratios hold on any machine.
#include "imagelib/dibbitmap.h"
#include "imagelib/imagesink.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

namespace {

constexpr int kWidth = 4000, kHeight = 3000, kQuality = 75;

// Smooth shapes with a little grain, so the file compresses like a photograph.
void FillPhotoLike(CImageBitmap& bitmap) {
    uint32_t grain = 12345;
    for (int y = 0; y < bitmap.GetHeight(); ++y) {
        uint8_t* p = bitmap.GetLines()[y];
        for (int x = 0; x < bitmap.GetWidth(); ++x, p += 4) {
            grain = grain * 1664525u + 1013904223u;
            const int noise = int(grain >> 29) - 4;
            const double wave = std::sin(x * 0.003) * std::cos(y * 0.004);
            p[0] = uint8_t(std::clamp(int(128 + 100 * wave) + noise, 0, 255));
            p[1] = uint8_t(std::clamp(x * 255 / kWidth + noise, 0, 255));
            p[2] = uint8_t(std::clamp(y * 255 / kHeight + noise, 0, 255));
            p[3] = 255;
        }
    }
}

class CBufferSink : public CImageSink {
public:
    explicit CBufferSink(int capacity)
        : m_storage(static_cast<uint8_t*>(std::calloc(size_t(capacity), 1)), std::free) {
        OpenCommon("bench", m_storage.get(), capacity);
    }

private:
    std::unique_ptr<uint8_t, void (*)(void*)> m_storage;
};

struct Scene {
    CDIBSectionBitmap picture;
    std::vector<uint8_t> jpeg;
    Scene() {
        picture.Create(kWidth, kHeight, 32, false);
        FillPhotoLike(picture);
        CJpegEncoder encoder;
        encoder.SetQuality(kQuality);
        CBufferSink sink(encoder.GetSinkCapacity(picture));
        encoder.Encode(picture, sink);
        jpeg.assign(sink.GetBuffer(), sink.GetBuffer() + sink.GetPosition());
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// ---- decode

void BM_JpegDecode_Ours(benchmark::State& state) {
    Scene& s = TheScene();
    CJpegDecoder decoder;
    for (auto _ : state) {
        CDIBSectionBitmap bitmap; // the application's kind, bottom-up rows
        decoder.DecodeMemory(s.jpeg.data(), int(s.jpeg.size()), bitmap, 32);
        benchmark::DoNotOptimize(bitmap.GetLines()[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.counters["file_bytes"] = double(s.jpeg.size());
}
BENCHMARK(BM_JpegDecode_Ours)->Unit(benchmark::kMillisecond);

// The same picture from a file (in the page cache), as the batch reads its inputs: the
// file is read into memory whole before decoding. Next to BM_JpegDecode_Ours, which
// decodes in place, it shows what the read costs.
void BM_JpegDecodeFile_Ours(benchmark::State& state) {
    Scene& s = TheScene();
    char path[] = "/tmp/qm_bench_decodeXXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, s.jpeg.data(), s.jpeg.size()) != ssize_t(s.jpeg.size())) {
        state.SkipWithError("cannot write the input file");
        return;
    }
    ::close(fd);
    CJpegDecoder decoder;
    for (auto _ : state) {
        CDIBSectionBitmap bitmap;
        decoder.DecodeFile(path, bitmap, 32);
        benchmark::DoNotOptimize(bitmap.GetLines()[0][0]);
    }
    ::unlink(path);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegDecodeFile_Ours)->Unit(benchmark::kMillisecond);

void BM_JpegDecode_Libjpeg(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, s.jpeg.data(), s.jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.dct_method = JDCT_FLOAT;
        cinfo.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&cinfo);
        const size_t stride = size_t(cinfo.output_width) * 4;
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * cinfo.output_height]);
        std::vector<JSAMPROW> rows(cinfo.output_height);
        for (JDIMENSION y = 0; y < cinfo.output_height; ++y)
            rows[y] = pixels.get() + stride * (cinfo.output_height - 1 - y); // bottom-up
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows.data() + cinfo.output_scanline,
                                cinfo.output_height - cinfo.output_scanline);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels[0]);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegDecode_Libjpeg)->Unit(benchmark::kMillisecond);

// ---- encode

void BM_JpegEncode_Ours(benchmark::State& state) {
    Scene& s = TheScene();
    CJpegEncoder encoder;
    encoder.SetQuality(kQuality);
    for (auto _ : state) {
        CBufferSink sink(encoder.GetSinkCapacity(s.picture)); // as the file front end sizes it
        encoder.Encode(s.picture, sink);
        benchmark::DoNotOptimize(sink.GetPosition());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegEncode_Ours)->Unit(benchmark::kMillisecond);

void BM_JpegEncode_Libjpeg(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&cinfo);
        cinfo.dct_method = JDCT_FLOAT;
        jpeg_set_quality(&cinfo, kQuality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        uint8_t** lines = s.picture.GetLines();
        while (cinfo.next_scanline < cinfo.image_height)
            jpeg_write_scanlines(&cinfo, lines + cinfo.next_scanline,
                                 cinfo.image_height - cinfo.next_scanline);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(size);
        std::free(out);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_JpegEncode_Libjpeg)->Unit(benchmark::kMillisecond);

} // namespace
