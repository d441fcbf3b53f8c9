#pragma once

#include <cstddef>
#include <cstdint>

// Menus and accelerator tables as data.

// One item of a menu resource. Items at depth 0 are the menu bar's entries; a popup item
// is followed by its items at depth + 1.
struct CMenuItemTemplate {
    int depth;
    const char* text; // "&" marks the mnemonic; "" with command 0 is a separator
    int command;      // 0 for popups and separators
    bool popup;
};

struct CMenuTemplate {
    int id;
    const CMenuItemTemplate* items;
    size_t itemCount;
};

// The menu with this id, or null.
const CMenuTemplate* FindMenuTemplate(int id);

// Flags and keys keep the values of the accelerator resources the ids come from: keys are
// virtual-key codes ('A'..'Z' and '0'..'9' are their characters).
enum : uint8_t {
    QM_FVIRTKEY = 0x01,
    QM_FNOINVERT = 0x02,
    QM_FSHIFT = 0x04,
    QM_FCONTROL = 0x08,
    QM_FALT = 0x10,
};
enum : uint16_t {
    QM_VK_F1 = 0x70,
    QM_VK_F5 = 0x74,
    QM_VK_F12 = 0x7B,
    QM_VK_INSERT = 0x2D,
    QM_VK_DELETE = 0x2E,
};

struct CAccelTemplate {
    uint8_t flags;
    uint16_t key;
    int command;
};

struct CAccelTableTemplate {
    int id;
    const CAccelTemplate* entries;
    size_t entryCount;
};

// The accelerator table with this id, or null.
const CAccelTableTemplate* FindAccelTableTemplate(int id);
