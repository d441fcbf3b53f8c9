#include "platform/accelerators.h"

#include "resources/menutemplate.h"

#include <QKeyEvent>

CAcceleratorTable CAcceleratorTable::Load(int id) {
    CAcceleratorTable table;
    const CAccelTableTemplate* t = FindAccelTableTemplate(id);
    if (!t)
        return table;
    for (size_t i = 0; i < t->entryCount; ++i) {
        const CAccelTemplate& e = t->entries[i];
        const QKeyCombination keys = FromVirtualKey(e.key, e.flags);
        if (keys.key() != Qt::Key_unknown)
            table.m_entries.push_back({keys, e.command});
    }
    return table;
}

QKeyCombination CAcceleratorTable::FromVirtualKey(int vk, int flags) {
    Qt::Key key = Qt::Key_unknown;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        key = Qt::Key(vk);
    else if (vk >= QM_VK_F1 && vk <= QM_VK_F12)
        key = Qt::Key(Qt::Key_F1 + (vk - QM_VK_F1));
    else if (vk == QM_VK_INSERT)
        key = Qt::Key_Insert;
    else if (vk == QM_VK_DELETE)
        key = Qt::Key_Delete;
    Qt::KeyboardModifiers modifiers;
    if (flags & QM_FCONTROL)
        modifiers |= Qt::ControlModifier;
    if (flags & QM_FSHIFT)
        modifiers |= Qt::ShiftModifier;
    if (flags & QM_FALT)
        modifiers |= Qt::AltModifier;
    return QKeyCombination(modifiers, key);
}

int CAcceleratorTable::Translate(QKeyCombination keys) const {
    const Qt::KeyboardModifiers relevant =
        Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;
    for (const CEntry& e : m_entries)
        if (e.keys.key() == keys.key() &&
            (e.keys.keyboardModifiers() & relevant) == (keys.keyboardModifiers() & relevant))
            return e.command;
    return 0;
}

int CAcceleratorTable::Translate(const QKeyEvent& event) const {
    return Translate(QKeyCombination(event.modifiers(), Qt::Key(event.key())));
}
