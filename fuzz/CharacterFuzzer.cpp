// Fuzzes the sprite, character and object kind loaders. The input is five
// bytes that size the sheets and pick the keys held, then the text of a
// character file. The sheets "s0.bmp" to "s3.bmp" and the shot "shot.bmp"
// are written at the input's sizes; the text is loaded as a bare sprite (as
// the enemy loads its file) and as a player on a small sound level, which
// then plays a while. When the text is an object's kind file too (a seed
// holds both a character's sections and a kind's), two objects of it play
// beside the player: moving, shooting, hurting and being shot.
#include "FuzzSupport.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "engine/TraceRecord.h"
#include "graphics/Sprite.h"
#include "world/level/Map.h"
#include "world/level/MapFile.h"
#include "world/objects/ObjectSet.h"
#include "world/player/Kalvorn.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const std::string CHARACTER_FILE = "hero.ini";
constexpr size_t HEADER_BYTES = 5;
constexpr int MAX_SHEET_WIDTH = 32;   // px
constexpr int MAX_SHEET_HEIGHT = 512; // px
constexpr int MAX_SHOT_SIZE = 16;     // px
constexpr int PLAYER_UPDATES = 64;    // past the teleport descent, into play
constexpr int KEY_PERIOD = 8;         // updates a key is held and then released
// Each key pressed is let go in its own period, so none is held into the
// next input.
static_assert(PLAYER_UPDATES % KEY_PERIOD == 0);

const SDLKey PLAYED_KEYS[] = {SDLK_RIGHT, SDLK_LEFT, SDLK_SPACE, SDLK_b, SDLK_UP, SDLK_DOWN};

// Two objects of the text's kind in the first boundary: one on the floor
// left of the start, one in the air over the gap.
const char* const OBJECT_LIST = "[FUZZ]\nobjectAmount=2\nobject0=hero.ini\nobject0x=48\n"
                                "object0y=176\nobject1=hero.ini\nobject1x=336\nobject1y=96\n";

std::unique_ptr<Map> gpMap;
int gSheetWidth = -1, gSheetHeight = -1; // px of the sheets on disk

// Two screens across and two down: a floor with a gap over an absent screen,
// a ladder, and a wall, so the player can run, climb, fall out and scroll.
void writeLevel() {
    MapFile file(32, 30, 6);
    for (int row = 0; row < 30; ++row) {
        bool upper = row < 15;
        for (int column = 0; column < (upper ? 32 : 16); ++column) {
            bool floor = upper ? row >= 12 && !(column >= 20 && column < 23) : row == 29;
            bool solid = floor || (upper && column == 31);
            bool ladder = upper && column == 10;
            file.setTile(column, row, ladder ? 5 : solid ? 2 : 1, solid && !ladder);
        }
    }
    std::vector<uint8_t> bytes = file.encode();
    fuzz_support::writeFile("level.map", std::string(bytes.begin(), bytes.end()));
    fuzz_support::writeFile("tiles.bmp", fuzz_support::bmpBytes(16, 16 * 5));
    IniDictionary levels = IniDictionary::fromText(
        "[FUZZ]\ntileSheet=tiles.bmp\ntileMap=level.map\nboundaries=2\nboundary0x=0\n"
        "boundary0y=0\nboundary0w=512\nboundary1x=0\nboundary1y=240\nboundary1w=256\n"
        "teleportStopPosY=180\n");
    gpMap = std::make_unique<Map>("FUZZ", levels);
}

// The four sheets are written again only when their size changes, which
// saves most of an input's time; the shot's small picture each time.
void writeSheets(const uint8_t* pData) {
    int width = pData[0] % MAX_SHEET_WIDTH + 1;
    int height = (pData[1] | pData[2] << 8) % MAX_SHEET_HEIGHT + 1;
    if (width != gSheetWidth || height != gSheetHeight) {
        std::string sheet = fuzz_support::bmpBytes(width, height);
        for (int i = 0; i < 4; ++i) {
            fuzz_support::writeFile(joined("s", std::to_string(i), ".bmp"), sheet);
        }
        gSheetWidth = width;
        gSheetHeight = height;
    }
    int shot = pData[3] % MAX_SHOT_SIZE + 1;
    fuzz_support::writeFile("shot.bmp", fuzz_support::bmpBytes(shot, shot));
}

// Runs a play of the input; a refusal of its data must name a file.
template <typename Play> void requireNamedRefusals(Play play) {
    try {
        play();
    } catch (const DataError& error) {
        if (error.file().empty()) {
            std::fprintf(stderr, "kcs fuzz: an error names no file: %s\n", error.what());
            std::abort();
        }
    }
}

void playCharacter(uint8_t keySeed) {
    Kalvorn player(CHARACTER_FILE, gpMap.get());
    std::unique_ptr<ObjectSet> pObjects;
    requireNamedRefusals([&] {
        pObjects =
            std::make_unique<ObjectSet>(IniDictionary::fromText(OBJECT_LIST), "FUZZ", *gpMap);
    });
    for (int n = 0; n < PLAYER_UPDATES; ++n) {
        // Each half period a key is pressed or let go, and only then are
        // events read (pumping SDL's events is not free) and the trace's
        // text made: it only depends on the state, and every state the
        // keys reach lasts longer than this.
        if (n % (KEY_PERIOD / 2) == 0) {
            SDLKey key = PLAYED_KEYS[(keySeed + n / KEY_PERIOD) % std::size(PLAYED_KEYS)];
            GameEngine::pushKeyEvent(key, n % KEY_PERIOD == 0);
            gEngine->pollEvents();
            TraceRecord trace;
            player.addStateTrace(trace);
            player.addShotsTrace(trace);
            player.addHealthTrace(trace);
            if (pObjects) {
                pObjects->addTraceFields(trace);
            }
        }
        // As the level restarts the player, and its objects with it.
        bool defeated = player.isOutOfHealth();
        if (defeated || player.hasFallenOut()) {
            if (defeated) {
                player.restartAfterDefeat();
            } else {
                player.respawn();
            }
            if (pObjects) {
                pObjects->reset();
            }
        }
        player.update();
        if (pObjects) {
            pObjects->update(player, *gpMap);
        }
        if (n == PLAYER_UPDATES / 2) {
            player.takeHit();
        }
        // Drawn without clearing: clipping is what can go wrong, and
        // clearing the screen each update was most of an input's time.
        player.draw();
        if (pObjects) {
            pObjects->draw();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::startHeadlessEngine();
    writeLevel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    if (size < HEADER_BYTES) {
        return 0;
    }
    writeSheets(pData);
    std::string text = fuzz_support::textFrom(pData, size, HEADER_BYTES);
    fuzz_support::writeFile(CHARACTER_FILE, text);
    // As the enemy loads its sprite, needing one sheet and one animation;
    // the player's play steps and draws what the loader accepts.
    requireNamedRefusals([&] {
        Sprite(IniDictionary::fromText(text, CHARACTER_FILE), CHARACTER_FILE, 1, 1).step();
    });
    requireNamedRefusals([&] { playCharacter(pData[4]); });
    return 0;
}
