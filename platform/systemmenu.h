#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QAction;
class QKeyEvent;
class QMenu;
class QToolButton;
class QWidget;

// Stand-in for a window's system menu: the standard items Restore, Move, Size, Minimize,
// Maximize, a separator and Close, carried out with Qt's window calls, and room for the
// window's own items, which report their command ids through `command`. It opens with
// Alt+Space in the window and from a small menu button the window places where it likes.
class CSystemMenu : public QObject {
    Q_OBJECT
public:
    // Standard commands, by the numbers of the commands they stand for.
    enum : int {
        SC_SIZE = 0xF000,
        SC_MOVE = 0xF010,
        SC_MINIMIZE = 0xF020,
        SC_MAXIMIZE = 0xF030,
        SC_CLOSE = 0xF060,
        SC_RESTORE = 0xF120,
    };

    explicit CSystemMenu(QWidget* window);
    ~CSystemMenu() override;

    QMenu* GetMenu() const { return m_menu; }
    // Inserts before the item at position (counting separators, as the standard menu
    // does); a position past the end appends.
    QAction* InsertItem(int position, const QString& text, int command);
    QAction* InsertSeparator(int position);
    QAction* InsertPopup(int position, const QString& text, QMenu* popup);
    // The command id of an item (0 for separators and popups).
    static int GetCommand(const QAction* action);

    // Opens the menu at a global position (the window's top-left corner by default) and
    // carries out what is chosen.
    void Popup();
    void Popup(const QPoint& globalPosition);
    // Opens the menu for Alt+Space; true when the key was that. Windows whose children
    // take the key first call it from their pre-translation.
    bool HandleKey(QKeyEvent* key);
    // A small button that opens the menu below itself.
    QToolButton* CreateMenuButton(QWidget* parent);

    // "Move" and "Size" start a keyboard tracking of the window, as the standard commands
    // do: the arrow keys move it (or move its right and bottom edges) by kTrackStep pixels,
    // Return keeps the result, Escape puts the window back; a click ends it too.
    static constexpr int kTrackStep = 8;
    enum class ETracking { None, Move, Size };
    ETracking GetTracking() const { return m_tracking; }

signals:
    // An item of the window's own was chosen.
    void command(int id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddStandard(const QString& text, int id);
    void UpdateStates();
    void Carry(int id);
    void BeginTracking(ETracking tracking);
    void EndTracking(bool keep);
    bool TrackKey(QKeyEvent* key);

    QPointer<QWidget> m_window;
    QMenu* m_menu;
    ETracking m_tracking = ETracking::None;
    QRect m_trackStart;
};
