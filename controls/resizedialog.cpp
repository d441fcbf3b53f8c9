#include "controls/resizedialog.h"

#include "platform/dialogbuilder.h"

void BuildAndInitLayout(const CDialogBuilder& builder, QWidget* window, CResizeLayout& layout) {
    builder.Build(window);
    layout.InitLayout();
}

CResizeDialog::CResizeDialog(QWidget* parent, int layoutFlags) : CResizable(parent, layoutFlags) {}
CResizeDialog::~CResizeDialog() = default;

CResizePropertyPage::CResizePropertyPage(QWidget* parent, int layoutFlags)
    : CResizable(parent, layoutFlags | QM_RL_NO_GRIP) {}
CResizePropertyPage::~CResizePropertyPage() = default;

CResizeFormView::CResizeFormView(QWidget* parent, int layoutFlags)
    : CResizable(parent, layoutFlags | QM_RL_NO_GRIP) {}
CResizeFormView::~CResizeFormView() = default;

void CResizeFormView::InitialUpdate(const CDialogBuilder& builder) {
    // The frame grows or shrinks by what it holds besides the form now.
    QWidget* frame = window();
    const QSize extra = frame->size() - size();
    builder.Build(this);
    if (frame != this)
        frame->resize(size() + extra);
    m_layout->InitLayout();
}
