#pragma once

#include "app/mainpages.h"
#include "controls/controlfactories.h"
#include "controls/resizedialog.h"
#include "platform/dialogbuilder.h"
#include "platform/profile.h"
#include "resources/resource.h"

#include <QCoreApplication>
#include <QSettings>

#include <functional>
#include <ostream>

// A page of a template without folder trees: the main window's tests do not look at the
// machine's drives.
class CTestPage : public CResizePropertyPage {
public:
    CTestPage(int templateId, QWidget* parent) : CResizePropertyPage(parent) {
        CDialogBuilder builder(*FindDialogTemplate(templateId));
        UseCommonControls(builder);
        InitFromTemplate(builder);
    }
};

// Pages for the main window; the stamping flag is *stamping, and onCreate runs before
// the pages are made.
inline CMainPageFactory TestPages(const bool* stamping = nullptr,
                                  std::function<void(QWidget*)> onCreate = nullptr) {
    return [stamping, onCreate](QWidget* parent) {
        if (onCreate)
            onCreate(parent);
        CMainPages pages;
        pages.pages[CMainPages::kInput] = new CTestPage(IDD_INPUT_PAGE, parent);
        pages.pages[CMainPages::kPosition] = new CTestPage(IDD_POSITION_PAGE, parent);
        pages.pages[CMainPages::kOutput] = new CTestPage(IDD_OUTPUT_PAGE, parent);
        if (stamping)
            pages.isStamping = [stamping] { return *stamping; };
        return pages;
    };
}

// Empties the user's store (settings and window placement).
inline void ClearUserStore() {
    const auto settings = OpenProfile();
    settings->clear();
    settings->sync();
}

// Runs the deletions that windows asked for.
inline void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
