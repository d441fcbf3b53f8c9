#include "controls/resizedialog.h"

#include "platform/dialogbuilder.h"

CResizeDialog::CResizeDialog(QWidget* parent, int layoutFlags)
    : QDialog(parent), m_layout(std::make_unique<CResizeLayout>(this, layoutFlags)) {}
CResizeDialog::~CResizeDialog() = default;

void CResizeDialog::InitFromTemplate(const CDialogBuilder& builder) {
    builder.Build(this);
    m_layout->InitLayout();
}

void CResizeDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    m_layout->ArrangeControls();
}

CResizePropertyPage::CResizePropertyPage(QWidget* parent, int layoutFlags)
    : QWidget(parent),
      m_layout(std::make_unique<CResizeLayout>(this, layoutFlags | QM_RL_NO_GRIP)) {}
CResizePropertyPage::~CResizePropertyPage() = default;

void CResizePropertyPage::InitFromTemplate(const CDialogBuilder& builder) {
    builder.Build(this);
    m_layout->InitLayout();
}

void CResizePropertyPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_layout->ArrangeControls();
}

CResizeFormView::CResizeFormView(QWidget* parent, int layoutFlags)
    : QWidget(parent),
      m_layout(std::make_unique<CResizeLayout>(this, layoutFlags | QM_RL_NO_GRIP)) {}
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

void CResizeFormView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_layout->ArrangeControls();
}
