// A level's section of "levels.ini": the files it names, its boundaries and
// its teleport values, read and checked on their own so that the game's Map
// and the designers' kcs-map read a level in exactly the same way.
#pragma once

#include "engine/FixedPoint.h"

#include <SDL.h>
#include <cstdint>
#include <string>
#include <vector>

class IniDictionary;

struct LevelLayout {
    static constexpr int32_t MAX_BOUNDARIES = 1024;  // far more than a map of 255 screens needs
    static constexpr int32_t TELEPORT_STOP_BASE = 4; // px below a boundary's top
    // The player starts this far right of boundary 0's left edge, px.
    static constexpr int32_t START_OFFSET_X = 128;
    // The fraction of the start's y, TELEPORT_STOP_BASE below its top.
    static constexpr int32_t START_FRACTION_Y = 248; // 1/256 px

    std::string levelsFile; // for messages
    std::string levelName;
    std::string tileSheet; // file names as levels.ini gives them
    std::string tileMap;
    int32_t boundaryCount = 0;        // as given
    std::vector<SDL_Rect> boundaries; // world px, each one screen high; empty for a bad count
    FixedPoint teleportStartYSpeed;
    int32_t teleportStopPosY = 0; // px below boundary 0's top
    // Values the game stores otherwise than written (boundaries cut to their
    // 16-bit fields), one line each after the level's section, for the
    // design warnings.
    std::vector<std::string> storedOtherwise;

    // Reads the values without judging them, so that a missing file the
    // level names is reported before a broken value.
    static LevelLayout read(const std::string& levelName, const IniDictionary& levels,
                            const std::string& levelsFile);
    // Throws DataError naming levelsFile, the section and the broken rule.
    void check() const;

    // Where the player arrives at the level's start, world px.
    int32_t startX() const { return boundaries[0].x + START_OFFSET_X; }
    int32_t teleportStopY() const;

    // The start's teleport descent as the game runs it, in its own 32-bit
    // fixed-point arithmetic: the integer y it stops at and the updates it
    // takes, or no stop when the descent never meets it.
    struct Descent {
        int32_t stopY = 0; // world px
        int64_t updates = 0;
        bool lands = false;
    };
    Descent descent() const;
    // What the loaders accept but the game does otherwise than written: the
    // values cut to 16 bits and a descent that does not stop in boundary 0.
    // One line each, starting with the key; for the design warnings.
    std::vector<std::string> warnings() const;

    // The rules on the values, each as one line, or an empty text when the
    // value is sound.
    static std::string boundaryCountProblem(int32_t boundaryCount);
    static std::string teleportStopProblem(int32_t teleportStopPosY); // px
};
