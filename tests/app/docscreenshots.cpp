// qm_doc_screenshots DIR: the pictures of the README and the user guide, made by driving the
// program as a user does: it draws a folder of holiday photos and a logo, opens them in the
// window, places the stamp, runs a batch, exports the settings and meets the limits, and
// writes a screenshot of the window at each step to DIR. It leaves the pictures, the
// stamped copies and the exported settings in the tour folder (printed at the end), so that
// the command-line example of the README can be run on them. Run it on a display with
// 24-bit colour (tools/doc-screenshots does that, and makes the PNGs small).
#include "app/maindialog.h"
#include "controls/extentlistbox.h"
#include "docpictures.h"
#include "imagelib/bitmap.h"
#include "imagelib/jpegencoder.h"
#include "pages/input/filedroplistbox.h"
#include "pages/input/inputpage.h"
#include "pages/output/outputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

bool g_ok = true;
QString g_folder;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::printf("FAILED: %s\n", what);
        g_ok = false;
    }
}

// The screen inside area, once the viewers' resize debounce and the preview timer are over.
void Shot(const QString& name, const QRect& area) {
    QTest::qWait(1300);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const QString path = g_folder + "/" + name + ".png";
    const bool saved = screen.copy(area).save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    g_ok = saved && g_ok;
}

QRect Around(const QWidget* main, const QWidget* other) {
    return main->frameGeometry().united(other->frameGeometry());
}

// A modal window that no step waits for is a failure: it is reported with its text and
// closed, so the command never hangs.
int g_expectedModals = 0;

void WatchForSurprises() {
    auto* watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || g_expectedModals > 0)
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        std::printf("FAILED: unexpected window: %s\n",
                    qPrintable(box ? box->text() : modal->windowTitle()));
        g_ok = false;
        modal->close();
    });
    watch->start(1000);
}

// Calls act with the next modal window while open (a call that runs a modal loop) waits
// for it; act must close it.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& act) {
    auto* poll = new QTimer;
    ++g_expectedModals;
    const QPointer<QWidget> before = QApplication::activeModalWidget();
    QObject::connect(poll, &QTimer::timeout, [poll, act, before] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != before) {
            poll->stop();
            poll->deleteLater();
            Check(QTest::qWaitForWindowExposed(modal), "a modal window showed");
            act(modal);
            --g_expectedModals;
        }
    });
    poll->start(50);
    open();
}

// A JPEG written by the program's own encoder, with a comment the way cameras and photo
// tools leave one.
void WritePhoto(const QString& path, const QImage& image, const char* comment) {
    CMemoryBitmap bitmap;
    bitmap.Create(image.width(), image.height(), 32, false);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.GetLines()[y], image.constScanLine(y), size_t(image.width()) * 4);
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = 0xFE;
    marker->dataLength = marker->originalLength = uint32_t(std::strlen(comment));
    marker->data = std::make_unique<uint8_t[]>(marker->dataLength);
    std::memcpy(marker->data.get(), comment, marker->dataLength);
    bitmap.SetMarkers(std::move(marker));
    CJpegEncoder encoder;
    encoder.SetQuality(90);
    encoder.EncodeFile(path.toStdString(), bitmap);
}

struct Tour {
    QString root, holiday, problems, stamped, logo, sample, config;
};

Tour MakeTour(const QString& root) {
    Tour t;
    t.root = root;
    QDir(t.root).removeRecursively();
    t.holiday = t.root + "/holiday/";
    t.problems = t.root + "/problems/";
    t.stamped = t.root + "/stamped/";
    t.logo = t.root + "/logo.png";
    t.config = t.root + "/holiday.qmc";
    for (const QString& folder : {t.holiday, t.problems, t.stamped})
        QDir().mkpath(folder);
    for (int i = 0; i < 8; ++i) {
        const QString path = t.holiday + QString("IMG_%1.jpg").arg(2041 + i);
        WritePhoto(path, DrawLandscape(1600, 1067, i), "Lake Aurel, summer holiday");
        if (i == 0)
            t.sample = path;
    }
    Check(DrawLogo(360, 98).save(t.logo, "PNG"), "logo written");

    // What a user meets: a phone's HEIF picture under a .jpg name, a panorama larger than
    // the program takes, and a file cut short by an interrupted copy.
    QFile heif(t.problems + "IMG_3001.jpg");
    heif.open(QIODevice::WriteOnly);
    heif.write(QByteArray("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic",
                          24) +
               QByteArray(400, '\0'));
    heif.close();
    // A BMP header of 40000 x 20000 pixels (800 megapixels) with a little pixel data.
    QByteArray bmp(54 + 64, '\0');
    auto put32 = [&bmp](int offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bmp[offset + i] = char(value >> (8 * i) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, uint32_t(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 40000);
    put32(22, 20000);
    bmp[26] = 1;
    bmp[28] = 24;
    QFile panorama(t.problems + "panorama.bmp");
    panorama.open(QIODevice::WriteOnly);
    panorama.write(bmp);
    panorama.close();
    QFile whole(t.sample);
    whole.open(QIODevice::ReadOnly);
    QFile cut(t.problems + "IMG_2099.jpg");
    cut.open(QIODevice::WriteOnly);
    cut.write(whole.read(whole.size() / 3));
    cut.close();
    return t;
}

template <class T> T* Item(QWidget* page, int id) {
    return GetDlgItemAs<T>(page, id);
}

void ChooseInFileDialog(QWidget* modal, const QString& path, const QString& shot,
                        const QWidget* main) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    Check(dialog != nullptr, "a file dialog opened");
    if (!dialog) {
        modal->close();
        return;
    }
    dialog->setDirectory(QFileInfo(path).absolutePath());
    // The folder is listed in the background; typing the name into the file list selects
    // the file once it is there, which brings up the preview and fills the name box.
    dialog->setGeometry(QRect(QPoint(0, 0), QSize(660, 500))
                            .translated(main->geometry().center() - QPoint(330, 250)));
    QTest::qWait(600);
    if (dialog->acceptMode() == QFileDialog::AcceptSave) {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        Check(name != nullptr, "the file dialog has its name box");
        if (name) {
            name->setFocus();
            name->selectAll();
            QTest::keyClicks(name, QFileInfo(path).fileName());
        }
    } else if (auto* list = dialog->findChild<QAbstractItemView*>(QStringLiteral("treeView"))) {
        list->setFocus();
        QTest::keyClicks(list, QFileInfo(path).fileName());
    }
    QTest::qWait(300);
    if (!shot.isEmpty())
        Shot(shot, Around(main, dialog));
    QMetaObject::invokeMethod(dialog, "accept");
    if (dialog->isVisible()) {
        Check(false, "the file dialog took the file");
        dialog->reject();
    }
}

void AcceptMessageBox(QWidget* modal, const QString& shot, const QWidget* main) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    Check(box != nullptr, "a message box opened");
    if (!shot.isEmpty())
        Shot(shot, Around(main, modal));
    if (box)
        box->accept();
    else
        modal->close();
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(g_folder);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    WatchForSurprises();
    const Tour tour =
        MakeTour(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath() + "/quillmark-tour");

    // A plain desktop behind the window, for the menus and dialogs that reach past it.
    QWidget desktop;
    desktop.setWindowFlags(Qt::FramelessWindowHint);
    desktop.setStyleSheet(QStringLiteral("background: #d8dee6"));
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();

    CMainDialog main;
    // Where a user would have browsed to: the holiday folder in, the stamped folder out.
    main.GetSettings().inputdir = tour.holiday.toStdString();
    main.GetSettings().outputdir = tour.stamped.toStdString();
    main.InitDialog();
    main.HideSplash();
    main.setGeometry(0, 0, 900, 600);
    main.show();
    Check(QTest::qWaitForWindowExposed(&main), "the window showed");
    const QRect window = main.frameGeometry();
    QTabBar* tabs = main.GetTabs()->GetTabBar();

    // Choosing pictures: all of the folder into the list, one of them previewed.
    auto* input = qobject_cast<CInputPage*>(main.GetPage(CMainPages::kInput));
    Check(input->GetFileList()->count() == 8, "the holiday folder lists its photos");
    QTest::mouseClick(Item<QAbstractButton>(input, IDC_IN_ADD_ALL), Qt::LeftButton);
    CFileDropListBox* selected = input->GetSelectedList();
    Check(selected->count() == 8, "add all moved the photos");
    selected->setFocus();
    QTest::mouseClick(selected->viewport(), Qt::LeftButton, {},
                      selected->visualItemRect(selected->item(2)).center());
    Shot("input", window);

    // Placing the stamp: open it through the page's file dialog, which previews it.
    tabs->setCurrentIndex(CMainPages::kPosition);
    auto* position = qobject_cast<CPositionPage*>(main.GetPage(CMainPages::kPosition));
    WithModal(
        [&] {
            QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_OPEN_STAMP), Qt::LeftButton);
        },
        [&](QWidget* modal) { ChooseInFileDialog(modal, tour.logo, "open-stamp", &main); });
    Check(position->GetStampView()->IsLoaded(), "the stamp opened");
    WithModal(
        [&] {
            QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_OPEN_SAMPLE), Qt::LeftButton);
        },
        [&](QWidget* modal) { ChooseInFileDialog(modal, tour.sample, QString(), &main); });
    Check(position->GetSamplePath() == tour.sample, "the sample opened");

    // Bottom right, 40 and 30 pixels in from the edges, a little see-through.
    QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_ALIGN_BOTTOM_RIGHT), Qt::LeftButton);
    for (auto [id, text] :
         {std::pair{IDC_POS_OFFSET_X, "-40"}, std::pair{IDC_POS_OFFSET_Y, "-30"}}) {
        auto* box = Item<QLineEdit>(position, id);
        box->selectAll();
        QTest::keyClicks(box, text);
    }
    Item<QSlider>(position, IDC_POS_OPACITY)->setValue(217);

    // The logo's ground taken out by its colour: transparency on, a click on the ground.
    QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    Item<QSlider>(position, IDC_POS_TOLERANCE)->setValue(60);
    Item<QSlider>(position, IDC_POS_FEATHER)->setValue(11);
    CImageViewer* stampView = position->GetStampView();
    const auto& destination = stampView->GetGeometry().GetDestination();
    QTest::mouseClick(stampView, Qt::LeftButton, {},
                      QPoint(int(destination.left) + 1, int(destination.top) + 1));
    Check(position->IsKeyColourSet(), "the key colour was picked");
    Shot("position", window);

    // Judging at full size: 100 % and the pictures dragged to the stamp.
    auto* zoom = Item<QComboBox>(position, IDC_POS_ZOOM);
    // As a pick from the list: the page follows the user's choice, not the index.
    zoom->setCurrentIndex(zoom->findText("100%"));
    emit zoom->activated(zoom->currentIndex());
    QWidget* stamped = position->GetStampedView();
    const QPoint start = stamped->geometry().center();
    QTest::mousePress(position, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 20; ++step)
        QTest::mouseMove(position, start - QPoint(step * 29, step * 22));
    QTest::mouseRelease(position, Qt::LeftButton, {}, start - QPoint(580, 440));
    Shot("position-zoom", window);
    zoom->setCurrentIndex(zoom->findText("25%"));
    emit zoom->activated(zoom->currentIndex());

    // A proof-sheet mark: the logo turned by 30 degrees and repeated over the whole photo.
    auto* angle = Item<QSpinBox>(position, IDC_POS_ANGLE);
    angle->selectAll();
    QTest::keyClicks(angle, "30");
    QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_TILE), Qt::LeftButton);
    position->OnPreviewTimer();
    Shot("position-tiled", window);
    angle->selectAll();
    QTest::keyClicks(angle, "0");
    QTest::mouseClick(Item<QAbstractButton>(position, IDC_POS_TILE), Qt::LeftButton);
    position->OnPreviewTimer();

    // Output: JPEG at 85 % with the headers kept, then the run.
    tabs->setCurrentIndex(CMainPages::kOutput);
    auto* output = qobject_cast<COutputPage*>(main.GetPage(CMainPages::kOutput));
    QTest::mouseClick(Item<QAbstractButton>(output, IDC_OUT_JPG), Qt::LeftButton);
    Item<QSlider>(output, IDC_OUT_QUALITY)->setValue(85);
    auto* preserve = Item<QAbstractButton>(output, IDC_OUT_PRESERVE);
    if (!preserve->isChecked())
        QTest::mouseClick(preserve, Qt::LeftButton);
    QTest::mouseClick(Item<QAbstractButton>(output, IDC_OUT_START), Qt::LeftButton);
    Check(QTest::qWaitFor([&] { return !output->IsWorkerRunning(); }, 120000), "the run ended");
    Shot("output", window);

    // Settings files: the program's menu, then the export.
    main.GetMenuButton()->click();
    QMenu* menu = main.GetSystemMenu()->GetMenu();
    Check(QTest::qWaitForWindowExposed(menu), "the menu showed");
    for (QAction* action : menu->actions())
        if (action->menu())
            menu->setActiveAction(action);
    QTest::keyClick(menu, Qt::Key_Right);
    QTest::qWait(300);
    QWidget* settingsMenu = nullptr;
    for (QAction* action : menu->actions())
        if (action->menu() && action->menu()->isVisible())
            settingsMenu = action->menu();
    Check(settingsMenu != nullptr, "the settings menu opened");
    Shot("settings-menu", settingsMenu ? Around(&main, settingsMenu) : window);
    menu->close();
    WithModal([&] { main.OnSysCommand(IDM_EXPORT); },
              [&](QWidget* modal) {
                  // The message box that follows the dialog is the next modal window.
                  WithModal([&] { ChooseInFileDialog(modal, tour.config, QString(), &main); },
                            [&](QWidget* box) { AcceptMessageBox(box, "export-done", &main); });
              });
    Check(QFile(tour.config).size() >= 1104, "the settings were exported");

    // Limits: a second run over pictures the program cannot take, without overwriting.
    tabs->setCurrentIndex(CMainPages::kInput);
    QTest::mouseClick(Item<QAbstractButton>(input, IDC_IN_REMOVE_ALL), Qt::LeftButton);
    for (const QString& name : QDir(tour.problems).entryList(QDir::Files))
        selected->addItem(tour.problems + name);
    selected->addItem(tour.holiday + "IMG_2041.jpg");
    tabs->setCurrentIndex(CMainPages::kOutput);
    QTest::mouseClick(Item<QAbstractButton>(output, IDC_OUT_SKIP), Qt::LeftButton);
    QTest::mouseClick(Item<QAbstractButton>(output, IDC_OUT_START), Qt::LeftButton);
    Check(QTest::qWaitFor([&] { return !output->IsWorkerRunning(); }, 120000),
          "the second run ended");
    Shot("limits", window);

    // A text instead of the logo: two lines, the second naming the sample, in the tone
    // each photo asks for.
    tabs->setCurrentIndex(CMainPages::kPosition);
    auto* kind = Item<QComboBox>(position, IDC_POS_STAMP_KIND);
    kind->setFocus();
    QTest::keyClick(kind, Qt::Key_Down);
    Check(position->IsTextStamp(), "the stamp became a text");
    auto* text = Item<QPlainTextEdit>(position, IDC_POS_TEXT);
    text->setFocus();
    QTest::keyClicks(text, QString::fromUtf8("\u00a9 2026 Sam Rivers"));
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("{name}"));
    auto* colour = Item<QPushButton>(position, IDC_POS_TEXT_COLOUR);
    colour->menu()->actions().front()->trigger();
    Check(QTest::qWaitFor([&] { return !position->IsPreviewTimerPending(); }, 5000),
          "the text was drawn");
    Check(position->GetStampView()->IsLoaded(), "the text shows in the stamp box");
    Shot("position-text", window);

    main.close();
    std::printf("tour folder (pictures, stamped copies, holiday.qmc): %s\n", qPrintable(tour.root));
    return g_ok ? 0 : 1;
}
