// Ladders and vertical screen transitions on real levels: grabbing, the
// ladder top, climbing over it and down onto a floor, LadderScrolling both
// ways, FallScrolling, and a hit during a transition.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

constexpr long FLOOR_Y = 196 * PX; // standing on tile row 13
constexpr long CLIMB = 384;        // 1/256 px per update, up or down

// A ladder in tile column `column` from tile row `top` to `bottom` (inclusive).
void putLadder(std::vector<std::string>& rows, size_t column, size_t top, size_t bottom) {
    for (size_t row = top; row <= bottom; ++row) {
        rows[row][column] = 'H';
    }
}

// Two screens stacked, each its own boundary.
const std::vector<testing_support::LevelBoundary> TWO_STRIPS = {{0, 0, 256}, {0, 240, 256}};

using KalvornLadder = PlayerTest;

TEST_F(KalvornLadder, GrabbingSnapsToTheTileCentreKeepingTheFractionAndTurns) {
    std::vector<std::string> rows = flatScreen();
    putLadder(rows, 2, 9, 12); // x 32 to 47
    load(rows);
    arrive();
    press(SDLK_LEFT);
    int updates = 0;
    while (num("x") != 37 * PX + 128 && updates < 100) {
        step();
        ++updates;
    }
    ASSERT_EQ(text("state"), "Running");
    press(SDLK_UP);
    step();
    std::string t = trace();
    EXPECT_EQ(number(t, "x"), 40 * PX + 128);
    EXPECT_EQ(fields(t, {"facing", "state", "mode", "xSpeed"}), "RIGHT Climbing ON_LADDER 0");
    EXPECT_EQ(number(t, "y"), FLOOR_Y - CLIMB) << "the climb starts in the same update";
    EXPECT_EQ(field(t, "box"), "[32,182,15,23]");
}

TEST_F(KalvornLadder, OnALadderTopUpDoesNothingAndDownStepsIntoTheLadder) {
    std::vector<std::string> rows = flatScreen();
    putLadder(rows, 8, 13, 14); // under the start point x 128
    load(rows);
    arrive();
    step();
    ASSERT_EQ(num("y"), FLOOR_Y) << "the ladder's top carries the player";
    ASSERT_EQ(num("ladder"), 1) << "only belowNext";

    press(SDLK_UP);
    step();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "Standing");
    EXPECT_EQ(number(t, "x"), 128 * PX);
    EXPECT_EQ(field(t, "facing"), "RIGHT");

    release(SDLK_UP);
    press(SDLK_DOWN);
    step();
    t = trace();
    EXPECT_EQ(field(t, "state"), "Climbing");
    EXPECT_EQ(number(t, "x"), 136 * PX);
    // Down by heightHalf 12, then the first climbing step of 1.5.
    EXPECT_EQ(number(t, "y"), FLOOR_Y + 12 * PX + CLIMB);
    EXPECT_EQ(field(t, "facing"), "LEFT");
}

class KalvornLadderOnFloor : public PlayerTest {
protected:
    // A ladder in tile rows 10 to 12 standing on the floor under the start
    // point: feet, body and head are all on it, nothing below the feet.
    void SetUp() override {
        PlayerTest::SetUp();
        std::vector<std::string> rows = flatScreen();
        putLadder(rows, 8, 10, 12);
        load(rows);
        arrive();
        step();
        ASSERT_EQ(num("ladder"), 2 + 4 + 8);
    }
};

TEST_F(KalvornLadderOnFloor, DownWithFeetBodyAndHeadOnTheLadderDoesNothing) {
    press(SDLK_DOWN);
    step();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "Standing");
    EXPECT_EQ(number(t, "x"), 128 * PX);
    EXPECT_EQ(number(t, "y"), FLOOR_Y);
    EXPECT_EQ(field(t, "facing"), "RIGHT");
}

TEST_F(KalvornLadderOnFloor, ClimbingOverTheTopStandsOnTheLadder) {
    press(SDLK_UP);
    step();
    ASSERT_EQ(text("state"), "Climbing");
    EXPECT_EQ(num("animation"), 4);
    // The handler sees flags one update late: over the top at y 161.5,
    // which puts the player heightHalf above the ladder's top row at 160.
    EXPECT_EQ(stepUntil("Standing"), 23);
    std::string t = trace();
    EXPECT_EQ(number(t, "y"), 148 * PX);
    EXPECT_EQ(field(t, "mode"), "ON_GROUND");
    EXPECT_EQ(number(t, "x"), 136 * PX);
    step(5);
    EXPECT_EQ(text("state"), "Standing");
    EXPECT_EQ(num("y"), 148 * PX);
}

TEST_F(KalvornLadderOnFloor, ClimbingDownOntoTheFloorStands) {
    press(SDLK_UP);
    step(6);
    ASSERT_EQ(num("y"), FLOOR_Y - 6 * CLIMB);
    release(SDLK_UP);
    step();
    EXPECT_EQ(num("ySpeed"), -64) << "no key holds the climber still";
    EXPECT_EQ(num("y"), FLOOR_Y - 6 * CLIMB);
    press(SDLK_DOWN);
    // Six steps reach the floor exactly; the seventh meets it and lands.
    EXPECT_EQ(stepUntil("Standing"), 7);
    std::string t = trace();
    EXPECT_EQ(number(t, "y"), FLOOR_Y);
    EXPECT_EQ(fields(t, {"mode", "facing"}), "ON_GROUND LEFT");
}

TEST_F(KalvornLadder, LadderScrollingDownAndBackUpAcrossBoundaries) {
    std::vector<std::string> rows = flatScreen();
    std::vector<std::string> lower = flatScreen();
    rows.insert(rows.end(), lower.begin(), lower.end());
    putLadder(rows, 8, 13, 27);
    load(rows, TWO_STRIPS);
    arrive();
    press(SDLK_DOWN);
    // From y 208 down 1.5 per update: y 233.5 reaches the bottom edge zone.
    EXPECT_EQ(stepUntil("LadderScrolling"), 17);
    std::string t = trace();
    EXPECT_EQ(number(t, "y"), 233 * PX + 192) << "233.5 and the first 0.25 step";
    EXPECT_EQ(fields(t, {"camera", "scrolling", "mode"}), "[0,4] true ON_LADDER");
    long y = number(t, "y");
    for (int i = 1; i < 60; ++i) {
        step();
        ASSERT_EQ(text("state"), "LadderScrolling");
        ASSERT_EQ(num("y"), y + 64 * i);
    }
    EXPECT_EQ(text("camera"), "[0,240]");
    EXPECT_EQ(num("boundary"), 0);
    step();
    t = trace();
    EXPECT_EQ(fields(t, {"state", "scrolling", "boundary", "camera"}), "Climbing false 1 [0,240]");
    EXPECT_EQ(number(t, "y"), 248 * PX + 128);

    release(SDLK_DOWN);
    press(SDLK_UP);
    // 248.5, 247, 245.5, 244: within 4 px of the boundary's top.
    EXPECT_EQ(stepUntil("LadderScrolling"), 3);
    t = trace();
    EXPECT_EQ(number(t, "y"), 243 * PX + 192);
    EXPECT_EQ(field(t, "camera"), "[0,236]");
    ASSERT_EQ(stepUntil("Climbing"), 60);
    t = trace();
    EXPECT_EQ(fields(t, {"boundary", "camera"}), "0 [0,0]");
    EXPECT_EQ(number(t, "y"), 229 * PX) << "244 less 60 steps of 0.25";
}

TEST_F(KalvornLadder, FallScrollingCarriesTheFallIntoTheStripBelowAndIgnoresHits) {
    // A hole under the start point in the upper strip, a floor in the lower.
    std::vector<std::string> rows = flatScreen();
    rows[13][7] = rows[13][8] = rows[14][7] = rows[14][8] = '.';
    std::vector<std::string> lower = flatScreen();
    rows.insert(rows.end(), lower.begin(), lower.end());
    load(rows, TWO_STRIPS);
    ASSERT_NE(stepUntil("FallScrolling"), -1);
    std::string t = trace();
    EXPECT_EQ(fields(t, {"scrolling", "camera", "xSpeed"}), "true [0,4] 0");
    long y = number(t, "y");
    long animation = number(t, "animation");

    m_pPlayer->takeHit();
    step();
    t = trace();
    EXPECT_EQ(field(t, "state"), "FallScrolling") << "a hit during a transition is ignored";
    EXPECT_EQ(number(t, "invincible"), 0);
    EXPECT_EQ(number(t, "animation"), animation);
    step(58);
    EXPECT_EQ(text("state"), "FallScrolling");
    EXPECT_EQ(text("camera"), "[0,240]");
    EXPECT_EQ(num("y"), y + 59 * 64);
    step();
    t = trace();
    EXPECT_EQ(fields(t, {"state", "scrolling", "boundary", "camera"}), "Airborne false 1 [0,240]");
    EXPECT_EQ(number(t, "y"), y + 59 * 64 + PX) << "the new fall's first step";
    EXPECT_EQ(number(t, "ySpeed"), -PX - 64);
    EXPECT_EQ(number(t, "animation"), 3);
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("y"), (240 + 196) * PX);
    EXPECT_EQ(text("fallenOut"), "false");
}

TEST_F(KalvornLadder, APoseThatOutlastsATransitionEndsAtTheFirstUpdateAfterIt) {
    std::vector<std::string> rows = flatScreen();
    rows[13][7] = rows[13][8] = rows[14][7] = rows[14][8] = '.';
    std::vector<std::string> lower = flatScreen();
    rows.insert(rows.end(), lower.begin(), lower.end());
    load(rows, TWO_STRIPS, {{"Durations", "shooting", "30"}});
    ASSERT_NE(stepUntil("TeleportLanded"), -1);
    press(SDLK_b);
    step();
    ASSERT_EQ(text("shooting"), "true");
    ASSERT_NE(stepUntil("FallScrolling"), -1);
    ASSERT_LT(num("shotTime"), 30);
    std::string shots = text("shots");
    ASSERT_EQ(stepUntil("Airborne"), 60);
    std::string t = trace();
    EXPECT_EQ(field(t, "shooting"), "true");
    EXPECT_GT(number(t, "shotTime"), 30);
    EXPECT_EQ(field(t, "shots"), shots) << "shots stand still during a transition";
    step();
    EXPECT_EQ(text("shooting"), "false");
}

} // namespace
} // namespace player_test
