#include "platform/systemmenu.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace {
const char kCommandProperty[] = "qmSysCommand";
} // namespace

CSystemMenu::CSystemMenu(QWidget* window)
    : QObject(window), m_window(window), m_menu(new QMenu(window)) {
    AddStandard(tr("&Restore"), SC_RESTORE);
    AddStandard(tr("&Move"), SC_MOVE);
    AddStandard(tr("&Size"), SC_SIZE);
    AddStandard(tr("Mi&nimize"), SC_MINIMIZE);
    AddStandard(tr("Ma&ximize"), SC_MAXIMIZE);
    m_menu->addSeparator();
    AddStandard(tr("&Close\tAlt+F4"), SC_CLOSE);
    connect(m_menu, &QMenu::aboutToShow, this, &CSystemMenu::UpdateStates);
    connect(m_menu, &QMenu::triggered, this, [this](QAction* action) {
        if (const int id = GetCommand(action))
            Carry(id);
    });
    window->installEventFilter(this);
}

CSystemMenu::~CSystemMenu() = default;

void CSystemMenu::AddStandard(const QString& text, int id) {
    m_menu->addAction(text)->setProperty(kCommandProperty, id);
}

int CSystemMenu::GetCommand(const QAction* action) {
    return action ? action->property(kCommandProperty).toInt() : 0;
}

QAction* CSystemMenu::InsertItem(int position, const QString& text, int id) {
    const QList<QAction*> actions = m_menu->actions();
    auto* action = new QAction(text, m_menu);
    action->setProperty(kCommandProperty, id);
    m_menu->insertAction(position >= 0 && position < actions.size() ? actions[position] : nullptr,
                         action);
    return action;
}

QAction* CSystemMenu::InsertSeparator(int position) {
    const QList<QAction*> actions = m_menu->actions();
    return m_menu->insertSeparator(position >= 0 && position < actions.size() ? actions[position]
                                                                              : nullptr);
}

QAction* CSystemMenu::InsertPopup(int position, const QString& text, QMenu* popup) {
    const QList<QAction*> actions = m_menu->actions();
    popup->setTitle(text);
    QAction* before = position >= 0 && position < actions.size() ? actions[position] : nullptr;
    return m_menu->insertMenu(before, popup);
}

void CSystemMenu::UpdateStates() {
    if (!m_window)
        return;
    const bool minimized = m_window->isMinimized();
    const bool maximized = m_window->isMaximized();
    const Qt::WindowFlags flags = m_window->windowFlags();
    for (QAction* action : m_menu->actions()) {
        switch (GetCommand(action)) {
        case SC_RESTORE:
            action->setEnabled(minimized || maximized);
            break;
        case SC_MOVE:
            action->setEnabled(!maximized);
            break;
        case SC_SIZE:
            action->setEnabled(!maximized && !minimized &&
                               m_window->minimumSize() != m_window->maximumSize());
            break;
        case SC_MINIMIZE:
            action->setEnabled(!minimized && (flags & Qt::WindowMinimizeButtonHint));
            break;
        case SC_MAXIMIZE:
            action->setEnabled(!maximized && (flags & Qt::WindowMaximizeButtonHint));
            break;
        default:
            break;
        }
    }
}

void CSystemMenu::Carry(int id) {
    if (!m_window)
        return;
    switch (id) {
    case SC_RESTORE:
        m_window->showNormal();
        break;
    case SC_MOVE:
        // The keys do it: a move by the window manager would need the mouse button that
        // a menu chosen by keyboard never pressed.
        BeginTracking(ETracking::Move);
        break;
    case SC_SIZE:
        BeginTracking(ETracking::Size);
        break;
    case SC_MINIMIZE:
        m_window->showMinimized();
        break;
    case SC_MAXIMIZE:
        m_window->showMaximized();
        break;
    case SC_CLOSE:
        m_window->close();
        break;
    default:
        emit command(id);
        break;
    }
}

void CSystemMenu::Popup() {
    if (m_window)
        Popup(m_window->mapToGlobal(QPoint(0, 0)));
}

void CSystemMenu::Popup(const QPoint& globalPosition) {
    m_menu->popup(globalPosition);
}

QToolButton* CSystemMenu::CreateMenuButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(QStringLiteral("\u2261"));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(tr("Window menu (Alt+Space)"));
    connect(button, &QToolButton::clicked, this,
            [this, button] { Popup(button->mapToGlobal(QPoint(0, button->height()))); });
    return button;
}

void CSystemMenu::BeginTracking(ETracking tracking) {
    if (!m_window || m_tracking != ETracking::None)
        return;
    m_tracking = tracking;
    m_trackStart = m_window->geometry();
    m_window->activateWindow();
    // Every key of the application while tracking: the focus may be on any control.
    qApp->installEventFilter(this);
    m_window->setCursor(tracking == ETracking::Move ? Qt::SizeAllCursor : Qt::SizeFDiagCursor);
}

void CSystemMenu::EndTracking(bool keep) {
    if (m_tracking == ETracking::None)
        return;
    m_tracking = ETracking::None;
    qApp->removeEventFilter(this);
    if (!m_window)
        return;
    m_window->unsetCursor();
    if (!keep)
        m_window->setGeometry(m_trackStart);
}

bool CSystemMenu::TrackKey(QKeyEvent* key) {
    QPoint step;
    switch (key->key()) {
    case Qt::Key_Left:
        step = {-kTrackStep, 0};
        break;
    case Qt::Key_Right:
        step = {kTrackStep, 0};
        break;
    case Qt::Key_Up:
        step = {0, -kTrackStep};
        break;
    case Qt::Key_Down:
        step = {0, kTrackStep};
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EndTracking(true);
        return true;
    case Qt::Key_Escape:
        EndTracking(false);
        return true;
    default:
        return true; // other keys wait until the tracking ends
    }
    if (m_tracking == ETracking::Move) {
        m_window->move(m_window->pos() + step);
    } else {
        const QSize size = (m_window->size() + QSize(step.x(), step.y()))
                               .expandedTo(m_window->minimumSize())
                               .boundedTo(m_window->maximumSize());
        m_window->resize(size);
    }
    return true;
}

bool CSystemMenu::eventFilter(QObject* watched, QEvent* event) {
    if (m_tracking != ETracking::None) {
        if (!m_window) {
            EndTracking(false);
            return false;
        }
        switch (event->type()) {
        case QEvent::KeyPress:
            return TrackKey(static_cast<QKeyEvent*>(event));
        case QEvent::ShortcutOverride:
            event->accept(); // no shortcut fires for the tracking keys
            return true;
        case QEvent::KeyRelease:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
            EndTracking(true);
            return false;
        default:
            return false;
        }
    }
    if (watched == m_window && event->type() == QEvent::KeyPress)
        return HandleKey(static_cast<QKeyEvent*>(event));
    return false;
}

bool CSystemMenu::HandleKey(QKeyEvent* key) {
    if (key->key() != Qt::Key_Space || key->modifiers() != Qt::AltModifier)
        return false;
    Popup();
    key->accept();
    return true;
}
