#include "level/LevelLayout.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Format.h"
#include "engine/Wrapping.h"

namespace {

constexpr int32_t TILE_SIZE = 16;     // px
constexpr Uint16 SCREEN_HEIGHT = 240; // px

} // namespace

LevelLayout LevelLayout::read(const std::string& levelName, const IniDictionary& levels,
                              const std::string& levelsFile) {
    LevelLayout layout;
    layout.levelsFile = levelsFile;
    layout.levelName = levelName;
    layout.tileSheet = levels.getString("tileSheet", levelName, "empty");
    layout.tileMap = levels.getString("tileMap", levelName, "empty");

    layout.boundaryCount = levels.getInt("boundaries", levelName, 0);
    int32_t count = boundaryCountProblem(layout.boundaryCount).empty() ? layout.boundaryCount : 0;
    for (int32_t i = 0; i < count; ++i) {
        std::string prefix = "boundary" + std::to_string(i);
        // The keys are stored in SDL_Rect's 16-bit fields, truncated as by the
        // 16-bit conversion.
        SDL_Rect boundary{};
        boundary.x = static_cast<Sint16>(levels.getInt(prefix + "x", levelName, 0));
        boundary.y = static_cast<Sint16>(levels.getInt(prefix + "y", levelName, 0));
        boundary.w = static_cast<Uint16>(levels.getInt(prefix + "w", levelName, 0));
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
            throw DataError(levelsFile, "[" + excerpt(levelName) + "] " + problem);
        }
    }
}

int32_t LevelLayout::teleportStopY() const {
    return wrapping::add(teleportStopPosY, boundaries[0].y);
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
