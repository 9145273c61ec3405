// The moments the game has a sound for. The game raises each at the update
// where it happens; the frame loop plays them after the update, and the
// trace lists them, so their timing is tested without listening.
#pragma once

#include <array>
#include <cstddef>

enum class SoundEvent {
    JUMP,
    LAND,
    SHOOT,
    HURT,
    TELEPORT, // the arrival: the teleport reaches its stop
    FALL_OUT, // the respawn after a fall-out
    MENU_MOVE,
    MENU_CONFIRM,
    MENU_BACK,
    PAUSE,
    DEFEAT,      // an object's last hit point taken by a shot
    ENEMY_SHOOT, // an object fires
    CLEAR,       // the player reached the level's exit
};

constexpr size_t SOUND_EVENT_COUNT = 13;

// The names used in "sounds.ini" and in the trace, in the order above.
constexpr std::array<const char*, SOUND_EVENT_COUNT> SOUND_EVENT_NAMES = {
    "jump",        "land",     "shoot", "hurt",   "teleport",   "fallOut", "menuMove",
    "menuConfirm", "menuBack", "pause", "defeat", "enemyShoot", "clear"};

constexpr const char* soundEventName(SoundEvent event) {
    return SOUND_EVENT_NAMES[static_cast<size_t>(event)];
}
