// Which keys and gamepad controls drive which game input. The game itself
// only knows its keyboard-shaped inputs; "controls.ini" (read one layer up)
// may bind each to other keys and to gamepad buttons, and the d-pad, hat and
// left stick always act as the arrows.
#pragma once

#include "engine/KeyTable.h"

#include <cstdint>
#include <string>
#include <vector>

struct Controls {
    struct KeyBinding {
        SDLKey key = SDLK_UNKNOWN;
        GameInput input = GameInput::LEFT;
    };
    struct ButtonBinding {
        int button = 0;
        GameInput input = GameInput::LEFT;
    };

    static constexpr int DEFAULT_DEAD_ZONE = 8000; // of the axis range -32768..32767

    std::vector<KeyBinding> keys;
    std::vector<ButtonBinding> buttons;
    int deadZone = DEFAULT_DEAD_ZONE;
    // [Audio]: the volume, and the music's and the effects' shares of it,
    // each 0 to 100.
    int volume = 100;
    int musicVolume = 100;
    int effectsVolume = 100;

    // The keys the game has always used, and common gamepad buttons.
    static Controls defaults();
};
