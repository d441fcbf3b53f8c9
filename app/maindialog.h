#pragma once

#include "app/mainpages.h"
#include "controls/resizedialog.h"
#include "job/stampsettings.h"
#include "pages/pagehost.h"

#include <QIcon>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class CPreTranslateHook;
class CSplashWindow;
class CSystemMenu;
class CTabControl;
class CWindowTimers;
class QMenu;
class QToolButton;

// Runs a file dialog and returns the chosen path, or nothing when cancelled: an open
// dialog, or a save dialog that asks before replacing a file. defaultExtension and
// fileName may be empty; the filter has the form "description|patterns|...||".
using CFileDialogHook = std::function<std::optional<QString>(
    QWidget* parent, bool open, const QString& defaultExtension, const QString& fileName,
    const QString& filter)>;

// The main window: the settings record, the tab control with the three pages, the
// system menu with its own commands, the splash timer and the close sequence.
//
// Life: constructed (the settings record reads the store; applying guard raised) ->
// InitDialog (pages created and filled; guard lowered; splash timer running) -> shown,
// modally by DoModal -> closed (placement saved, settings gathered) -> destroyed (pages
// first, then the settings record, which writes the store).
class CMainDialog : public CResizeDialog, public CPageHost {
    Q_OBJECT
public:
    // The settings record works on the given store (the user's own by default); pages come
    // from the factory.
    explicit CMainDialog(std::unique_ptr<CSettingsStore> store = nullptr,
                         CMainPageFactory pageFactory = CreateMainPages);
    ~CMainDialog() override;

    // The splash to hide at the first key or mouse press, by the timer and at closing.
    void SetSplash(CSplashWindow* splash);
    // The initialisation sequence; called once, before the window is shown.
    void InitDialog();
    // InitDialog, then the modal loop; returns when the window has been closed.
    int DoModal();

    // CPageHost
    bool IsApplyingSettings() const override { return m_applying; }
    void HideSplash() override;
    QWidget* GetTabControl() const override;
    QWidget* GetPage(int index) const override;

    // Settings exchange with the pages. Apply raises the applying guard and leaves it
    // raised for the caller to lower (LowerApplyingGuard).
    void ApplySettingsToPages();
    void GatherSettingsFromPages();
    void LowerApplyingGuard() { m_applying = false; }

    CStampSettings& GetSettings() { return m_settings; }
    CTabControl* GetTabs() const { return m_tabs; }
    CSystemMenu* GetSystemMenu() const { return m_systemMenu; }
    QToolButton* GetMenuButton() const { return m_menuButton; }
    int GetCurrentPage() const { return m_currentPage; }
    bool IsStamping() const override;
    int GetSplashTimer() const { return m_splashTimer; }

    // Places every existing page in the tab control's display area; with reparent, makes
    // each page a child of the tab control first.
    void PlacePages(bool reparent = true);
    // Where a page goes in a tab control of width x height whose first tab item is item.
    static QRect PageRect(int width, int height, const QRect& item);
    // The window at its first start (no stored placement): two thirds of the available
    // area, at least the template size, centred.
    static QRect FirstStartRect(const QRect& available, QSize templateSize);
    // Where the big icon is drawn in a minimised client area.
    static QPoint MinimizedIconPosition(QSize client, QSize icon);

    // A system-menu command of the window's own (200 info, 201 help, 203 import, 204
    // export); others do nothing here.
    void OnSysCommand(int command);
    // A window timer fired.
    void OnTimer(int id);

    // The user guide's HTML page: in the build tree (guide/ of the folder above the
    // program's, or the one above that) or where it was installed; empty when not found.
    static QString FindUserGuide();
    // Help: the guide in the desktop's browser; when nothing opens it, where it is.
    void OnHelp();

    // The filter of the settings import and export dialogs.
    static const QString kConfigFilter;
    // Tests put their own file dialog in place of the program's.
    void SetFileDialogHook(CFileDialogHook hook) { m_fileDialog = std::move(hook); }

    static constexpr int kSplashTimerId = 1;
    static constexpr int kSplashMilliseconds = 5000;
    static const char* const kProfileSection; // "SOFTWARE\quillmark"

public slots:
    // Enter (command 1) never ends the main window.
    void accept() override {}
    // The cancel command goes through the close sequence, so nothing is lost.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool PreTranslate(QWidget* target, QEvent* event);
    void OnSelChange(int index);
    void PlaceMenuButton();
    // The system menu below the "≡" button (F10 and the button itself).
    void PopupMenuAtButton();
    // Settings import and export (command 203 and 204 outside a run).
    void OnImportSettings();
    void OnExportSettings();
    // Lets a batch run end before the window goes; its file in progress is finished.
    void EndRun();

    // Members in the order they are made; the pages go before the settings record.
    CStampSettings m_settings;
    std::array<std::unique_ptr<CResizePropertyPage>, CMainPages::kCount> m_pages;
    std::function<bool()> m_isStamping;
    std::function<void()> m_endRun;
    CFileDialogHook m_fileDialog;
    CMainPageFactory m_pageFactory;
    CTabControl* m_tabs = nullptr;
    QIcon m_bigIcon;
    int m_currentPage = 0;
    CWindowTimers* m_timers = nullptr;
    int m_splashTimer = 0;
    CSystemMenu* m_systemMenu = nullptr;
    QMenu* m_settingsMenu = nullptr;
    QToolButton* m_menuButton = nullptr;
    CPreTranslateHook* m_preTranslate = nullptr;
    CSplashWindow* m_splash = nullptr;
    bool m_applying = true;
    bool m_closing = false;
    bool m_endingRun = false;
    bool m_initialised = false;
};
