#pragma once

#include <QRect>
#include <QWidget>

#include <functional>

class QTabBar;

// A tab control: a strip of tabs over a framed display area. The pages are not its
// business: the owner places its page widgets as children in the display area (below the
// first tab's bottom edge) and shows the one of the selected tab. A change of selection
// can be refused while it is being made.
class CTabControl : public QWidget {
    Q_OBJECT
public:
    explicit CTabControl(QWidget* parent = nullptr);

    int InsertItem(int index, const QString& text);
    void SetItemIcon(int index, const QIcon& icon);
    int GetItemCount() const;
    int GetCurSel() const;
    // Selects without asking the guard and without selChange.
    void SetCurSel(int index);
    // The tab's rectangle in this control's coordinates.
    QRect GetItemRect(int index) const;
    QTabBar* GetTabBar() const { return m_bar; }

    // Asked before each change the user makes; false keeps the current tab.
    void SetSelChangingGuard(std::function<bool()> guard) { m_guard = std::move(guard); }

signals:
    // The selection has changed to index by the user's doing.
    void selChange(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnCurrentChanged(int index);

    QTabBar* m_bar;
    std::function<bool()> m_guard;
    int m_current = -1;
    bool m_reverting = false;
};
