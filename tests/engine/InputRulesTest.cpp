// The input rules without SDL: sequences of frames of input events, and what
// the game sees after them.
#include "engine/InputRules.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

constexpr char INPUT_LETTERS[] = "LRUDJSPTM"; // in the order of GameInput

// Plays a sequence on fresh rules. Words: "|" begins a frame (one begins
// before the first word), "X" lets every gamepad source go, and
// an input's letter with + or - presses or releases it by key 1, or by the
// key or gamepad source its third character names ("L+2", "J+g").
InputRules play(const std::string& sequence) {
    InputRules rules;
    rules.beginFrame();
    std::istringstream words(sequence);
    std::string word;
    while (words >> word) {
        if (word == "|") {
            rules.beginFrame();
        } else if (word == "X") {
            rules.releaseGamepadSources();
        } else {
            char source = word.size() > 2 ? word[2] : '1';
            rules.setSource(static_cast<GameInput>(std::string(INPUT_LETTERS).find(word[0])),
                            source == 'g' ? InputRules::GAMEPAD_SOURCES : source - '0',
                            word[1] == '+');
        }
    }
    return rules;
}

// What the game sees, leaving out what is as it starts.
std::string describe(const InputRules& rules) {
    KeyState k = rules.keys();
    std::string text;
    auto add = [&](bool shown, const std::string& part) { text += shown ? " " + part : ""; };
    add(k.horizontal != NONE, std::string("h=") + directionName(k.horizontal));
    add(k.vertical != NONE, std::string("v=") + directionName(k.vertical));
    add(k.previousHorizontal != NONE, std::string("was=") + directionName(k.previousHorizontal));
    add(k.previousVertical != NONE, std::string("was=") + directionName(k.previousVertical));
    auto letters = [](bool jump, bool shoot) {
        return std::string(jump ? "J" : "") + (shoot ? "S" : "");
    };
    std::string held = std::string(k.leftHeld ? "L" : "") + (k.rightHeld ? "R" : "") +
                       (k.upHeld ? "U" : "") + (k.downHeld ? "D" : "") +
                       letters(k.spaceHeld, k.bHeld);
    add(!held.empty(), "held=" + held);
    add(k.spacePressed || k.bPressed, "pressed=" + letters(k.spacePressed, k.bPressed));
    add(k.spaceReleased || k.bReleased, "released=" + letters(k.spaceReleased, k.bReleased));
    add(rules.isPaused(), "paused");
    add(rules.pausesBegun() > 0, "pauses=" + std::to_string(rules.pausesBegun()));
    return text.empty() ? text : text.substr(1);
}

} // namespace

TEST(InputRules, FramesOfEventsGiveTheKeysAndThePause) {
    struct Case {
        const char* sequence;
        const char* seen;
    };
    const Case cases[] = {
        // The last pressed of two opposite directions wins; letting it go
        // hands the axis back to the other.
        {"L+ | R+", "h=RIGHT was=LEFT held=LR"},
        {"L+ | R+ | R-", "h=LEFT was=RIGHT held=L"},
        {"D+ U+ | U-", "v=DOWN was=UP held=D"},
        // Pressed lasts one frame, held until the release, released one frame.
        {"J+", "held=J pressed=J"},
        // Two sources of one input never release each other.
        {"L+1 | L+2 L-1", "h=LEFT was=LEFT held=L"},
        // A key acts on every event; a gamepad source only on changes.
        {"J+ | J+", "held=J pressed=J"},
        {"J+g | J+g", "held=J"},
        {"J-g", ""},
        {"J+g L+g L+1 | X", "h=LEFT was=LEFT held=L released=J"},
        // Enter toggles the pause, each pause begun counted; Tab alone does
        // nothing (its step while paused is the golden replays' to show).
        {"T+", ""},
        {"P+ P+ P+", "paused pauses=2"},
        // Edges that arrive during a pause last until the first frame after.
        {"P+ | S+ R+ | | P+", "h=RIGHT held=RS pressed=S"},
        {"P+ | S+ R+ | | P+ |", "h=RIGHT was=RIGHT held=RS"},
        // Escape ends the pause, and a step's way back to it, for its menu.
        {"P+ | M+ |", ""},
        {"P+ | T+ M+ |", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(play(c.sequence)), c.seen) << c.sequence;
    }
}
