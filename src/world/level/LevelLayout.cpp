#include "world/level/LevelLayout.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/Format.h"
#include "engine/Screen.h"
#include "engine/Wrapping.h"
#include "world/level/MapFile.h"

#include <type_traits>

namespace {

constexpr int32_t TILE_SIZE = MapFile::TILE_SIZE; // px: also the teleport's step per update
constexpr int64_t UPDATES_PER_MINUTE = 60 * 60;

} // namespace

LevelLayout LevelLayout::read(const std::string& levelName, const IniDictionary& levels,
                              const std::string& levelsFile) {
    LevelLayout layout;
    layout.levelsFile = levelsFile;
    layout.levelName = levelName;
    layout.tileSheet = levels.getString("tileSheet", levelName, MISSING_FILE_NAME);
    layout.tileMap = levels.getString("tileMap", levelName, MISSING_FILE_NAME);

    layout.boundaryCount = levels.getInt("boundaries", levelName, 0);
    int32_t count = boundaryCountProblem(layout.boundaryCount).empty() ? layout.boundaryCount : 0;
    for (int32_t i = 0; i < count; ++i) {
        std::string prefix = "boundary" + std::to_string(i);
        // The keys are stored in SDL_Rect's 16-bit fields, truncated as by the
        // 16-bit conversion.
        SDL_Rect boundary{};
        auto field = [&](const char* axis, auto& stored, const char* range) {
            std::string key = prefix + axis;
            int32_t written = levels.getInt(key, levelName, 0);
            stored = static_cast<std::remove_reference_t<decltype(stored)>>(written);
            if (stored != written) {
                layout.storedOtherwise.push_back(
                    key + " " + excerpt(levels.getString(key, levelName, "")) +
                    " does not fit the 16 bits the game stores it in: the game uses " +
                    std::to_string(stored) + "; use " + range);
            }
        };
        field("x", boundary.x, "-32768 to 32767");
        field("y", boundary.y, "-32768 to 32767");
        field("w", boundary.w, "0 to 65535");
        boundary.h = SCREEN_HEIGHT;
        layout.boundaries.push_back(boundary);
    }

    layout.teleportStartYSpeed =
        fromParts(0, levels.getInt("teleportStartYSpeedFraction", levelName, 0));
    layout.teleportStopPosY = levels.getInt("teleportStopPosY", levelName, 0);
    return layout;
}

void LevelLayout::check() const {
    for (const std::string& problem :
         {boundaryCountProblem(boundaryCount), teleportStopProblem(teleportStopPosY)}) {
        if (!problem.empty()) {
            throw DataError(levelsFile, joined("[", excerpt(levelName), "] ", problem));
        }
    }
}

int32_t LevelLayout::teleportStopY() const {
    return wrapping::add(teleportStopPosY, boundaries[0].y);
}

LevelLayout::Descent LevelLayout::descent() const {
    // As the player does: from the start's y, whole steps until the integer
    // part meets the stop the map gives, wrapping in 32 bits. The integer
    // part has 24 bits, so the steps go round all its values in 2^20 updates.
    constexpr int64_t ROUND = int64_t{1} << 20; // updates
    FixedPoint y = fromParts(wrapping::add(boundaries[0].y, TELEPORT_STOP_BASE), START_FRACTION_Y);
    Descent descent;
    descent.stopY = integerPart(fromInt(teleportStopY()));
    while (integerPart(y) != descent.stopY) {
        if (++descent.updates > ROUND) {
            return descent;
        }
        y += fromInt(TILE_SIZE);
    }
    descent.lands = true;
    return descent;
}

std::vector<std::string> LevelLayout::warnings() const {
    std::vector<std::string> lines = storedOtherwise;
    if (boundaries.empty() || !teleportStopProblem(teleportStopPosY).empty()) {
        return lines;
    }
    const SDL_Rect& first = boundaries[0];
    Descent run = descent();
    int64_t written = int64_t{first.y} + teleportStopPosY;
    int32_t lastStop = TELEPORT_STOP_BASE + (SCREEN_HEIGHT - 1 - TELEPORT_STOP_BASE) / TILE_SIZE *
                                                TILE_SIZE; // px below boundary 0's top
    std::string use = format("; use %d to %d, a stop in boundary0", TELEPORT_STOP_BASE, lastStop);
    std::string took =
        run.updates <= UPDATES_PER_MINUTE
            ? std::to_string(run.updates) + " updates"
            : format("%lld updates, %lld minutes of play", static_cast<long long>(run.updates),
                     static_cast<long long>(run.updates / UPDATES_PER_MINUTE));
    if (!run.lands) {
        lines.push_back(format("teleportStopPosY %d: the descent from y %d never meets the stop "
                               "at y %d and goes on for ever",
                               teleportStopPosY, first.y + TELEPORT_STOP_BASE, run.stopY) +
                        use);
    } else if (run.stopY != written) {
        lines.push_back(format("teleportStopPosY %d puts the stop at y %lld, past the 24 bits of a "
                               "position's whole pixels: the game stops at y %d after ",
                               teleportStopPosY, static_cast<long long>(written), run.stopY) +
                        took + use);
    } else if (written >= first.y + SCREEN_HEIGHT) {
        lines.push_back(format("teleportStopPosY %d stops the descent at y %d, below boundary0 "
                               "(y %d to %d), after ",
                               teleportStopPosY, run.stopY, first.y, first.y + SCREEN_HEIGHT - 1) +
                        took + use);
    }
    return lines;
}

std::string LevelLayout::boundaryCountProblem(int32_t boundaryCount) {
    if (boundaryCount > MAX_BOUNDARIES) {
        return format("\"boundaries\" is %d; at most %d are allowed", boundaryCount,
                      MAX_BOUNDARIES);
    }
    if (boundaryCount >= 1) {
        return "";
    }
    return format("\"boundaries\" is %d; a level needs at least one boundary", boundaryCount);
}

std::string LevelLayout::teleportStopProblem(int32_t teleportStopPosY) {
    int64_t distance = static_cast<int64_t>(teleportStopPosY) - TELEPORT_STOP_BASE;
    if (distance >= 0 && distance % TILE_SIZE == 0) {
        return "";
    }
    return format("\"teleportStopPosY\" is %d; it must be %d plus a multiple of %d (%d, %d, "
                  "%d, ...) so the descent of %d px per update stops on it",
                  teleportStopPosY, TELEPORT_STOP_BASE, TILE_SIZE, TELEPORT_STOP_BASE,
                  TELEPORT_STOP_BASE + TILE_SIZE, TELEPORT_STOP_BASE + 2 * TILE_SIZE, TILE_SIZE);
}
