// qm_app_run_screenshots DIR: a batch run through the whole program, for looking at. Writes
// screenshots of the whole screen to DIR: the output page before, during and after a run,
// the new-folder dialog, and the program after a restart with the settings it kept. Run it
// on a display (xvfb-run -a). Settings and pictures go to temporary folders.
#include "app/maindialog.h"
#include "imagelib/bitmap.h"
#include "imagelib/jpegencoder.h"
#include "pages/output/newfolderdlg.h"
#include "pages/output/outputpage.h"
#include "platform/dialogbuilder.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool Shot(const QString& path) {
    // Longer than the viewers' resize debounce, which a page's first showing starts.
    QTest::qWait(800);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool ok = screen.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A landscape-like gradient, written as JPEG by the program's own encoder.
void WritePicture(const QString& path, int width, int height, int seed) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, false);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bitmap.GetLines()[y]);
        for (int x = 0; x < width; ++x) {
            const uint32_t r = uint32_t((x * 255 / width + seed * 40) & 0xFF);
            const uint32_t g = uint32_t(y * 255 / height);
            const uint32_t b = uint32_t(((x + y) * 255 / (width + height) + seed * 90) & 0xFF);
            row[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    CJpegEncoder().EncodeFile(path.toStdString(), bitmap);
}

// A white "quillmark" on a magenta ground, which the key colour takes out.
void WriteStamp(const QString& path) {
    QImage image(360, 90, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(64);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("quillmark"));
    painter.end();
    image.save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config, work;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(folder);

    const QString in = work.path() + "/holiday/";
    const QString out = work.path() + "/stamped/";
    QDir().mkpath(in);
    QDir().mkpath(out);
    QStringList inputs;
    for (int i = 0; i < 24; ++i) {
        inputs << in + QString("IMG_%1.jpg").arg(1000 + i);
        WritePicture(inputs.back(), 2400, 1600, i);
    }
    const QString stamp = work.path() + "/logo.png";
    WriteStamp(stamp);
    WritePicture(work.path() + "/sample.jpg", 800, 533, 3);

    bool ok = true;
    {
        CMainDialog main;
        CStampSettingsValues& s = main.GetSettings();
        s.pathstamp = stamp.toStdString();
        s.pathsample = (work.path() + "/sample.jpg").toStdString();
        s.inputdir = in.toStdString();
        s.outputdir = out.toStdString();
        s.halign = 2;
        s.valign = 2;
        s.offsetx = -20;
        s.offsety = -20;
        s.opacity = 200;
        s.usetrans = true;
        s.colora = 1;
        s.colorr = 255;
        s.colorg = 0;
        s.colorb = 255;
        s.tptolerance = 40;
        s.jpgquality = 85;
        s.biptc = true;
        main.InitDialog();
        main.HideSplash();
        main.resize(900, 600);
        main.show();
        auto* list =
            GetDlgItemAs<QListWidget>(main.GetPage(CMainPages::kInput), IDC_IN_SELECTED_LIST);
        for (const QString& input : inputs)
            list->addItem(input);
        ok = Shot(folder + "/run-input.png") && ok;
        main.GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kPosition);
        ok = Shot(folder + "/run-position.png") && ok;
        main.GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kOutput);
        auto* page = qobject_cast<COutputPage*>(main.GetPage(CMainPages::kOutput));
        ok = Shot(folder + "/output-before.png") && ok;

        CNewFolderDialog newFolder(page);
        newFolder.show();
        ok = Shot(folder + "/new-folder.png") && ok;
        newFolder.reject();

        GetDlgItemAs<QAbstractButton>(page, IDC_OUT_START)->click();
        ok = QTest::qWaitFor([&] { return page->GetLog().find("IMG_1005") != std::string::npos; },
                             60000) &&
             ok;
        // The screenshot's own wait keeps the run going.
        ok = Shot(folder + "/output-during.png") && ok;
        ok = QTest::qWaitFor([&] { return !page->IsWorkerRunning(); }, 120000) && ok;
        ok = Shot(folder + "/output-after.png") && ok;
        // A second run stopped part-way, for the "canceled" line.
        GetDlgItemAs<QAbstractButton>(page, IDC_OUT_OVERWRITE)->click();
        GetDlgItemAs<QAbstractButton>(page, IDC_OUT_PNG)->click();
        GetDlgItemAs<QAbstractButton>(page, IDC_OUT_START)->click();
        ok = QTest::qWaitFor([&] { return page->GetLog().find("IMG_1002") != std::string::npos; },
                             60000) &&
             ok;
        GetDlgItemAs<QAbstractButton>(page, IDC_OUT_STOP)->click();
        ok = QTest::qWaitFor([&] { return !page->IsWorkerRunning(); }, 120000) && ok;
        ok = Shot(folder + "/output-stopped.png") && ok;
        main.close();
    }
    {
        // The next start: everything as it was left.
        CMainDialog main;
        main.InitDialog();
        main.HideSplash();
        main.show();
        ok = Shot(folder + "/restart-input.png") && ok;
        main.GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kPosition);
        ok = Shot(folder + "/restart-position.png") && ok;
        main.GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kOutput);
        ok = Shot(folder + "/restart-output.png") && ok;
        main.close();
    }
    return ok ? 0 : 1;
}
