#include "platform/tabcontrol.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

CTabControl::CTabControl(QWidget* parent) : QWidget(parent), m_bar(new QTabBar(this)) {
    m_bar->setDrawBase(false);
    m_bar->setExpanding(false);
    m_bar->setFocusPolicy(Qt::StrongFocus);
    // Where resizeEvent puts it: item rectangles are right before the first resize too.
    m_bar->move(2, 0);
    setFocusProxy(m_bar);
    connect(m_bar, &QTabBar::currentChanged, this, &CTabControl::OnCurrentChanged);
}

int CTabControl::InsertItem(int index, const QString& text) {
    const int at = m_bar->insertTab(index, text);
    m_bar->resize(m_bar->sizeHint().width(), m_bar->sizeHint().height());
    return at;
}

void CTabControl::SetItemIcon(int index, const QIcon& icon) {
    m_bar->setTabIcon(index, icon);
    m_bar->resize(m_bar->sizeHint());
}

int CTabControl::GetItemCount() const {
    return m_bar->count();
}
int CTabControl::GetCurSel() const {
    return m_bar->currentIndex();
}

void CTabControl::SetCurSel(int index) {
    m_reverting = true;
    m_bar->setCurrentIndex(index);
    m_current = m_bar->currentIndex();
    m_reverting = false;
}

QRect CTabControl::GetItemRect(int index) const {
    return m_bar->tabRect(index).translated(m_bar->pos());
}

void CTabControl::OnCurrentChanged(int index) {
    if (m_reverting)
        return;
    if (m_guard && m_current >= 0 && !m_guard()) {
        m_reverting = true;
        m_bar->setCurrentIndex(m_current);
        m_reverting = false;
        return;
    }
    m_current = index;
    emit selChange(index);
}

void CTabControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionTabWidgetFrame option;
    option.initFrom(this);
    option.rect = rect().adjusted(0, m_bar->height() - 1, 0, 0);
    option.tabBarSize = m_bar->size();
    option.tabBarRect = m_bar->geometry();
    option.shape = QTabBar::RoundedNorth;
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter, this);
}

void CTabControl::resizeEvent(QResizeEvent*) {
    m_bar->setGeometry(2, 0, qMin(m_bar->sizeHint().width(), width() - 4),
                       m_bar->sizeHint().height());
}
