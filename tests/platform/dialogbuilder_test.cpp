#include "platform/dialogbuilder.h"
#include "platform/dialognavigation.h"
#include "platform/dialogunits.h"
#include "platform/groupframe.h"
#include "platform/staticcontrol.h"
#include "platform/tabcontrol.h"
#include "qtapp.h"
#include "resources/resource.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>

TEST(DialogUnits, ConversionTable) {
    const CDialogUnits at96;
    struct {
        int units, x, y;
    } const rows[] = {{0, 0, 0}, {1, 2, 2}, {4, 6, 7}, {8, 12, 13}, {393, 590, 639}, {-4, -6, -7}};
    for (const auto& r : rows) {
        EXPECT_EQ(at96.ToPixelsX(r.units), r.x) << r.units;
        EXPECT_EQ(at96.ToPixelsY(r.units), r.y) << r.units;
    }
    const CDialogUnits at144(144, 144);
    EXPECT_EQ(at144.ToPixelsX(4), 9);
    EXPECT_EQ(at144.ToPixelsY(8), 20); // 19.5 rounds up
    // Edges convert on their own: neighbours stay neighbours.
    const QRect a = at96.ToPixels(1, 1, 3, 3), b = at96.ToPixels(4, 4, 3, 3);
    EXPECT_EQ(a.x() + a.width(), b.x());
    EXPECT_EQ(a.y() + a.height(), b.y());
}

namespace {

struct Built {
    std::unique_ptr<QWidget> dialog = std::make_unique<QWidget>();
    std::vector<QWidget*> controls;
};

Built Build(int templateId, CDialogBuilder* custom = nullptr) {
    TestApplication();
    Built b;
    CDialogBuilder builder(*FindDialogTemplate(templateId));
    b.controls = (custom ? *custom : builder).Build(b.dialog.get());
    return b;
}

// The stops that Tab walks through, from the first one to where it leaves the dialog.
std::vector<int> TabWalk(const Built& b) {
    std::vector<int> ids;
    for (QWidget* w = FirstTabStop(b.dialog.get()); w && ids.size() < 100;
         w = NextTabStop(b.dialog.get(), w, false))
        ids.push_back(GetDlgCtrlID(w));
    return ids;
}

} // namespace

TEST(DialogBuilder, EveryTemplateBuildsItsControlsWithIdsTextsAndGeometry) {
    size_t count = 0;
    const CDialogTemplate* const* all = GetDialogTemplates(&count);
    for (size_t i = 0; i < count; ++i) {
        const CDialogTemplate& t = *all[i];
        const Built b = Build(t.id);
        ASSERT_EQ(b.controls.size(), t.controlCount) << t.id;
        const CDialogUnits units = CDialogUnits::ForWidget(b.dialog.get());
        EXPECT_EQ(b.dialog->size(), QSize(units.ToPixelsX(t.cx), units.ToPixelsY(t.cy))) << t.id;
        for (size_t k = 0; k < t.controlCount; ++k) {
            const CControlTemplate& c = t.controls[k];
            QWidget* w = b.controls[k];
            EXPECT_EQ(GetDlgCtrlID(w), c.id) << t.id;
            if (c.id != IDC_STATIC) {
                EXPECT_EQ(GetDlgItem(b.dialog.get(), c.id), w) << t.id << "/" << c.id;
            }
            const QRect expected = units.ToPixels(c.x, c.y, c.cx, c.cy);
            EXPECT_EQ(w->pos(), expected.topLeft()) << t.id << "/" << c.id;
            if (c.kind != CControlKind::ComboBox) {
                EXPECT_EQ(w->size(), expected.size()) << t.id << "/" << c.id;
            }
            EXPECT_EQ(w->isEnabled(), !(c.style & QM_WS_DISABLED)) << t.id << "/" << c.id;
            QString text;
            if (auto* label = qobject_cast<QLabel*>(w))
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                text = button->text();
            else if (auto* box = qobject_cast<QGroupBox*>(w))
                text = box->title();
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                text = edit->text();
            else
                continue;
            EXPECT_EQ(text, QString::fromUtf8(c.text)) << t.id << "/" << c.id;
        }
    }
}

TEST(DialogBuilder, KindsAndStylesOfThePositioningPage) {
    const Built b = Build(IDD_POSITION_PAGE);
    QWidget* page = b.dialog.get();
    EXPECT_TRUE(qobject_cast<QGroupBox*>(GetDlgItem(page, 1072)));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(GetDlgItem(page, 1001))->isReadOnly());
    EXPECT_EQ(qobject_cast<QLineEdit*>(GetDlgItem(page, 1035))->maxLength(), 5);
    EXPECT_TRUE(qobject_cast<CStaticControl*>(GetDlgItem(page, 1011))->IsNotify());
    EXPECT_FALSE(qobject_cast<CStaticControl*>(GetDlgItem(page, 1037))->IsNotify());
    EXPECT_EQ(qobject_cast<QSlider*>(GetDlgItem(page, 1053))->tickPosition(), QSlider::NoTicks);
    EXPECT_TRUE(GetDlgItem(page, 1081)->property("alignment").toInt() & Qt::AlignRight);
    // The nine alignment buttons are one exclusive group of checkable push buttons.
    auto* topLeft = qobject_cast<QPushButton*>(GetDlgItem(page, 1034));
    auto* centre = qobject_cast<QPushButton*>(GetDlgItem(page, 1040));
    ASSERT_TRUE(topLeft && centre);
    EXPECT_TRUE(topLeft->isCheckable());
    ASSERT_NE(topLeft->group(), nullptr);
    EXPECT_EQ(topLeft->group(), centre->group());
    EXPECT_EQ(topLeft->group()->buttons().size(), 9);
    centre->click();
    topLeft->click();
    EXPECT_TRUE(topLeft->isChecked());
    EXPECT_FALSE(centre->isChecked());
    // Group boxes sit below everything and let the mouse through.
    EXPECT_EQ(page->children().indexOf(GetDlgItem(page, 1044)) < 3, true);
    EXPECT_TRUE(GetDlgItem(page, 1072)->testAttribute(Qt::WA_TransparentForMouseEvents));
    // The closed drop-down list is one line high.
    EXPECT_LT(GetDlgItem(page, 1029)->height(), 40);
}

TEST(DialogBuilder, TabOrderFollowsTheTemplate) {
    // Disabled controls (feather, tolerance) are passed over; the nine alignment buttons
    // are one stop, the first of them while none is checked.
    const Built position = Build(IDD_POSITION_PAGE);
    EXPECT_EQ(
        TabWalk(position),
        (std::vector<int>{1210, 1001, 1211, 1007, 1212, 1011, 1213, 1214, 1042, 1053, 1034, 1035,
                          1036, 1005, 1037, 1029, 1192, 1193, 1195, 1301, 1302, 1303, 1304, 1028}));
    const Built input = Build(IDD_INPUT_PAGE);
    const std::vector<int> walk = TabWalk(input);
    ASSERT_FALSE(walk.empty());
    EXPECT_EQ(walk.back(), IDC_IN_TREE);
    EXPECT_EQ(GetDlgItem(input.dialog.get(), 1069)->focusPolicy(), Qt::NoFocus);
    // Backwards from a widget inside a control, and from the first stop out of the dialog.
    QWidget* viewport = GetDlgItemAs<QListWidget>(input.dialog.get(), IDC_IN_FILE_LIST)->viewport();
    EXPECT_EQ(NextTabStop(input.dialog.get(), viewport, false),
              GetDlgItem(input.dialog.get(), IDC_IN_ADD_ALL));
    EXPECT_EQ(NextTabStop(input.dialog.get(), viewport, true), nullptr);

    // The format buttons are one stop, the checked one; each takes the focus from the arrow
    // keys, and Tab goes on after the whole group.
    const Built output = Build(IDD_OUTPUT_PAGE);
    auto* jpg = GetDlgItemAs<QRadioButton>(output.dialog.get(), IDC_OUT_JPG);
    EXPECT_EQ(jpg->focusPolicy(), Qt::StrongFocus);
    jpg->setChecked(true);
    QWidget* preserve = GetDlgItem(output.dialog.get(), IDC_OUT_LOSSLESS);
    EXPECT_EQ(NextTabStop(output.dialog.get(), preserve, false), jpg);
    // After the group the background colour beside it, then the quality.
    QWidget* background = GetDlgItem(output.dialog.get(), IDC_OUT_BACKGROUND);
    EXPECT_EQ(NextTabStop(output.dialog.get(), GetDlgItem(output.dialog.get(), IDC_OUT_BMP), false),
              background);
    EXPECT_EQ(NextTabStop(output.dialog.get(), background, false),
              GetDlgItem(output.dialog.get(), IDC_OUT_QUALITY));
    EXPECT_EQ(NextTabStop(output.dialog.get(), background, true), jpg);
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(GetDlgItem(output.dialog.get(), IDC_OUT_LOG)));
}

TEST(DialogBuilder, CustomClassesTakeTheControlsPlace) {
    TestApplication();
    CDialogBuilder builder(*FindDialogTemplate(IDD_INPUT_PAGE));
    int made = 0;
    builder.SetFactory(IDC_IN_FILE_LIST, [&](const CControlTemplate& c, QWidget* parent) {
        ++made;
        auto* list = new QListWidget(parent);
        list->setObjectName(QString::fromUtf8("custom %1").arg(c.id));
        return list;
    });
    const Built b = Build(IDD_INPUT_PAGE, &builder);
    EXPECT_EQ(made, 1);
    QWidget* list = GetDlgItem(b.dialog.get(), IDC_IN_FILE_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->objectName(), QStringLiteral("custom 1008"));
    const CDialogUnits units = CDialogUnits::ForWidget(b.dialog.get());
    EXPECT_EQ(list->geometry(), units.ToPixels(101, 9, 93, 216));
    EXPECT_EQ(GetDlgItem(b.dialog.get(), 4711), nullptr);
    EXPECT_EQ(GetDlgItem(b.dialog.get(), IDC_STATIC), nullptr);
}

TEST(DialogBuilder, TopLevelTemplatesGetCaptionAndFrame) {
    TestApplication();
    QDialog dialog;
    CDialogBuilder(*FindDialogTemplate(IDD_NEW_FOLDER)).Build(&dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("quillmark"));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()); // no sizing frame
    QDialog main;
    CDialogBuilder(*FindDialogTemplate(IDD_MAIN_DIALOG)).Build(&main);
    EXPECT_TRUE(main.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_NE(main.minimumSize(), main.maximumSize());
    EXPECT_TRUE(qobject_cast<CTabControl*>(GetDlgItem(&main, IDC_MAIN_TAB)));
}

TEST(TabControl, RefusedChangesKeepTheTab) {
    TestApplication();
    CTabControl tabs;
    tabs.resize(300, 200);
    for (const char* text : {"input selection", "positioning + settings", "output selection"})
        tabs.InsertItem(tabs.GetItemCount(), QString::fromUtf8(text));
    std::vector<int> changes;
    QObject::connect(&tabs, &CTabControl::selChange, [&](int i) { changes.push_back(i); });
    bool allow = true;
    tabs.SetSelChangingGuard([&] { return allow; });
    tabs.GetTabBar()->setCurrentIndex(1);
    allow = false;
    tabs.GetTabBar()->setCurrentIndex(2);
    EXPECT_EQ(tabs.GetCurSel(), 1);
    EXPECT_EQ(changes, std::vector<int>{1});
    EXPECT_GT(tabs.GetItemRect(0).bottom(), 0);
}

namespace {
// The text positions the pages give their image buttons.
int ImageButtonTextX(int templateId, int id) {
    switch (templateId * 10000 + id) {
    case IDD_INPUT_PAGE * 10000 + IDC_IN_ADD_ALL:
    case IDD_INPUT_PAGE * 10000 + IDC_IN_REMOVE_ALL:
        return 26;
    case IDD_INPUT_PAGE * 10000 + IDC_IN_ADD_SELECTED:
    case IDD_INPUT_PAGE * 10000 + IDC_IN_REMOVE_SELECTED:
    case IDD_POSITION_PAGE * 10000 + IDC_POS_OPEN_STAMP:
        return 23;
    case IDD_POSITION_PAGE * 10000 + IDC_POS_OPEN_SAMPLE:
        return 22;
    case IDD_OUTPUT_PAGE * 10000 + IDC_OUT_START:
    case IDD_OUTPUT_PAGE * 10000 + IDC_OUT_STOP:
        return 40;
    case IDD_OUTPUT_PAGE * 10000 + IDC_OUT_NEW_FOLDER:
        return 30;
    default:
        return 4;
    }
}
} // namespace

// Every text of every template fits its control in the dialog font: one line, no
// clipping, room for check marks and button frames.
// A control the template places inside a group box's rectangle lies inside the frame
// line as drawn, clear of the line itself.
TEST(DialogBuilder, EveryControlInAGroupLiesInsideItsFrame) {
    size_t count = 0;
    const CDialogTemplate* const* all = GetDialogTemplates(&count);
    int checked = 0;
    for (size_t i = 0; i < count; ++i) {
        const CDialogTemplate& t = *all[i];
        const Built b = Build(t.id);
        for (size_t g = 0; g < t.controlCount; ++g) {
            const CControlTemplate& group = t.controls[g];
            if (group.kind != CControlKind::GroupBox)
                continue;
            auto* box = dynamic_cast<CGroupFrame*>(b.controls[g]);
            ASSERT_NE(box, nullptr) << t.id << "/" << group.id;
            const QRect inside = box->GetFrameRect()
                                     .translated(box->pos())
                                     .adjusted(CGroupFrame::kLineWidth, CGroupFrame::kLineWidth,
                                               -CGroupFrame::kLineWidth, -CGroupFrame::kLineWidth);
            // The line is where the box says it is: right of the title, its top row is
            // drawn and the row below the two lines shows the background.
            const QImage drawn = box->grab().toImage();
            const QRect frame = box->GetFrameRect();
            const QColor background = box->palette().color(box->backgroundRole());
            const int x = frame.right() - 8;
            EXPECT_NE(drawn.pixelColor(x, frame.top()), background) << t.id << "/" << group.id;
            EXPECT_EQ(drawn.pixelColor(x, frame.top() + CGroupFrame::kLineWidth), background)
                << t.id << "/" << group.id;
            const QRect area(group.x, group.y, group.cx, group.cy);
            for (size_t k = 0; k < t.controlCount; ++k) {
                const CControlTemplate& c = t.controls[k];
                if (k == g || !area.contains(QRect(c.x, c.y, c.cx, c.cy)))
                    continue;
                ++checked;
                EXPECT_TRUE(inside.contains(b.controls[k]->geometry()))
                    << t.id << "/" << c.id << " \"" << c.text << "\" in " << group.id;
            }
        }
    }
    EXPECT_GT(checked, 10);
}

TEST(DialogBuilder, EveryTextFitsItsControl) {
    size_t count = 0;
    const CDialogTemplate* const* all = GetDialogTemplates(&count);
    for (size_t i = 0; i < count; ++i) {
        const CDialogTemplate& t = *all[i];
        const Built b = Build(t.id);
        const QFontMetrics metrics(CDialogBuilder::DialogFont(t));
        for (size_t k = 0; k < t.controlCount; ++k) {
            const CControlTemplate& c = t.controls[k];
            QWidget* w = b.controls[k];
            QString text = QString::fromUtf8(c.text);
            text.remove('&');
            if (text.isEmpty() || c.id == IDC_INFO_LINK)
                continue;
            int needed = metrics.horizontalAdvance(text);
            switch (c.kind) {
            case CControlKind::CheckBox:
            case CControlKind::RadioButton:
                needed += w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                          w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
                break;
            case CControlKind::PushButton:
                needed += (c.style & QM_BS_OWNERDRAW) ? ImageButtonTextX(t.id, c.id) + 2 : 8;
                break;
            case CControlKind::GroupBox:
                needed += 16;
                break;
            default:
                break;
            }
            EXPECT_LE(needed, w->width()) << t.id << "/" << c.id << " \"" << c.text << "\"";
            if (c.kind == CControlKind::Static) {
                EXPECT_LE(metrics.height(), w->height() + 1)
                    << t.id << "/" << c.id << " \"" << c.text << "\"";
            }
        }
    }
}
