// Names of the direction codes, as traces and messages print them.
#include "engine/Direction.h"

const char* directionName(int32_t direction) {
    switch (direction) {
    case UP:
        return "UP";
    case DOWN:
        return "DOWN";
    case LEFT:
        return "LEFT";
    case RIGHT:
        return "RIGHT";
    default:
        return "NONE";
    }
}
