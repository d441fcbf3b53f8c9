#include "app/maindialog.h"
#include "app/stampapp.h"
#include "apptest.h"
#include "job/qtsettingsstore.h"
#include "platform/resourceloader.h"

#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

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
