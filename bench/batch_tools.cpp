// Helpers of bench/batch.sh: makes the inputs, runs the libjpeg baseline, and measures a
// command's wall time and peak memory.
//
//   qm_batch_tools inputs DIR COUNT WIDTH HEIGHT   JPEGs with an EXIF block, quality 90
//   qm_batch_tools stamp FILE WIDTH HEIGHT         a PNG stamp with an alpha channel
//   qm_batch_tools baseline MODE OUTDIR FILE...    decode + re-encode through libjpeg alone:
//                                                  quality 90, markers copied; MODE "library"
//                                                  decodes and encodes as the image library
//                                                  does (float DCT, no fancy upsampling),
//                                                  "default" with libjpeg's defaults
//   qm_batch_tools measure CMD ARG...              runs CMD with its output discarded;
//                                                  prints "seconds peak_kib cpu_seconds"
//   qm_batch_tools walk FILE...                    the lossless path's look at each JPEG
//                                                  (header, and the walk of the scan on one
//                                                  thread), processor time; prints the
//                                                  median "milliseconds" a file

#include "imagelib/bitmap.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/jpeglossless.h"
#include "imagelib/pngencoder.h"

#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// A picture with smooth areas and fine detail, so that it compresses like a photograph
// (about a tenth of its raw size at quality 90), not like a flat colour or like noise.
void PaintPhoto(CImageBitmap& bitmap, int seed) {
    const int width = bitmap.GetWidth();
    uint32_t state = uint32_t(seed) * 2654435761u + 1;
    for (int y = 0; y < bitmap.GetHeight(); ++y) {
        uint8_t* row = bitmap.GetLines()[y];
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int grain = int(state >> 28) - 8;
            const int texture = ((x / 7 + y / 5 + seed) % 9) * 3;
            row[4 * x + 0] = uint8_t(std::clamp(x * 255 / width + grain + texture, 0, 255));
            row[4 * x + 1] = uint8_t(std::clamp(y * 255 / bitmap.GetHeight() + grain, 0, 255));
            row[4 * x + 2] = uint8_t(std::clamp((x + y + seed * 97) % 256 + grain, 0, 255));
            row[4 * x + 3] = 255;
        }
    }
}

std::unique_ptr<CSavedMarker> ExifMarker() {
    // A TIFF header with an empty first directory and filler, as a camera's block would
    // occupy a few kilobytes.
    std::string data("Exif\0\0II*\0\x08\0\0\0\0\0\0\0\0\0", 20);
    data.resize(4096, '\x20');
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = JPEG_APP0 + 1;
    marker->originalLength = marker->dataLength = uint32_t(data.size());
    marker->data = std::make_unique<uint8_t[]>(data.size());
    std::memcpy(marker->data.get(), data.data(), data.size());
    return marker;
}

int MakeInputs(const std::string& dir, int count, int width, int height) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, false);
    CJpegEncoder encoder;
    encoder.SetQuality(90);
    for (int i = 0; i < count; ++i) {
        PaintPhoto(bitmap, i);
        bitmap.SetMarkers(ExifMarker());
        char name[32];
        std::snprintf(name, sizeof name, "/photo%02d.jpg", i);
        encoder.EncodeFile(dir + name, bitmap);
    }
    return 0;
}

int MakeStamp(const std::string& path, int width, int height) {
    CMemoryBitmap stamp;
    stamp.Create(width, height, 32, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = stamp.GetLines()[y] + 4 * x;
            const bool ink = (x / 20 + y / 20) % 2 == 0;
            p[0] = ink ? 255 : 30;
            p[1] = ink ? 255 : 30;
            p[2] = ink ? 255 : 200;
            p[3] = uint8_t(ink ? 220 : x * 255 / width);
        }
    CPngEncoder().EncodeFile(path, stamp);
    return 0;
}

// One libjpeg decompressor and compressor for all files, one picture buffer at a time, as
// a lean tool written straight on the library would do it.
int Baseline(const std::string& mode, const std::string& outDir,
             const std::vector<std::string>& files) {
    const bool library = mode == "library";
    const J_DCT_METHOD method = library ? JDCT_FLOAT : JDCT_ISLOW;
    jpeg_decompress_struct din{};
    jpeg_compress_struct cout{};
    jpeg_error_mgr derr{}, cerr{};
    din.err = jpeg_std_error(&derr);
    cout.err = jpeg_std_error(&cerr);
    jpeg_create_decompress(&din);
    jpeg_create_compress(&cout);
    jpeg_save_markers(&din, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&din, JPEG_APP0 + 13, 0xFFFF);
    jpeg_save_markers(&din, JPEG_COM, 0xFFFF);
    for (const std::string& file : files) {
        FILE* in = std::fopen(file.c_str(), "rb");
        if (!in)
            return 1;
        jpeg_stdio_src(&din, in);
        jpeg_read_header(&din, TRUE);
        din.out_color_space = JCS_EXT_BGRA;
        din.dct_method = method;
        din.do_fancy_upsampling = library ? FALSE : TRUE;
        jpeg_start_decompress(&din);
        const size_t stride = size_t(din.output_width) * 4;
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * din.output_height]);
        std::vector<JSAMPROW> rows(din.output_height);
        for (size_t y = 0; y < rows.size(); ++y)
            rows[y] = pixels.get() + y * stride;
        while (din.output_scanline < din.output_height)
            jpeg_read_scanlines(&din, rows.data() + din.output_scanline,
                                din.output_height - din.output_scanline);

        const std::string name = file.substr(file.rfind('/') + 1);
        FILE* out = std::fopen((outDir + "/" + name).c_str(), "wb");
        if (!out)
            return 1;
        jpeg_stdio_dest(&cout, out);
        cout.image_width = din.output_width;
        cout.image_height = din.output_height;
        cout.input_components = 4;
        cout.in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(&cout);
        jpeg_set_quality(&cout, 90, TRUE);
        cout.dct_method = method;
        jpeg_start_compress(&cout, TRUE);
        for (jpeg_saved_marker_ptr m = din.marker_list; m; m = m->next)
            jpeg_write_marker(&cout, m->marker, m->data, m->data_length);
        while (cout.next_scanline < cout.image_height)
            jpeg_write_scanlines(&cout, rows.data() + cout.next_scanline,
                                 cout.image_height - cout.next_scanline);
        jpeg_finish_compress(&cout);
        jpeg_finish_decompress(&din);
        std::fclose(out);
        std::fclose(in);
    }
    jpeg_destroy_compress(&cout);
    jpeg_destroy_decompress(&din);
    return 0;
}

int Measure(char** command) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The measured program's own output is not part of the figure.
        if (FILE* null = std::freopen("/dev/null", "w", stdout); !null)
            ::_exit(127);
        ::execvp(command[0], command);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%.3f %ld %.3f\n", seconds, usage.ru_maxrss, cpu);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

double ThreadMilliseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Processor time of this thread alone, so that a busy machine counts little.
int Walk(const std::vector<std::string>& files) {
    CJpegLosslessStamper stamper;
    stamper.SetSplitBytes(SIZE_MAX);
    std::vector<double> times;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
        for (int round = 0; round < 3; ++round) {
            const double start = ThreadMilliseconds();
            if (!stamper.Open(data.data(), data.size())) {
                std::fprintf(stderr, "qm_batch_tools: %s: not taken by the lossless path\n",
                             file.c_str());
                return 1;
            }
            times.push_back(ThreadMilliseconds() - start);
            stamper.Close();
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("%.2f\n", times.empty() ? 0.0 : times[times.size() / 2]);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "inputs" && argc == 6)
        return MakeInputs(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    if (mode == "stamp" && argc == 5)
        return MakeStamp(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (mode == "baseline" && argc >= 4)
        return Baseline(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    if (mode == "measure" && argc >= 3)
        return Measure(argv + 2);
    if (mode == "walk" && argc >= 3)
        return Walk(std::vector<std::string>(argv + 2, argv + argc));
    std::fputs("usage: qm_batch_tools inputs|stamp|baseline|measure|walk ...\n", stderr);
    return 2;
}
