#pragma once

#include <QPointer>

#include <array>
#include <functional>

class CResizePropertyPage;
class QWidget;

// The three tab pages of the main window and what the main window asks of them besides
// their widgets. Tab indexes: 0 input, 1 positioning, 2 output.
struct CMainPages {
    enum : int { kInput = 0, kPosition = 1, kOutput = 2, kCount = 3 };

    // Created with the main window as parent; the main window moves them into its tab
    // control and owns them from then on.
    std::array<CResizePropertyPage*, kCount> pages{};
    // The output page's stamping flag: set while a batch runs. Tab changes and settings
    // import or export are refused meanwhile. Empty = never stamping.
    std::function<bool()> isStamping;
    // Ends a batch run that is still going: asks it to stop and returns once the worker has
    // finished its file in progress and ended. Called before the pages go. Empty = no runs.
    std::function<void()> endRun;
};

// Makes the pages, in the order input, positioning, output; each runs its own
// initialisation while it is created.
using CMainPageFactory = std::function<CMainPages(QWidget* parent)>;

// The program's pages. This is the one place that names the page classes: a page class
// that does not exist yet is stood in for by a page built from its template alone.
CMainPages CreateMainPages(QWidget* parent);

// A page with the controls of its dialog template and nothing else (the standard
// controls, the image buttons and extent list boxes, and a folder tree where the
// template has a tree view).
CResizePropertyPage* CreateTemplatePage(int templateId, QWidget* parent);
