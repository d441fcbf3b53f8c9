#pragma once

class QKeyEvent;
class QWidget;

// Keyboard navigation inside a window built from a dialog template (CDialogBuilder), as
// dialogs have it. Tab and Shift+Tab walk the tab stops in template order, so a control
// that a template gains falls into place by where it stands in the template. A group of
// radio buttons that holds a tab stop is one stop: its checked button, or its first one
// that can take the focus; the arrow keys move between its buttons. Disabled and hidden
// controls are passed over.

// Where the focus goes when Tab enters the dialog (last: when Shift+Tab enters it); null
// when no control can take the focus.
QWidget* FirstTabStop(const QWidget* dialog, bool last = false);

// The stop after (backwards: before) the control that holds from (the control itself or a
// widget inside it); null when the walk leaves the dialog there. From a widget that is no
// control of the dialog, the first (last) stop.
QWidget* NextTabStop(const QWidget* dialog, const QWidget* from, bool backwards);

// The dialog's own navigation for a key press meant for target: Tab (Shift+Tab) moves the
// focus to the next (previous) stop; past the last stop (before the first) it goes to
// outside, or round to the first (last) stop when outside is null. True when the press
// was used.
bool NavigateDialog(QWidget* dialog, QWidget* target, const QKeyEvent* event, QWidget* outside);
