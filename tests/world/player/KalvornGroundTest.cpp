// Standing, accelerating, running and decelerating on a flat floor, with the
// timed transitions at their exact update counts.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

constexpr long START_X = 128 * PX;
constexpr long ACCELERATING = 128; // 1/256 px per update
constexpr long DECELERATING = 64;  // 1/256 px per update
constexpr long RUNNING = 384;      // 1/256 px per update

class KalvornGround : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        load(flatScreen());
        arrive();
        ASSERT_EQ(num("x"), START_X);
    }

    // Right held from now on until Running, which "accelerating" 10 reaches
    // in the eleventh update.
    void runRight() {
        press(SDLK_RIGHT);
        step(11);
        ASSERT_EQ(text("state"), "Running");
    }
};

TEST_F(KalvornGround, AcceleratingShowsItsAnimationAtFourAndRunsAtTen) {
    press(SDLK_RIGHT);
    for (long i = 0; i < 10; ++i) {
        step();
        std::string t = trace();
        ASSERT_EQ(field(t, "state"), "Accelerating") << "update " << i;
        EXPECT_EQ(number(t, "xSpeed"), ACCELERATING);
        EXPECT_EQ(number(t, "x"), START_X + ACCELERATING * (i + 1));
        EXPECT_EQ(number(t, "animation"), i >= 4 ? 1 : 0) << "update " << i;
    }
    step();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "Running");
    EXPECT_EQ(number(t, "xSpeed"), RUNNING);
    EXPECT_EQ(number(t, "x"), START_X + ACCELERATING * 10 + RUNNING);
    EXPECT_EQ(number(t, "animation"), 2);
}

TEST_F(KalvornGround, AcceleratingAnimationAtEntryWhenItsCountIsZero) {
    load(flatScreen(), {{0, 0, 256}}, {{"Durations", "acceleratingPreviousAnimation", "0"}});
    arrive();
    press(SDLK_RIGHT);
    step();
    EXPECT_EQ(num("animation"), 1);
    step(9);
    EXPECT_EQ(text("state"), "Accelerating");
    step();
    EXPECT_EQ(text("state"), "Running");
}

TEST_F(KalvornGround, ReversingKeepsTheSpeedAndTheState) {
    press(SDLK_RIGHT);
    step(3);
    press(SDLK_LEFT);
    step();
    std::string t = trace();
    EXPECT_EQ(fields(t, {"state", "stateTime", "facing"}), "Accelerating 4 LEFT");
    EXPECT_EQ(number(t, "x"), START_X + ACCELERATING * 3 - ACCELERATING);

    // Back to the right until Running, then turn at full speed.
    release(SDLK_LEFT);
    step(7);
    ASSERT_EQ(text("state"), "Running");
    long x = num("x");
    press(SDLK_LEFT);
    step();
    t = trace();
    EXPECT_EQ(fields(t, {"state", "facing"}), "Running LEFT");
    EXPECT_EQ(number(t, "xSpeed"), RUNNING);
    EXPECT_EQ(number(t, "x"), x - RUNNING);
}

TEST_F(KalvornGround, DeceleratingEndsInStandingOrReturnsToAccelerating) {
    runRight();
    long x = num("x");
    release(SDLK_RIGHT);
    for (long i = 0; i < 6; ++i) {
        step();
        std::string t = trace();
        ASSERT_EQ(field(t, "state"), "Decelerating") << "update " << i;
        EXPECT_EQ(number(t, "x"), x + DECELERATING * (i + 1));
        EXPECT_EQ(number(t, "animation"), i >= 3 ? 1 : 2) << "update " << i;
    }
    step();
    EXPECT_EQ(text("state"), "Standing");
    EXPECT_EQ(num("xSpeed"), 0);
    EXPECT_EQ(num("x"), x + DECELERATING * 6);

    runRight();
    release(SDLK_RIGHT);
    step(2);
    press(SDLK_RIGHT);
    step();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "Accelerating");
    EXPECT_EQ(number(t, "xSpeed"), ACCELERATING);
    EXPECT_EQ(number(t, "stateTime"), 1);
}

TEST_F(KalvornGround, CameraCentresOnTheBoxWithinAWideBoundary) {
    std::vector<std::string> rows;
    for (const std::string& row : flatScreen()) {
        rows.push_back(row + row);
    }
    load(rows, {{0, 0, 512}});
    arrive();
    press(SDLK_RIGHT);
    for (int i = 0; i < 250; ++i) {
        step();
        // Box x = integer x - 8, width 15: its centre is box x + 7.
        long wanted = num("x") / PX - 8 + 7 - 128;
        long expected = wanted < 0 ? 0 : (wanted > 256 ? 256 : wanted);
        ASSERT_EQ(text("camera"), "[" + std::to_string(expected) + ",0]") << "update " << i;
    }
    EXPECT_EQ(text("camera"), "[256,0]");
}

} // namespace
} // namespace player_test
