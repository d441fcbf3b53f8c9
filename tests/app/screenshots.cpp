// qm_app_screenshots DIR: starts the main window with its splash, as the program does, and
// writes screenshots of the whole screen to DIR: the splash over the main window at its
// first start, each tab, the input tree with a deep folder selected, the preview of a
// broken file, the stamp dragged on the stamped view, the system menu open and the info
// dialog. Run it on a display (xvfb-run -a -s "-screen 0 1400x1000x24") to look at the
// shell after a change. The settings go to a temporary configuration folder.
#include "app/hotstatic.h"
#include "app/infodialog.h"
#include "app/maindialog.h"
#include "app/splashwindow.h"
#include "controls/extentlistbox.h"
#include "imagelib/bitmap.h"
#include "pages/input/foldertree.h"
#include "pages/input/inputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {

bool Shot(const QString& path) {
    QTest::qWait(300);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool ok = screen.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A photograph-like sample and a round logo on a key-blue background.
void PaintSample(CImageBitmap& bitmap, int w, int h) {
    bitmap.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bitmap.GetLines()[y]);
        for (int x = 0; x < w; ++x) {
            const bool hill = y > h * 2 / 3 - (x * (w - x)) / (w * 6);
            row[x] =
                hill ? 0xFF000000u | uint32_t(40 + y % 30) << 16 | uint32_t(120 + x % 40) << 8 | 50u
                     : 0xFF000000u | uint32_t(120 + y * 100 / h) << 16 |
                           uint32_t(170 + y * 60 / h) << 8 | 240u;
        }
    }
}

void PaintLogo(CImageBitmap& bitmap, int size) {
    bitmap.Create(size, size, 32, false);
    for (int y = 0; y < size; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bitmap.GetLines()[y]);
        for (int x = 0; x < size; ++x) {
            const int dx = x - size / 2, dy = y - size / 2;
            const int r2 = dx * dx + dy * dy, r = size / 2 - 4;
            row[x] = r2 < r * r / 4 ? 0xFFFFFFFFu : r2 < r * r ? 0xFFE02020u : 0xFF0000FFu;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(folder);

    CSplashWindow splash(IDB_SPLASH);
    splash.Show();
    CMainDialog main;
    main.SetSplash(&splash);
    main.InitDialog();
    main.show();
    bool ok = Shot(folder + "/splash.png");
    main.HideSplash();

    ok = Shot(folder + "/first-start.png") && ok;

    // A deep folder of pictures, one of them broken, selected in the input tree.
    QTemporaryDir disk;
    const QString deep = disk.path() + "/Photos/2026/Holidays/Brittany/Beach at sunset";
    QDir().mkpath(deep);
    QImage good(640, 480, QImage::Format_RGB32);
    good.fill(QColor(70, 130, 190));
    good.save(deep + "/harbour.png");
    good.save(deep + "/lighthouse.png");
    {
        QFile broken(deep + "/broken.jpg");
        broken.open(QIODevice::WriteOnly);
        broken.write("\xFF\xD8\xFF\xE0 cut off after the header");
    }
    auto* input = qobject_cast<CInputPage*>(main.GetPage(0));
    if (input) {
        input->GetFolderTree()->SelectFolderPath(deep, true);
        ok = Shot(folder + "/tree-deep.png") && ok;
        input->GetPreviewCheck()->setChecked(true);
        QListWidget* files = input->GetFileList();
        for (int i = 0; i < files->count(); ++i)
            if (files->item(i)->text() == "broken.jpg")
                QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                                  files->visualItemRect(files->item(i)).center());
        ok = Shot(folder + "/preview-broken.png") && ok;
    }

    // The stamp taken on the stamped view and moved, the button still held.
    auto* position = qobject_cast<CPositionPage*>(main.GetPage(1));
    if (position) {
        main.GetTabs()->GetTabBar()->setCurrentIndex(1);
        QTest::qWait(400);
        for (CImageViewer* v :
             {position->GetStampView(), position->GetSampleView(), position->GetStampedView()})
            v->FinishResize();
        CMemoryBitmap sample, stamp;
        PaintSample(sample, 3000, 2000);
        PaintLogo(stamp, 500);
        position->GetSampleView()->SetPicture(sample, true);
        position->SampleChanged();
        position->GetStampView()->SetPicture(stamp, true);
        position->SetTransparence(true);
        position->SetKeyColour(0x010000FFu);
        position->SetSliders(210, 20, 6);
        position->StampChanged();
        CImageViewer* view = position->GetStampedView();
        const QPoint from = view->PictureToWindow(QPointF(1500, 1000)).toPoint();
        const QPoint to = from + QPoint(90, -60);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        ok = Shot(folder + "/stamp-drag.png") && ok;
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        ok = Shot(folder + "/stamp-dropped.png") && ok;
    }

    const char* names[] = {"tab-input", "tab-position", "tab-output"};
    for (int i = 0; i < 3; ++i) {
        main.GetTabs()->GetTabBar()->setCurrentIndex(i);
        ok = Shot(folder + "/" + names[i] + ".png") && ok;
    }
    main.GetTabs()->GetTabBar()->setCurrentIndex(0);

    main.GetMenuButton()->click();
    ok = Shot(folder + "/system-menu.png") && ok;
    main.GetSystemMenu()->GetMenu()->close();

    CInfoDialog info(&main);
    info.show();
    ok = Shot(folder + "/info.png") && ok;
    QTest::mouseMove(info.GetLink(), info.GetLink()->rect().center());
    ok = Shot(folder + "/info-hover.png") && ok;
    info.close();
    main.close();
    return ok ? 0 : 1;
}
