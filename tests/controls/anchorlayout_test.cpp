#include "controls/anchorlayout.h"
#include "controls/windowplacement.h"

#include <gtest/gtest.h>

TEST(AnchorSet, HalfTwiceIsTheFullGrowth) {
    CAnchorSet set;
    EXPECT_TRUE(set.Add(7, {0.5f, 0, 0.5f, 0}, 10, 20, 30, 40));
    EXPECT_FALSE(set.Add(7, {0.5f, 0, 0.5f, 0}, 99, 99, 1, 1)); // adds, keeps the rectangle
    const auto moves = set.Arrange(100, 50);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], (CAnchorMove{7, 110, 20, 30, 40}));

    CAnchorSet sum;
    sum.Add(1, {0.5f, 0, 0.5f, 0}, 0, 0, 10, 10);
    sum.Add(1, {0, 0, 0.5f, 0}, 0, 0, 10, 10);
    const CAnchorRecord* r = sum.Find(1);
    ASSERT_NE(r, nullptr);
    EXPECT_FLOAT_EQ(r->fractions.left, 0.5f);
    EXPECT_FLOAT_EQ(r->fractions.right, 1.0f);
}

TEST(AnchorSet, FractionsAccumulateWithoutDrift) {
    CAnchorSet set;
    set.Add(1, {0.5f, 0, 0.5f, 0}, 0, 0, 10, 10);
    std::vector<int> xs;
    for (int step = 0; step < 3; ++step)
        xs.push_back(set.Arrange(3, 0).at(0).x);
    EXPECT_EQ(xs, (std::vector<int>{1, 3, 4}));
    // Shrinking back lands where it started.
    set.Arrange(-9, 0);
    EXPECT_FLOAT_EQ(set.Find(1)->left, 0.0f);
}

TEST(AnchorSet, OnlyChangedRecordsMoveInOrder) {
    CAnchorSet set;
    set.Add(1, {0, 0, 0, 0}, 0, 0, 5, 5);       // stays
    set.Add(2, {0, 0, 1, 1}, 0, 0, 5, 5);       // grows
    set.Add(3, {1, 1, 1, 1}, 10, 10, 5, 5);     // moves with the corner
    set.Add(4, {0, 0.5f, 0, 0.5f}, 0, 0, 5, 5); // only vertical
    auto moves = set.Arrange(10, 4);
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0], (CAnchorMove{2, 0, 0, 15, 9}));
    EXPECT_EQ(moves[1], (CAnchorMove{3, 20, 14, 5, 5}));
    EXPECT_EQ(moves[2], (CAnchorMove{4, 0, 2, 5, 5}));
    moves = set.Arrange(6, 0);
    ASSERT_EQ(moves.size(), 2u); // record 4 has nothing to do
    EXPECT_TRUE(set.Arrange(0, 0).empty());
}

TEST(MinMaxInfo, FlagsAndLimits) {
    struct {
        int flags, rememberedW, rememberedH, minW, minH, maxW, maxH;
        CMinMaxInfo expected;
    } const rows[] = {
        {0, 600, 400, 600, 400, 0, 0, {600, 400, 0, 0, 0, 0}},
        {QM_RL_FIXED_WIDTH, 600, 400, 600, 400, 0, 0, {600, 400, 600, 0, 600, 0}},
        {QM_RL_FIXED_HEIGHT, 600, 400, 0, 0, 0, 0, {0, 0, 0, 400, 0, 400}},
        {QM_RL_FIXED_WIDTH, 0, 0, 0, 0, 0, 0, {}}, // before the layout was initialised
        {0, 600, 400, 0, 0, 800, 900, {0, 0, 800, 900, 0, 0}},
    };
    for (const auto& r : rows) {
        CMinMaxInfo info;
        ComputeMinMaxInfo(r.flags, r.rememberedW, r.rememberedH, r.minW, r.minH, r.maxW, r.maxH,
                          info);
        EXPECT_EQ(info, r.expected) << r.flags << " " << r.rememberedW;
    }
}

TEST(WindowPlacementRecord, FortyFourBytesRoundTripAndOthersAreIgnored) {
    CWindowPlacement p;
    p.showCommand = CWindowPlacement::SW_SHOWMAXIMIZED;
    p.left = -20;
    p.top = 30;
    p.right = 620;
    p.bottom = 470;
    const QByteArray bytes = p.Encode();
    ASSERT_EQ(bytes.size(), 44);
    EXPECT_EQ(bytes.left(4), QByteArray("\x2c\0\0\0", 4));
    EXPECT_EQ(CWindowPlacement::Decode(bytes), p);
    EXPECT_FALSE(CWindowPlacement::Decode(bytes.left(43)));
    EXPECT_FALSE(CWindowPlacement::Decode(bytes + 'x'));
    QByteArray wrongLength = bytes;
    wrongLength[0] = 40;
    EXPECT_FALSE(CWindowPlacement::Decode(wrongLength));
    EXPECT_FALSE(CWindowPlacement::Decode(QByteArray()));
}
