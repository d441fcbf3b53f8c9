#pragma once

#include <cstddef>
#include <cstdint>

// The program's built-in resources, embedded at build time, read without Qt.
// Types keep the numbers of the Windows resource types the ids were designed for.
enum : int {
    QM_RT_CURSOR = 1,
    QM_RT_BITMAP = 2,
    QM_RT_ICON = 3,
    QM_RT_MENU = 4,
    QM_RT_DIALOG = 5,
    QM_RT_STRING = 6,
    QM_RT_ACCELERATOR = 9,
    QM_RT_RCDATA = 10,
};

struct CResourceEntry {
    int id;
    int type;
    const uint8_t* data;
    size_t size;
};

// The entry with this id and type, or null.
const CResourceEntry* FindResourceEntry(int id, int type);
