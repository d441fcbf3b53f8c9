#include "platform/tooltips.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

QString WrapToolTipText(const QString& text, int maxWidth,
                        const std::function<int(const QString&)>& width) {
    if (maxWidth <= 0)
        return text;
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (line.isEmpty() || width(candidate) <= maxWidth) {
            line = candidate;
        } else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}

CToolTipControl::CToolTipControl(QObject* parent) : QObject(parent) {}

void CToolTipControl::AddTool(QWidget* tool, const QString& text) {
    if (!tool)
        return;
    if (text.isEmpty()) {
        m_tips.erase(tool);
        tool->removeEventFilter(this);
        return;
    }
    if (m_tips.find(tool) == m_tips.end()) {
        tool->installEventFilter(this);
        connect(tool, &QObject::destroyed, this, [this](QObject* gone) { m_tips.erase(gone); });
    }
    m_tips[tool] = text;
}

QString CToolTipControl::GetText(const QWidget* tool) const {
    const auto it = m_tips.find(tool);
    return it == m_tips.end() ? QString() : it->second;
}

QString CToolTipControl::GetWrappedText(const QWidget* tool) const {
    const QFontMetrics metrics(QToolTip::font());
    return WrapToolTipText(GetText(tool), m_maxWidth,
                           [&](const QString& s) { return metrics.horizontalAdvance(s); });
}

bool CToolTipControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* tool = static_cast<QWidget*>(watched);
    if (!m_active || m_tips.find(tool) == m_tips.end())
        return false;
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), GetWrappedText(tool), tool);
    return true;
}
