#pragma once

#include "resources/dialogtemplate.h"

#include <QFont>

#include <functional>
#include <map>
#include <vector>

class QAbstractItemView;
class QWidget;

// ---- Control ids
// Every control built from a template carries its id; GetDlgItem finds a control among a
// dialog's direct children by id (the first one when several share it; IDC_STATIC
// controls are never found).
void SetDlgCtrlID(QWidget* control, int id);
int GetDlgCtrlID(const QWidget* control); // IDC_STATIC (-1) when it has none
QWidget* GetDlgItem(const QWidget* dialog, int id);
// A control's place in its template (-1 for a widget not built from one), and whether the
// template makes it a tab stop; the dialog's keyboard navigation walks them.
int GetTemplateIndex(const QWidget* control);
bool IsTemplateTabStop(const QWidget* control);
// Selection mode and scroll bars of a list box template style, for the builder's own list
// boxes and the custom list box classes put in their place.
void ApplyListBoxStyle(QAbstractItemView* list, uint32_t style);
template <class T> T* GetDlgItemAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(GetDlgItem(dialog, id));
}

// Builds the controls of a dialog template as children of a widget, with absolute
// geometry converted from dialog units (no Qt layouts: the resizable layout moves them).
//
// Kinds become: Static CStaticControl (QLabel), Icon CStaticControl with the icon,
// GroupBox QGroupBox (kept at the bottom of the z-order and transparent for the mouse, so
// it never covers the controls it frames), PushButton QPushButton, CheckBox QCheckBox,
// RadioButton QRadioButton or, push-like, a checkable QPushButton (each run of radio
// buttons that starts at QM_WS_GROUP or after another kind is one exclusive
// QButtonGroup), Edit QLineEdit or, multi-line, QPlainTextEdit, ListBox QListWidget,
// ComboBox QComboBox, TreeView QTreeWidget, TabControl CTabControl, Slider QSlider,
// ProgressBar QProgressBar. A page puts a class of its own in place of any control with
// SetFactory; the builder then places, names and orders that widget like any other.
//
// Tab order: the controls with QM_WS_TABSTOP in template order get Qt::StrongFocus (the
// chain is set explicitly); other controls that can take the focus get Qt::ClickFocus,
// except the buttons of a radio group that holds a tab stop, which take the focus from
// the arrow keys (Qt::StrongFocus). The pages walk the stops with NavigateDialog.
class CDialogBuilder {
public:
    using Factory = std::function<QWidget*(const CControlTemplate&, QWidget* parent)>;

    explicit CDialogBuilder(const CDialogTemplate& dialogTemplate);

    const CDialogTemplate& GetTemplate() const { return m_template; }
    void SetFactory(int controlId, Factory factory);

    // Creates the controls in dialog, gives dialog the template's font and client size
    // (fixed unless the template has a sizing frame or is a child), and for a top-level
    // template its caption and frame buttons. Returns the controls in template order.
    std::vector<QWidget*> Build(QWidget* dialog) const;

    // The font the templates are laid out for: a condensed sans-serif (DejaVu Sans
    // Condensed where installed) half a point below the template's size.
    static QFont DialogFont(const CDialogTemplate& dialogTemplate);
    // One control of its standard kind, unplaced.
    static QWidget* CreateStandardControl(const CControlTemplate& control, QWidget* parent);

private:
    const CDialogTemplate& m_template;
    std::map<int, Factory> m_factories;
};
