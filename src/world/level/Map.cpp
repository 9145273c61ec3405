// The level's tile map: loading from "levels.ini" and the map file, drawing,
// and the tile, clearance, ladder and boundary queries of the player.
#include "world/level/Map.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/Direction.h"
#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "engine/Wrapping.h"
#include "world/level/LevelLayout.h"
#include "world/level/MapFile.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

constexpr int SCREEN_TILE_COUNT = Map::SCREEN_TILES_X * Map::SCREEN_TILES_Y;
// How far the clearance queries look ahead: one tile, px.
constexpr int32_t LOOK_AHEAD = Map::TILE_SIZE;
// The clearance when nothing blocks within the look-ahead, px.
constexpr int32_t UNBLOCKED = Map::TILE_SIZE;
// Ladder probe offsets from the body's y, px.
constexpr int32_t FEET_OFFSET = 11;
constexpr int32_t BODY_OFFSET = -4;
constexpr int32_t HEAD_OFFSET = -12;
constexpr int32_t BELOW_NEXT_OFFSET = 12;
constexpr int32_t ABOVE_NEXT_OFFSET = -12;
// Distances from the current boundary's top that count as its edges, px.
constexpr int64_t NEAR_BOTTOM = 232;
constexpr int64_t NEAR_TOP = 4;
// The player starts this far below a boundary's top, px.
constexpr int32_t START_OFFSET_Y = 4;
// Clears the position inside a 16 px tile, in a position's low byte.
constexpr int32_t TILE_BITS = 0xF0;

} // namespace

Map::Map(const std::string& levelName, const IniDictionary& levels) {
    LevelLayout layout = LevelLayout::read(levelName, levels, LEVELS_FILE);
    Surface sheet;
    try {
        sheet = gEngine->loadBitmap(layout.tileSheet);
    } catch (const DataError& error) {
        rethrowForKey(error, levels, LEVELS_FILE, levelName, "tileSheet");
    }
    FileRegistry& files = gEngine->files();
    std::fprintf(files.notesStream(), "Map::load: mapFilename: %s\n",
                 excerpt(layout.tileMap, MAX_QUOTED_PATH).c_str());
    std::fflush(files.notesStream());
    std::vector<uint8_t> bytes;
    try {
        bytes = MapFile::readBytes(files, layout.tileMap);
    } catch (const DataError& error) {
        rethrowForKey(error, levels, LEVELS_FILE, levelName, "tileMap");
    }
    build(layout, MapFile::parse(layout.tileMap, bytes), std::move(sheet));
}

Map::Map(const LevelLayout& layout, const MapFile& file, Surface tileSheet) {
    build(layout, file, std::move(tileSheet));
}

void Map::build(const LevelLayout& layout, const MapFile& file, Surface tileSheet) {
    m_pTileSetBitmap = std::move(tileSheet);
    std::string sheetProblem =
        MapFile::tileSheetProblem(m_pTileSetBitmap->w, m_pTileSetBitmap->h, file.codeCount());
    if (!sheetProblem.empty()) {
        throw DataError(layout.tileSheet, sheetProblem + " (map " + layout.tileMap + ")");
    }

    m_tileTypeCount = file.codeCount() - 1;
    m_tileCount = file.tilesAcross() * file.tilesDown();
    m_width = file.tilesAcross() * TILE_SIZE;
    m_height = file.tilesDown() * TILE_SIZE;
    for (int32_t k = 0; k < m_tileTypeCount; ++k) {
        m_pTileRects.push_back(
            SDL_Rect{0, static_cast<Sint16>(TILE_SIZE * k), TILE_SIZE, TILE_SIZE});
    }
    m_screensAcross = file.screensAcross();
    m_screensDown = file.screensDown();
    m_screenCount = m_screensAcross * m_screensDown;
    m_pScreens.resize(static_cast<size_t>(m_screenCount));
    for (int32_t s = 0; s < m_screenCount; ++s) {
        if (!file.isScreenPresent(s)) {
            continue;
        }
        Screen screen = std::make_unique<Tile[]>(SCREEN_TILE_COUNT);
        int32_t left = s % m_screensAcross * SCREEN_TILES_X; // tiles
        int32_t top = s / m_screensAcross * SCREEN_TILES_Y;  // tiles
        for (int32_t cell = 0; cell < SCREEN_TILE_COUNT; ++cell) {
            int32_t column = left + cell % SCREEN_TILES_X;
            int32_t row = top + cell / SCREEN_TILES_X;
            Tile& tile = screen[static_cast<size_t>(cell)];
            tile.type = file.codeAt(column, row) - 1;
            tile.solid = file.isSolidAt(column, row);
            tile.x = column * TILE_SIZE;
            tile.y = row * TILE_SIZE;
        }
        m_pScreens[static_cast<size_t>(s)] = std::move(screen);
    }

    layout.check();
    m_pBoundaries = layout.boundaries;
    m_boundaryCount = static_cast<int32_t>(m_pBoundaries.size());
    m_teleportStartYSpeed = layout.teleportStartYSpeed;
    m_teleportStopPosY = layout.teleportStopY();
    m_pLayout = std::make_unique<LevelLayout>(layout);
    m_startX = layout.startX();
}

bool Map::isScreenPresent(int64_t screenColumn, int64_t screenRow) const {
    return screenColumn >= 0 && screenColumn < m_screensAcross && screenRow >= 0 &&
           screenAt(screenRow * m_screensAcross + screenColumn) != nullptr;
}

bool Map::arriveAt(int32_t x, int32_t y) {
    int32_t held = m_currentBoundary;
    m_currentBoundary = -1;
    selectBoundary(x, y);
    std::swap(held, m_currentBoundary);
    if (held < 0) {
        return false;
    }
    m_startBoundary = held;
    m_startX = x;
    int32_t firstStop = m_pBoundaries[static_cast<size_t>(held)].y + START_OFFSET_Y;
    m_teleportStopPosY = firstStop + std::max(0, y - firstStop) / TILE_SIZE * TILE_SIZE;
    return true;
}

Map::~Map() = default;

void Map::draw() {
    SDL_Rect camera = gEngine->getCamera();
    int64_t screen =
        static_cast<int64_t>(camera.y / SCREEN_HEIGHT) * m_screensAcross + camera.x / SCREEN_WIDTH;
    drawScreen(screen);
    if (camera.x % SCREEN_WIDTH > 0) {
        drawScreen(screen + 1);
    } else if (camera.y % SCREEN_HEIGHT > 0) {
        drawScreen(screen + m_screensAcross);
    }
}

void Map::drawScreen(int64_t index) {
    const Tile* pScreen = screenAt(index);
    if (pScreen == nullptr) {
        return;
    }
    for (int cell = 0; cell < SCREEN_TILE_COUNT; ++cell) {
        const Tile& tile = pScreen[cell];
        SDL_Rect source = m_pTileRects[static_cast<size_t>(tile.type)];
        gEngine->blitToWorld(static_cast<Sint16>(tile.x), static_cast<Sint16>(tile.y),
                             m_pTileSetBitmap.get(), &source);
    }
}

const Tile* Map::screenAt(int64_t index) const {
    if (index < 0 || index >= m_screenCount) {
        return nullptr;
    }
    return m_pScreens[static_cast<size_t>(index)].get();
}

Tile Map::tileAt(int32_t x, int32_t y) const {
    if (x < 0) {
        x = 0;
    }
    if (y < 0) {
        y = 0;
    }
    int64_t screen = static_cast<int64_t>(y / SCREEN_HEIGHT) * m_screensAcross + x / SCREEN_WIDTH;
    int32_t cell = y % SCREEN_HEIGHT / TILE_SIZE * SCREEN_TILES_X + x % SCREEN_WIDTH / TILE_SIZE;
    if (const Tile* pScreen = screenAt(screen)) {
        return pScreen[cell];
    }
    // Beside the current strip there is wall, above and below it open space.
    SDL_Rect boundary = currentBoundary();
    Tile madeUp;
    madeUp.type = 0;
    madeUp.x = x - x % TILE_SIZE;
    madeUp.y = y - y % TILE_SIZE;
    madeUp.solid = boundary.y <= y && y <= static_cast<int64_t>(boundary.y) + SCREEN_HEIGHT;
    return madeUp;
}

std::array<ProbePoint, 3> Map::horizontalProbes(SDL_Rect rect, int32_t direction) {
    int32_t probeX = 0;
    if (direction == RIGHT) {
        probeX = rect.x + rect.w + LOOK_AHEAD;
    } else if (direction == LEFT) {
        probeX = rect.x - LOOK_AHEAD;
    }
    return {ProbePoint{probeX, rect.y + rect.h}, ProbePoint{probeX, rect.y + rect.h / 2},
            ProbePoint{probeX, rect.y}};
}

std::array<ProbePoint, 2> Map::verticalProbes(SDL_Rect rect, int32_t direction) {
    int32_t probeY = 0;
    if (direction == DOWN) {
        probeY = rect.y + rect.h + LOOK_AHEAD;
    } else if (direction == UP) {
        probeY = rect.y - LOOK_AHEAD;
    }
    return {ProbePoint{rect.x + rect.w, probeY}, ProbePoint{rect.x, probeY}};
}

std::array<ProbePoint, 4> Map::ladderProbes(int32_t x, int32_t y, int32_t nextY, bool rising) {
    return {ProbePoint{x, wrapping::add(y, FEET_OFFSET)},
            ProbePoint{x, wrapping::add(y, BODY_OFFSET)},
            ProbePoint{x, wrapping::add(y, HEAD_OFFSET)},
            ProbePoint{x, wrapping::add(nextY, rising ? ABOVE_NEXT_OFFSET : BELOW_NEXT_OFFSET)}};
}

int32_t Map::horizontalClearance(SDL_Rect rect, int32_t direction) const {
    std::array<ProbePoint, 3> probes = horizontalProbes(rect, direction);
    int32_t probeX = probes[0].x;
    int32_t blocked = 0; // px
    if (direction == RIGHT) {
        blocked = TILE_SIZE - 1 - probeX % TILE_SIZE;
    } else if (direction == LEFT) {
        if (probeX < 0) {
            return rect.x;
        }
        blocked = probeX % TILE_SIZE;
    }
    for (const ProbePoint& probe : probes) {
        if (tileAt(probe.x, probe.y).solid) {
            return blocked;
        }
    }
    return UNBLOCKED;
}

int32_t Map::verticalClearance(SDL_Rect rect, int32_t direction) const {
    std::array<ProbePoint, 2> probes = verticalProbes(rect, direction);
    int32_t probeY = probes[0].y;
    int32_t blocked = 0; // px
    if (direction == DOWN) {
        blocked = TILE_SIZE - 1 - probeY % TILE_SIZE;
    } else if (direction == UP) {
        blocked = probeY % TILE_SIZE;
    }
    // A ladder top is a floor for a body coming from above; a body whose
    // bottom row is already on a ladder passes down through it.
    for (const ProbePoint& probe : probes) {
        int32_t column = probe.x;
        Tile ahead = tileAt(column, probeY);
        if (ahead.solid) {
            return blocked;
        }
        if (ahead.type == LADDER_TILE && direction == DOWN &&
            tileAt(column, rect.y + rect.h).type != LADDER_TILE) {
            return blocked;
        }
    }
    return UNBLOCKED;
}

LadderProbe Map::probeLadders(int32_t x, int32_t y, int32_t nextY, bool rising) const {
    std::array<ProbePoint, 4> points = ladderProbes(x, y, nextY, rising);
    auto isLadder = [&](const ProbePoint& point) {
        return tileAt(point.x, point.y).type == LADDER_TILE;
    };
    LadderProbe probe;
    probe.atFeet = isLadder(points[0]);
    probe.atBody = isLadder(points[1]);
    probe.atHead = isLadder(points[2]);
    (rising ? probe.aboveNext : probe.belowNext) = isLadder(points[3]);
    return probe;
}

void Map::selectBoundary(int32_t x, int32_t y) {
    for (int32_t i = 0; i < m_boundaryCount; ++i) {
        const SDL_Rect& b = m_pBoundaries[static_cast<size_t>(i)];
        if (b.x <= x && x < static_cast<int64_t>(b.x) + b.w && b.y <= y &&
            y < static_cast<int64_t>(b.y) + b.h) {
            m_currentBoundary = i;
            return;
        }
    }
}

SDL_Rect Map::currentBoundary() const {
    return m_pBoundaries[static_cast<size_t>(m_currentBoundary)];
}

bool Map::isBottomless(int32_t x, int32_t y) const {
    int64_t boundaryTop = currentBoundary().y;
    int64_t probeY = y;
    if (probeY - boundaryTop < SCREEN_HEIGHT) {
        probeY = boundaryTop + SCREEN_HEIGHT; // the first row of screens below the strip
    }
    int64_t screen = probeY / SCREEN_HEIGHT * m_screensAcross + x / SCREEN_WIDTH;
    return screenAt(screen) == nullptr;
}

bool Map::isNearBoundaryBottom(int32_t y) const {
    return static_cast<int64_t>(y) - currentBoundary().y > NEAR_BOTTOM;
}

bool Map::isNearBoundaryTop(int32_t y) const {
    return static_cast<int64_t>(y) - currentBoundary().y <= NEAR_TOP;
}

int32_t Map::pastTileColumn(int32_t x) {
    return x % SCREEN_WIDTH - (x & TILE_BITS);
}

int32_t Map::pastTileRow(int32_t fromBoundaryTop) {
    return fromBoundaryTop - (fromBoundaryTop & TILE_BITS);
}

int32_t Map::tileRowTop(int32_t y) const {
    return wrapping::add((y % SCREEN_HEIGHT) & TILE_BITS, currentBoundary().y);
}

FixedPoint Map::startX() const {
    return fromInt(m_startX);
}

FixedPoint Map::startY() const {
    return fromParts(m_pBoundaries[static_cast<size_t>(m_startBoundary)].y + START_OFFSET_Y,
                     LevelLayout::START_FRACTION_Y);
}

FixedPoint Map::teleportStartYSpeed() const {
    return m_teleportStartYSpeed;
}

FixedPoint Map::teleportStopY() const {
    return fromInt(m_teleportStopPosY);
}
