// The layout mistakes a level's data can make that the loaders accept but
// the rules make predictable: kcs --check and kcs-map check warn of them.
#include "world/level/Map.h"

#include "engine/FixedPoint.h"
#include "engine/Screen.h"
#include "world/level/LevelLayout.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

// Beyond this many, a level's ladder warnings are counted, not listed.
constexpr int MAX_LADDER_WARNINGS = 8;
// Beyond this many, overlapping boundaries are counted, not listed.
constexpr int MAX_OVERLAP_WARNINGS = 8;

std::string tilePlace(int32_t x, int32_t y) {
    return "tile row " + std::to_string(y / Map::TILE_SIZE) + ", column " +
           std::to_string(x / Map::TILE_SIZE);
}

// Ladder tiles that are solid (a wall), and ladders that stop at a boundary
// edge a climb would cross: the climber stops there.
void warnAboutLadders(const Map& map, const std::function<void(const std::string&)>& warn) {
    int listed = 0;
    int more = 0;
    auto note = [&](const std::string& line) {
        if (listed < MAX_LADDER_WARNINGS) {
            warn(line);
            ++listed;
        } else {
            ++more;
        }
    };
    auto isLadder = [&](int32_t x, int32_t y) { return map.tileAt(x, y).type == Map::LADDER_TILE; };
    auto inSomeBoundary = [&](int32_t x, int32_t y) {
        for (int32_t i = 0; i < map.boundaryCount(); ++i) {
            SDL_Rect b = map.boundary(i);
            if (b.x <= x && x < b.x + b.w && b.y <= y && y < b.y + SCREEN_HEIGHT) {
                return true;
            }
        }
        return false;
    };
    for (int32_t y = 0; y < map.height(); y += Map::TILE_SIZE) {
        for (int32_t x = 0; x < map.width(); x += Map::TILE_SIZE) {
            Tile tile = map.tileAt(x, y);
            if (tile.type == Map::LADDER_TILE && tile.solid) {
                note("the map's ladder tile at " + tilePlace(x, y) +
                     " is solid, so it is a wall; make it open");
            }
        }
    }
    for (int32_t i = 0; i < map.boundaryCount(); ++i) {
        SDL_Rect b = map.boundary(i);
        int32_t bottom = b.y + SCREEN_HEIGHT - Map::TILE_SIZE; // last tile row
        for (int32_t x = std::max<int32_t>(b.x, 0); x < b.x + b.w; x += Map::TILE_SIZE) {
            if (isLadder(x, bottom) && inSomeBoundary(x, bottom + Map::TILE_SIZE) &&
                !isLadder(x, bottom + Map::TILE_SIZE)) {
                note("the ladder at " + tilePlace(x, bottom) + " ends at boundary" +
                     std::to_string(i) +
                     "'s bottom edge; continue it into the row below or a climb down stops "
                     "there");
            }
            if (isLadder(x, b.y) && inSomeBoundary(x, b.y - 1) && !isLadder(x, b.y - 1)) {
                note("the ladder at " + tilePlace(x, b.y) + " ends at boundary" +
                     std::to_string(i) +
                     "'s top edge; continue it into the row above or a climb up stops there");
            }
        }
    }
    if (more > 0) {
        warn("... and " + std::to_string(more) + " more ladder warnings");
    }
}

// Where boundaries overlap, the player is in the first of them that holds
// its spot, so the later one is cut short or never used.
void warnAboutOverlaps(const Map& map, const std::function<void(const std::string&)>& warn) {
    int listed = 0;
    int more = 0;
    auto describe = [](int32_t i, SDL_Rect b) {
        return "boundary" + std::to_string(i) + " (" + std::to_string(b.x) + ", " +
               std::to_string(b.y) + ", " + std::to_string(b.w) + ")";
    };
    for (int32_t j = 1; j < map.boundaryCount(); ++j) {
        SDL_Rect later = map.boundary(j);
        for (int32_t i = 0; i < j; ++i) {
            SDL_Rect first = map.boundary(i);
            bool same = first.x == later.x && first.y == later.y && first.w == later.w;
            // A strip without width holds nothing, so it overlaps nothing.
            bool overlap = first.w > 0 && later.w > 0 && first.x < later.x + later.w &&
                           later.x < first.x + first.w && first.y < later.y + SCREEN_HEIGHT &&
                           later.y < first.y + SCREEN_HEIGHT;
            if (!same && !overlap) {
                continue;
            }
            if (listed == MAX_OVERLAP_WARNINGS) {
                ++more;
                continue;
            }
            ++listed;
            warn(describe(j, later) +
                 (same ? " is the same strip as " + describe(i, first) + ", so it is never used"
                       : " overlaps " + describe(i, first) +
                             ", which holds the player where they overlap") +
                 "; lay boundaries side by side");
        }
    }
    if (more > 0) {
        warn("... and " + std::to_string(more) + " more overlapping boundaries");
    }
}

} // namespace

// Each warning names the level's key (or the map's row and column) and what
// to do.
std::vector<std::string> Map::designWarnings(const std::string& levelsFile,
                                             const std::string& levelName,
                                             std::optional<SDL_Rect> enemyBox) const {
    std::vector<std::string> warnings;
    const Map& map = *this;
    const std::string where = levelsFile + ": [" + levelName + "] ";
    auto warn = [&](const std::string& line) { warnings.push_back(where + line); };
    bool enemyHeld = false;
    for (int32_t i = 0; i < map.boundaryCount(); ++i) {
        SDL_Rect b = map.boundary(i);
        std::string key = "boundary" + std::to_string(i);
        auto offEdge = [&](const char* axis, int32_t value, int32_t step) {
            int32_t below = value - ((value % step) + step) % step;
            warn(key + axis + " " + std::to_string(value) + " is not on a screen edge; use " +
                 std::to_string(below) + " or " + std::to_string(below + step));
        };
        if (b.x % SCREEN_WIDTH != 0) {
            offEdge("x", b.x, SCREEN_WIDTH);
        }
        if (b.y % SCREEN_HEIGHT != 0) {
            offEdge("y", b.y, SCREEN_HEIGHT);
        }
        if (b.w % SCREEN_WIDTH != 0 || b.w == 0) {
            warn(key + "w " + std::to_string(b.w) +
                 " is not a whole number of screens; use a multiple of " +
                 std::to_string(SCREEN_WIDTH));
        }
        if (b.x < 0 || b.y < 0 || b.y + SCREEN_HEIGHT > map.height() || b.x >= map.width()) {
            warn(key + " at (" + std::to_string(b.x) + ", " + std::to_string(b.y) +
                 ") is outside the map of " + std::to_string(map.width()) + " x " +
                 std::to_string(map.height()) + " px; move it onto the map");
        } else if (b.x + b.w > map.width()) {
            warn(key + "w " + std::to_string(b.w) + " reaches past the map's right edge at " +
                 std::to_string(map.width()) + " px; use at most " +
                 std::to_string(map.width() - b.x));
        }
        bool anyPresent = false;
        for (int64_t x = b.x; x < int64_t{b.x} + b.w; x += SCREEN_WIDTH) {
            anyPresent = anyPresent || map.isScreenPresent(x / SCREEN_WIDTH, b.y / SCREEN_HEIGHT);
        }
        if (!anyPresent) {
            warn(key + " covers only absent screens; move it onto screens the map has");
        }
        enemyHeld = enemyHeld || (enemyBox && b.x <= enemyBox->x && enemyBox->x < b.x + b.w &&
                                  b.y <= enemyBox->y && enemyBox->y < b.y + SCREEN_HEIGHT);
    }
    if (enemyBox && !enemyHeld) {
        warn("no boundary holds the enemy at (" + std::to_string(enemyBox->x) + ", " +
             std::to_string(enemyBox->y) + "), so it is never met; place a boundary over it");
    }
    warnAboutOverlaps(map, warn);
    warnAboutLadders(map, warn);
    for (const std::string& line : m_pLayout->warnings()) {
        warn(line);
    }
    int32_t x = integerPart(map.startX());
    int32_t stop = integerPart(map.teleportStopY());
    SDL_Rect first = map.boundary(0);
    // A stop the values do not put where written, or outside boundary 0, is
    // warned of above, with what the descent does instead.
    if (int64_t{first.y} + m_pLayout->teleportStopPosY != stop || stop >= first.y + SCREEN_HEIGHT) {
        return warnings;
    }
    if (map.tileAt(x, stop).solid) {
        warn("teleportStopPosY " + std::to_string(m_pLayout->teleportStopPosY) +
             " puts the arrival inside a solid tile at (" + std::to_string(x) + ", " +
             std::to_string(stop) + "); choose a stop 4 + 16k above a floor");
    } else {
        bool floor = false;
        for (int32_t y = stop; y < first.y + SCREEN_HEIGHT && !floor; y += Map::TILE_SIZE) {
            floor = map.tileAt(x, y).solid;
        }
        if (!floor) {
            warn("teleportStopPosY " + std::to_string(m_pLayout->teleportStopPosY) +
                 ": there is no floor below the arrival at x " + std::to_string(x) +
                 "; the player falls out at once");
        }
    }
    return warnings;
}
