// One table names each game input three ways: its key in "controls.ini", its
// usual key (bound when no file binds others, and the key tests and the
// character report press), and its word in replay files and recordings. The
// keys the window and the designer keep for themselves are named here too.
#pragma once

#include "engine/InputRules.h"

#include <SDL.h>
#include <array>
#include <string>

struct KeyName {
    GameInput input;
    const char* configName; // in controls.ini's [Keys] and [Gamepad]
    SDLKey usualKey;
    const char* replayWord;
};

// In the order of GameInput.
constexpr std::array<KeyName, GAME_INPUT_COUNT> KEY_TABLE = {{
    {GameInput::LEFT, "left", SDLK_LEFT, "left"},
    {GameInput::RIGHT, "right", SDLK_RIGHT, "right"},
    {GameInput::UP, "up", SDLK_UP, "up"},
    {GameInput::DOWN, "down", SDLK_DOWN, "down"},
    {GameInput::JUMP, "jump", SDLK_SPACE, "space"},
    {GameInput::SHOOT, "shoot", SDLK_b, "b"},
    {GameInput::PAUSE, "pause", SDLK_RETURN, "enter"},
    {GameInput::STEP, "step", SDLK_TAB, "tab"},
    {GameInput::MENU, "menu", SDLK_ESCAPE, "escape"},
}};

constexpr const KeyName& keyNameOf(GameInput input) {
    return KEY_TABLE[static_cast<size_t>(input)];
}
// The entry of a controls.ini name, a replay word or a usual key, or nullptr.
const KeyName* findConfigName(const std::string& name);
const KeyName* findReplayWord(const std::string& word);
const KeyName* findUsualKey(SDLKey key);

// The designer's keys (overlay, reload) and the window's (fullscreen,
// screenshot) never reach the game, and controls.ini cannot bind them. The
// mute key mutes unless controls.ini gives it to the game.
constexpr SDLKey OVERLAY_KEY = SDLK_F3;
constexpr SDLKey RELOAD_KEY = SDLK_F5;
constexpr SDLKey FULLSCREEN_KEY = SDLK_F11;
constexpr SDLKey SCREENSHOT_KEY = SDLK_F12;
constexpr SDLKey MUTE_KEY = SDLK_m;
constexpr bool isReservedKey(SDLKey key) {
    return key == OVERLAY_KEY || key == RELOAD_KEY || key == FULLSCREEN_KEY ||
           key == SCREENSHOT_KEY;
}

// The key SDL calls by this name ("left", "return", "a"), as controls.ini
// writes it, or SDLK_UNKNOWN.
SDLKey keyByName(const std::string& name);
