// SDL's real events pushed into its real queue and translated for the input
// rules, read back as a recording hears them (the rules themselves are
// InputRulesTest's): the stick with its dead zone, the buttons, bound
// keys, replayed keys and the window's own keys. The bindings file's
// refusals are the designer's guide's examples, run by DocMessages.
#include "config/Controls.h"
#include "engine/GameEngine.h"
#include "engine/KeyTable.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using testing_support::writeFile;

namespace {

// Hears what a recording would write, a frame ending in " |".
class Recorder : public InputObserver {
public:
    void inputEvent(GameInput input, bool down) override {
        m_heard += std::string(" ") + keyNameOf(input).replayWord + (down ? " down" : " up");
    }
    void quitEvent() override { m_heard += " quit"; }
    std::string m_heard;
};

void pushEvent(SDL_Event event) {
    SDL_PushEvent(&event);
}

// Pushes one word's event into SDL's queue, or polls a frame at "|". Words:
// "x=V" and "y=V" move the stick's axes; "bN+" and "bN-" press and release
// button N;
// "NAME+" and "NAME-" a key as the keyboard sends it, "@NAME+" as a replay
// does.
void push(const std::string& word) {
    bool down = word.back() == '+';
    std::string name = word.substr(0, word.size() - 1);
    if (word == "|") {
        gEngine->pollEvents();
    } else if (word[1] == '=') {
        pushEvent({.jaxis = {SDL_JOYAXISMOTION, 0, Uint8(word[0] - 'x'),
                             Sint16(std::stoi(word.substr(2)))}});
    } else if (word[0] == 'b' && word.size() > 2) {
        pushEvent({.jbutton = {down ? Uint8(SDL_JOYBUTTONDOWN) : Uint8(SDL_JOYBUTTONUP), 0,
                               Uint8(std::stoi(name.substr(1))),
                               down ? Uint8(SDL_PRESSED) : Uint8(SDL_RELEASED)}});
    } else if (word[0] == '@') {
        GameEngine::pushKeyEvent(keyByName(name.substr(1)), down);
    } else {
        pushEvent({.key = {down ? Uint8(SDL_KEYDOWN) : Uint8(SDL_KEYUP),
                           0,
                           0,
                           {0, keyByName(name), KMOD_NONE, 0}}});
    }
}

// What a recording heard of a script of words, frames ending in " |".
// Everything held is let go afterwards, unheard, and the controls are the
// usual ones again.
std::string play(const std::string& script) {
    Recorder recorder;
    gEngine->setInputObserver(&recorder);
    std::istringstream words(script);
    for (std::string word; words >> word;) {
        push(word);
        recorder.m_heard += word == "|" ? " |" : "";
    }
    gEngine->setInputObserver(nullptr);
    std::istringstream release("x=0 y=0 b0- b2- left- a- @space- |");
    for (std::string word; release >> word;) {
        push(word);
    }
    gEngine->setControls(Controls::defaults());
    return recorder.m_heard.substr(1);
}

} // namespace

TEST(Input, SdlEventsReachTheGameAsARecordingHearsThem) {
    const std::string deadZone = std::to_string(Controls::DEFAULT_DEAD_ZONE);
    const std::string beyond = std::to_string(Controls::DEFAULT_DEAD_ZONE + 1);
    // The stick acts as the arrows outside its dead zone, once per change,
    // the old direction let go before the new one is pressed.
    EXPECT_EQ(
        play("x=-" + deadZone + " | x=-" + beyond + " | x=-25000 x=30000 | y=30000 | y=0 x=100 |"),
        "| left down | left up right down | down down | down up right up |");
    // Buttons jump and shoot by default.
    EXPECT_EQ(play("b0+ b2+ | b0- |"), "space down b down | space up |");
    // Bound keys replace the defaults, each a source of its own that never
    // releases another; replays still say "space" and "escape".
    writeFile("controls.ini", "[Keys]\nleft = a, left\njump = k\nmenu = q\n");
    gEngine->setControls(loadControls(gEngine->files(), "controls.ini"));
    EXPECT_EQ(play("a+ | left+ a- | left- | space+ | k+ | k- | @space+ | escape+ q+ q- |"),
              "left down | | left up | | space down | space up | space down | escape down "
              "escape up |");
}

// They never reach the game.
TEST(Input, WindowKeysTakeScreenshotsToggleTheOverlayAndAskForAReload) {
    std::filesystem::remove("kcs-0001.bmp");
    gEngine->setScreenshotFolder(".");
    bool shown = gEngine->isOverlayShown();
    EXPECT_EQ(play("f12+ f12- f3+ f3- f12+ f12- f5+ f5- |"), "|");
    // Numbered: the second screenshot does not overwrite the first.
    EXPECT_TRUE(std::filesystem::exists("kcs-0002.bmp"));
    EXPECT_NE(gEngine->isOverlayShown(), shown);
    EXPECT_TRUE(gEngine->takeReloadRequest());
    play("f3+ |");
}
