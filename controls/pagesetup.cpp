#include "controls/pagesetup.h"

#include "controls/imagebutton.h"
#include "controls/resizelayout.h"
#include "platform/dialogbuilder.h"
#include "platform/resourceloader.h"
#include "platform/tooltips.h"

void AddAnchors(CResizeLayout& layout, std::span<const CAnchorRow> rows) {
    for (const CAnchorRow& a : rows)
        layout.AddAnchor(a.id, a.left, a.top, a.right, a.bottom);
}

void SetUpImageButtons(QWidget* page, std::span<const CImageButtonRow> rows) {
    for (const CImageButtonRow& b : rows) {
        if (auto* button = GetDlgItemAs<CImageButton>(page, b.id)) {
            button->SetIcon(b.icon, b.width, b.height);
            button->SetImagePos(b.imageX, -1);
            button->SetTextPos(b.textX, -1);
        }
    }
}

CToolTipControl* CreateToolTips(QWidget* page, int maxWidth, std::span<const CToolRow> rows) {
    auto* tips = new CToolTipControl(page);
    tips->SetMaxTipWidth(maxWidth);
    for (const CToolRow& t : rows)
        if (QWidget* tool = GetDlgItem(page, t.id))
            tips->AddTool(tool, LoadString(t.text));
    tips->Activate(true);
    return tips;
}
