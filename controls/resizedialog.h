#pragma once

#include "controls/resizelayout.h"

#include <QDialog>
#include <QWidget>

#include <memory>

class CDialogBuilder;

// Windows with a resizable layout. Each builds its template's controls, then initialises
// its layout (the size at that moment becomes the minimum); the window then adds its
// anchors. Every size change arranges the anchored controls after the base class's own
// handling.
//
//     class CMyPage : public CResizePropertyPage {
//         CMyPage(QWidget* parent) : CResizePropertyPage(parent) {
//             CDialogBuilder builder(*FindDialogTemplate(IDD_MY_PAGE));
//             builder.SetFactory(IDC_MY_BUTTON, ...);   // own classes first
//             InitFromTemplate(builder);                // controls + InitLayout
//             AddAnchor(IDC_MY_LIST, 0, 0, 1, 1);
//         }
//     };

// Builds the template's controls into window, then initialises its layout.
void BuildAndInitLayout(const CDialogBuilder& builder, QWidget* window, CResizeLayout& layout);

// What the three window kinds share: the layout, its anchors, and arranging on every resize.
template <class QtBase> class CResizable : public QtBase {
public:
    CResizeLayout& GetLayout() { return *m_layout; }
    void AddAnchor(int id, float left, float top, float right, float bottom) {
        m_layout->AddAnchor(id, left, top, right, bottom);
    }

protected:
    CResizable(QWidget* parent, int layoutFlags)
        : QtBase(parent), m_layout(std::make_unique<CResizeLayout>(this, layoutFlags)) {}

    void InitFromTemplate(const CDialogBuilder& builder) {
        BuildAndInitLayout(builder, this, *m_layout);
    }
    void resizeEvent(QResizeEvent* event) override {
        QtBase::resizeEvent(event);
        m_layout->ArrangeControls();
    }

    std::unique_ptr<CResizeLayout> m_layout;
};

// The main window's kind: a dialog with a size grip (layout flags as given).
class CResizeDialog : public CResizable<QDialog> {
    Q_OBJECT
public:
    explicit CResizeDialog(QWidget* parent = nullptr, int layoutFlags = 0);
    ~CResizeDialog() override;
};

// A tab page: a child window without a grip (flag 1 is always added).
class CResizePropertyPage : public CResizable<QWidget> {
    Q_OBJECT
public:
    explicit CResizePropertyPage(QWidget* parent = nullptr, int layoutFlags = 0);
    ~CResizePropertyPage() override;
};

// A form filling its frame window: never scrolls, no grip (flag 1 always added). Its
// initial update sizes the frame to fit the form, then initialises the layout.
class CResizeFormView : public CResizable<QWidget> {
    Q_OBJECT
public:
    explicit CResizeFormView(QWidget* parent = nullptr, int layoutFlags = 0);
    ~CResizeFormView() override;

protected:
    // Builds the controls, resizes the top-level window that holds the form so that the
    // form fits it exactly (growing or shrinking it), then initialises the layout.
    void InitialUpdate(const CDialogBuilder& builder);
};
