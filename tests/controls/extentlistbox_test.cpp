#include "controls/extentlistbox.h"
#include "qtapp.h"

#include <QScrollBar>

#include <gtest/gtest.h>

TEST(ExtentListBox, ExtentFollowsAddsAndDeletes) {
    TestApplication();
    CExtentListBox list;
    const QString longest = "/home/anna/pictures/holidays/2026/beach/sunset over the sea.jpg";
    const QString middle = "/home/anna/pictures/cat.png";
    EXPECT_EQ(list.MeasureItem(""), QFontMetrics(list.font()).averageCharWidth());

    EXPECT_EQ(list.AddString(middle), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), list.MeasureItem(middle));
    list.AddString(longest);
    list.AddString("a.jpg"); // shorter: extent unchanged
    EXPECT_EQ(list.GetHorizontalExtent(), list.MeasureItem(longest));
    list.AddString("");
    EXPECT_EQ(list.GetCount(), 4);

    const int widest = [&] {
        for (int i = 0; i < list.GetCount(); ++i)
            if (list.GetText(i) == longest)
                return i;
        return -1;
    }();
    EXPECT_EQ(list.DeleteStringKeepExtent(widest), 3);
    EXPECT_EQ(list.GetHorizontalExtent(), list.MeasureItem(longest)); // left alone
    EXPECT_EQ(list.DeleteString(0), 2); // recomputed from the rest, empty text skipped
    int expected = 0;
    for (int i = 0; i < list.GetCount(); ++i)
        if (!list.GetText(i).isEmpty())
            expected = std::max(expected, list.MeasureItem(list.GetText(i)));
    EXPECT_EQ(list.GetHorizontalExtent(), expected);
    EXPECT_EQ(list.DeleteString(7), CExtentListBox::QM_LB_ERR);
    while (list.GetCount() > 0)
        list.DeleteString(0);
    EXPECT_EQ(list.GetHorizontalExtent(), 0);

    list.AddString(longest);
    list.ResetContent();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), 0);
}

TEST(ExtentListBox, ScrollRangeReachesTheWidestEntry) {
    TestApplication();
    CExtentListBox list;
    list.resize(120, 100);
    list.show();
    const QString text = "/a/very/long/path/that/is/much/wider/than/the/list/box/picture.jpeg";
    list.AddString(text);
    QScrollBar* bar = list.horizontalScrollBar();
    EXPECT_EQ(bar->maximum(), list.MeasureItem(text) - list.viewport()->width());
    list.ResetContent();
    EXPECT_EQ(bar->maximum(), 0);
}

TEST(ExtentListBox, SortedInsertionIgnoresCase) {
    TestApplication();
    CExtentListBox list;
    list.SetSorted(true);
    for (const char* s : {"b.jpg", "A.jpg", "c.png", "a.jpg", "B.gif"})
        list.AddString(s);
    QStringList order;
    for (int i = 0; i < list.GetCount(); ++i)
        order << list.GetText(i);
    EXPECT_EQ(order, (QStringList{"A.jpg", "a.jpg", "B.gif", "b.jpg", "c.png"}));
}

// The view and the kept extent once disagreed by a few pixels about the widest item; with
// the viewport between the two, each showed or hid the scroll bar in turn without end.
TEST(ExtentListBox, ScrollBarSettlesWhenTheExtentIsCloseToTheViewportWidth) {
    TestApplication();
    CExtentListBox list;
    list.SetSorted(true);
    list.resize(160, 90);
    list.show();
    QScrollBar* bar = list.horizontalScrollBar();
    QString text = "a";
    for (int i = 0; i < 40; ++i, text += QLatin1Char(i % 2 ? 'm' : 'i')) {
        list.AddString(text);
        list.item(list.GetCount() - 1)->setSelected(true);
        EXPECT_EQ(bar->maximum(),
                  std::max(0, list.GetHorizontalExtent() - list.viewport()->width()))
            << text.toStdString();
    }
    while (list.GetCount() > 1) {
        list.DeleteString(list.GetCount() - 1);
        EXPECT_EQ(bar->maximum(),
                  std::max(0, list.GetHorizontalExtent() - list.viewport()->width()));
    }
}
