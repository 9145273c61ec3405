// The bindings the game starts from: the key table's usual keys and the
// gamepad buttons of the usual layout.
#include "engine/GameInput.h"

namespace {

// Gamepad buttons of the usual layout: bottom face button jumps, left face
// button shoots, start pauses, back steps.
constexpr int DEFAULT_JUMP_BUTTON = 0;
constexpr int DEFAULT_SHOOT_BUTTON = 2;
constexpr int DEFAULT_STEP_BUTTON = 6;
constexpr int DEFAULT_PAUSE_BUTTON = 7;

} // namespace

Controls Controls::defaults() {
    Controls controls;
    for (const KeyName& entry : KEY_TABLE) {
        controls.keys.push_back({entry.usualKey, entry.input});
    }
    controls.buttons = {{DEFAULT_JUMP_BUTTON, GameInput::JUMP},
                        {DEFAULT_SHOOT_BUTTON, GameInput::SHOOT},
                        {DEFAULT_STEP_BUTTON, GameInput::STEP},
                        {DEFAULT_PAUSE_BUTTON, GameInput::PAUSE}};
    return controls;
}
