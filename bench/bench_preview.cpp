// The positioning page's preview update on a large sample: re-key and feather the stamp,
// rebuild the stamped view from the sample, composite, and render it at the fitted zoom.
// The stamp dragged by hand on that page: one redraw per pointer move. The input page's
// preview of a 108-megapixel JPEG: time and the memory it takes beyond what was in use.
#include "imagelib/bitmap.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSlider>
#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

void FillPicture(CImageBitmap& bmp, int w, int h, bool logo) {
    bmp.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bmp.GetLines()[y]);
        for (int x = 0; x < w; ++x) {
            const bool inside =
                logo && (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < (w / 3) * (w / 3);
            row[x] = logo ? (inside ? 0xFFE02020u : 0xFF0000FFu)
                          : 0xFF000000u | uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 |
                                uint32_t((x ^ y) & 0xFF);
        }
    }
}

// Shows the page with a 6000 x 4000 sample (24 megapixels) and a 1000 x 1000 stamp keyed
// on its blue background with the given opacity, tolerance and feather.
void SetUpKeyedPage(CPositionPage& page, uint8_t opacity, uint8_t tolerance, uint8_t feather) {
    page.show();
    for (CImageViewer* v : {page.GetStampView(), page.GetSampleView(), page.GetStampedView()})
        v->FinishResize();
    CMemoryBitmap sample, stamp;
    FillPicture(sample, 6000, 4000, false);
    FillPicture(stamp, 1000, 1000, true);
    page.GetSampleView()->SetPicture(sample, true);
    page.SampleChanged();
    page.GetStampView()->SetPicture(stamp, true);
    page.SetTransparence(true);
    page.SetKeyColour(0x010000FFu);
    page.SetSliders(opacity, tolerance, feather);
    page.StampChanged();
}

// 6000 x 4000 sample (24 megapixels), 1000 x 1000 stamp keyed on its blue background with
// feather 0 (ten growing passes); each iteration changes the tolerance and runs the update.
void BM_PreviewUpdate(benchmark::State& state) {
    CPositionPage page;
    SetUpKeyedPage(page, 200, 0, 0);
    auto* tolerance = GetDlgItemAs<QSlider>(&page, IDC_POS_TOLERANCE);
    int step = 0;
    for (auto _ : state) {
        tolerance->setValue(10 + (step++ & 1));
        page.OnPreviewTimer();
        benchmark::DoNotOptimize(page.GetStampedView()->GetBackBuffer().constBits());
    }
    state.counters["sample_MP"] = 24;
}
BENCHMARK(BM_PreviewUpdate)->Unit(benchmark::kMillisecond)->Iterations(8);

// The page of BM_PreviewUpdate with the stamp taken on the stamped view; each iteration
// moves the pointer and redraws the view as the page does while dragging. Argument 0 shows
// the fitted sample, 1 the sample at 100 %.
void BM_StampDragRedraw(benchmark::State& state) {
    CPositionPage page;
    page.resize(1200, 800);           // the window of a 1400 x 1000 screen's first start, about
    SetUpKeyedPage(page, 200, 20, 4); // keyed, blended, feathered
    CImageViewer* view = page.GetStampedView();
    if (state.range(0) == 1) {
        auto* zoom = GetDlgItemAs<QComboBox>(&page, IDC_POS_ZOOM);
        zoom->setCurrentIndex(zoom->findText("100%"));
        page.OnZoomChange();
    }
    // The stamp sits in the middle of the sample; at 100 % the view shows the middle too.
    const QPoint grab = view->PictureToWindow(QPointF(3000, 2000)).toPoint();
    const auto send = [view](QEvent::Type type, QPoint at, Qt::MouseButton button,
                             Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), view->mapToGlobal(QPointF(at)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    send(QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    if (!page.IsDraggingStamp()) {
        state.SkipWithError("the press did not take the stamp");
        return;
    }
    // What the window shows is drawn into an image here: the offscreen platform may skip
    // painting a window nobody sees.
    QImage shown(view->size(), QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        ++step;
        send(QEvent::MouseMove, grab + QPoint(step % 40, step % 30), Qt::NoButton, Qt::LeftButton);
        view->render(&shown);
    }
    if (page.GetOffsetX() == 0 && page.GetOffsetY() == 0)
        state.SkipWithError("the stamp did not move");
    send(QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
    state.SetItemsProcessed(state.iterations()); // items per second = redraws per second
    state.counters["sample_MP"] = 24;
}
BENCHMARK(BM_StampDragRedraw)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// 12000 x 9000 (108 megapixels) at quality 90, written row by row: a photograph-like
// texture compresses like a camera's file. Kept in the temporary folder between runs.
QString BigJpeg() {
    const QString path = QDir::temp().filePath(QStringLiteral("qm_bench_108mp.jpg"));
    if (QFileInfo(path).size() > 0)
        return path;
    const QString partial = path + QStringLiteral(".part");
    FILE* file = std::fopen(QFile::encodeName(partial).constData(), "wb");
    if (!file)
        return {};
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, file);
    c.image_width = 12000;
    c.image_height = 9000;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(12000 * 3);
    uint32_t seed = 12345;
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < 12000; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 28) - 8;
            const int texture = ((x / 7 + y / 5) % 9) * 3;
            row[size_t(3 * x)] = JSAMPLE(std::clamp((x + y) % 256 + grain, 0, 255));
            row[size_t(3 * x + 1)] = JSAMPLE(std::clamp(y * 255 / 9000 + grain, 0, 255));
            row[size_t(3 * x + 2)] = JSAMPLE(std::clamp(x * 255 / 12000 + grain + texture, 0, 255));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(file);
    QFile::remove(path);
    return QFile::rename(partial, path) ? path : QString();
}

// Kilobytes of a /proc/self/status field ("VmRSS", "VmHWM").
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

// The input page's preview (150 x 137 pixels, as on its template) loading a 108-megapixel
// JPEG: decoded at 1/8 from its DC coefficients alone, on two threads, and drawn.
// extra_MB is the peak of the process's resident memory during its first load above what
// was resident before it.
void BM_InputPreviewOf108MegapixelJpeg(benchmark::State& state) {
    const QString path = BigJpeg();
    if (path.isEmpty()) {
        state.SkipWithError("cannot write the 108-megapixel JPEG");
        return;
    }
    CImageViewer viewer;
    viewer.SetReducedLoading(true);
    viewer.resize(150, 137);
    viewer.show();
    viewer.FinishResize();
    // Peak memory of the process's first load, with the peak mark reset to what is resident
    // now. Only the first: the benchmark runs this function several times, and later loads
    // reuse memory the allocator kept from earlier ones.
    static double extraMB = -1;
    if (extraMB < 0) {
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = StatusKiB("VmRSS");
        viewer.LoadPictureFile(path, false);
        viewer.PaintPicture();
        const long peak = StatusKiB("VmHWM");
        extraMB = before > 0 && peak > 0 ? double(peak - before) / 1024 : 0;
    }
    state.counters["extra_MB"] = extraMB;
    for (auto _ : state) {
        viewer.LoadPictureFile(path, false);
        viewer.PaintPicture();
        benchmark::DoNotOptimize(viewer.GetBackBuffer().constBits());
    }
    state.counters["file_MB"] = double(QFileInfo(path).size()) / (1 << 20);
    state.counters["decoded_w"] = viewer.GetPicture().GetWidth();
}
BENCHMARK(BM_InputPreviewOf108MegapixelJpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// What the preview took before: libjpeg alone decoding the same file at 1/8 into one row
// buffer, every AC code parsed and thrown away.
void BM_LibjpegEighthOf108MegapixelJpeg(benchmark::State& state) {
    const QString path = BigJpeg();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the 108-megapixel JPEG");
        return;
    }
    const QByteArray bytes = file.readAll();
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr errors{};
        d.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d, TRUE);
        d.scale_num = 1;
        d.scale_denom = 8;
        jpeg_start_decompress(&d);
        std::vector<JSAMPLE> row(size_t(d.output_width) * size_t(d.output_components));
        JSAMPROW rows[] = {row.data()};
        while (d.output_scanline < d.output_height)
            jpeg_read_scanlines(&d, rows, 1);
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_LibjpegEighthOf108MegapixelJpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
