#include "app/maindialog.h"
#include "app/stampapp.h"
#include "apptest.h"
#include "job/qtsettingsstore.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/resourceloader.h"
#include "platform/tabcontrol.h"

#include <QImage>
#include <QSlider>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(StampApp, RunsTheMainWindowAndWritesTheSettingsWhenItIsGone) {
    ClearUserStore();
    bool ran = false;
    bool splashUp = false;
    CStampApp app([&](CMainDialog& main) {
        ran = true;
        splashUp = !main.IsApplyingSettings() && main.GetSplashTimer() != 0;
        // Close it once the modal loop runs.
        QTimer::singleShot(0, &main, [&main] {
            if (auto* q = GetDlgItemAs<QSlider>(main.GetPage(CMainPages::kOutput), IDC_OUT_QUALITY))
                q->setValue(64);
            main.close();
        });
    });
    EXPECT_FALSE(app.InitInstance()) << "no message loop of the application's own";
    EXPECT_TRUE(ran);
    EXPECT_TRUE(splashUp);
    RunDeferredDeletes();

    // Written when the main window was destroyed: the record, and the placement.
    const auto settings = CQtSettingsStore::OpenApplicationSettings();
    EXPECT_EQ(settings->value("jpgquality").toString(), "64");
    EXPECT_TRUE(settings->contains("SOFTWARE/quillmark/WindowPlacement"));
    EXPECT_TRUE(settings->contains("pathstamp"));
}

// Logout (SIGHUP), kill (SIGTERM) and Ctrl+C (SIGINT) end the program through the close
// sequence: what the user set is kept.
TEST(StampApp, TerminationSignalsCloseTheWindowAndKeepTheSettings) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal);
        ClearUserStore();
        const int quality = 30 + signal;
        CStampApp app([&](CMainDialog& main) {
            QTimer::singleShot(0, &main, [&main, signal, quality] {
                if (auto* q =
                        GetDlgItemAs<QSlider>(main.GetPage(CMainPages::kOutput), IDC_OUT_QUALITY))
                    q->setValue(quality);
                // A write past a file size limit or into a closed pipe fails that write; it
                // does not end the program.
                ::raise(SIGXFSZ);
                ::raise(SIGPIPE);
                ::raise(signal);
            });
        });
        app.InitInstance();
        RunDeferredDeletes();
        const auto settings = CQtSettingsStore::OpenApplicationSettings();
        EXPECT_EQ(settings->value("jpgquality").toString(), QString::number(quality));
        EXPECT_TRUE(settings->contains("SOFTWARE/quillmark/WindowPlacement"));
        // The handlers are the previous ones again once the window is gone.
        struct sigaction now {};
        ::sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL);
    }
}

// A restart with a window enlarged last time fits the sample into the views as large as
// they are shown, not as large as the template has them.
TEST(StampApp, RestartWithAnEnlargedWindowFitsTheSampleToTheShownViews) {
    ClearUserStore();
    QSize enlarged;
    {
        CMainDialog dialog;
        dialog.InitDialog();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        enlarged = dialog.size() + QSize(420, 300);
        dialog.resize(enlarged);
        QCoreApplication::processEvents();
        dialog.close();
    }
    RunDeferredDeletes();
    QTemporaryDir dir;
    const QString sample = dir.filePath("sample.png");
    QImage picture(2400, 1800, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(sample));
    {
        const auto settings = CQtSettingsStore::OpenApplicationSettings();
        settings->setValue("pathsample", sample);
        settings->sync();
    }
    CMainDialog dialog;
    dialog.InitDialog();
    auto* position = qobject_cast<CPositionPage*>(dialog.GetPage(CMainPages::kPosition));
    ASSERT_NE(position, nullptr);
    CImageViewer* view = position->GetSampleView();
    ASSERT_TRUE(view->IsLoaded());
    const double zoom = view->GetGeometry().GetZoom();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.size(), enlarged);
    dialog.GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kPosition); // as a click does
    QCoreApplication::processEvents();
    view->FinishResize();
    EXPECT_NEAR(zoom, view->GetFitZoom(), 1e-9) << "fitted at the size shown";
    EXPECT_LT(view->GetGeometry().GetZoom() * 2400, view->width() + 1);
    dialog.close();
}

TEST(StampApp, TheDefaultPagesAreTheProgramsOwn) {
    ClearUserStore();
    CMainDialog dialog; // the program's pages, with their folder trees
    dialog.InitDialog();
    for (int i = 0; i < CMainPages::kCount; ++i)
        ASSERT_NE(dialog.GetPage(i), nullptr) << i;
    EXPECT_NE(GetDlgItem(dialog.GetPage(CMainPages::kPosition), IDC_POS_STAMP_VIEW), nullptr);
    EXPECT_FALSE(dialog.IsStamping());
    dialog.close();
    EXPECT_FALSE(dialog.GetSettings().inputdir.empty()) << "the tree's folder was gathered";
}

} // namespace
