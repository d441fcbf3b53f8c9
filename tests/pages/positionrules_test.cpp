#include "pages/position/positionrules.h"
#include "pages/position/previewfiledlg.h"
#include "pages/position/previewstatic.h"
#include "qtestapp.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

TEST(PositionRules, SliderLabels) {
    EXPECT_EQ(FeatherLabelText(7), "-3");
    EXPECT_EQ(FeatherLabelText(10), "0");
    EXPECT_EQ(FeatherLabelText(13), "+3");
    EXPECT_EQ(FeatherLabelText(0), "-10");
    EXPECT_EQ(FeatherLabelText(20), "+10");
    EXPECT_EQ(OpacityLabelText(0), "0.0");
    EXPECT_EQ(OpacityLabelText(128), "50.2");
    EXPECT_EQ(OpacityLabelText(255), "100.0");
    EXPECT_EQ(ToleranceLabelText(37), "37");
}

TEST(PositionRules, OffsetFilter) {
    struct Case {
        const char* text;
        int last;
        const char* shown; // null: the text stays
    } cases[] = {
        {"", 5, "0"},    {"-", 5, nullptr}, {"-0", 5, nullptr}, {"123", 5, nullptr},
        {"12a", 0, "0"}, {"--", 7, "7"},    {"1-", -3, "-3"},   {"-12-", 4, "4"},
        {"a", 12, "12"}, {" 1", 2, "2"},    {"+5", 2, "2"},     {"\xd9\xa3", 1, "1"},
    };
    for (const Case& c : cases) {
        const std::optional<QString> shown = FilterOffsetText(QString::fromUtf8(c.text), c.last);
        if (c.shown)
            EXPECT_EQ(shown.value_or("(kept)"), c.shown) << c.text;
        else
            EXPECT_FALSE(shown.has_value()) << c.text;
    }
    EXPECT_EQ(ParseOffsetText("-"), 0);
    EXPECT_EQ(ParseOffsetText("-9999"), -9999);
    EXPECT_EQ(ParseOffsetText("99999"), 99999);
}

TEST(PositionRules, CaptionAndZoomTexts) {
    EXPECT_EQ(StampCaption(1.0), "stamp (1 : 1)");
    EXPECT_EQ(StampCaption(0.5), "stamp (1 : 2)");
    EXPECT_EQ(StampCaption(0.4), "stamp (1 : 2.5)");
    EXPECT_EQ(StampCaption(0.0), "stamp");
    EXPECT_EQ(StampCaption(-1.0), "stamp");
    EXPECT_EQ(ZoomEntryText(1.0 / 3.0), "33%");
    EXPECT_EQ(ZoomEntryText(0.5), "50%");
    EXPECT_EQ(ZoomEntryText(10.0), "1000%");
    EXPECT_DOUBLE_EQ(ZoomFromEntryText("125%"), 1.25);
    EXPECT_DOUBLE_EQ(ZoomFromEntryText("33%"), 0.33);
    int count = 0;
    const char* const* entries = ZoomListEntries(&count);
    ASSERT_EQ(count, 14);
    EXPECT_STREQ(entries[0], "5%");
    EXPECT_STREQ(entries[13], "1000%");
}

TEST(PositionRules, AlignmentButtonsMapBothWays) {
    for (int h = 0; h < 3; ++h)
        for (int v = 0; v < 3; ++v) {
            const int id = AlignmentButton(uint8_t(h), uint8_t(v));
            ASSERT_NE(id, 0);
            EXPECT_EQ(AlignmentOfButton(id), (CAlignment{uint8_t(h), uint8_t(v)}));
        }
    EXPECT_EQ(AlignmentButton(1, 0), IDC_POS_ALIGN_TOP_CENTRE);
    EXPECT_EQ(AlignmentButton(0, 1), IDC_POS_ALIGN_MIDDLE_LEFT);
    EXPECT_EQ(AlignmentButton(3, 0), 0);
    EXPECT_FALSE(AlignmentOfButton(IDC_POS_OFFSET_X).has_value());
}

TEST(PreviewPlacement, NeverEnlargesAndCentres) {
    const CRectL area{1, 1, 201, 201};
    EXPECT_EQ(ComputePreviewPlacement(40, 30, area), (CPreviewPlacement{1.0, 81, 86, 40, 30}));
    EXPECT_EQ(ComputePreviewPlacement(400, 300, area), (CPreviewPlacement{0.5, 1, 26, 200, 150}));
    const CPreviewPlacement tall = ComputePreviewPlacement(100, 1000, area);
    EXPECT_DOUBLE_EQ(tall.scale, 0.2);
    EXPECT_EQ(tall.height, 200);
}

TEST(FileFilter, WindowsFormBecomesQtNameFilters) {
    const QStringList filters =
        ConvertFileFilter("all supported files (*.bmp;*.jpg)|*.bmp; *.jpg|All Files (*.*)|*.*||");
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[0], "all supported files (*.bmp;*.jpg) (*.bmp *.jpg)");
    EXPECT_EQ(filters[1], "All Files (*.*) (*)"); // every file, names without a dot too
    EXPECT_TRUE(ConvertFileFilter("").isEmpty());
    EXPECT_TRUE(ConvertFileFilter("dangling").isEmpty());
}
