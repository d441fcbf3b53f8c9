#include "platform/dialognavigation.h"

#include "platform/dialogbuilder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

namespace {

// A stop and the template positions it covers (a whole radio group covers several).
struct CStop {
    int first = INT_MAX;
    int last = -1;
    QWidget* target = nullptr;
};

bool CanTakeFocus(const QWidget* dialog, const QWidget* w) {
    return w->isEnabled() && w->isVisibleTo(dialog) && (w->focusPolicy() & Qt::TabFocus);
}

QButtonGroup* TabGroupOf(const QWidget* w) {
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    QButtonGroup* group = button ? button->group() : nullptr;
    if (!group)
        return nullptr;
    const QList<QAbstractButton*> buttons = group->buttons();
    const bool stop = std::any_of(buttons.begin(), buttons.end(),
                                  [](const QAbstractButton* b) { return IsTemplateTabStop(b); });
    return stop ? group : nullptr;
}

// The group's positions, and the button that takes the focus: the checked one where it
// can, else the first in template order that can.
CStop GroupStop(const QWidget* dialog, const QButtonGroup* group) {
    CStop stop;
    int firstAble = INT_MAX;
    for (QAbstractButton* button : group->buttons()) {
        const int index = GetTemplateIndex(button);
        if (index < 0)
            continue;
        stop.first = std::min(stop.first, index);
        stop.last = std::max(stop.last, index);
        if (!CanTakeFocus(dialog, button))
            continue;
        if (button->isChecked()) {
            stop.target = button;
            firstAble = -1;
        } else if (index < firstAble) {
            stop.target = button;
            firstAble = index;
        }
    }
    return stop;
}

// The dialog's controls in template order.
std::vector<std::pair<int, QWidget*>> Controls(const QWidget* dialog) {
    std::vector<std::pair<int, QWidget*>> controls;
    for (QObject* child : dialog->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        const int index = w ? GetTemplateIndex(w) : -1;
        if (index >= 0)
            controls.emplace_back(index, w);
    }
    std::sort(controls.begin(), controls.end());
    return controls;
}

std::vector<CStop> Stops(const QWidget* dialog) {
    std::vector<CStop> stops;
    std::vector<const QButtonGroup*> groups;
    for (const auto& [index, w] : Controls(dialog)) {
        if (const QButtonGroup* group = TabGroupOf(w)) {
            if (std::find(groups.begin(), groups.end(), group) != groups.end())
                continue;
            groups.push_back(group);
            const CStop stop = GroupStop(dialog, group);
            if (stop.target)
                stops.push_back(stop);
            continue;
        }
        if (IsTemplateTabStop(w) && CanTakeFocus(dialog, w))
            stops.push_back({index, index, w});
    }
    return stops;
}

// The control of the dialog that holds w, or null.
const QWidget* ControlOf(const QWidget* dialog, const QWidget* w) {
    for (; w && w != dialog; w = w->parentWidget())
        if (w->parentWidget() == dialog && GetTemplateIndex(w) >= 0)
            return w;
    return nullptr;
}

} // namespace

QWidget* FirstTabStop(const QWidget* dialog, bool last) {
    const std::vector<CStop> stops = Stops(dialog);
    if (stops.empty())
        return nullptr;
    return last ? stops.back().target : stops.front().target;
}

QWidget* NextTabStop(const QWidget* dialog, const QWidget* from, bool backwards) {
    const QWidget* control = ControlOf(dialog, from);
    if (!control)
        return FirstTabStop(dialog, backwards);
    // Where the focus is now: a radio group counts as a whole.
    CStop here{GetTemplateIndex(control), GetTemplateIndex(control), nullptr};
    if (const QButtonGroup* group = TabGroupOf(control))
        here = GroupStop(dialog, group);
    const std::vector<CStop> stops = Stops(dialog);
    if (backwards) {
        for (auto it = stops.rbegin(); it != stops.rend(); ++it)
            if (it->last < here.first)
                return it->target;
        return nullptr;
    }
    for (const CStop& stop : stops)
        if (stop.first > here.last)
            return stop.target;
    return nullptr;
}

bool NavigateDialog(QWidget* dialog, QWidget* target, const QKeyEvent* event, QWidget* outside) {
    if (event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab)
        return false;
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (!target || (target != dialog && !dialog->isAncestorOf(target)))
        return false;
    const bool backwards =
        event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
    QWidget* next = NextTabStop(dialog, target, backwards);
    if (!next)
        next = outside ? outside : FirstTabStop(dialog, backwards);
    if (!next)
        return false;
    next->setFocus(backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}
