#include "platform/dialogbuilder.h"

#include "platform/dialogunits.h"
#include "platform/groupframe.h"
#include "platform/resourceloader.h"
#include "platform/staticcontrol.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTreeWidget>

#include <algorithm>

namespace {

const char kIdProperty[] = "qmControlId";
const char kIndexProperty[] = "qmTemplateIndex";
const char kTabStopProperty[] = "qmTabStop";

// Read-only edits look like the window system's: the window colour instead of the
// editable white.
void LookReadOnly(QWidget* edit) {
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

bool TakesFocus(CControlKind kind) {
    return kind != CControlKind::Static && kind != CControlKind::Icon &&
           kind != CControlKind::GroupBox && kind != CControlKind::ProgressBar;
}

} // namespace

void SetDlgCtrlID(QWidget* control, int id) {
    control->setProperty(kIdProperty, id);
}

int GetDlgCtrlID(const QWidget* control) {
    const QVariant id = control ? control->property(kIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : IDC_STATIC;
}

void ApplyListBoxStyle(QAbstractItemView* list, uint32_t style) {
    list->setSelectionMode((style & QM_LBS_EXTENDEDSEL) ? QAbstractItemView::ExtendedSelection
                                                        : QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy((style & QM_WS_HSCROLL) ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy((style & QM_WS_VSCROLL) ? Qt::ScrollBarAsNeeded
                                                             : Qt::ScrollBarAlwaysOff);
}

int GetTemplateIndex(const QWidget* control) {
    const QVariant index = control ? control->property(kIndexProperty) : QVariant();
    return index.isValid() ? index.toInt() : -1;
}

bool IsTemplateTabStop(const QWidget* control) {
    return control && control->property(kTabStopProperty).toBool();
}

QWidget* GetDlgItem(const QWidget* dialog, int id) {
    if (!dialog || id == IDC_STATIC)
        return nullptr;
    for (QObject* child : dialog->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && GetDlgCtrlID(widget) == id)
            return widget;
    }
    return nullptr;
}

CDialogBuilder::CDialogBuilder(const CDialogTemplate& dialogTemplate)
    : m_template(dialogTemplate) {}

void CDialogBuilder::SetFactory(int controlId, Factory factory) {
    m_factories[controlId] = std::move(factory);
}

QFont CDialogBuilder::DialogFont(const CDialogTemplate& dialogTemplate) {
    // The templates' texts were measured in a narrow bitmap face with 13-pixel lines. The
    // common sans-serif faces run wider and taller at the same size; a condensed face
    // half a point smaller keeps every text inside its control.
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Nimbus Sans Narrow"),
                      QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"),
                      QStringLiteral("DejaVu Sans")});
    const int points = dialogTemplate.pointSize > 0 ? dialogTemplate.pointSize : 8;
    font.setPointSizeF(points - 0.5);
    return font;
}

QWidget* CDialogBuilder::CreateStandardControl(const CControlTemplate& c, QWidget* parent) {
    const QString text = QString::fromUtf8(c.text);
    const uint32_t s = c.style;
    switch (c.kind) {
    case CControlKind::Static: {
        auto* label = new CStaticControl(parent);
        label->setText(text);
        label->SetNotify(s & QM_SS_NOTIFY);
        if (s & QM_SS_RIGHT)
            label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        else if (s & QM_SS_CENTER)
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        if (s & QM_SS_CENTERIMAGE)
            label->setAlignment(Qt::AlignCenter);
        if (s & QM_WS_EX_CLIENTEDGE)
            label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        else if (s & QM_WS_BORDER)
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
        return label;
    }
    case CControlKind::Icon: {
        auto* label = new CStaticControl(parent);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setPixmap(LoadIconPixmap(c.imageId, 32, 32));
        return label;
    }
    case CControlKind::GroupBox: {
        auto* box = new CGroupFrame(text, parent);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    case CControlKind::PushButton: {
        auto* button = new QPushButton(text, parent);
        button->setDefault(s & QM_BS_DEFPUSHBUTTON);
        button->setAutoDefault(false);
        return button;
    }
    case CControlKind::CheckBox:
        return new QCheckBox(text, parent);
    case CControlKind::RadioButton: {
        if (s & QM_BS_PUSHLIKE) {
            auto* button = new QPushButton(text, parent);
            button->setCheckable(true);
            button->setAutoDefault(false);
            return button;
        }
        return new QRadioButton(text, parent);
    }
    case CControlKind::Edit: {
        if (s & QM_ES_MULTILINE) {
            auto* edit = new QPlainTextEdit(parent);
            edit->setPlainText(text);
            edit->setReadOnly(s & QM_ES_READONLY);
            edit->setVerticalScrollBarPolicy((s & QM_WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                 : Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy((s & QM_WS_HSCROLL) ? Qt::ScrollBarAsNeeded
                                                                   : Qt::ScrollBarAlwaysOff);
            if (s & QM_ES_READONLY)
                LookReadOnly(edit);
            return edit;
        }
        auto* edit = new QLineEdit(text, parent);
        edit->setReadOnly(s & QM_ES_READONLY);
        if (c.maxLength > 0)
            edit->setMaxLength(c.maxLength);
        edit->setFrame(s & (QM_WS_BORDER | QM_WS_EX_CLIENTEDGE));
        if (s & QM_ES_READONLY)
            LookReadOnly(edit);
        return edit;
    }
    case CControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        ApplyListBoxStyle(list, s);
        list->setSortingEnabled(s & QM_LBS_SORT);
        return list;
    }
    case CControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        return combo;
    }
    case CControlKind::TreeView: {
        auto* tree = new QTreeWidget(parent);
        tree->setHeaderHidden(true);
        return tree;
    }
    case CControlKind::TabControl:
        return new CTabControl(parent);
    case CControlKind::Slider: {
        auto* slider = new QSlider(Qt::Horizontal, parent);
        slider->setTickPosition((s & QM_TBS_NOTICKS) ? QSlider::NoTicks : QSlider::TicksBelow);
        return slider;
    }
    case CControlKind::SpinBox: {
        auto* spin = new QSpinBox(parent);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        return spin;
    }
    case CControlKind::Dial: {
        auto* dial = new QDial(parent);
        dial->setWrapping(true);
        dial->setNotchesVisible(false);
        return dial;
    }
    case CControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    }
    return new QWidget(parent);
}

std::vector<QWidget*> CDialogBuilder::Build(QWidget* dialog) const {
    const QFont font = DialogFont(m_template);
    dialog->setFont(font);
    const CDialogUnits units = CDialogUnits::ForWidget(dialog);
    const uint32_t ds = m_template.style;

    if (!(ds & QM_DS_CHILD) && dialog->isWindow()) {
        Qt::WindowFlags flags = (ds & QM_DS_APPWINDOW) ? Qt::Window : Qt::Dialog;
        flags |= Qt::CustomizeWindowHint;
        if (ds & QM_DS_CAPTION)
            flags |= Qt::WindowTitleHint;
        if (ds & QM_DS_SYSMENU)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (ds & QM_DS_MINIMIZEBOX)
            flags |= Qt::WindowMinimizeButtonHint;
        if (ds & QM_DS_MAXIMIZEBOX)
            flags |= Qt::WindowMaximizeButtonHint;
        dialog->setWindowFlags(flags);
        dialog->setWindowTitle(QString::fromUtf8(m_template.caption));
    }
    const QSize size(units.ToPixelsX(m_template.cx), units.ToPixelsY(m_template.cy));
    if (!(ds & (QM_DS_SIZING | QM_DS_CHILD)) && dialog->isWindow())
        dialog->setFixedSize(size);
    else
        dialog->resize(size);

    std::vector<QWidget*> controls;
    std::vector<QWidget*> groupBoxes;
    std::vector<QButtonGroup*> radioGroups;
    QWidget* previousTabStop = nullptr;
    QButtonGroup* radioGroup = nullptr;
    CControlKind previousKind = CControlKind::Static;
    for (const CControlTemplate& c : m_template) {
        const auto factory = m_factories.find(c.id);
        QWidget* w = factory != m_factories.end() && c.id != IDC_STATIC
                         ? factory->second(c, dialog)
                         : CreateStandardControl(c, dialog);
        if (!w)
            w = CreateStandardControl(c, dialog);
        if (w->parentWidget() != dialog)
            w->setParent(dialog);
        SetDlgCtrlID(w, c.id);
        w->setProperty(kIndexProperty, int(controls.size()));
        w->setProperty(kTabStopProperty, bool(c.style & QM_WS_TABSTOP));
        w->setFont(font);
        if (c.kind == CControlKind::ComboBox) {
            // The template's height includes the dropped list; the closed box is one line.
            const QRect r = units.ToPixels(c.x, c.y, c.cx, c.cy);
            const int closed = w->sizeHint().height();
            w->setGeometry(r.x(), r.y(), r.width(), closed);
            if (auto* combo = qobject_cast<QComboBox*>(w))
                combo->setMaxVisibleItems(qMax(1, (r.height() - closed) / qMax(1, closed - 6)));
        } else {
            w->setGeometry(units.ToPixels(c.x, c.y, c.cx, c.cy));
        }
        w->setEnabled(!(c.style & QM_WS_DISABLED));

        if (c.kind == CControlKind::RadioButton) {
            if (!radioGroup || previousKind != CControlKind::RadioButton ||
                (c.style & QM_WS_GROUP)) {
                radioGroup = new QButtonGroup(dialog);
                radioGroup->setExclusive(true);
                radioGroups.push_back(radioGroup);
            }
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                button->setAutoExclusive(false);
                radioGroup->addButton(button, c.id);
            }
        }
        previousKind = c.kind;

        if (c.style & QM_WS_TABSTOP) {
            w->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, w);
            previousTabStop = w;
        } else if (c.kind == CControlKind::Static || c.kind == CControlKind::Icon ||
                   c.kind == CControlKind::GroupBox) {
            w->setFocusPolicy(Qt::NoFocus);
        } else if (TakesFocus(c.kind)) {
            w->setFocusPolicy(Qt::ClickFocus);
        }
        if (qobject_cast<QGroupBox*>(w))
            groupBoxes.push_back(w);
        w->show();
        controls.push_back(w);
    }
    // The arrow keys move only between buttons that take the focus from the keyboard.
    for (QButtonGroup* group : radioGroups) {
        const QList<QAbstractButton*> buttons = group->buttons();
        if (std::any_of(buttons.begin(), buttons.end(), IsTemplateTabStop))
            for (QAbstractButton* button : buttons)
                button->setFocusPolicy(Qt::StrongFocus);
    }
    for (QWidget* box : groupBoxes)
        box->lower();
    return controls;
}
