#include "app/maindialog.h"

#include "app/infodialog.h"
#include "app/splashwindow.h"
#include "job/qtsettingsstore.h"
#include "pages/input/foldertree.h"
#include "platform/dialogbuilder.h"
#include "platform/dialognavigation.h"
#include "platform/messagebox.h"
#include "platform/pretranslate.h"
#include "platform/resourceloader.h"
#include "platform/shell.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "platform/windowtimers.h"
#include "resources/resource.h"
#include "resources/stringtable.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QTabBar>
#include <QToolButton>

const char* const CMainDialog::kProfileSection = "SOFTWARE\\quillmark";

namespace {

std::unique_ptr<CSettingsStore> UserStoreUnlessGiven(std::unique_ptr<CSettingsStore> store) {
    return store ? std::move(store) : std::make_unique<CQtSettingsStore>();
}

// Delivers the resize events that hidden widgets keep for their show, parents first, so
// that each layout arranges its controls from its parent's new size.
void SendPendingResizes(QWidget* widget) {
    if (widget->testAttribute(Qt::WA_PendingResizeEvent)) {
        widget->setAttribute(Qt::WA_PendingResizeEvent, false);
        QResizeEvent event(widget->size(), QSize());
        QCoreApplication::sendEvent(widget, &event);
    }
    for (QObject* child : widget->children()) {
        auto* childWidget = qobject_cast<QWidget*>(child);
        if (childWidget && !childWidget->isWindow())
            SendPendingResizes(childWidget);
    }
}

} // namespace

CMainDialog::CMainDialog(std::unique_ptr<CSettingsStore> store, CMainPageFactory pageFactory)
    : CResizeDialog(nullptr), m_settings(UserStoreUnlessGiven(std::move(store))),
      m_pageFactory(std::move(pageFactory)), m_bigIcon(LoadIcon(IDI_APPLICATION_ICON)),
      m_timers(new CWindowTimers(this)) {
    m_timers->SetHandler([this](int id) { OnTimer(id); });
}

CMainDialog::~CMainDialog() {
    // A run reads the positioning page's stamp and calls into the output page: it ends
    // before any page goes.
    EndRun();
    // The pages (and with them the folder trees' watcher threads) go first: the members
    // are destroyed in reverse order, and the settings record, which writes the store,
    // is the first member.
    for (auto& page : m_pages)
        page.reset();
}

void CMainDialog::SetSplash(CSplashWindow* splash) {
    m_splash = splash;
    // A click on the splash itself removes it too.
    if (m_splash && m_splash->GetWindow())
        new CPreTranslateHook(m_splash->GetWindow(),
                              [self = QPointer<CMainDialog>(this)](QWidget*, QEvent*) {
                                  if (self)
                                      self->HideSplash();
                                  return false;
                              });
}

void CMainDialog::InitDialog() {
    if (m_initialised)
        return;
    m_initialised = true;

    // 1. Controls of the template; the size now becomes the minimum; the size grip.
    InitFromTemplate(CDialogBuilder(*FindDialogTemplate(IDD_MAIN_DIALOG)));
    m_tabs = GetDlgItemAs<CTabControl>(this, IDC_MAIN_TAB);
    // Installed before the pages exist, so that the pages' own pre-translation, installed
    // later, sees each message first.
    m_preTranslate = new CPreTranslateHook(
        this, [this](QWidget* target, QEvent* event) { return PreTranslate(target, event); });

    // 2. System menu: each item goes in at position 6, above the previous one.
    m_systemMenu = new CSystemMenu(this);
    connect(m_systemMenu, &CSystemMenu::command, this, &CMainDialog::OnSysCommand);
    const QString help = LoadString(IDS_HELP);
    const QString info = LoadString(IDS_ABOUTBOX);
    const QString settings = LoadString(IDS_SETTINGS);
    if (!help.isEmpty()) {
        m_systemMenu->InsertSeparator(6);
        m_systemMenu->InsertItem(6, help, IDM_HELP);
    }
    if (!info.isEmpty())
        m_systemMenu->InsertItem(6, info, IDM_ABOUTBOX);
    if (!settings.isEmpty()) {
        m_settingsMenu = new QMenu(this);
        m_settingsMenu->addAction(QStringLiteral("import"))->setData(int(IDM_IMPORT));
        m_settingsMenu->addAction(QStringLiteral("export"))->setData(int(IDM_EXPORT));
        connect(m_settingsMenu, &QMenu::triggered, this,
                [this](QAction* action) { OnSysCommand(action->data().toInt()); });
        m_systemMenu->InsertPopup(6, settings, m_settingsMenu);
    }
    if (m_tabs) {
        m_menuButton = m_systemMenu->CreateMenuButton(m_tabs);
        // At the right end of the strip the menu opens leftwards, into the window.
        disconnect(m_menuButton, &QToolButton::clicked, m_systemMenu, nullptr);
        connect(m_menuButton, &QToolButton::clicked, this, &CMainDialog::PopupMenuAtButton);
        m_menuButton->setToolTip(QStringLiteral("Window menu (F10, Alt+Space)"));
        m_menuButton->show();
    }

    // 3. Big icon.
    setWindowIcon(m_bigIcon);

    // 4. Tab items.
    if (m_tabs) {
        const char* const titles[] = {"input selection", "positioning + settings",
                                      "output selection"};
        for (int i = 0; i < CMainPages::kCount; ++i)
            m_tabs->InsertItem(i, QString::fromUtf8(titles[i]));
        m_tabs->SetSelChangingGuard([this] { return !IsStamping(); });
        connect(m_tabs, &CTabControl::selChange, this, &CMainDialog::OnSelChange);
    }

    // 5. Pages, in the order input, positioning, output; hidden until chosen.
    if (m_pageFactory) {
        CMainPages made = m_pageFactory(this);
        for (int i = 0; i < CMainPages::kCount; ++i) {
            m_pages[size_t(i)].reset(made.pages[size_t(i)]);
            if (m_pages[size_t(i)])
                m_pages[size_t(i)]->hide();
        }
        m_isStamping = std::move(made.isStamping);
        m_endRun = std::move(made.endRun);
    }

    // 6. Tab icons.
    if (m_tabs) {
        const int icons[] = {IDI_TAB_INPUT, IDI_TAB_POSITION, IDI_TAB_OUTPUT};
        for (int i = 0; i < CMainPages::kCount; ++i)
            m_tabs->SetItemIcon(i, QIcon(LoadIconPixmap(icons[i], 16, 16)));
    }

    // 7, 8. Pages into the display area; the tab control grows with the window.
    PlacePages(true);
    PlaceMenuButton();
    AddAnchor(IDC_MAIN_TAB, 0, 0, 1, 1);

    // 9. Where the window was last time; the first time, a size to work in. The window and
    // its pages are hidden still, so the size changes wait for the show; they are handed
    // on now, so that the pictures loaded next are fitted into the views at the size the
    // user will see.
    if (!GetLayout().LoadWindowPlacement(QString::fromLatin1(kProfileSection))) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen)
            setGeometry(FirstStartRect(screen->availableGeometry(), size()));
    }
    SendPendingResizes(this);

    // 10. The input page's tab.
    m_currentPage = CMainPages::kInput;
    if (m_tabs)
        m_tabs->SetCurSel(m_currentPage);

    // 11. Folder trees, where the pages have them.
    if (auto* tree = GetDlgItemAs<CFolderTree>(GetPage(CMainPages::kInput), IDC_IN_TREE))
        tree->InitFolderTree();
    if (auto* tree = GetDlgItemAs<CFolderTree>(GetPage(CMainPages::kOutput), IDC_OUT_TREE))
        tree->InitFolderTree();

    // 12. The stored settings into the pages.
    ApplySettingsToPages();

    // 13. Input page shown.
    if (QWidget* page = GetPage(CMainPages::kInput))
        page->show();

    // 14. The splash stays for a while counted from now.
    m_splashTimer = m_timers->SetTimer(kSplashTimerId, kSplashMilliseconds);

    // 15.
    m_applying = false;
}

int CMainDialog::DoModal() {
    InitDialog();
    return exec();
}

QWidget* CMainDialog::GetTabControl() const {
    return m_tabs;
}

QWidget* CMainDialog::GetPage(int index) const {
    return index >= 0 && index < CMainPages::kCount ? m_pages[size_t(index)].get() : nullptr;
}

bool CMainDialog::IsStamping() const {
    return m_isStamping && m_isStamping();
}

void CMainDialog::HideSplash() {
    if (!m_splash || !m_splash->GetWindow())
        return;
    m_splash->Hide();
    repaint();
}

QRect CMainDialog::PageRect(int width, int height, const QRect& item) {
    const int itemBottom = item.top() + item.height(); // exclusive, as the window system has it
    return {item.left(), itemBottom + 5, width - 4, height - itemBottom - 7};
}

QPoint CMainDialog::MinimizedIconPosition(QSize client, QSize icon) {
    return {(client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2};
}

void CMainDialog::PlacePages(bool reparent) {
    if (!m_tabs)
        return;
    const QRect rect = PageRect(m_tabs->width(), m_tabs->height(), m_tabs->GetItemRect(0));
    for (const auto& page : m_pages) {
        if (!page)
            continue;
        if (reparent && page->parentWidget() != m_tabs) {
            const bool hidden = page->isHidden();
            page->setParent(m_tabs);
            page->setVisible(!hidden);
        }
        page->setGeometry(rect);
        page->raise();
    }
    if (m_menuButton)
        m_menuButton->raise();
}

QRect CMainDialog::FirstStartRect(const QRect& available, QSize templateSize) {
    // Two thirds of the screen leaves room beside the window while the lists and the
    // sample views get space to show something; never below the template, never beyond
    // the screen.
    QSize size(available.width() * 2 / 3, available.height() * 2 / 3);
    size = size.expandedTo(templateSize).boundedTo(available.size());
    return {available.left() + (available.width() - size.width()) / 2,
            available.top() + (available.height() - size.height()) / 2, size.width(),
            size.height()};
}

void CMainDialog::PopupMenuAtButton() {
    if (!m_systemMenu)
        return;
    if (!m_menuButton || !m_menuButton->isVisible()) {
        m_systemMenu->Popup();
        return;
    }
    // At the right end of the strip the menu opens leftwards, into the window.
    const int width = m_systemMenu->GetMenu()->sizeHint().width();
    m_systemMenu->Popup(
        m_menuButton->mapToGlobal(QPoint(m_menuButton->width() - width, m_menuButton->height())));
}

void CMainDialog::PlaceMenuButton() {
    if (!m_tabs || !m_menuButton)
        return;
    const int strip = m_tabs->GetTabBar()->sizeHint().height();
    const int side = qMax(16, strip - 4);
    m_menuButton->setGeometry(m_tabs->width() - side - 2, (strip - side) / 2, side, side);
}

void CMainDialog::OnSelChange(int index) {
    if (QWidget* page = GetPage(m_currentPage))
        page->hide();
    if (QWidget* page = GetPage(index))
        page->show();
    m_currentPage = index;
    if (m_tabs)
        m_tabs->setFocus(Qt::TabFocusReason);
}

bool CMainDialog::PreTranslate(QWidget* target, QEvent* event) {
    HideSplash(); // every key and mouse-button press, which then goes on its way
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (m_systemMenu && m_systemMenu->HandleKey(key))
        return true;
    // F10 is the menu key that window managers leave to the program (most take
    // Alt+Space for their own menu).
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier) {
        PopupMenuAtButton();
        return true;
    }
    // Where no window manager takes Alt+F4 first.
    if (key->key() == Qt::Key_F4 && key->modifiers() == Qt::AltModifier) {
        close();
        return true;
    }
    if (key->key() == Qt::Key_Escape)
        return true; // Escape never closes the main window
    const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
    if (!tab || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    // Inside a page the page's own navigation goes on; from the tab strip the focus moves
    // into the page shown.
    for (const auto& page : m_pages)
        if (page && (page.get() == target || page->isAncestorOf(target)))
            return false;
    QWidget* page = GetPage(m_currentPage);
    const bool backwards = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
    if (QWidget* stop = page ? FirstTabStop(page, backwards) : nullptr)
        stop->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

void CMainDialog::OnTimer(int id) {
    if (id == 0 || id != m_splashTimer)
        return;
    HideSplash();
    repaint();
    m_timers->KillTimer(id);
    m_splashTimer = 0;
}

void CMainDialog::OnSysCommand(int command) {
    switch (command) {
    case IDM_ABOUTBOX: {
        CInfoDialog info(this);
        info.exec();
        break;
    }
    case IDM_HELP:
        OnHelp();
        break;
    case IDM_IMPORT:
    case IDM_EXPORT:
        if (IsStamping()) {
            ShowMessageBox(this, QStringLiteral("Sorry, no import/export during stamping"),
                           CMessageIcon::Warning);
            break;
        }
        if (command == IDM_IMPORT)
            OnImportSettings();
        else
            OnExportSettings();
        break;
    default:
        break;
    }
}

QString CMainDialog::FindUserGuide() {
    const QString name = QStringLiteral("guide.html");
    const QDir program(QCoreApplication::applicationDirPath());
    QStringList candidates;
    // Build tree: the program in app/, its tests one level deeper.
    for (const char* up : {"..", "../.."})
        candidates << program.filePath(QLatin1String(up) + QStringLiteral("/guide/") + name);
    // Installed: relative to the program (bin/ beside share/), then where it was meant to go.
    candidates << program.filePath(QStringLiteral("../") + QString::fromUtf8(QM_GUIDE_INSTALL_DIR) +
                                   QLatin1Char('/') + name)
               << QString::fromUtf8(QM_GUIDE_INSTALL_FULL_DIR) + QLatin1Char('/') + name;
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).canonicalFilePath();
    return QString();
}

void CMainDialog::OnHelp() {
    // Without the guide beside the program, its copy on the web.
    QString guide = FindUserGuide();
    if (guide.isEmpty())
        guide = QString::fromUtf8(kProductHelpAddress);
    if (ShellOpen(guide))
        return;
    ShowMessageBox(
        this, QStringLiteral("No program here can show the user guide. You find it at\n\n") + guide,
        CMessageIcon::Information);
}

void CMainDialog::reject() {
    if (!m_closing) {
        close();
        return;
    }
    CResizeDialog::reject();
}

void CMainDialog::EndRun() {
    if (!m_endRun || m_endingRun)
        return;
    m_endingRun = true;
    m_endRun();
    m_endingRun = false;
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    // A close that arrives while an earlier one waits for the run changes nothing.
    if (m_endingRun) {
        event->ignore();
        return;
    }
    m_closing = true;
    if (m_splashTimer)
        m_timers->KillTimer(m_splashTimer);
    m_splashTimer = 0;
    HideSplash();
    // A running batch stops after its file in progress; what the pages show afterwards is
    // what gets gathered.
    EndRun();
    GetLayout().SaveWindowPlacement(QString::fromLatin1(kProfileSection));
    GatherSettingsFromPages();
    CResizeDialog::closeEvent(event); // ends the modal loop with the cancel result
    m_closing = false;
}

void CMainDialog::resizeEvent(QResizeEvent* event) {
    CResizeDialog::resizeEvent(event);
    PlacePages(false);
    PlaceMenuButton();
}

void CMainDialog::showEvent(QShowEvent* event) {
    CResizeDialog::showEvent(event);
    // The splash stays in front of the main window, also where no window manager keeps
    // top-most windows on top.
    if (m_splash && m_splash->GetWindow())
        m_splash->GetWindow()->raise();
}

void CMainDialog::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        CResizeDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QSize icon(32, 32);
    painter.drawPixmap(MinimizedIconPosition(size(), icon), m_bigIcon.pixmap(icon));
}
