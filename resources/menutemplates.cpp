#include "resources/menutemplate.h"

#include "resources/resource.h"

#include <iterator>

namespace {

// 168: the viewers' popup; its first (only) submenu is what they show.
const CMenuItemTemplate kPopupMenu[] = {
    {0, "popup", 0, true},
    {1, "&copy", ID_POPUP_COPY, false},
    {1, "&paste", ID_POPUP_PASTE, false},
};

const CMenuTemplate kMenus[] = {
    {IDR_POPUP_MENU, kPopupMenu, std::size(kPopupMenu)},
};

// 159: Ctrl+A, Ctrl+C, Ctrl+V and F5, no inversion of menu items.
const CAccelTemplate kAccelerators[] = {
    {QM_FVIRTKEY | QM_FNOINVERT | QM_FCONTROL, 'A', ID_SELECT_ALL},
    {QM_FVIRTKEY | QM_FNOINVERT | QM_FCONTROL, 'C', ID_EDIT_COPY},
    {QM_FVIRTKEY | QM_FNOINVERT | QM_FCONTROL, 'V', ID_EDIT_PASTE},
    {QM_FVIRTKEY | QM_FNOINVERT, QM_VK_F5, ID_REFRESH},
};

const CAccelTableTemplate kAccelTables[] = {
    {IDR_ACCELERATORS, kAccelerators, std::size(kAccelerators)},
};

} // namespace

const CMenuTemplate* FindMenuTemplate(int id) {
    for (const CMenuTemplate& m : kMenus)
        if (m.id == id)
            return &m;
    return nullptr;
}

const CAccelTableTemplate* FindAccelTableTemplate(int id) {
    for (const CAccelTableTemplate& t : kAccelTables)
        if (t.id == id)
            return &t;
    return nullptr;
}
