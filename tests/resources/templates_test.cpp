#include "resources/dialogtemplate.h"
#include "resources/menutemplate.h"
#include "resources/resource.h"
#include "resources/resourcetable.h"
#include "resources/stringtable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<const CDialogTemplate*> AllTemplates() {
    size_t count = 0;
    const CDialogTemplate* const* list = GetDialogTemplates(&count);
    return {list, list + count};
}

std::vector<int> TabOrder(const CDialogTemplate& t) {
    std::vector<int> ids;
    for (const CControlTemplate& c : t)
        if (c.style & QM_WS_TABSTOP)
            ids.push_back(c.id);
    return ids;
}

} // namespace

TEST(DialogTemplates, EveryQuotedTemplateExistsWithItsSize) {
    struct {
        int id, cx, cy;
        const char* caption;
    } const expected[] = {
        {IDD_INPUT_PAGE, 393, 242, ""},         {IDD_MAIN_DIALOG, 400, 260, "quillmark"},
        {IDD_POSITION_PAGE, 393, 242, ""},      {IDD_OUTPUT_PAGE, 394, 242, ""},
        {IDD_PREVIEW_FILE, 196, 68, ""},        {IDD_INFO_DIALOG, 247, 31, "Info about quillmark"},
        {IDD_NEW_FOLDER, 199, 39, "quillmark"},
    };
    for (const auto& e : expected) {
        const CDialogTemplate* t = FindDialogTemplate(e.id);
        ASSERT_NE(t, nullptr) << e.id;
        EXPECT_EQ(t->cx, e.cx) << e.id;
        EXPECT_EQ(t->cy, e.cy) << e.id;
        EXPECT_STREQ(t->caption, e.caption) << e.id;
        EXPECT_STREQ(t->fontName, "MS Sans Serif");
        EXPECT_EQ(t->pointSize, 8);
    }
    EXPECT_EQ(FindDialogTemplate(999), nullptr);
    EXPECT_EQ(AllTemplates().size(), 7u);
}

TEST(DialogTemplates, ControlsLieInsideTheirDialogAndIdsAreUnique) {
    for (const CDialogTemplate* t : AllTemplates()) {
        std::set<int> ids;
        for (const CControlTemplate& c : *t) {
            EXPECT_GE(c.x, 0) << t->id << "/" << c.id;
            EXPECT_GE(c.y, 0) << t->id << "/" << c.id;
            EXPECT_GT(c.cx, 0) << t->id << "/" << c.id;
            EXPECT_GT(c.cy, 0) << t->id << "/" << c.id;
            // The positioning page's group box reaches one unit past the page's edge, as
            // in the design; nothing else may.
            EXPECT_LE(c.x + c.cx, t->cx + 1) << t->id << "/" << c.id;
            EXPECT_LE(c.y + c.cy, t->cy) << t->id << "/" << c.id;
            ASSERT_NE(c.text, nullptr);
            if (c.id != IDC_STATIC) {
                EXPECT_TRUE(ids.insert(c.id).second) << "duplicate " << c.id << " in " << t->id;
            }
        }
    }
}

TEST(DialogTemplates, PositioningPageTabOrderAndRectangles) {
    const CDialogTemplate& t = *FindDialogTemplate(IDD_POSITION_PAGE);
    // The alignment buttons are one stop (1034 opens their group), after the opacity.
    const std::vector<int> order{1001, 1007, 1011, 1042, 1061, 1022, 1053, 1034, 1035, 1036, 1005,
                                 1037, 1029, 1192, 1193, 1195, 1301, 1302, 1303, 1304, 1028};
    EXPECT_EQ(TabOrder(t), order);

    struct {
        int id;
        CControlKind kind;
        const char* text;
        int x, y, cx, cy;
    } const rows[] = {
        {1072, CControlKind::GroupBox, "stamp", 1, 1, 392, 98},
        {1011, CControlKind::Static, "", 3, 11, 116, 86},
        {1007, CControlKind::PushButton, "open stamp", 249, 11, 55, 13},
        {1042, CControlKind::CheckBox, "use transparence", 130, 35, 71, 12},
        {1058, CControlKind::Static, "transp. tolerance:", 129, 68, 55, 11},
        {1081, CControlKind::Static, "100.0", 275, 85, 19, 8},
        {1044, CControlKind::GroupBox, "position", 309, 8, 81, 89},
        {1027, CControlKind::RadioButton, "", 365, 50, 20, 14},
        {1036, CControlKind::Edit, "", 362, 82, 24, 12},
        {1037, CControlKind::Static, "", 0, 114, 166, 128},
        {1029, CControlKind::ComboBox, "", 168, 139, 57, 63},
        {1028, CControlKind::Static, "", 227, 114, 166, 128},
    };
    for (const auto& r : rows) {
        const CControlTemplate* c = t.FindControl(r.id);
        ASSERT_NE(c, nullptr) << r.id;
        EXPECT_EQ(c->kind, r.kind) << r.id;
        EXPECT_STREQ(c->text, r.text) << r.id;
        EXPECT_EQ((std::vector<int>{c->x, c->y, c->cx, c->cy}),
                  (std::vector<int>{r.x, r.y, r.cx, r.cy}))
            << r.id;
    }
    // Styles the pages rely on.
    EXPECT_TRUE(t.FindControl(1011)->style & QM_SS_NOTIFY);
    EXPECT_FALSE(t.FindControl(1037)->style & QM_SS_NOTIFY);
    EXPECT_TRUE(t.FindControl(1061)->style & QM_WS_DISABLED);
    EXPECT_TRUE(t.FindControl(1034)->style & QM_BS_PUSHLIKE);
    EXPECT_EQ(t.FindControl(1035)->maxLength, 5);
    EXPECT_TRUE(t.FindControl(1007)->style & QM_BS_OWNERDRAW);
}

TEST(DialogTemplates, InputAndOutputPagesHoldTheirControls) {
    const CDialogTemplate& in = *FindDialogTemplate(IDD_INPUT_PAGE);
    for (int id : {1006, 1008, 1038, 1010, 1015, 1012, 1013, 1009, 1016, 1069, 1086, 1087})
        EXPECT_NE(in.FindControl(id), nullptr) << id;
    EXPECT_TRUE(in.FindControl(1009)->style & QM_WS_EX_CLIENTEDGE);
    EXPECT_TRUE(in.FindControl(1008)->style & QM_LBS_EXTENDEDSEL);
    EXPECT_TRUE(in.FindControl(1038)->style & QM_LBS_SORT);
    // Tab from the tree leaves the page, so the tree closes the tab order.
    EXPECT_EQ(TabOrder(in).back(), IDC_IN_TREE);

    const CDialogTemplate& out = *FindDialogTemplate(IDD_OUTPUT_PAGE);
    for (int id : {1018, 1087, 1006, 1073, 1022, 1042, 1074, 1019, 1020, 1023, 1075, 1021, 1068,
                   1085, 1062, 1064, 1004, 1066})
        EXPECT_NE(out.FindControl(id), nullptr) << id;
    EXPECT_TRUE(out.FindControl(1064)->style & QM_WS_DISABLED);
    EXPECT_TRUE(out.FindControl(1004)->style & QM_ES_MULTILINE);
    EXPECT_STREQ(out.FindControl(1042)->text, "preserve jpeg-headers");
    // The path field is the first stop: Shift+Tab from it goes to the tab strip.
    EXPECT_EQ(TabOrder(out).front(), IDC_OUT_FOLDER);
}

TEST(StringTable, QuotedTextsAreExact) {
    EXPECT_STREQ(LoadResourceString(2), "Align the stamp top and horizontal centered ");
    EXPECT_STREQ(LoadResourceString(8), "Align the stamp bottom and horizontal centered.");
    EXPECT_STREQ(LoadResourceString(19), "Info about Quillmark");
    EXPECT_STREQ(LoadResourceString(20), "Help");
    EXPECT_STREQ(LoadResourceString(36), "Settings");
    EXPECT_STREQ(LoadResourceString(33), "hold the mouse-button to drag the Image");
    EXPECT_STRNE(LoadResourceString(4), "");
    EXPECT_STREQ(LoadResourceString(22), "");
    for (int id = 1; id <= 25; ++id)
        if (id != 22) {
            EXPECT_STRNE(LoadResourceString(id), "") << id;
        }
}

TEST(MenusAndAccelerators, PopupAndTable) {
    const CMenuTemplate* menu = FindMenuTemplate(IDR_POPUP_MENU);
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->itemCount, 3u);
    EXPECT_TRUE(menu->items[0].popup);
    EXPECT_STREQ(menu->items[1].text, "&copy");
    EXPECT_EQ(menu->items[1].command, 40005);
    EXPECT_STREQ(menu->items[2].text, "&paste");
    EXPECT_EQ(menu->items[2].command, 40006);

    const CAccelTableTemplate* table = FindAccelTableTemplate(IDR_ACCELERATORS);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->entryCount, 4u);
    EXPECT_EQ(table->entries[0].key, 'A');
    EXPECT_EQ(table->entries[0].command, 40001);
    EXPECT_EQ(table->entries[3].key, QM_VK_F5);
    EXPECT_FALSE(table->entries[3].flags & QM_FCONTROL);
    EXPECT_EQ(table->entries[3].command, 40007);
}

TEST(ResourceTable, ArtworkIsEmbedded) {
    for (int id : {128, 171, 172, 173, 174, 175, 176, 177, 178, 179, 181, 182})
        EXPECT_NE(FindResourceEntry(id, QM_RT_ICON), nullptr) << id;
    EXPECT_NE(FindResourceEntry(130, QM_RT_BITMAP), nullptr);
    EXPECT_NE(FindResourceEntry(153, QM_RT_BITMAP), nullptr);
    EXPECT_NE(FindResourceEntry(144, QM_RT_CURSOR), nullptr);
    EXPECT_EQ(FindResourceEntry(130, QM_RT_ICON), nullptr);
}
