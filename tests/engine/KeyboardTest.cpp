// SDL's events as the engine translates them for the input rules (keys through
// the bindings, gamepads, replayed inputs, the window's keys), all pushed into
// SDL's real queue; recordings of them, and the bindings file's refusals.
#include "config/Controls.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "program/Replay.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::writeFile;

namespace {

void pushAxis(int axis, int value) {
    SDL_Event event{};
    event.type = SDL_JOYAXISMOTION;
    event.jaxis.type = SDL_JOYAXISMOTION;
    event.jaxis.axis = static_cast<Uint8>(axis);
    event.jaxis.value = static_cast<Sint16>(value);
    SDL_PushEvent(&event);
}

void pushHat(Uint8 value) {
    SDL_Event event{};
    event.type = SDL_JOYHATMOTION;
    event.jhat.type = SDL_JOYHATMOTION;
    event.jhat.value = value;
    SDL_PushEvent(&event);
}

void pushButton(int button, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
    event.jbutton.type = event.type;
    event.jbutton.button = static_cast<Uint8>(button);
    event.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&event);
}

// A key as the keyboard sends it, not as a replay does.
void pushRawKey(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.type = event.type;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

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
        for (int button = 0; button < 8; ++button) {
            pushButton(button, false);
        }
        for (SDLKey key : {SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN, SDLK_SPACE, SDLK_b, SDLK_a,
                           SDLK_RETURN, SDLK_TAB}) {
            pushRawKey(key, false);
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
        if (gEngine->isPaused()) {
            GameEngine::pushKeyEvent(SDLK_RETURN, true);
            gEngine->pollEvents();
            GameEngine::pushKeyEvent(SDLK_RETURN, false);
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
using Gamepad = Input;

// Collects what a recording would write.
class Collector : public InputObserver {
public:
    void inputEvent(GameInput input, bool down) override {
        m_text += std::string(keyNameOf(input).replayWord) + (down ? " down\n" : " up\n");
    }
    void quitEvent() override { m_text += "quit\n"; }
    std::string m_text;
};

} // namespace

TEST_F(Gamepad, TheStickActsAsTheArrowsOutsideItsDeadZone) {
    pushAxis(0, -Controls::DEFAULT_DEAD_ZONE);
    EXPECT_EQ(frame().horizontal, NONE);
    pushAxis(0, -Controls::DEFAULT_DEAD_ZONE - 1);
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, LEFT);
    EXPECT_TRUE(keys.leftHeld);
    // Small movements of a held stick change nothing.
    pushAxis(0, -20000);
    pushAxis(0, -25000);
    keys = frame();
    EXPECT_EQ(keys.previousHorizontal, LEFT);
    // Flicked across the centre: the new direction wins at once.
    pushAxis(0, 30000);
    keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_FALSE(keys.leftHeld);
    pushAxis(1, 30000);
    EXPECT_EQ(frame().vertical, DOWN);
    pushAxis(1, 0);
    pushAxis(0, 100);
    keys = frame();
    EXPECT_EQ(keys.vertical, NONE);
    EXPECT_EQ(keys.horizontal, NONE);
}

TEST_F(Gamepad, TheHatAndTheKeyboardShareTheLastPressedRule) {
    pushRawKey(SDLK_LEFT, true);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushHat(SDL_HAT_RIGHT | SDL_HAT_UP);
    KeyState keys = frame();
    EXPECT_EQ(keys.horizontal, RIGHT);
    EXPECT_EQ(keys.vertical, UP);
    // Letting go of the hat falls back to the key still held.
    pushHat(SDL_HAT_CENTERED);
    keys = frame();
    EXPECT_EQ(keys.horizontal, LEFT);
    EXPECT_EQ(keys.vertical, NONE);
}

TEST_F(Gamepad, ButtonsJumpShootAndPause) {
    pushButton(0, true);
    pushButton(2, true);
    KeyState keys = frame();
    EXPECT_TRUE(keys.spacePressed);
    EXPECT_TRUE(keys.bPressed);
    pushButton(0, false);
    pushButton(2, false);
    keys = frame();
    EXPECT_TRUE(keys.spaceReleased);
    EXPECT_TRUE(keys.bReleased);
    pushButton(7, true);
    frame();
    EXPECT_TRUE(gEngine->isPaused());
    EXPECT_EQ(gEngine->raisedSounds(), std::vector<SoundEvent>{SoundEvent::PAUSE});
    pushButton(7, false);
    pushButton(7, true);
    frame();
    EXPECT_FALSE(gEngine->isPaused());
}

TEST_F(Gamepad, GamepadInputIsRecordedAsKeysAndReplaysTheSame) {
    Collector collector;
    gEngine->setInputObserver(&collector);
    std::vector<KeyState> played;
    pushAxis(0, 30000);
    played.push_back(frame());
    pushButton(0, true);
    pushAxis(0, 31000); // no new event for a stick already held
    played.push_back(frame());
    pushButton(0, false);
    pushAxis(0, 0);
    played.push_back(frame());
    gEngine->setInputObserver(nullptr);
    EXPECT_EQ(collector.m_text, "right down\nspace down\nspace up\nright up\n");

    // The same events as a replay, without any gamepad.
    ReplayScript script =
        ReplayScript::parse("0 right down\n1 space down\n2 space up\n2 right up\n", "recorded");
    for (int64_t i = 0; i < 3; ++i) {
        script.pushEventsFor(i);
        KeyState keys = frame();
        EXPECT_EQ(keys.horizontal, played[static_cast<size_t>(i)].horizontal) << i;
        EXPECT_EQ(keys.spacePressed, played[static_cast<size_t>(i)].spacePressed) << i;
        EXPECT_EQ(keys.spaceReleased, played[static_cast<size_t>(i)].spaceReleased) << i;
    }
}

TEST_F(Gamepad, BoundKeysReplaceTheDefaultsAndTwoKeysNeverReleaseEachOther) {
    writeFile("controls.ini", "[Keys]\nleft = a, left\njump = k\n");
    gEngine->setControls(loadControls(gEngine->files(), "controls.ini"));
    pushRawKey(SDLK_a, true);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushRawKey(SDLK_LEFT, true);
    pushRawKey(SDLK_a, false);
    EXPECT_EQ(frame().horizontal, LEFT);
    pushRawKey(SDLK_LEFT, false);
    EXPECT_EQ(frame().horizontal, NONE);
    // Space is no longer jump; k is. Replays still say "space".
    pushRawKey(SDLK_SPACE, true);
    EXPECT_FALSE(frame().spacePressed);
    pushRawKey(SDLK_k, true);
    EXPECT_TRUE(frame().spacePressed);
    pushRawKey(SDLK_k, false);
    frame();
    GameEngine::pushKeyEvent(SDLK_SPACE, true);
    EXPECT_TRUE(frame().spacePressed);
    GameEngine::pushKeyEvent(SDLK_SPACE, false);
    pushRawKey(SDLK_SPACE, false);
    frame();
}

TEST_F(Gamepad, WindowKeysNeverReachTheGame) {
    std::filesystem::remove("kcs-0001.bmp");
    gEngine->setScreenshotFolder(".");
    KeyState before = frame();
    pushRawKey(SDLK_F12, true);
    pushRawKey(SDLK_F12, false);
    KeyState after = frame();
    EXPECT_TRUE(std::filesystem::exists("kcs-0001.bmp"));
    EXPECT_EQ(after.horizontal, before.horizontal);
    EXPECT_FALSE(after.bPressed || after.spacePressed);
    EXPECT_FALSE(gEngine->isPaused());
    // Numbered: the next one does not overwrite the first.
    pushRawKey(SDLK_F12, true);
    frame();
    EXPECT_TRUE(std::filesystem::exists("kcs-0002.bmp"));
    // F3 switches the designer's overlay, and only that.
    bool shown = gEngine->isOverlayShown();
    pushRawKey(SDLK_F3, true);
    pushRawKey(SDLK_F3, false);
    KeyState overlaid = frame();
    EXPECT_NE(gEngine->isOverlayShown(), shown);
    EXPECT_EQ(overlaid.horizontal, before.horizontal);
    pushRawKey(SDLK_F3, true);
    frame();
    EXPECT_EQ(gEngine->isOverlayShown(), shown);
    // F5 asks once for the level to be built again.
    pushRawKey(SDLK_F5, true);
    frame();
    EXPECT_TRUE(gEngine->takeReloadRequest());
    EXPECT_FALSE(gEngine->takeReloadRequest());
}

TEST(ControlsFile, WithoutAFileTheUsualKeysApply) {
    std::filesystem::remove("controls.ini");
    Controls controls = loadControls(gEngine->files(), "controls.ini");
    ASSERT_EQ(controls.keys.size(), 8u);
    EXPECT_EQ(controls.keys[0].key, SDLK_LEFT);
}

TEST(ControlsFile, UnknownNamesAreRefusedWithFileSectionAndKey) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"[Keys]\nleft = lefty\n", "controls.ini: [Keys] left: unknown key name 'lefty'"},
        {"[Keys]\nfly = a\n", "controls.ini: [Keys] fly: unknown input"},
        {"[Keys]\njump = f12\n", "controls.ini: [Keys] jump: 'f12' is reserved"},
        {"[Gamepad]\nshoot = x\n", "controls.ini: [Gamepad] shoot: 'x' is not a button"},
        {"[Gamepad]\nshoot = 256\n", "controls.ini: [Gamepad] shoot: '256' is not a button"},
        {"[Gamepad]\ndeadZone = -1\n", "controls.ini: [Gamepad] deadZone is -1; give 0 to"},
        {"[Pad]\njump = 1\n", "controls.ini: unknown section [Pad]"},
    };
    for (const Case& c : cases) {
        writeFile("controls.ini", c.text);
        try {
            loadControls(gEngine->files(), "controls.ini");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const DataError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
        }
    }
    std::filesystem::remove("controls.ini");
}
