// The enemy's box edges, its picture on the screen, its animation and the
// file it refuses. Its contact with the player is played in the golden
// replays.
#include "world/enemy/Enemy.h"

#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

using testing_support::pixelAt;
using testing_support::writeFile;

namespace {

constexpr uint32_t BLACK = 0x000000;
constexpr uint32_t FRAME0_COLOUR = 0x30A010;
constexpr uint32_t FRAME1_COLOUR = 0x1030A0;
constexpr int PICTURE_SIZE = 16;     // px, rectangle width and height in the enemy's sheet
constexpr int CAMERA_START_Y = 1920; // px, the engine's starting camera y
constexpr int ENEMY_SCREEN_Y = 184;  // px, 2104 - 1920

class EnemyTest : public ::testing::Test {
protected:
    // A sheet with two 16 by 16 pictures, one above the other, each of one
    // colour, shown as two frames of one update each.
    void SetUp() override {
        testing_support::writeBmp("enemy.bmp", PICTURE_SIZE, 2 * PICTURE_SIZE, [](int, int y) {
            return y < PICTURE_SIZE ? FRAME0_COLOUR : FRAME1_COLOUR;
        });
        writeFile("enemy.ini", "[Spritesheets]\namount=1\nspritesheet0=enemy.bmp\n"
                               "[Sprites]\namount=2\nwidth=16\nheight=16\nxOffset=0\nyOffset=0\n"
                               "sprite0YPos=0\nsprite1YPos=16\n"
                               "[Animations]\namount=1\n[Animation0]\nnFrames=2\n"
                               "frame0SpriteIndex=0\nframe0Duration=1\n"
                               "frame1SpriteIndex=1\nframe1Duration=1\n");
        gEngine->clearScreen();
    }

    static bool touches(const Enemy& enemy, SDL_Rect playerBox) {
        return Hitbox(&playerBox).collidesWith(enemy.hitbox());
    }
};

} // namespace

// Boxes meeting the left edge (x 112) or the bottom edge (y 2112) do not touch.
TEST_F(EnemyTest, BoxesMeetingTheLeftOrBottomEdgeDoNotTouch) {
    Enemy enemy;
    EXPECT_FALSE(touches(enemy, SDL_Rect{96, 2100, 16, 24})); // right edge exactly 112
    EXPECT_TRUE(touches(enemy, SDL_Rect{97, 2100, 16, 24}));
    EXPECT_FALSE(touches(enemy, SDL_Rect{110, 2112, 16, 24}));
    EXPECT_TRUE(touches(enemy, SDL_Rect{110, 2111, 16, 24}));
}

TEST_F(EnemyTest, DrawnAtItsBoxCornerAndEachUpdateStepsTheAnimation) {
    testing_support::CameraAt camera(0, CAMERA_START_Y);
    Enemy enemy;
    enemy.draw();
    SDL_Surface* pScreen = gEngine->getScreen();
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X, ENEMY_SCREEN_Y), FRAME0_COLOUR);
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X + PICTURE_SIZE - 1, ENEMY_SCREEN_Y + PICTURE_SIZE - 1),
              FRAME0_COLOUR);
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X - 1, ENEMY_SCREEN_Y), BLACK);
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X, ENEMY_SCREEN_Y - 1), BLACK);
    // The first step starts the animation on its first frame.
    for (uint32_t colour : {FRAME0_COLOUR, FRAME1_COLOUR, FRAME0_COLOUR, FRAME1_COLOUR}) {
        enemy.update();
        enemy.draw();
        EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X, ENEMY_SCREEN_Y), colour);
    }
}

TEST_F(EnemyTest, FileWithoutAnAnimationIsRefused) {
    writeFile("enemy.ini", "[Spritesheets]\namount=1\nspritesheet0=enemy.bmp\n");
    try {
        Enemy enemy;
        FAIL() << "an enemy with nothing to show was built";
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "enemy.ini: [Animations] amount is not given; give 1 to 4096");
    }
}
