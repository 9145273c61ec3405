// Direction codes shared by the input rules, the map's clearance queries,
// the player's facing and its shots.
#pragma once

#include <cstdint>

enum Direction : int32_t {
    NONE = 0,
    UP = 1,
    DOWN = 2,
    LEFT = 3,
    RIGHT = 4,
};

// The name used in traces and messages.
const char* directionName(int32_t direction);
