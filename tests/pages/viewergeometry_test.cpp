#include "pages/position/viewergeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

CViewerGeometry Make(int w, int h, double zoom, int cw, int ch) {
    CViewerGeometry g;
    g.SetPictureSize(w, h);
    g.ApplyZoom(zoom, cw, ch, false);
    return g;
}

// Where the visible part starts, in screen pixels of the whole enlarged picture.
double AbsoluteScrollX(const CViewerGeometry& g) {
    return g.GetSourceWindow().left * g.GetZoom() + g.GetScrollX();
}

// The picture point at the centre of the visible part.
double CentreX(const CViewerGeometry& g) {
    const CRectL& d = g.GetDestination();
    return (g.GetScrollX() - d.left + (d.left + d.right) / 2) / g.GetZoom() +
           g.GetSourceWindow().left;
}
double CentreY(const CViewerGeometry& g) {
    const CRectL& d = g.GetDestination();
    return (g.GetScrollY() - d.top + (d.top + d.bottom) / 2) / g.GetZoom() +
           g.GetSourceWindow().top;
}

} // namespace

TEST(ViewerGeometry, FitZoomNeverEnlargesAndFitsTheLongerSide) {
    struct Case {
        int w, h, cw, ch;
        double fit;
    } cases[] = {
        {100, 50, 200, 200, 1.0},      {200, 200, 200, 200, 1.0}, {400, 200, 200, 200, 0.5},
        {300, 900, 100, 100, 1.0 / 9}, {1000, 10, 100, 500, 0.1}, {0, 0, 100, 100, 1.0},
    };
    for (const Case& c : cases) {
        CViewerGeometry g;
        g.SetPictureSize(c.w, c.h);
        EXPECT_DOUBLE_EQ(g.GetFitZoom(c.cw, c.ch), c.fit) << c.w << "x" << c.h;
    }
    // A client area that is not laid out yet gives a positive zoom, not a division by zero.
    CViewerGeometry g;
    g.SetPictureSize(10, 10);
    EXPECT_GT(g.GetFitZoom(0, 0), 0.0);
}

TEST(ViewerGeometry, SmallPictureIsCentredAndDoesNotScroll) {
    CViewerGeometry g = Make(100, 50, 1.0, 200, 200);
    EXPECT_EQ(g.GetBackWidth(), 100);
    EXPECT_EQ(g.GetBackHeight(), 50);
    EXPECT_EQ(g.GetDestination(), (CRectL{50, 75, 150, 125}));
    EXPECT_FALSE(g.IsScrollable());
    EXPECT_FALSE(g.ScrollBy(30, 30));
    EXPECT_EQ(g.GetScrollX(), 0);
    EXPECT_EQ(g.GetScrollY(), 0);
}

TEST(ViewerGeometry, FittedWidePictureIsShownFromTheMiddleRows) {
    CViewerGeometry g;
    g.SetPictureSize(400, 200);
    g.ApplyZoom(g.GetFitZoom(200, 200), 200, 200, false);
    EXPECT_DOUBLE_EQ(g.GetZoom(), 0.5);
    EXPECT_EQ(g.GetBackWidth(), 200);
    EXPECT_EQ(g.GetBackHeight(), 100);
    EXPECT_EQ(g.GetDestination(), (CRectL{0, 50, 200, 150}));
    EXPECT_TRUE(g.HoldsWholePicture());
}

TEST(ViewerGeometry, EnlargementsLargerThanTheWindowRenderATile) {
    struct Case {
        int w, h;
        double zoom;
        int cw, ch;
        CRectL source;
        int backWidth, backHeight;
        bool scrollable;
    } cases[] = {
        // 50 x 40 visible plus half.
        {500, 400, 2.0, 100, 80, {0, 0, 75, 60}, 150, 120, true},
        // 80 plus half is 120, and 120 x 1.25 = 150 is whole.
        {1000, 1000, 1.25, 100, 100, {0, 0, 120, 120}, 150, 150, true},
        // 66 + 33 = 99, raised to 100 for a whole 150.
        {1000, 1000, 1.5, 100, 100, {0, 0, 100, 100}, 150, 150, true},
        // 13 + 6 = 19, raised to 20 for a whole 150.
        {1000, 1000, 7.5, 100, 100, {0, 0, 20, 20}, 150, 150, true},
        // trunc(125) > 100, so a tile, but clamped to the whole picture.
        {100, 100, 1.25, 100, 100, {0, 0, 100, 100}, 125, 125, true},
        // Wide enough for one axis only: the tile is clamped in the other.
        {1000, 20, 2.0, 100, 100, {0, 0, 75, 20}, 150, 40, true},
        // Enlarged but still fitting: the whole picture.
        {40, 30, 2.0, 100, 100, {0, 0, 40, 30}, 80, 60, false},
    };
    for (const Case& c : cases) {
        CViewerGeometry g = Make(c.w, c.h, c.zoom, c.cw, c.ch);
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.zoom);
        EXPECT_EQ(g.GetSourceWindow(), c.source);
        EXPECT_EQ(g.GetBackWidth(), c.backWidth);
        EXPECT_EQ(g.GetBackHeight(), c.backHeight);
        EXPECT_EQ(g.IsScrollable(), c.scrollable);
    }
}

TEST(ViewerGeometry, TileNeverGrowsWithTheEnlargedPicture) {
    // 2000 x 2000 at 1000 % would be 20000 pixels square; the tile stays near the window.
    CViewerGeometry g = Make(2000, 2000, 10.0, 300, 200);
    EXPECT_LE(g.GetBackWidth(), 460);
    EXPECT_LE(g.GetBackHeight(), 310);
}

TEST(ViewerGeometry, WholePictureScrollingStopsAtBothEnds) {
    CViewerGeometry g = Make(300, 300, 1.0, 200, 200);
    ASSERT_TRUE(g.IsScrollable());
    EXPECT_FALSE(g.ScrollBy(500, 0));
    EXPECT_EQ(g.GetScrollX(), 100);
    g.ScrollBy(-500, 0);
    EXPECT_EQ(g.GetScrollX(), 0);
    g.ScrollBy(30, 40);
    EXPECT_EQ(g.GetScrollX(), 30);
    EXPECT_EQ(g.GetScrollY(), 40);
}

TEST(ViewerGeometry, ClampedTileScrollsLikeAWholePicture) {
    CViewerGeometry g = Make(100, 100, 1.25, 100, 100);
    ASSERT_TRUE(g.HoldsWholePicture());
    EXPECT_FALSE(g.ScrollBy(100, 100));
    EXPECT_EQ(g.GetScrollX(), 25);
    EXPECT_EQ(g.GetSourceWindow(), (CRectL{0, 0, 100, 100}));
}

// Scrolling a tile must move the view by exactly the pixels asked, across tile moves, and
// every tile must start on the grid of the first one (its left edge times the zoom whole).
TEST(ViewerGeometry, TileShiftsKeepTheScreenPixelGrid) {
    for (double zoom : {1.25, 1.5, 2.0, 3.0, 7.5, 10.0}) {
        for (int step : {7, 13, 61, -7, -13}) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " step " << step);
            CViewerGeometry g = Make(1000, 1000, zoom, 100, 100);
            if (step < 0) { // start from the middle of the picture
                g.ScrollBy(int(500 * zoom), 0);
            }
            const double maxScroll = 1000 * zoom - g.GetDestination().Width();
            bool moved = false;
            for (int i = 0; i < 40; ++i) {
                const double before = AbsoluteScrollX(g);
                const double expected = before + step;
                if (expected < 0 || expected > maxScroll)
                    break;
                moved = g.ScrollBy(step, 0) || moved;
                const CRectL& s = g.GetSourceWindow();
                ASSERT_EQ(AbsoluteScrollX(g), expected) << "after " << i + 1 << " steps";
                ASSERT_EQ(std::trunc(s.left * zoom), s.left * zoom);
                ASSERT_GE(g.GetScrollX(), 0);
                ASSERT_LE(g.GetScrollX() + g.GetDestination().Width(), g.GetBackWidth());
                ASSERT_GE(s.left, 0);
                ASSERT_LE(s.right, 1000);
            }
            EXPECT_TRUE(moved);
        }
    }
}

TEST(ViewerGeometry, TileScrollingStopsAtThePictureEdges) {
    CViewerGeometry g = Make(500, 400, 2.0, 100, 80);
    g.ScrollBy(100000, 100000);
    EXPECT_EQ(g.GetSourceWindow().right, 500);
    EXPECT_EQ(g.GetSourceWindow().bottom, 400);
    EXPECT_EQ(g.GetScrollX(), g.GetBackWidth() - 100);
    EXPECT_EQ(g.GetScrollY(), g.GetBackHeight() - 80);
    g.ScrollBy(-100000, -100000);
    EXPECT_EQ(g.GetSourceWindow().left, 0);
    EXPECT_EQ(g.GetSourceWindow().top, 0);
    EXPECT_EQ(g.GetScrollX(), 0);
    EXPECT_EQ(g.GetScrollY(), 0);
}

TEST(ViewerGeometry, ZoomChangeKeepsThePointAtTheCentre) {
    struct Case {
        double from, to;
    } cases[] = {{2.0, 3.0}, {2.0, 0.5}, {0.5, 2.0}, {1.25, 7.5}, {10.0, 1.0}, {1.0, 1.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        CViewerGeometry g = Make(1000, 800, c.from, 160, 120);
        g.ScrollBy(int(300 * c.from), int(250 * c.from));
        const double cx = CentreX(g), cy = CentreY(g);
        g.ApplyZoom(c.to, 160, 120, true);
        // Within a picture pixel and a screen pixel of truncation.
        EXPECT_NEAR(CentreX(g), cx, 1.0 + 1.0 / c.to);
        EXPECT_NEAR(CentreY(g), cy, 1.0 + 1.0 / c.to);
    }
    // Without keeping the centre a new zoom starts at the top-left.
    CViewerGeometry g = Make(1000, 800, 2.0, 160, 120);
    g.ScrollBy(400, 400);
    g.ApplyZoom(3.0, 160, 120, false);
    EXPECT_EQ(g.GetSourceWindow().left, 0);
    EXPECT_EQ(g.GetScrollX(), 0);
}

TEST(ViewerGeometry, CentreNearTheEdgeStaysInsideThePicture) {
    CViewerGeometry g = Make(1000, 800, 1.0, 160, 120);
    g.ScrollBy(5000, 5000); // bottom-right corner
    ASSERT_EQ(CentreX(g), 920);
    for (double zoom : {5.0, 1.25, 10.0}) {
        g.ApplyZoom(zoom, 160, 120, true);
        EXPECT_NEAR(CentreX(g), 920, 1.0);
        EXPECT_NEAR(CentreY(g), 740, 1.0);
        EXPECT_LE(g.GetSourceWindow().right, 1000);
        EXPECT_LE(g.GetSourceWindow().bottom, 800);
        EXPECT_LE(g.GetScrollX() + 160, g.GetBackWidth());
        EXPECT_LE(g.GetScrollY() + 120, g.GetBackHeight());
    }
}

TEST(ViewerGeometry, PickedPixelFollowsZoomScrollAndTile) {
    CViewerGeometry g = Make(400, 200, 0.5, 200, 200); // destination (0, 50, 200, 150)
    EXPECT_FALSE(g.PixelAt(10, 49).has_value());
    EXPECT_FALSE(g.PixelAt(10, 150).has_value());
    EXPECT_EQ(g.PixelAt(10, 60), (CViewerGeometry::CPoint{20, 20}));
    EXPECT_EQ(g.PixelAt(199, 149), (CViewerGeometry::CPoint{398, 198}));

    CViewerGeometry t = Make(500, 400, 2.0, 100, 80);
    EXPECT_EQ(t.PixelAt(0, 0), (CViewerGeometry::CPoint{0, 0}));
    t.ScrollBy(301, 161); // leaves the tile: it moves, the scroll position wraps
    ASSERT_GT(t.GetSourceWindow().left, 0);
    // Client (5, 3) shows absolute screen pixel (306, 164), picture pixel (153, 82).
    EXPECT_EQ(t.PixelAt(5, 3), (CViewerGeometry::CPoint{153, 82}));

    CViewerGeometry small = Make(100, 50, 1.0, 200, 200); // destination (50, 75, 150, 125)
    EXPECT_FALSE(small.PixelAt(49, 100).has_value());
    EXPECT_EQ(small.PixelAt(50, 75), (CViewerGeometry::CPoint{0, 0}));
    EXPECT_EQ(small.PixelAt(149, 124), (CViewerGeometry::CPoint{99, 49}));
}

TEST(ViewerGeometry, OddZoomsStillEnd) {
    // A zoom with no whole products nearby must not hang the searches.
    CViewerGeometry g = Make(5000, 5000, 1.0 + 1.0 / 3.0 + 1e-7, 100, 100);
    EXPECT_GT(g.GetBackWidth(), 100);
    g.ScrollBy(1000, 1000);
    g.ScrollBy(-3000, -3000);
    EXPECT_GE(g.GetScrollX(), 0);
    g.ApplyZoom(0.0, 100, 100, true); // refused as a zoom: taken as 1
    EXPECT_EQ(g.GetZoom(), 1.0);
}
