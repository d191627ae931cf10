// test_collide.cpp -- the corner test between two actors' boxes.
#include "actors/collide.h"

#include <gtest/gtest.h>

namespace {

constexpr HitBox kPlayer{6, 0, 20, 31};
constexpr HitBox kDuckBody{9, 39, 45, 24};
constexpr HitBox kDuckHeadRight{38, 17, 25, 22};

TEST(Collide3, SameBoxSamePositionGivesAllFourCorners) {
    EXPECT_EQ(COLLIDE3(0, 0, 0, 0, kPlayer, kPlayer), 15);
    EXPECT_EQ(COLLIDE3(-300, -40, -300, -40, kPlayer, kPlayer), 15);
}

TEST(Collide3, EdgesThatOnlyTouchCount) {
    // A's right column (6 + 20 = 26) is B's left column (x2 + 6 = 26).
    EXPECT_EQ(COLLIDE3(0, 0, 20, 0, kPlayer, kPlayer), 2 + 8);
    // One column further apart: no contact.
    EXPECT_EQ(COLLIDE3(0, 0, 21, 0, kPlayer, kPlayer), 0);
    // A's bottom row (31) is B's top row.
    EXPECT_EQ(COLLIDE3(0, 0, 0, 31, kPlayer, kPlayer), 4 + 8);
    EXPECT_EQ(COLLIDE3(0, 0, 0, 32, kPlayer, kPlayer), 0);
    // Touching from the left and from above.
    EXPECT_EQ(COLLIDE3(0, 0, -20, 0, kPlayer, kPlayer), 1 + 4);
    EXPECT_EQ(COLLIDE3(0, 0, 0, -31, kPlayer, kPlayer), 1 + 2);
}

TEST(Collide3, DiagonalCornerCases) {
    // A's bottom-right corner (26, 31) against B starting at (27, 32).
    EXPECT_EQ(COLLIDE3(0, 0, 21, 32, kPlayer, kPlayer), 0);
    // B starting at (26, 31) holds exactly that corner.
    EXPECT_EQ(COLLIDE3(0, 0, 20, 31, kPlayer, kPlayer), 8);
    // The mirror case: B up and to the left holds A's top-left corner.
    EXPECT_EQ(COLLIDE3(0, 0, -20, -31, kPlayer, kPlayer), 1);
}

TEST(Collide3, SameSizeOverlapIsAlwaysNonzero) {
    for (int dx = -25; dx <= 25; ++dx) {
        for (int dy = -35; dy <= 35; ++dy) {
            const bool overlap = dx >= -20 && dx <= 20 && dy >= -31 && dy <= 31;
            EXPECT_EQ(COLLIDE3(100, 50, 100 + dx, 50 + dy, kPlayer, kPlayer) != 0, overlap)
                << "dx " << dx << " dy " << dy;
        }
    }
}

TEST(Collide3, OnlyTheFirstBoxCornersAreTested) {
    // A small box strictly inside a big one: none of A's corners is in B.
    const HitBox big{0, 0, 40, 40};
    const HitBox small{10, 10, 5, 5};
    EXPECT_EQ(COLLIDE3(0, 0, 0, 0, big, small), 0);
    EXPECT_EQ(COLLIDE3(0, 0, 0, 0, small, big), 15);
    // Crossing like a plus sign: no corner of either inside the other.
    const HitBox wide{0, 10, 40, 5};
    const HitBox tall{10, 0, 5, 40};
    EXPECT_EQ(COLLIDE3(0, 0, 0, 0, wide, tall), 0);
    EXPECT_EQ(COLLIDE3(0, 0, 0, 0, tall, wide), 0);
}

TEST(Collide3, PlayerAgainstDuckBoxes) {
    // Player box columns 6..26, rows 0..31; duck body at (0, -20) spans
    // columns 9..54, rows 19..43: only the bottom-right corner is inside.
    EXPECT_EQ(COLLIDE3(0, 0, 0, -20, kPlayer, kDuckBody), 8);
    // Head box (right) at the duck's corner spans columns 38..63, rows 17..39.
    EXPECT_EQ(COLLIDE3(35, 20, 0, 0, kPlayer, kDuckHeadRight), 1 + 2);
    EXPECT_EQ(COLLIDE3(35, 0, 0, -5, kPlayer, kDuckHeadRight), 4 + 8);
    // The player reaches above and below the head: they cross, result 0.
    EXPECT_EQ(COLLIDE3(35, 20, 0, 9, kPlayer, kDuckHeadRight), 0);
}

} // namespace
