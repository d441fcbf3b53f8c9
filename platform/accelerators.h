#pragma once

#include <QKeyCombination>

#include <vector>

class QKeyEvent;

// An accelerator table: key combinations to command ids.
class CAcceleratorTable {
public:
    struct CEntry {
        QKeyCombination keys;
        int command;
    };

    CAcceleratorTable() = default;
    // The table of the accelerator resource id (empty when missing).
    static CAcceleratorTable Load(int id);
    // A resource key (virtual-key code with its QM_F... flags) as Qt's key combination;
    // Qt::Key_unknown for keys the table cannot express.
    static QKeyCombination FromVirtualKey(int virtualKey, int flags);

    const std::vector<CEntry>& GetEntries() const { return m_entries; }
    bool IsEmpty() const { return m_entries.empty(); }
    // The command of a key press (modifiers must match exactly; keypad and auto-repeat
    // make no difference), or 0 when the table has none.
    int Translate(const QKeyEvent& event) const;
    int Translate(QKeyCombination keys) const;

private:
    std::vector<CEntry> m_entries;
};
