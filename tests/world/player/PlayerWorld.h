// What the player tests share: small levels drawn as text pictures, a test
// character file with named changes, keys pushed through SDL's queue the way
// the main loop takes them, and the player's trace fields read back.
#pragma once

#include "config/IniDictionary.h"
#include "engine/GameEngine.h"
#include "engine/TraceRecord.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"
#include "world/level/Map.h"
#include "world/player/Kalvorn.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace player_test {

constexpr int SCREEN_COLUMNS = 16; // tiles
constexpr int SCREEN_ROWS = 15;    // tiles
constexpr int32_t PX = 256;        // 1/256 px in one pixel

// Tile picture: '.' open, '#' solid, 'H' ladder (open), 'x' absent screen.
// Rows are whole map rows; a screen is absent when its top-left tile is 'x'.
inline std::string mapFromPicture(const std::vector<std::string>& rows) {
    int columns = static_cast<int>(rows.at(0).size());
    int tileRows = static_cast<int>(rows.size());
    if (columns % SCREEN_COLUMNS != 0 || tileRows % SCREEN_ROWS != 0) {
        throw std::invalid_argument("picture is not made of whole screens");
    }
    testing_support::MapBytes map(columns / SCREEN_COLUMNS, tileRows / SCREEN_ROWS);
    for (int row = 0; row < tileRows; ++row) {
        for (int column = 0; column < columns; ++column) {
            char c = rows[static_cast<size_t>(row)].at(static_cast<size_t>(column));
            if (c == '#') {
                map.tile(column, row, 2, true);
            } else if (c == 'H') {
                map.tile(column, row, 5); // type 4, the ladder
            }
        }
    }
    for (int screenRow = 0; screenRow < tileRows / SCREEN_ROWS; ++screenRow) {
        for (int screenColumn = 0; screenColumn < columns / SCREEN_COLUMNS; ++screenColumn) {
            char corner = rows[static_cast<size_t>(screenRow * SCREEN_ROWS)].at(
                static_cast<size_t>(screenColumn * SCREEN_COLUMNS));
            if (corner == 'x') {
                map.removeScreen(screenColumn, screenRow);
            }
        }
    }
    return map.bytes();
}

// A level from a picture; "teleportStopPosY" 196 puts the arrival exactly on
// a floor in tile row 13 (the box bottom is y + 11).
inline std::unique_ptr<Map>
makeMap(const std::vector<std::string>& rows,
        const std::vector<testing_support::LevelBoundary>& bounds = {{0, 0, 256}},
        int teleportStopPosY = 196) {
    testing_support::writeLevel("PlayerLevel", mapFromPicture(rows), bounds,
                                "teleportStopPosY=" + std::to_string(teleportStopPosY) + "\n");
    IniDictionary levels(gEngine->files(), "levels.ini");
    return std::make_unique<Map>("PlayerLevel", levels);
}

// One screen: open space over a solid floor in tile rows 13 and 14.
inline std::vector<std::string> flatScreen() {
    std::vector<std::string> rows(13, "................");
    rows.push_back("################");
    rows.push_back("################");
    return rows;
}

// Sheet colours of the test character: 0 right, 1 left, 2 and 3 shooting.
constexpr uint32_t SHEET_COLOURS[4] = {0xC00000, 0x00C000, 0x0000C0, 0xC0C000};
constexpr uint32_t SHOT_COLOUR = 0xF0F0F0;
constexpr int SPRITE_SIZE = 16;      // px
constexpr int SPRITE_X_OFFSET = -8;  // px
constexpr int SPRITE_Y_OFFSET = -12; // px

// Changes to the test character: {"Section", "key", "value"}.
struct Change {
    std::string section;
    std::string key;
    std::string value;
};

// The test character. Speeds in pixels per update: accelerating 0.5,
// decelerating 0.25, jumpAccelerating 0.75, jumping 1.25, reeling 0.625,
// running 1.5; climbing down -1.5 and up 1.5, collision -1, falling -1,
// gravity 0.25, jumping 4, jumpReleased 1, jumpReleasedMax 2, min -3.5,
// scrolling 0.25, reeling 1. Box 15 x 23 from (x - 8, y - 12).
constexpr const char* TEST_CHARACTER =
    "[XSpeed]\nacceleratingInt=0\nacceleratingFraction=128\ndeceleratingInt=0\n"
    "deceleratingFraction=64\njumpAcceleratingInt=0\njumpAcceleratingFraction=192\n"
    "jumpingInt=1\njumpingFraction=64\nreelingInt=0\nreelingFraction=160\nrunningInt=1\n"
    "runningFraction=128\n"
    "[YSpeed]\nclimbingDownInt=-2\nclimbingDownFraction=128\nclimbingUpInt=1\n"
    "climbingUpFraction=128\ncollisionInt=-1\ncollisionFraction=0\nfallingInt=-1\n"
    "fallingFraction=0\ngravityInt=0\ngravityFraction=64\njumpingInt=4\njumpingFraction=0\n"
    "jumpReleasedInt=1\njumpReleasedFraction=0\njumpReleasedMaxInt=2\n"
    "jumpReleasedMaxFraction=0\nminInt=-4\nminFraction=128\nscrollingInt=0\n"
    "scrollingFraction=64\nreelingInt=1\nreelingFraction=0\n"
    "[Durations]\naccelerating=10\nacceleratingPreviousAnimation=4\ndecelerating=6\n"
    "deceleratingPreviousAnimation=3\ninvincible=20\nreeling=8\nscrolling=60\nshooting=8\n"
    "[BoundingBox]\nheightHalf=12\nxOffset=-8\nyOffset=-12\nwidth=15\nheight=23\n"
    "[Bullet]\nspritesheet=shot.bmp\nxOffsetLeft=-8\nxOffsetRight=8\nyOffset=-4\n"
    "[Spritesheets]\namount=4\nspritesheet0=sheet0.bmp\nspritesheet1=sheet1.bmp\n"
    "spritesheet2=sheet2.bmp\nspritesheet3=sheet3.bmp\n"
    "[Sprites]\namount=1\nwidth=16\nheight=16\nxOffset=-8\nyOffset=-12\nsprite0YPos=0\n"
    "[Animations]\namount=9\n";

// Writes the test character with its changes, and its images; the name.
inline std::string writeCharacter(const std::string& name,
                                  const std::vector<Change>& changes = {}) {
    std::string text = TEST_CHARACTER;
    for (int a = 0; a < 9; ++a) {
        text += "[Animation" + std::to_string(a) +
                "]\nnFrames=1\nframe0SpriteIndex=0\nframe0Duration=1\n";
    }
    for (const Change& change : changes) {
        // Replaces the key's line in its section, or adds it after the header.
        std::string header = "[" + change.section + "]\n";
        size_t section = text.find(header);
        if (section == std::string::npos) {
            throw std::invalid_argument("no section " + change.section);
        }
        size_t body = section + header.size();
        size_t sectionEnd = text.find("\n[", body);
        size_t key = text.find("\n" + change.key + "=", section + header.size() - 1);
        std::string line = change.key + "=" + change.value + "\n";
        if (key != std::string::npos && key < sectionEnd) {
            size_t lineEnd = text.find('\n', key + 1);
            text.replace(key + 1, lineEnd - key, line);
        } else {
            text.insert(body, line);
        }
    }
    for (int sheet = 0; sheet < 4; ++sheet) {
        uint32_t colour = SHEET_COLOURS[sheet];
        testing_support::writeBmp("sheet" + std::to_string(sheet) + ".bmp", SPRITE_SIZE,
                                  SPRITE_SIZE, [colour](int, int) { return colour; });
    }
    testing_support::writeBmp("shot.bmp", 4, 4, [](int, int) { return SHOT_COLOUR; });
    testing_support::writeFile(name, text);
    return name;
}

using testing_support::CameraAt;

// The player's members as the level's trace line has them, with the map's
// boundary and the engine's camera between its state and its shots.
inline std::string traceOf(const Kalvorn& player, const Map& map) {
    TraceRecord record;
    player.addStateTrace(record);
    record.add("boundary", map.currentBoundaryIndex());
    SDL_Rect camera = gEngine->getCamera();
    record.beginArray("camera").item(camera.x).item(camera.y).endArray();
    player.addShotsTrace(record);
    return record.line();
}

// The text of one trace member's value (strings without their quotes).
inline std::string field(const std::string& trace, const std::string& name) {
    return testing_support::traceText(trace, name);
}

inline long number(const std::string& trace, const std::string& name) {
    return static_cast<long>(testing_support::traceInt(trace, name));
}

// Several members' texts joined by spaces, to check related values at once.
inline std::string fields(const std::string& trace, std::initializer_list<const char*> names) {
    std::string joined;
    for (const char* name : names) {
        joined += (joined.empty() ? "" : " ") + field(trace, name);
    }
    return joined;
}

// Drives the player like the main loop: key events go into SDL's queue and
// the engine polls them before each update. Every key pressed is released
// when the test ends, and the engine is left unpaused.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        gEngine->pollEvents();
        if (gEngine->isPaused()) {
            GameEngine::pushKeyEvent(SDLK_RETURN, true);
            gEngine->pollEvents();
        }
    }

    void TearDown() override {
        for (SDLKey key : {SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN, SDLK_SPACE, SDLK_b}) {
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
        gEngine->pollEvents();
    }

    void load(const std::vector<std::string>& rows,
              const std::vector<testing_support::LevelBoundary>& bounds = {{0, 0, 256}},
              const std::vector<Change>& changes = {}, int teleportStopPosY = 196) {
        m_pPlayer.reset();
        m_pMap = makeMap(rows, bounds, teleportStopPosY);
        m_pPlayer = std::make_unique<Kalvorn>(writeCharacter("hero.ini", changes), m_pMap.get());
    }

    static void press(SDLKey key) { GameEngine::pushKeyEvent(key, true); }
    static void release(SDLKey key) { GameEngine::pushKeyEvent(key, false); }

    // One frame's polling and one player update.
    void step(int count = 1) {
        for (int i = 0; i < count; ++i) {
            gEngine->pollEvents();
            m_pPlayer->update();
        }
    }

    // Updates until the state is `state`; the number of updates taken, or -1.
    int stepUntil(const std::string& state, int limit = 400) {
        for (int i = 1; i <= limit; ++i) {
            step();
            if (field(trace(), "state") == state) {
                return i;
            }
        }
        return -1;
    }

    // Through the teleport descent until the player stands.
    void arrive() { ASSERT_NE(stepUntil("Standing"), -1); }

    std::string trace() const { return traceOf(*m_pPlayer, *m_pMap); }
    long num(const std::string& name) const { return number(trace(), name); }
    std::string text(const std::string& name) const { return field(trace(), name); }
    std::string texts(std::initializer_list<const char*> names) const {
        return fields(trace(), names);
    }

    std::unique_ptr<Map> m_pMap;
    std::unique_ptr<Kalvorn> m_pPlayer;
};

} // namespace player_test
