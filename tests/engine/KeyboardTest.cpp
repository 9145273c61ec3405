// SDL's real events pushed into its real queue and translated for the input
// rules (the rules themselves are InputRulesTest's): the stick with its dead
// zone, the hat, the buttons, bound keys, replayed keys, the window's own keys
// and what a recording hears; and the bindings file's refusals.
#include "config/Controls.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::writeFile;

namespace {

void pushAxis(Uint8 axis, Sint16 value) {
    SDL_Event event{.jaxis = {SDL_JOYAXISMOTION, 0, axis, value}};
    SDL_PushEvent(&event);
}

void pushHat(Uint8 value) {
    SDL_Event event{.jhat = {SDL_JOYHATMOTION, 0, 0, value}};
    SDL_PushEvent(&event);
}

void pushButton(Uint8 button, bool down) {
    SDL_Event event{.jbutton = {down ? Uint8(SDL_JOYBUTTONDOWN) : Uint8(SDL_JOYBUTTONUP), 0, button,
                                down ? Uint8(SDL_PRESSED) : Uint8(SDL_RELEASED)}};
    SDL_PushEvent(&event);
}

// A key as the keyboard sends it, not as a replay does.
void pushRawKey(SDLKey key, bool down) {
    SDL_Event event{
        .key = {down ? Uint8(SDL_KEYDOWN) : Uint8(SDL_KEYUP), 0, 0, {0, key, KMOD_NONE, 0}}};
    SDL_PushEvent(&event);
}

// Collects what a recording would write.
class Collector : public InputObserver {
public:
    void inputEvent(GameInput input, bool down) override {
        m_text += std::string(keyNameOf(input).replayWord) + (down ? " down\n" : " up\n");
    }
    void quitEvent() override { m_text += "quit\n"; }
    std::string m_text;
};

// Every test starts and ends with the default controls, nothing held, no
// observer and the engine unpaused with clean edges.
class Input : public ::testing::Test {
protected:
    void SetUp() override { settle(); }
    void TearDown() override { settle(); }

    static void settle() {
        gEngine->setInputObserver(nullptr);
        gEngine->setControls(Controls::defaults());
        pushAxis(0, 0);
        pushAxis(1, 0);
        pushHat(SDL_HAT_CENTERED);
        for (Uint8 button = 0; button < 8; ++button) {
            pushButton(button, false);
        }
        for (SDLKey key : {SDLK_LEFT, SDLK_SPACE}) {
            pushRawKey(key, false);
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
        if (gEngine->isPaused()) {
            GameEngine::pushKeyEvent(SDLK_RETURN, true);
            GameEngine::pushKeyEvent(SDLK_RETURN, false);
            gEngine->pollEvents();
        }
        gEngine->pollEvents();
    }

    static KeyState frame() {
        gEngine->pollEvents();
        return gEngine->getKeys();
    }
};

} // namespace

// A recording hears the stick as the arrows: once per change, the old
// direction released before the new one is pressed.
TEST_F(Input, TheStickActsAsTheArrowsOutsideItsDeadZone) {
    Collector collector;
    gEngine->setInputObserver(&collector);
    pushAxis(0, -Controls::DEFAULT_DEAD_ZONE);
    EXPECT_EQ(frame().horizontal, NONE);
    pushAxis(0, -Controls::DEFAULT_DEAD_ZONE - 1);
    EXPECT_TRUE(frame().leftHeld);
    pushAxis(0, -25000);
    pushAxis(0, 30000);
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_FALSE(keys.leftHeld);
    pushAxis(1, 30000);
    EXPECT_EQ(frame().vertical, DOWN);
    pushAxis(1, 0);
    pushAxis(0, 100);
    keys = frame();
    EXPECT_EQ(keys.vertical, NONE);
    EXPECT_EQ(keys.horizontal, NONE);
    EXPECT_EQ(collector.m_text, "left down\nleft up\nright down\ndown down\ndown up\nright up\n");
}

TEST_F(Input, TheHatAndAKeyShareTheAxes) {
    pushRawKey(SDLK_LEFT, true);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushHat(SDL_HAT_RIGHT | SDL_HAT_UP);
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_EQ(keys.vertical, UP);
    pushHat(SDL_HAT_CENTERED);
    keys = frame();
    EXPECT_EQ(keys.horizontal, LEFT);
    EXPECT_EQ(keys.vertical, NONE);
}

TEST_F(Input, ButtonsJumpShootAndPauseWithItsSound) {
    pushButton(0, true);
    pushButton(2, true);
    KeyState keys = frame();
    EXPECT_TRUE(keys.spacePressed);
    EXPECT_TRUE(keys.bPressed);
    pushButton(0, false);
    EXPECT_TRUE(frame().spaceReleased);
    pushButton(7, true);
    frame();
    EXPECT_TRUE(gEngine->isPaused());
    EXPECT_EQ(gEngine->raisedSounds(), std::vector<SoundEvent>{SoundEvent::PAUSE});
    pushButton(7, false);
    pushButton(7, true);
    frame();
    EXPECT_FALSE(gEngine->isPaused());
}

// Each bound key is a source of its own; replays still say "space".
TEST_F(Input, BoundKeysReplaceTheDefaultsAndNeverReleaseEachOther) {
    writeFile("controls.ini", "[Keys]\nleft = a, left\njump = k\n");
    gEngine->setControls(loadControls(gEngine->files(), "controls.ini"));
    pushRawKey(SDLK_a, true);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushRawKey(SDLK_LEFT, true);
    pushRawKey(SDLK_a, false);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushRawKey(SDLK_LEFT, false);
    EXPECT_EQ(frame().horizontal, NONE);
    pushRawKey(SDLK_SPACE, true);
    EXPECT_FALSE(frame().spacePressed);
    pushRawKey(SDLK_k, true);
    EXPECT_TRUE(frame().spacePressed);
    pushRawKey(SDLK_k, false);
    frame();
    GameEngine::pushKeyEvent(SDLK_SPACE, true);
    EXPECT_TRUE(frame().spacePressed);
}

TEST_F(Input, WindowKeysNeverReachTheGame) {
    std::filesystem::remove("kcs-0001.bmp");
    gEngine->setScreenshotFolder(".");
    bool shown = gEngine->isOverlayShown();
    for (SDLKey key : {SDLK_F12, SDLK_F3, SDLK_F12, SDLK_F5}) {
        pushRawKey(key, true);
        pushRawKey(key, false);
    }
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, NONE);
    EXPECT_FALSE(keys.bPressed || keys.spacePressed);
    EXPECT_FALSE(gEngine->isPaused());
    // Numbered: the second screenshot does not overwrite the first.
    EXPECT_TRUE(std::filesystem::exists("kcs-0002.bmp"));
    EXPECT_NE(gEngine->isOverlayShown(), shown);
    EXPECT_TRUE(gEngine->takeReloadRequest());
    EXPECT_FALSE(gEngine->takeReloadRequest());
    pushRawKey(SDLK_F3, true);
    frame();
    EXPECT_EQ(gEngine->isOverlayShown(), shown);
}

TEST(ControlsFile, UnknownNamesAreRefusedWithFileSectionAndKey) {
    const std::pair<const char*, const char*> cases[] = {
        {"[Keys]\nleft = lefty\n", "[Keys] left: unknown key name 'lefty'"},
        {"[Keys]\nfly = a\n", "[Keys] fly: unknown input"},
        {"[Keys]\njump = f12\n", "[Keys] jump: 'f12' is reserved"},
        {"[Gamepad]\nshoot = x\n", "[Gamepad] shoot: 'x' is not a button"},
        {"[Gamepad]\nshoot = 256\n", "[Gamepad] shoot: '256' is not a button"},
        {"[Gamepad]\ndeadZone = -1\n", "[Gamepad] deadZone is -1; give 0 to"},
        {"[Pad]\njump = 1\n", "unknown section [Pad]"},
    };
    for (const auto& [text, message] : cases) {
        writeFile("controls.ini", text);
        try {
            loadControls(gEngine->files(), "controls.ini");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DataError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(std::string("controls.ini: ") + message, 0),
                      0u)
                << error.what();
        }
    }
    std::filesystem::remove("controls.ini");
}
