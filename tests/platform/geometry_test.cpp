// The rectangle rules the hit-testing and repaint logic depend on.
#include "platform/geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(Geometry, PointIsInsideOnlyFromLeftAndTopUpToButNotIncludingRightAndBottom) {
    const Rect frame{8, 519, 98, 589};
    EXPECT_TRUE(PtInRect(frame, Point{8, 519}));
    EXPECT_TRUE(PtInRect(frame, Point{97, 588}));
    EXPECT_FALSE(PtInRect(frame, Point{98, 550}));
    EXPECT_FALSE(PtInRect(frame, Point{50, 589}));
    EXPECT_FALSE(PtInRect(frame, Point{7, 550}));
    EXPECT_FALSE(PtInRect(frame, Point{50, 518}));
    EXPECT_FALSE(PtInRect(Rect{5, 5, 5, 10}, Point{5, 6}));  // an empty rectangle holds nothing
}

TEST(Geometry, EmptinessAndClearing) {
    EXPECT_TRUE(IsRectEmpty(Rect{}));
    EXPECT_TRUE(IsRectEmpty(Rect{10, 10, 10, 20}));
    EXPECT_TRUE(IsRectEmpty(Rect{10, 10, 20, 9}));
    EXPECT_FALSE(IsRectEmpty(Rect{10, 10, 11, 11}));
    Rect rect{1, 2, 3, 4};
    Rect copy;
    CopyRect(&copy, rect);
    EXPECT_EQ(copy, rect);
    SetRectEmpty(&rect);
    EXPECT_EQ(rect, Rect{});
}

TEST(Geometry, IntersectionOfOverlappingAndOfMerelyTouchingRectangles) {
    Rect overlap;
    EXPECT_TRUE(IntersectRect(&overlap, Rect{0, 0, 10, 10}, Rect{5, 8, 20, 20}));
    EXPECT_EQ(overlap, (Rect{5, 8, 10, 10}));
    overlap = Rect{1, 1, 2, 2};
    EXPECT_FALSE(IntersectRect(&overlap, Rect{0, 0, 10, 10}, Rect{10, 0, 20, 10}));  // edges touch
    EXPECT_EQ(overlap, Rect{});
}

TEST(Geometry, UnionIgnoresEmptyOperands) {
    Rect both;
    EXPECT_TRUE(UnionRect(&both, Rect{10, 10, 20, 20}, Rect{30, 5, 40, 15}));
    EXPECT_EQ(both, (Rect{10, 5, 40, 20}));
    EXPECT_TRUE(UnionRect(&both, Rect{0, 0, 0, 0}, Rect{30, 5, 40, 15}));
    EXPECT_EQ(both, (Rect{30, 5, 40, 15}));
    EXPECT_TRUE(UnionRect(&both, Rect{30, 5, 40, 15}, Rect{-100, -100, -100, 50}));
    EXPECT_EQ(both, (Rect{30, 5, 40, 15}));
    EXPECT_FALSE(UnionRect(&both, Rect{}, Rect{5, 5, 5, 5}));
    EXPECT_EQ(both, Rect{});
}

TEST(Geometry, InflateMovesOppositeEdgesOutAndNegativeAmountsIn) {
    Rect strip{8, 519, 628, 589};
    InflateRect(&strip, 2, 2);
    EXPECT_EQ(strip, (Rect{6, 517, 630, 591}));
    Rect frame{0, 0, 90, 70};
    InflateRect(&frame, -5, -5);
    EXPECT_EQ(frame, (Rect{5, 5, 85, 65}));
    InflateRect(&frame, 6, 0);
    EXPECT_EQ(frame, (Rect{-1, 5, 91, 65}));
}

}  // namespace
