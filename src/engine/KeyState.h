// The per-frame keyboard snapshot that every consumer of input copies once at
// the start of its update.
#pragma once

#include "engine/Direction.h"

struct KeyState {
    int32_t horizontal = NONE;         // NONE, LEFT or RIGHT
    int32_t vertical = NONE;           // NONE, UP or DOWN
    int32_t previousHorizontal = NONE; // horizontal before this frame's events
    int32_t previousVertical = NONE;   // vertical before this frame's events
    bool upHeld = false;
    bool downHeld = false;
    bool leftHeld = false;
    bool rightHeld = false;
    bool bPressed = false;
    bool bHeld = false;
    bool bReleased = false;
    bool spacePressed = false;
    bool spaceHeld = false;
    bool spaceReleased = false;
    bool enterPressed = false;  // the pause input, a menu's confirm while one is open
    bool escapePressed = false; // the menu input
};
