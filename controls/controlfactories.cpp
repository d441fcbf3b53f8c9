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
    ApplyListBoxStyle(&list, control.style);
    list.SetSorted(control.style & QM_LBS_SORT);
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
