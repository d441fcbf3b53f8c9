#pragma once

// The program's main window with its own pages (folder trees on the machine's drives), on
// settings of the test's choosing, and small pictures written into a temporary folder.

#include "app/maindialog.h"
#include "apptest.h"
#include "imagelib/bitmap.h"
#include "imagelib/bmpencoder.h"
#include "testbitmaps.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

class RealWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearUserStore();
        ASSERT_TRUE(dir.isValid());
        in = dir.path() + "/in/";
        out = dir.path() + "/out/";
        ASSERT_TRUE(QDir().mkpath(in) && QDir().mkpath(out));
    }
    void TearDown() override { RunDeferredDeletes(); }

    // Initialised on the settings that edit leaves, and shown.
    std::unique_ptr<CMainDialog> Open(const std::function<void(CStampSettingsValues&)>& edit) {
        auto dialog = std::make_unique<CMainDialog>();
        if (edit)
            edit(dialog->GetSettings());
        dialog->InitDialog();
        dialog->HideSplash();
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return dialog;
    }

    static void WriteBmp(const QString& path, int width, int height, uint32_t colour) {
        CMemoryBitmap bitmap;
        bitmap.Create(width, height, 32, false);
        Fill32(bitmap, colour);
        CBmpEncoder().EncodeFile(path.toStdString(), bitmap);
    }

    QTemporaryDir dir;
    QString in, out;
};
