#include "controls/controlfactories.h"

#include "controls/extentlistbox.h"
#include "controls/imagebutton.h"
#include "platform/dialogbuilder.h"

QWidget* CreateImageButton(const CControlTemplate& control, QWidget* parent) {
    auto* button = new CImageButton(QString::fromUtf8(control.text), parent);
    button->setDefault(control.style & QM_BS_DEFPUSHBUTTON);
    button->setAutoDefault(false);
    return button;
}

void ConfigureExtentListBox(CExtentListBox& list, const CControlTemplate& control) {
    const uint32_t s = control.style;
    list.setSelectionMode((s & QM_LBS_EXTENDEDSEL) ? QAbstractItemView::ExtendedSelection
                                                   : QAbstractItemView::SingleSelection);
    list.setHorizontalScrollBarPolicy((s & QM_WS_HSCROLL) ? Qt::ScrollBarAsNeeded
                                                          : Qt::ScrollBarAlwaysOff);
    list.setVerticalScrollBarPolicy((s & QM_WS_VSCROLL) ? Qt::ScrollBarAsNeeded
                                                        : Qt::ScrollBarAlwaysOff);
    list.SetSorted(s & QM_LBS_SORT);
}

QWidget* CreateExtentListBox(const CControlTemplate& control, QWidget* parent) {
    auto* list = new CExtentListBox(parent);
    ConfigureExtentListBox(*list, control);
    return list;
}

void UseCommonControls(CDialogBuilder& builder, const int* listBoxIds) {
    for (const CControlTemplate& control : builder.GetTemplate()) {
        if (control.kind == CControlKind::PushButton && (control.style & QM_BS_OWNERDRAW))
            builder.SetFactory(control.id, CreateImageButton);
        if (control.kind == CControlKind::ListBox && listBoxIds) {
            for (const int* id = listBoxIds; *id; ++id)
                if (*id == control.id)
                    builder.SetFactory(control.id, CreateExtentListBox);
        }
    }
}
