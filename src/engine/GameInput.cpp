// The game's inputs, their default keys and buttons, and the key names SDL
// knows, for the bindings "controls.ini" makes.
#include "engine/GameInput.h"

namespace {

constexpr InputInfo INPUTS[GAME_INPUT_COUNT] = {
    {GameInput::LEFT, "left", SDLK_LEFT},     {GameInput::RIGHT, "right", SDLK_RIGHT},
    {GameInput::UP, "up", SDLK_UP},           {GameInput::DOWN, "down", SDLK_DOWN},
    {GameInput::JUMP, "jump", SDLK_SPACE},    {GameInput::SHOOT, "shoot", SDLK_b},
    {GameInput::PAUSE, "pause", SDLK_RETURN}, {GameInput::STEP, "step", SDLK_TAB},
};

// Gamepad buttons of the usual layout: bottom face button jumps, left face
// button shoots, start pauses, back steps.
constexpr int DEFAULT_JUMP_BUTTON = 0;
constexpr int DEFAULT_SHOOT_BUTTON = 2;
constexpr int DEFAULT_STEP_BUTTON = 6;
constexpr int DEFAULT_PAUSE_BUTTON = 7;

} // namespace

const InputInfo* inputByName(const std::string& name) {
    for (const InputInfo& info : INPUTS) {
        if (name == info.name) {
            return &info;
        }
    }
    return nullptr;
}

SDLKey keyByName(const std::string& name) {
    for (int key = SDLK_FIRST; key < SDLK_LAST; ++key) {
        const char* pName = SDL_GetKeyName(static_cast<SDLKey>(key));
        if (pName != nullptr && name == pName && std::string(pName) != "unknown key") {
            return static_cast<SDLKey>(key);
        }
    }
    return SDLK_UNKNOWN;
}

// F11 and F12 belong to the window (fullscreen, screenshot), F3 and F5 to
// the designer (overlay, reload).
bool isReservedKey(SDLKey key) {
    return key == SDLK_F3 || key == SDLK_F5 || key == SDLK_F11 || key == SDLK_F12;
}

SDLKey canonicalKey(GameInput input) {
    return INPUTS[static_cast<int>(input)].canonical;
}

int inputOfCanonicalKey(SDLKey key) {
    for (const InputInfo& info : INPUTS) {
        if (info.canonical == key) {
            return static_cast<int>(info.input);
        }
    }
    return -1;
}

const char* inputName(GameInput input) {
    return INPUTS[static_cast<int>(input)].name;
}

Controls Controls::defaults() {
    Controls controls;
    for (const InputInfo& info : INPUTS) {
        controls.keys.push_back({info.canonical, info.input});
    }
    controls.buttons = {{DEFAULT_JUMP_BUTTON, GameInput::JUMP},
                        {DEFAULT_SHOOT_BUTTON, GameInput::SHOOT},
                        {DEFAULT_STEP_BUTTON, GameInput::STEP},
                        {DEFAULT_PAUSE_BUTTON, GameInput::PAUSE}};
    return controls;
}
