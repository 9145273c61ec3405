// The keyboard model, pause and single-step, driven by events pushed into
// SDL's real queue.
#include "engine/GameEngine.h"

#include <gtest/gtest.h>

namespace {

class Keyboard : public ::testing::Test {
protected:
    void SetUp() override { settle(); }
    void TearDown() override { settle(); }

    // Releases every key and leaves the engine unpaused with clean edges.
    static void settle() {
        for (SDLKey key : {SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN, SDLK_SPACE, SDLK_b}) {
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
        if (gEngine->isPaused()) {
            GameEngine::pushKeyEvent(SDLK_RETURN, true);
            gEngine->pollEvents();
        }
        gEngine->pollEvents();
        gEngine->pollEvents();
    }

    static void press(SDLKey key) { GameEngine::pushKeyEvent(key, true); }
    static void release(SDLKey key) { GameEngine::pushKeyEvent(key, false); }
    static KeyState frame() {
        gEngine->pollEvents();
        return gEngine->getKeys();
    }
};

} // namespace

TEST_F(Keyboard, LastPressedOppositeDirectionWins) {
    press(SDLK_LEFT);
    EXPECT_EQ(frame().horizontal, LEFT);
    press(SDLK_RIGHT);
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_EQ(keys.previousHorizontal, LEFT);
    EXPECT_TRUE(keys.leftHeld && keys.rightHeld);
    release(SDLK_RIGHT);
    EXPECT_EQ(frame().horizontal, LEFT);
    press(SDLK_RIGHT);
    frame();
    release(SDLK_LEFT);
    keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_FALSE(keys.leftHeld);
    release(SDLK_RIGHT);
    EXPECT_EQ(frame().horizontal, NONE);
}

TEST_F(Keyboard, ReleasingUpWhileDownIsHeldTurnsDown) {
    press(SDLK_DOWN);
    press(SDLK_UP);
    EXPECT_EQ(frame().vertical, UP);
    release(SDLK_UP);
    KeyState keys = frame();
    EXPECT_EQ(keys.vertical, DOWN);
    EXPECT_EQ(keys.previousVertical, UP);
    release(SDLK_DOWN);
    EXPECT_EQ(frame().vertical, NONE);
}

TEST_F(Keyboard, PressAndReleaseInOneFrameLeavesOnlyTheRelease) {
    press(SDLK_b);
    release(SDLK_b);
    KeyState keys = frame();
    EXPECT_FALSE(keys.bPressed);
    EXPECT_FALSE(keys.bHeld);
    EXPECT_TRUE(keys.bReleased);
    keys = frame();
    EXPECT_FALSE(keys.bReleased);
}

TEST_F(Keyboard, PressedLastsOneFrameAndHeldLastsUntilRelease) {
    press(SDLK_SPACE);
    KeyState keys = frame();
    EXPECT_TRUE(keys.spacePressed && keys.spaceHeld);
    keys = frame();
    EXPECT_FALSE(keys.spacePressed);
    EXPECT_TRUE(keys.spaceHeld);
    release(SDLK_SPACE);
    keys = frame();
    EXPECT_TRUE(keys.spaceReleased);
    EXPECT_FALSE(keys.spaceHeld);
}

TEST_F(Keyboard, EnterTogglesThePauseAndTabOnlyStepsWhilePaused) {
    press(SDLK_TAB);
    frame();
    EXPECT_FALSE(gEngine->isPaused());
    press(SDLK_RETURN);
    frame();
    EXPECT_TRUE(gEngine->isPaused());
    frame();
    EXPECT_TRUE(gEngine->isPaused());

    // Each Tab gives exactly one unpaused frame, then the pause returns.
    press(SDLK_TAB);
    frame();
    EXPECT_FALSE(gEngine->isPaused());
    frame();
    EXPECT_TRUE(gEngine->isPaused());

    press(SDLK_RETURN);
    frame();
    EXPECT_FALSE(gEngine->isPaused());
    frame();
    EXPECT_FALSE(gEngine->isPaused());
}

TEST_F(Keyboard, EdgesArrivingDuringAPauseSurviveUntilItEnds) {
    press(SDLK_RETURN);
    frame();
    ASSERT_TRUE(gEngine->isPaused());
    press(SDLK_b);
    press(SDLK_RIGHT);
    frame();
    frame();
    press(SDLK_RETURN);
    KeyState keys = frame();
    ASSERT_FALSE(gEngine->isPaused());
    // The first update after the pause still sees the press.
    EXPECT_TRUE(keys.bPressed);
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_EQ(keys.previousHorizontal, NONE);
    keys = frame();
    EXPECT_FALSE(keys.bPressed);
}

TEST_F(Keyboard, ClosingTheWindowRequestsQuitAndOtherKeysAreIgnored) {
    press(SDLK_a);
    press(SDLK_ESCAPE);
    KeyState before = gEngine->getKeys();
    KeyState after = frame();
    EXPECT_EQ(after.horizontal, before.horizontal);
    EXPECT_FALSE(after.bPressed || after.spacePressed);
    EXPECT_FALSE(gEngine->isQuitRequested());
}
