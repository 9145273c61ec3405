// The data folder's files the game finds by their own names; every other data
// file is named by a value in one of these or in a file they name.
#pragma once

#include <array>

inline constexpr const char* STAGE_SELECT_FILE = "stageselect.ini";
inline constexpr const char* LEVELS_FILE = "levels.ini";
inline constexpr const char* FONT_FILE = "font.ini";
inline constexpr const char* ENEMY_FILE = "enemy.ini";
inline constexpr const char* SOUNDS_FILE = "sounds.ini";     // optional: a silent game without it
inline constexpr const char* CONTROLS_FILE = "controls.ini"; // optional: the usual keys without it

// The name a loader reads when a key naming a file is missing, so the
// refusal names a file "empty" (and the data's inputs include it).
inline constexpr const char* MISSING_FILE_NAME = "empty";

// All of them, where the data is followed from its roots.
inline constexpr std::array<const char*, 6> DATA_ROOTS = {
    STAGE_SELECT_FILE, LEVELS_FILE, FONT_FILE, ENEMY_FILE, SOUNDS_FILE, CONTROLS_FILE};
