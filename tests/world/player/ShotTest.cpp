// A shot's flight and where it leaves the camera's view.
#include "world/player/Shot.h"

#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

TEST(ShotFlight, StopsAtTheViewsRightEdgeOrEightPixelsLeftOfItsLeftEdge) {
    struct Case {
        int cameraX;
        int fromX;
        Direction direction;
        int moves;
        int lastX;
    };
    // 39 moves right from 100 counting the first; the vanishing point moves
    // with the camera.
    for (const Case& c : {Case{0, 100, RIGHT, 39, 256}, Case{0, 100, LEFT, 27, -8},
                          Case{512, 700, RIGHT, 17, 768}}) {
        CameraAt camera(c.cameraX, 0);
        Shot shot;
        ASSERT_TRUE(shot.fire(c.fromX, 50, c.direction));
        EXPECT_FALSE(shot.fire(10, 10, LEFT)) << "a flying shot cannot be fired again";
        int moves = 0;
        for (; shot.active && moves < 1000; ++moves) {
            shot.update();
            EXPECT_EQ(shot.x, c.fromX + (c.direction == RIGHT ? 4 : -4) * (moves + 1));
        }
        EXPECT_EQ(shot.y, 50);
        EXPECT_EQ(moves, c.moves) << c.fromX << " " << c.cameraX;
        EXPECT_EQ(shot.x, c.lastX);
        EXPECT_TRUE(shot.fire(10, 10, LEFT));
    }
    Shot idle;
    idle.update();
    EXPECT_EQ(idle.x, 0);
    EXPECT_FALSE(idle.active);
}

} // namespace
} // namespace player_test
