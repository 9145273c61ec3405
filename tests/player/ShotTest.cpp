// A shot's flight and where it leaves the camera's view.
#include "player/Shot.h"

#include "player/PlayerWorld.h"

namespace player_test {
namespace {

// Moves until the shot stops; the number of moves.
int movesUntilGone(Shot& shot) {
    int moves = 0;
    while (shot.active && moves < 1000) {
        shot.update();
        ++moves;
    }
    return moves;
}

TEST(ShotFlight, GoingRightStopsWhenItReachesTheViewsRightEdge) {
    CameraAt camera(0, 0);
    Shot shot;
    ASSERT_TRUE(shot.fire(100, 50, RIGHT));
    EXPECT_FALSE(shot.fire(10, 10, LEFT));
    shot.update();
    EXPECT_EQ(shot.x, 104);
    EXPECT_EQ(shot.y, 50);
    EXPECT_TRUE(shot.active);
    EXPECT_EQ(movesUntilGone(shot) + 1, 39);
    EXPECT_EQ(shot.x, 256);
    EXPECT_TRUE(shot.fire(10, 10, LEFT));
}

TEST(ShotFlight, GoingLeftStopsEightPixelsLeftOfTheView) {
    CameraAt camera(0, 0);
    Shot shot;
    ASSERT_TRUE(shot.fire(100, 50, LEFT));
    EXPECT_EQ(movesUntilGone(shot), 27);
    EXPECT_EQ(shot.x, -8);
}

TEST(ShotFlight, TheVanishingPointMovesWithTheCamera) {
    CameraAt camera(512, 0);
    Shot shot;
    ASSERT_TRUE(shot.fire(700, 50, RIGHT));
    EXPECT_EQ(movesUntilGone(shot), 17);
    EXPECT_EQ(shot.x, 768);
}

TEST(ShotFlight, AnInactiveShotStaysWhereItIs) {
    Shot shot;
    shot.update();
    EXPECT_EQ(shot.x, 0);
    EXPECT_FALSE(shot.active);
}

} // namespace
} // namespace player_test
