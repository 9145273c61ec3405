// kcs --character-report: a character's numbers, measured by running the
// game's own player code on a small test level: one screen of floor with a
// ladder, two screens wide. Keys go through the engine as real presses do.
#include "program/CharacterReport.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Direction.h"
#include "engine/GameEngine.h"
#include "graphics/Font.h"
#include "graphics/Picture.h"
#include "world/level/Map.h"
#include "world/level/MapFile.h"
#include "world/player/Kalvorn.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FLOOR_ROW = 13;    // the floor's top tile row
constexpr int LADDER_COLUMN = 3; // tile column of the ladder, rows 2 to 12
constexpr int LADDER_TOP_ROW = 2;
constexpr int LEDGE_ROW = 3;           // a ledge high on the right, to fall from
constexpr int LEDGE_FIRST_COLUMN = 20; // to the right edge
constexpr int RUN_START_X = 40;        // px: room to run and jump to the right
constexpr int LONG_ENOUGH = 600;       // updates: any measured move is over by then
constexpr int TILE = MapFile::TILE_SIZE;
constexpr int CLIMB_UPDATES = 32; // within the ladder's 10 tiles either way

// The test level, written to a scratch folder and removed with it.
class TestLevel {
public:
    TestLevel() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kcs-report-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw DataError(pattern, "cannot make a scratch folder for the test level");
        }
        m_folder = pattern;
        MapFile file(32, 15, 6);
        for (int row = 0; row < 15; ++row) {
            for (int column = 0; column < 32; ++column) {
                bool floor = row >= FLOOR_ROW || (row == LEDGE_ROW && column >= LEDGE_FIRST_COLUMN);
                bool ladder = column == LADDER_COLUMN && row >= LADDER_TOP_ROW && row < FLOOR_ROW;
                file.setTile(column, row, floor ? 2 : ladder ? 5 : 1, floor);
            }
        }
        std::vector<uint8_t> bytes = file.encode();
        std::FILE* pMap = std::fopen((m_folder + "/flat.map").c_str(), "wb");
        if (pMap == nullptr) {
            throw DataError(m_folder, "cannot write the test level");
        }
        std::fwrite(bytes.data(), 1, bytes.size(), pMap);
        std::fclose(pMap);
        Surface pSheet = GameEngine::createPicture(TILE, TILE * 5);
        if (!GameEngine::saveBitmap(pSheet.get(), m_folder + "/tiles.bmp")) {
            throw DataError(m_folder, "cannot write the test level");
        }
        IniDictionary levels = IniDictionary::fromText(
            "[TEST]\ntileSheet=" + m_folder + "/tiles.bmp\ntileMap=" + m_folder +
            "/flat.map\nboundaries=1\nboundary0x=0\nboundary0y=0\nboundary0w=512\n"
            "teleportStopPosY=4\n");
        m_pMap = std::make_unique<Map>("TEST", levels);
    }
    ~TestLevel() {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    TestLevel(const TestLevel&) = delete;
    TestLevel& operator=(const TestLevel&) = delete;

    Map& map() { return *m_pMap; }

private:
    std::string m_folder;
    std::unique_ptr<Map> m_pMap;
};

// One player on the test level, driven update by update.
class Trial {
public:
    // Arrives at x on the floor, or on whatever is first below y.
    Trial(const std::string& characterFile, Map& map, int x, int y = FLOOR_ROW * TILE - 1) {
        map.arriveAt(x, y);
        m_pPlayer = std::make_unique<Kalvorn>(characterFile, &map);
        // Down from the teleport and settled on the floor.
        for (int n = 0; n < LONG_ENOUGH && state() != "Standing"; ++n) {
            step();
        }
    }
    ~Trial() {
        for (SDLKey key : {SDLK_LEFT, SDLK_RIGHT, SDLK_UP, SDLK_DOWN, SDLK_SPACE}) {
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
    }
    Trial(const Trial&) = delete;
    Trial& operator=(const Trial&) = delete;

    void press(SDLKey key, bool down) { GameEngine::pushKeyEvent(key, down); }
    void step() {
        gEngine->pollEvents();
        m_pPlayer->update();
    }
    // Steps until the condition holds; the number of steps, or -1.
    int stepUntil(const std::function<bool()>& condition) {
        for (int n = 1; n <= LONG_ENOUGH; ++n) {
            step();
            if (condition()) {
                return n;
            }
        }
        return -1;
    }
    Kalvorn::Readout now() const { return m_pPlayer->readout(); }
    std::string state() const { return now().state; }
    bool inAir() const { return state() == "Airborne"; }
    Kalvorn& player() { return *m_pPlayer; }

private:
    std::unique_ptr<Kalvorn> m_pPlayer;
};

std::string px(FixedPoint value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value.raw / 256.0);
    return text;
}

std::string tiles(double pixels) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", pixels / TILE);
    return text;
}

struct JumpPoint {
    int x = 0; // px right of the take-off
    int y = 0; // px above it
};

struct Jump {
    int height = 0;              // px
    int length = 0;              // px
    int updates = -1;            // in the air
    std::vector<JumpPoint> path; // the player's position, update by update
};

// From the ground, with the jump held until it lands.
Jump jump(Trial& trial) {
    Kalvorn::Readout start = trial.now();
    int32_t highest = integerPart(start.y);
    Jump result;
    auto note = [&] {
        result.path.push_back(JumpPoint{integerPart(trial.now().x) - integerPart(start.x),
                                        integerPart(start.y) - integerPart(trial.now().y)});
    };
    note();
    trial.press(SDLK_SPACE, true);
    trial.step();
    note();
    result.updates = trial.stepUntil([&] {
        highest = std::min(highest, integerPart(trial.now().y));
        note();
        return !trial.inAir();
    });
    trial.press(SDLK_SPACE, false);
    result.height = integerPart(start.y) - highest;
    result.length = integerPart(trial.now().x) - integerPart(start.x);
    return result;
}

// The two jump arcs over a grid of tiles, magnified: what a designer holds
// against a drawing of a level.
void plotJumps(const Jump& standing, const Jump& running, const std::string& path) {
    constexpr int SCALE = 3;
    constexpr int MARGIN = 2 * TILE; // px around the arcs, before scaling
    constexpr uint32_t BACKGROUND = 0x101018;
    constexpr uint32_t GRID = 0x34343C;
    constexpr uint32_t FLOOR = 0x805030;
    constexpr uint32_t STANDING = 0x00FFFF;
    constexpr uint32_t RUNNING = 0xFFFF00;
    constexpr uint32_t LABEL = 0xC0C0C0;
    int left = 0;
    int right = 0;
    int top = 0;
    for (const Jump* pJump : {&standing, &running}) {
        for (const JumpPoint& point : pJump->path) {
            left = std::min(left, point.x);
            right = std::max(right, point.x);
            top = std::max(top, point.y);
        }
    }
    // Whole tiles from the take-off, so the grid lines fall on tile edges.
    int tilesLeft = (-left + MARGIN + TILE - 1) / TILE;
    int tilesAcross = tilesLeft + (right + MARGIN + TILE - 1) / TILE;
    int tilesUp = (top + MARGIN + TILE - 1) / TILE;
    int width = tilesAcross * TILE * SCALE;
    int floorY = tilesUp * TILE * SCALE;
    Picture picture(width, floorY + TILE * SCALE, BACKGROUND, path);
    for (int column = 0; column <= tilesAcross; ++column) {
        picture.fill(column * TILE * SCALE, 0, 1, floorY, GRID);
    }
    for (int row = 0; row <= tilesUp; ++row) {
        picture.fill(0, row * TILE * SCALE, width, 1, GRID);
    }
    picture.fill(0, floorY, width, TILE * SCALE, FLOOR);
    for (int column = 0; column < tilesAcross; ++column) {
        picture.number(column * TILE * SCALE + 2, floorY + 2, column - tilesLeft, 2, LABEL);
    }
    for (int row = 1; row <= tilesUp; ++row) {
        picture.number(2, floorY - row * TILE * SCALE + 2, row, 2, LABEL);
    }
    auto at = [&](const JumpPoint& point) {
        return std::make_pair((tilesLeft * TILE + point.x) * SCALE + SCALE / 2,
                              floorY - point.y * SCALE - SCALE / 2);
    };
    for (auto [pJump, colour] :
         {std::make_pair(&standing, STANDING), std::make_pair(&running, RUNNING)}) {
        for (size_t i = 0; i < pJump->path.size(); ++i) {
            auto [x, y] = at(pJump->path[i]);
            if (i > 0) {
                auto [fromX, fromY] = at(pJump->path[i - 1]);
                picture.line(fromX, fromY, x, y, colour);
            }
            picture.fill(x - 1, y - 1, 3, 3, colour);
        }
    }
    picture.save(gEngine->files(), path, "--plot");
}

} // namespace

int runCharacterReport(FileRegistry& files, const std::string& characterFile,
                       const std::string& plotPath) {
    GameEngine engine(files, loadFont);
    gEngine = &engine;
    TestLevel level;
    std::printf("%s, measured on a flat test level by the game's own code "
                "(1 tile = 16 px, 1 update = 1/60 s):\n",
                characterFile.c_str());

    Jump standing;
    Jump running;
    {
        Trial trial(characterFile, level.map(), RUN_START_X);
        standing = jump(trial);
        std::printf("  standing jump: %d px high (%s tiles), %d updates in the air\n",
                    standing.height, tiles(standing.height).c_str(), standing.updates + 1);
    }
    {
        Trial trial(characterFile, level.map(), RUN_START_X);
        trial.press(SDLK_RIGHT, true);
        FixedPoint previous = trial.now().xSpeed;
        int toFull = trial.stepUntil([&] {
            FixedPoint speed = trial.now().xSpeed;
            bool steady = speed.raw == previous.raw && speed.raw != 0 && trial.state() == "Running";
            previous = speed;
            return steady;
        });
        FixedPoint full = trial.now().xSpeed;
        std::printf("  running: full speed %s px per update, reached in %d updates\n",
                    px(full).c_str(), toFull < 0 ? -1 : toFull - 1);
        running = jump(trial);
        std::printf("  running jump: %d px high (%s tiles), %d px long (%s tiles), %d updates "
                    "in the air\n",
                    running.height, tiles(running.height).c_str(), running.length,
                    tiles(running.length).c_str(), running.updates + 1);
        trial.stepUntil([&] { return trial.state() == "Running"; });
        trial.press(SDLK_RIGHT, false);
        int32_t from = integerPart(trial.now().x);
        int toStop = trial.stepUntil([&] { return trial.now().xSpeed.raw == 0; });
        std::printf("  stopping from full speed: %d updates, %d px\n", toStop,
                    integerPart(trial.now().x) - from);
    }
    {
        // Off the ledge's left end, down to the floor: a fall of 160 px.
        Trial trial(characterFile, level.map(), LEDGE_FIRST_COLUMN * TILE + 3 * TILE,
                    LEDGE_ROW * TILE - 1);
        trial.press(SDLK_LEFT, true);
        trial.stepUntil([&] { return trial.inAir(); });
        trial.press(SDLK_LEFT, false);
        // The distance fallen in each update, as play shows it.
        FixedPoint last = trial.now().y;
        FixedPoint fastest{};
        int steadyFor = 0;
        trial.stepUntil([&] {
            if (!trial.inAir()) {
                return true;
            }
            FixedPoint fallen{trial.now().y.raw - last.raw};
            last = trial.now().y;
            steadyFor = fallen.raw == fastest.raw ? steadyFor + 1 : 0;
            fastest = fallen.raw > fastest.raw ? fallen : fastest;
            return false;
        });
        std::printf("  falling: %s px per update at most%s\n", px(fastest).c_str(),
                    steadyFor >= 2 ? " (the terminal speed)"
                                   : " (still speeding up after a fall of 160 px)");
    }
    {
        Trial trial(characterFile, level.map(), LADDER_COLUMN * TILE + TILE / 2);
        // The average over a stretch of climbing, as far as the eye sees it.
        auto climb = [&](SDLKey key) {
            trial.press(key, true);
            trial.stepUntil([&] { return trial.state() == "Climbing"; });
            FixedPoint from = trial.now().y;
            for (int n = 0; n < CLIMB_UPDATES; ++n) {
                trial.step();
            }
            trial.press(key, false);
            return FixedPoint{(trial.now().y.raw - from.raw) / CLIMB_UPDATES};
        };
        FixedPoint up = climb(SDLK_UP);
        FixedPoint down = climb(SDLK_DOWN);
        std::printf("  ladder: up %s px per update, down %s\n", px(FixedPoint{-up.raw}).c_str(),
                    px(down).c_str());
    }
    {
        Trial trial(characterFile, level.map(), RUN_START_X + 100);
        int32_t from = integerPart(trial.now().x);
        trial.player().takeHit();
        int updates = trial.stepUntil([&] { return trial.state() != "Reeling"; });
        std::printf("  recoil from a hit: %d px back in %d updates\n",
                    std::abs(integerPart(trial.now().x) - from), updates);
    }
    if (!plotPath.empty()) {
        plotJumps(standing, running, plotPath);
        std::printf("  jump arcs: drawn as PNG (standing in cyan, running in yellow, over "
                    "16 px tiles)\n");
    }
    gEngine = nullptr;
    return 0;
}
