// The positioning page's preview update on a large sample: re-key and feather the stamp,
// rebuild the stamped view from the sample, composite, and render it at the fitted zoom.
#include "imagelib/bitmap.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QApplication>
#include <QSlider>
#include <benchmark/benchmark.h>

#include <cstdint>

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

// 6000 x 4000 sample (24 megapixels), 1000 x 1000 stamp keyed on its blue background with
// feather 0 (ten growing passes); each iteration changes the tolerance and runs the update.
void BM_PreviewUpdate(benchmark::State& state) {
    CPositionPage page;
    page.show();
    for (CImageViewer* v : {page.GetStampView(), page.GetSampleView(), page.GetStampedView()})
        v->FinishResize();
    {
        CMemoryBitmap sample, stamp;
        FillPicture(sample, 6000, 4000, false);
        FillPicture(stamp, 1000, 1000, true);
        page.GetSampleView()->SetPicture(sample, true);
        page.SampleChanged();
        page.GetStampView()->SetPicture(stamp, true);
        page.SetTransparence(true);
        page.SetKeyColour(0x010000FFu);
        page.SetSliders(200, 0, 0);
        page.StampChanged();
    }
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
