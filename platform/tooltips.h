#pragma once

#include <QFont>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QWidget;

// Breaks text into lines no wider than maxWidth as measured by width(text): greedily at
// blanks, a word wider than the limit on a line of its own. Lines are joined with "\n".
QString WrapToolTipText(const QString& text, int maxWidth,
                        const std::function<int(const QString&)>& width);

// A tooltip control: tips for whole controls, wrapped at a maximum width in pixels, shown
// only while active.
class CToolTipControl : public QObject {
    Q_OBJECT
public:
    explicit CToolTipControl(QObject* parent = nullptr);

    void SetMaxTipWidth(int pixels) { m_maxWidth = pixels; }
    int GetMaxTipWidth() const { return m_maxWidth; }
    // Adds (or replaces) the tip of a control; an empty text removes it.
    void AddTool(QWidget* tool, const QString& text);
    QString GetText(const QWidget* tool) const;
    void Activate(bool active) { m_active = active; }
    bool IsActive() const { return m_active; }
    // The text as it is shown: wrapped at the maximum width in the tooltip font.
    QString GetWrappedText(const QWidget* tool) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<const QObject*, QString> m_tips;
    int m_maxWidth = 0; // 0: no limit
    bool m_active = false;
};
