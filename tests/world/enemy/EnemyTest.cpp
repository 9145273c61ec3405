// The enemy's picture on the screen, its animation and the file it refuses.
// Its box and its contact with the player are played in the golden replays,
// and the rule that boxes meeting at an edge do not touch is the camera
// tests'.
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
constexpr int PICTURE_SIZE = 16;    // px, rectangle width and height in the enemy's sheet
constexpr int ENEMY_SCREEN_Y = 100; // px, where the camera puts the box's top

} // namespace

// A sheet with two 16 by 16 pictures, one above the other, each of one
// colour, shown as two frames of one update each.
TEST(EnemyTest, DrawnAtItsBoxCornerAndEachUpdateStepsTheAnimation) {
    testing_support::writeBmp("enemy.bmp", PICTURE_SIZE, 2 * PICTURE_SIZE, [](int, int y) {
        return y < PICTURE_SIZE ? FRAME0_COLOUR : FRAME1_COLOUR;
    });
    writeFile("enemy.ini", "[Spritesheets]\namount=1\nspritesheet0=enemy.bmp\n"
                           "[Sprites]\namount=2\nwidth=16\nheight=16\nxOffset=0\nyOffset=0\n"
                           "sprite0YPos=0\nsprite1YPos=16\n"
                           "[Animations]\namount=1\n[Animation0]\nnFrames=2\n"
                           "frame0SpriteIndex=0\nframe0Duration=1\n"
                           "frame1SpriteIndex=1\nframe1Duration=1\n");
    testing_support::CameraAt camera(0, Enemy::BOX_Y - ENEMY_SCREEN_Y);
    gEngine->clearScreen();
    Enemy enemy;
    enemy.draw();
    SDL_Surface* pScreen = gEngine->getScreen();
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X - 1, ENEMY_SCREEN_Y), BLACK);
    EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X, ENEMY_SCREEN_Y - 1), BLACK);
    // The first step starts the animation on its first frame.
    for (uint32_t colour : {FRAME0_COLOUR, FRAME0_COLOUR, FRAME1_COLOUR, FRAME0_COLOUR}) {
        EXPECT_EQ(pixelAt(pScreen, Enemy::BOX_X, ENEMY_SCREEN_Y), colour);
        enemy.update();
        enemy.draw();
    }

    writeFile("enemy.ini", "[Spritesheets]\namount=1\nspritesheet0=enemy.bmp\n");
    try {
        Enemy refused;
        FAIL() << "an enemy with nothing to show was built";
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "enemy.ini: [Animations] amount is not given; give 1 to 4096");
    }
}
