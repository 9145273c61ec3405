// Jumps, falls and landings: the cut-short jump, the terminal speed, a head
// bump, air control, walking off an edge, falling out and respawning, and a
// fall faster than the map's one-tile look-ahead.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

constexpr long FLOOR_Y = 196 * PX; // standing on tile row 13
constexpr long GRAVITY = 64;       // 1/256 px per update, per update
constexpr long MIN = -896;         // 1/256 px per update: fromParts(-4, 128)

// A floor under tile columns 0 to 9 only, and nothing below the screen.
std::vector<std::string> edgeScreen() {
    std::vector<std::string> rows(13, "................");
    rows.insert(rows.end(), 2, "##########......");
    return rows;
}

using KalvornAir = PlayerTest;

TEST_F(KalvornAir, ReleasingTheJumpEarlyCutsTheRiseOnlyAboveTheLimit) {
    load(flatScreen());
    arrive();
    press(SDLK_SPACE);
    step();
    EXPECT_EQ(texts({"state", "mode", "response", "ySpeed"}), "Airborne IN_AIR BUMP 1024");
    EXPECT_EQ(num("y"), FLOOR_Y) << "the jump moves from the next update on";
    step();
    EXPECT_EQ(num("y"), FLOOR_Y - 4 * PX);
    EXPECT_EQ(num("animation"), 3);
    release(SDLK_SPACE);
    step();
    EXPECT_EQ(num("y"), FLOOR_Y - 5 * PX) << "3.75 px per update cut to 1";
    EXPECT_EQ(num("ySpeed"), PX - GRAVITY);

    // Held until the speed is down to exactly jumpReleasedMax, 2 px per
    // update: letting go then changes nothing.
    ASSERT_NE(stepUntil("Standing"), -1);
    press(SDLK_SPACE);
    step(9);
    ASSERT_EQ(num("ySpeed"), 2 * PX);
    release(SDLK_SPACE);
    step();
    EXPECT_EQ(num("y"), FLOOR_Y - 27 * PX) << "4 + 3.75 + ... + 2.25 is 25, then 2";
    EXPECT_EQ(num("ySpeed"), 2 * PX - GRAVITY);
}

TEST_F(KalvornAir, TheFallIsCappedAtTheMinimumSpeedAndLandsOnWholePixels) {
    load(flatScreen());
    arrive();
    press(SDLK_SPACE); // held for the whole jump, so the rise is not cut short
    step();
    long fastestDrop = 0;
    for (int updates = 0; text("state") == "Airborne" && updates < 100; ++updates) {
        long y = num("y");
        step();
        fastestDrop = std::max(fastestDrop, num("y") - y);
    }
    EXPECT_EQ(texts({"state", "xSpeed"}), "Standing 0");
    EXPECT_EQ(fastestDrop, -MIN);
    EXPECT_EQ(num("y"), FLOOR_Y);
}

TEST_F(KalvornAir, AHeadBumpMovesUpToTheCeilingAndTurnsTheJumpIntoAFall) {
    std::vector<std::string> rows = flatScreen();
    rows[9] = "################"; // its bottom edge is y 159
    load(rows);
    arrive();
    press(SDLK_SPACE);
    step();
    for (int updates = 0; text("response") == "BUMP" && updates < 30; ++updates) {
        step();
    }
    EXPECT_EQ(texts({"box", "response", "state"}), "[120,160,15,23] LAND Airborne");
    EXPECT_EQ(num("y"), 172 * PX);
    EXPECT_EQ(num("ySpeed"), -PX - GRAVITY) << "the collision speed, then gravity";
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("y"), FLOOR_Y);
}

TEST_F(KalvornAir, AirControlAndLandingIntoRunning) {
    load(flatScreen());
    arrive();
    press(SDLK_SPACE);
    step(2);
    EXPECT_EQ(num("xSpeed"), 0);
    long x = num("x");
    press(SDLK_RIGHT);
    step();
    EXPECT_EQ(num("xSpeed"), 192) << "jumpAccelerating in the first held update";
    EXPECT_EQ(num("x"), x + 192);
    step();
    EXPECT_EQ(num("xSpeed"), 320) << "jumping while the direction stays held";
    EXPECT_EQ(num("x"), x + 192 + 320);
    release(SDLK_RIGHT);
    step();
    EXPECT_EQ(num("xSpeed"), 0);
    EXPECT_EQ(num("x"), x + 192 + 320);
    press(SDLK_LEFT);
    step();
    EXPECT_EQ(texts({"facing", "xSpeed"}), "LEFT 192");
    ASSERT_NE(stepUntil("Running"), -1);
    EXPECT_EQ(texts({"mode", "xSpeed"}), "ON_GROUND 384");
    EXPECT_EQ(num("y"), FLOOR_Y);
}

TEST_F(KalvornAir, WalkingOffAnEdgeFallsOutAndRespawnKeepsSpeedAndFacing) {
    load(edgeScreen());
    arrive();
    press(SDLK_RIGHT);
    // 10 updates accelerating to x 133, then running 1.5 px per update: at x
    // 169 the box's left column 161 has left the floor.
    EXPECT_EQ(stepUntil("Airborne"), 34);
    EXPECT_EQ(num("x"), 169 * PX);
    EXPECT_EQ(num("y"), FLOOR_Y + PX) << "the fall's first step at once";
    EXPECT_EQ(num("ySpeed"), -PX - 2 * GRAVITY);
    EXPECT_EQ(texts({"mode", "animation"}), "IN_AIR 3");

    for (int updates = 0; text("fallenOut") == "false" && updates < 100; ++updates) {
        step();
    }
    ASSERT_EQ(text("fallenOut"), "true");
    EXPECT_GE(num("y"), 233 * PX);
    EXPECT_EQ(texts({"state", "scrolling"}), "Airborne false")
        << "no transition where no screen is below";
    EXPECT_TRUE(m_pPlayer->hasFallenOut());

    m_pPlayer->respawn();
    EXPECT_FALSE(m_pPlayer->hasFallenOut());
    EXPECT_EQ(texts({"x", "y", "box", "state", "mode", "facing", "xSpeed", "animation"}),
              "32768 1272 [120,-8,15,23] Teleporting TELEPORTING RIGHT 320 7");
    release(SDLK_RIGHT);
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("x"), 32768 + 320) << "the kept speed moves the player once on landing";
}

TEST_F(KalvornAir, AFallFasterThanOneTileLandsInTheAirThenFallsAgain) {
    load(edgeScreen(), {{0, 0, 256}},
         {{"YSpeed", "fallingInt", "-20"},
          {"YSpeed", "minInt", "-20"},
          {"YSpeed", "minFraction", "0"},
          {"YSpeed", "gravityFraction", "0"}});
    arrive();
    press(SDLK_RIGHT);
    // The walk-off takes the fall's first 20 px at once; the next move meets
    // a clearance of 16 with nothing below and "lands" in the air.
    EXPECT_EQ(stepUntil("Running"), 11);
    for (int updates = 0; num("y") == FLOOR_Y && updates < 50; ++updates) {
        step();
    }
    EXPECT_EQ(num("y"), (196 + 20) * PX) << "the fall's first step, untested";
    EXPECT_EQ(text("state"), "Airborne");
    step();
    EXPECT_EQ(num("y"), (216 + 16) * PX);
    EXPECT_EQ(texts({"state", "mode"}), "Running ON_GROUND");
    step();
    EXPECT_EQ(texts({"state", "fallenOut"}), "Airborne true");
    EXPECT_EQ(num("y"), (232 + 20) * PX);
}

} // namespace
} // namespace player_test
