#include "controls/resizelayout.h"

#include "controls/windowplacement.h"
#include "platform/dialogbuilder.h"
#include "platform/profile.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSizeGrip>
#include <QWidget>

namespace {
const char kPlacementEntry[] = "WindowPlacement";
}

CResizeLayout::CResizeLayout(QWidget* owner, int flags) : m_owner(owner), m_flags(flags) {}

CResizeLayout::~CResizeLayout() {
    // The grip is a child of the owner; it goes with the layout when the owner lives on.
    if (m_grip)
        delete m_grip.data();
}

void CResizeLayout::AddAnchor(int id, float left, float top, float right, float bottom) {
    const CAnchorFractions fractions{left, top, right, bottom};
    if (m_anchors.Find(id)) {
        m_anchors.Add(id, fractions, 0, 0, 0, 0);
        return;
    }
    QWidget* control = GetDlgItem(m_owner, id);
    if (!control)
        return;
    const QRect r = control->geometry(); // already in the owner's client coordinates
    m_anchors.Add(id, fractions, r.x(), r.y(), r.width(), r.height());
    m_controls[id] = control;
    if (!(m_flags & QM_RL_NO_GROUPBOX_FIX)) {
        if (auto* box = qobject_cast<QGroupBox*>(control)) {
            box->lower();
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
}

void CResizeLayout::InitLayout() {
    if (!m_owner)
        return;
    m_lastSize = m_owner->size();
    if (!(m_flags & QM_RL_NO_MINIMUM)) {
        m_minWidth = m_lastSize.width();
        m_minHeight = m_lastSize.height();
    }
    // Qt clips children always, so the clip-children flag needs nothing here.
    if (!(m_flags & QM_RL_NO_GRIP) && !m_grip) {
        m_grip = new QSizeGrip(m_owner);
        SetDlgCtrlID(m_grip, kSizeGripId);
        const QSize size = m_grip->sizeHint();
        m_grip->setGeometry(m_owner->width() - size.width(), m_owner->height() - size.height(),
                            size.width(), size.height());
        m_grip->raise();
        m_grip->show();
        AddAnchor(kSizeGripId, 1, 1, 1, 1);
    }
    ApplyMinMaxInfo();
}

void CResizeLayout::ArrangeControls() {
    if (!m_owner || m_anchors.IsEmpty())
        return;
    const QSize now = m_owner->size();
    const std::vector<CAnchorMove> moves =
        m_anchors.Arrange(now.width() - m_lastSize.width(), now.height() - m_lastSize.height());
    m_lastSize = now;
    if (moves.empty())
        return;
    // One batch: nothing repaints until every control is in its new place.
    const bool updates = m_owner->updatesEnabled();
    m_owner->setUpdatesEnabled(false);
    for (const CAnchorMove& move : moves) {
        const auto it = m_controls.find(move.id);
        if (it != m_controls.end() && it->second)
            it->second->setGeometry(move.x, move.y, move.width, move.height);
    }
    m_owner->setUpdatesEnabled(updates);
}

void CResizeLayout::GetMinMaxInfo(CMinMaxInfo& info) const {
    ComputeMinMaxInfo(m_flags, m_lastSize.width(), m_lastSize.height(), m_minWidth, m_minHeight,
                      m_maxWidth, m_maxHeight, info);
}

void CResizeLayout::ApplyMinMaxInfo() const {
    if (!m_owner || !m_owner->isWindow())
        return;
    CMinMaxInfo info;
    GetMinMaxInfo(info);
    m_owner->setMinimumSize(info.minWidth, info.minHeight);
    m_owner->setMaximumSize(info.maxWidth ? info.maxWidth : QWIDGETSIZE_MAX,
                            info.maxHeight ? info.maxHeight : QWIDGETSIZE_MAX);
}

bool CResizeLayout::SaveWindowPlacement(const QString& section) const {
    if (!m_owner)
        return false;
    CWindowPlacement p;
    p.showCommand = m_owner->isMaximized()   ? CWindowPlacement::SW_SHOWMAXIMIZED
                    : m_owner->isMinimized() ? CWindowPlacement::SW_SHOWMINIMIZED
                                             : CWindowPlacement::SW_SHOWNORMAL;
    const QRect normal = m_owner->isWindow() && (m_owner->isMaximized() || m_owner->isMinimized())
                             ? m_owner->normalGeometry()
                             : m_owner->geometry();
    p.left = normal.left();
    p.top = normal.top();
    p.right = normal.left() + normal.width();
    p.bottom = normal.top() + normal.height();
    return WriteProfileBinary(section, QString::fromLatin1(kPlacementEntry), p.Encode());
}

bool CResizeLayout::LoadWindowPlacement(const QString& section) {
    QByteArray stored;
    if (!m_owner || !GetProfileBinary(section, QString::fromLatin1(kPlacementEntry), &stored))
        return false;
    const std::optional<CWindowPlacement> p = CWindowPlacement::Decode(stored);
    if (!p || p->right <= p->left || p->bottom <= p->top)
        return false;
    QRect rect(p->left, p->top, p->right - p->left, p->bottom - p->top);
    if (m_owner->isWindow()) {
        bool onScreen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersects(rect);
        if (!onScreen && QGuiApplication::primaryScreen())
            rect.moveTopLeft(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    }
    m_owner->setGeometry(rect);
    if (p->showCommand == CWindowPlacement::SW_SHOWMAXIMIZED && m_owner->isWindow())
        m_owner->setWindowState(m_owner->windowState() | Qt::WindowMaximized);
    return true;
}
