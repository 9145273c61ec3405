// The level's tile map: screens of 16x15 tiles loaded from the binary map
// file, the tile sheet, boundaries, drawing, and the queries the player asks
// (tiles, clearances, ladders, boundaries, start and teleport values).
#pragma once

#include "engine/FixedPoint.h"
#include "engine/Surface.h"
#include "world/level/MapFile.h"

#include <SDL.h>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class IniDictionary;
struct LevelLayout;

struct Tile {
    int32_t type = 0;   // map code - 1: index of the tile image; LADDER_TILE is a ladder
    bool solid = false; // blocks movement
    int32_t x = 0;      // world px of the left edge
    int32_t y = 0;      // world px of the top edge
};

struct LadderProbe {
    bool belowNext = false; // (x, next y + 12), probed only when not rising
    bool atFeet = false;    // (x, y + 11)
    bool atBody = false;    // (x, y - 4)
    bool atHead = false;    // (x, y - 12)
    bool aboveNext = false; // (x, next y - 12), probed only when rising

    // The questions the player's ladder rules ask of one probe.
    bool any() const { return belowNext || atFeet || atBody || atHead || aboveNext; }
    bool onlyBelowNext() const { return belowNext && !atFeet && !atBody && !atHead && !aboveNext; }
    bool onlyAboveNext() const { return aboveNext && !belowNext && !atFeet && !atBody && !atHead; }
    bool onlyAtFeet() const { return atFeet && !belowNext && !atBody && !atHead && !aboveNext; }
    // The ladder reaches feet, body and head but not below the next y: the
    // player is at its bottom.
    bool atBottom() const { return !belowNext && atFeet && atBody && atHead; }
    // The ladder's top is between the feet and the head.
    bool topBetweenFeetAndHead() const { return atFeet && !atHead && !aboveNext; }
};

struct ProbePoint {
    int32_t x = 0; // world px
    int32_t y = 0;
};

class Map {
public:
    static constexpr int32_t LADDER_TILE = 4;
    // The map file's measures, which the player and the tools ask the map.
    static constexpr int TILE_SIZE = MapFile::TILE_SIZE;           // px
    static constexpr int SCREEN_TILES_X = MapFile::SCREEN_TILES_X; // tiles across a screen
    static constexpr int SCREEN_TILES_Y = MapFile::SCREEN_TILES_Y; // tiles down a screen

    // Loads the level's section of "levels.ini": tile sheet, map file,
    // boundaries and teleport values. Throws DataError naming the file and
    // the broken rule for anything it cannot use.
    Map(const std::string& levelName, const IniDictionary& levels);
    // A map from files already read, for the tools: nothing is drawn, so
    // no engine is needed. Throws DataError when the sheet is too short.
    Map(const LevelLayout& layout, const MapFile& file, Surface tileSheet);
    ~Map();
    Map(const Map&) = delete;
    Map& operator=(const Map&) = delete;

    // Draws the screen under the camera and at most one neighbour.
    void draw();

    Tile tileAt(int32_t x, int32_t y) const;
    int32_t horizontalClearance(SDL_Rect rect, int32_t direction) const; // px
    int32_t verticalClearance(SDL_Rect rect, int32_t direction) const;   // px
    LadderProbe probeLadders(int32_t x, int32_t y, int32_t nextY, bool rising) const;
    // The points those queries read: the clearances' ahead of a box moving
    // in a direction, and the ladder probes' (feet, body, head, then next y
    // below or above), so what the overlay shows is what the game reads.
    static std::array<ProbePoint, 3> horizontalProbes(SDL_Rect rect, int32_t direction);
    static std::array<ProbePoint, 2> verticalProbes(SDL_Rect rect, int32_t direction);
    static std::array<ProbePoint, 4> ladderProbes(int32_t x, int32_t y, int32_t nextY, bool rising);
    // Tile arithmetic on a position's low byte, which repeats every 256 px
    // and so holds within a screen: how far x is past its tile column's
    // left edge, how far a y measured from the boundary's top is past its
    // tile row's top, and the world y of the top of the row that holds y
    // (within the current boundary).
    static int32_t pastTileColumn(int32_t x);
    static int32_t pastTileRow(int32_t fromBoundaryTop);
    int32_t tileRowTop(int32_t y) const;
    void selectBoundary(int32_t x, int32_t y);
    SDL_Rect currentBoundary() const;
    int32_t currentBoundaryIndex() const { return m_currentBoundary; }
    bool isBottomless(int32_t x, int32_t y) const;
    bool isNearBoundaryBottom(int32_t y) const;
    bool isNearBoundaryTop(int32_t y) const;
    // The player's start and the teleport's stop: at the level's start, or
    // at the spot given to arriveAt.
    FixedPoint startX() const;
    FixedPoint startY() const;
    FixedPoint teleportStartYSpeed() const;
    FixedPoint teleportStopY() const;
    // Makes the player arrive at world (x, y) instead: the teleport comes
    // down at x from the top of the boundary that holds the spot and stops
    // on the last of its 16 px steps at or above y. False, and nothing
    // changes, when no boundary holds the spot.
    bool arriveAt(int32_t x, int32_t y);

    // Layout mistakes the loaders accept but the rules make predictable, one
    // line each beginning with levelsFile and the level's section; the fixed
    // enemy's box when the level has it.
    std::vector<std::string> designWarnings(const std::string& levelsFile,
                                            const std::string& levelName,
                                            std::optional<SDL_Rect> enemyBox) const;

    // What the design warnings and the designer's tools look at.
    int32_t width() const { return m_width; }   // px
    int32_t height() const { return m_height; } // px
    int32_t boundaryCount() const { return m_boundaryCount; }
    SDL_Rect boundary(int32_t index) const { return m_pBoundaries[static_cast<size_t>(index)]; }
    bool isScreenPresent(int64_t screenColumn, int64_t screenRow) const;

private:
    using Screen = std::unique_ptr<Tile[]>; // 240 tiles, row by row

    void build(const LevelLayout& layout, const MapFile& file, Surface tileSheet);

    // Null for an absent screen and for any index outside the table, so
    // callers may pass whatever their arithmetic gives.
    const Tile* screenAt(int64_t index) const;
    void drawScreen(int64_t index);

    int32_t m_width = 0;  // px
    int32_t m_height = 0; // px
    int32_t m_boundaryCount = 0;
    int32_t m_currentBoundary = 0;
    int32_t m_tileCount = 0;
    int32_t m_tileTypeCount = 0;
    int32_t m_screenCount = 0;
    int32_t m_screensAcross = 0;
    int32_t m_screensDown = 0;
    int32_t m_teleportStopPosY = 0; // world px
    FixedPoint m_teleportStartYSpeed;
    int32_t m_startBoundary = 0; // the boundary the start is at the top of
    int32_t m_startX = 0;        // world px
    std::vector<SDL_Rect> m_pBoundaries;
    std::vector<SDL_Rect> m_pTileRects;
    Surface m_pTileSetBitmap;
    std::vector<Screen> m_pScreens;         // null for an absent screen
    std::unique_ptr<LevelLayout> m_pLayout; // the values as written, for the design warnings
};
