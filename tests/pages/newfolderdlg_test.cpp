#include "pages/output/filenameedit.h"
#include "pages/output/newfolderdlg.h"
#include "platform/dialogbuilder.h"
#include "platform/shell.h"
#include "qtestapp.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Counts beeps for its lifetime.
class CBeepCounter {
public:
    CBeepCounter() : m_previous(SetShellHooks({[this] { ++beeps; }, nullptr})) {}
    ~CBeepCounter() { SetShellHooks(m_previous); }
    int beeps = 0;

private:
    CShellHooks m_previous;
};

// Types each character as the keyboard would deliver it (any character, not only ASCII).
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

TEST(FileNameEdit, RefusesTheCharactersANameCannotHoldWithOneBeepEach) {
    TestApp();
    struct Case {
        QString typed, kept;
        int beeps;
    };
    const Case cases[] = {
        {"a?b", "ab", 1},
        {"\\/:*?<>|\"", "", 9},
        {"my photos-2024.v2 (é)", "my photos-2024.v2 (é)", 0},
        {"x:y", "xy", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        CFileNameEdit edit;
        CBeepCounter counter;
        Type(&edit, c.typed);
        EXPECT_EQ(edit.text(), c.kept);
        EXPECT_EQ(counter.beeps, c.beeps);
    }
}

TEST(FileNameEdit, PastedTextIsNotFiltered) {
    TestApp();
    CFileNameEdit edit;
    CBeepCounter counter;
    QGuiApplication::clipboard()->setText("a/b");
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), "a/b");
    EXPECT_EQ(counter.beeps, 0);
}

TEST(NewFolderDialog, ProposesNewFolderAndKeepsTheNameWhicheverButtonCloses) {
    TestApp();
    struct Case {
        int button;
        const char* typed; // null: the proposed text as it is
        int result;
        QString name;
    };
    const Case cases[] = {
        {IDOK, nullptr, QDialog::Accepted, "new folder"},
        {IDOK, "Output", QDialog::Accepted, "Output"},
        {IDCANCEL, "Drafts", QDialog::Rejected, "Drafts"},
    };
    for (const Case& c : cases) {
        CNewFolderDialog dialog;
        EXPECT_EQ(dialog.windowTitle(), "quillmark");
        EXPECT_EQ(dialog.GetEdit()->text(), "new folder");
        EXPECT_TRUE(dialog.GetName().isEmpty());
        dialog.show();
        if (c.typed) {
            dialog.GetEdit()->selectAll();
            QTest::keyClicks(dialog.GetEdit(), c.typed);
        }
        QTest::mouseClick(GetDlgItemAs<QAbstractButton>(&dialog, c.button), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), c.result);
        EXPECT_EQ(dialog.GetName(), c.name);
    }
}

} // namespace
