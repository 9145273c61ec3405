// The player on one-screen levels, run by scripts of keys and contacts: what
// the golden replays' checkpoints cannot show on the demo data (the
// accelerating pose's count, the jump released at its limit, a fall faster
// than a tile, a hit during the descent, invincibility 0 and 2, a ladder
// grabbed while running, the climb that ends on the floor), the poses and
// the blinking read back from real pixels, and the character files it
// refuses.
#include "world/player/Kalvorn.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "engine/TraceRecord.h"
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"
#include "world/level/Map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int32_t PX = 256; // 1/256 px in one pixel

// A ladder (type 4, open) in one tile column from tile row `top` to `bottom`.
struct Ladder {
    int column = 0;
    int top = 0;
    int bottom = -1; // none
};

// One screen: a solid floor in tile rows 13 and 14 under tile columns 0 to
// floorColumns - 1, open space elsewhere, and the ladder.
std::string oneScreen(int floorColumns = Map::SCREEN_TILES_X, Ladder ladder = {}) {
    testing_support::MapBytes map(1, 1);
    for (int column = 0; column < floorColumns; ++column) {
        map.tile(column, 13, 2, true).tile(column, 14, 2, true);
    }
    for (int row = ladder.top; row <= ladder.bottom; ++row) {
        map.tile(ladder.column, row, Map::LADDER_TILE + 1);
    }
    return map.bytes();
}

// Sheet colours of the test character: 0 right, 1 left, 2 and 3 shooting.
constexpr uint32_t SHEET_COLOURS[4] = {0xC00000, 0x00C000, 0x0000C0, 0xC0C000};
constexpr uint32_t SHOT_COLOUR = 0xF0F0F0;
constexpr int SPRITE_SIZE = 16; // px, drawn from (x - 8, y - 12)

// The test character. Speeds in pixels per update: accelerating 0.5,
// decelerating 0.25, jumpAccelerating 0.75, jumping 1.25, reeling 0.625,
// running 1.5; climbing down -1.5 and up 1.5, collision -1, falling -1,
// gravity 0.25, jumping 4, jumpReleased 1, jumpReleasedMax 2, min -3.5,
// scrolling 0.25, reeling 1 (a key left out is 0). Box 15 x 23 from (x - 8,
// y - 12). No acceleratingPreviousAnimation: the scripts give it or see its
// default.
constexpr const char* TEST_CHARACTER =
    "[XSpeed]\nacceleratingFraction=128\ndeceleratingFraction=64\njumpAcceleratingFraction=192\n"
    "jumpingInt=1\njumpingFraction=64\nreelingFraction=160\nrunningInt=1\nrunningFraction=128\n"
    "[YSpeed]\nclimbingDownInt=-2\nclimbingDownFraction=128\nclimbingUpInt=1\n"
    "climbingUpFraction=128\ncollisionInt=-1\nfallingInt=-1\ngravityFraction=64\njumpingInt=4\n"
    "jumpReleasedInt=1\njumpReleasedMaxInt=2\nminInt=-4\nminFraction=128\nscrollingFraction=64\n"
    "reelingInt=1\n[Durations]\naccelerating=10\n"
    "decelerating=6\ndeceleratingPreviousAnimation=3\ninvincible=20\nreeling=8\nscrolling=60\n"
    "shooting=8\n[BoundingBox]\nheightHalf=12\nxOffset=-8\nyOffset=-12\nwidth=15\nheight=23\n"
    "[Bullet]\nspritesheet=shot.bmp\nxOffsetLeft=-8\nxOffsetRight=8\nyOffset=-4\n[Spritesheets]\n"
    "amount=4\nspritesheet0=sheet0.bmp\nspritesheet1=sheet1.bmp\nspritesheet2=sheet2.bmp\n"
    "spritesheet3=sheet3.bmp\n[Sprites]\namount=1\nwidth=16\nheight=16\nxOffset=-8\nyOffset=-12\n"
    "sprite0YPos=0\n[Animations]\namount=9\n";

// Writes the test character with its changes ("Section/key=value"), and its
// images; the name. The first value of a repeated key wins, so a change goes
// right under its section's header.
std::string writeCharacter(const std::string& name, const std::vector<std::string>& changes = {}) {
    std::string text = TEST_CHARACTER;
    for (int a = 0; a < 9; ++a) {
        text += "[Animation" + std::to_string(a) +
                "]\nnFrames=1\nframe0SpriteIndex=0\nframe0Duration=1\n";
    }
    for (const std::string& change : changes) {
        size_t slash = change.find('/');
        size_t section = text.find("[" + change.substr(0, slash) + "]\n");
        if (section == std::string::npos) {
            throw std::invalid_argument("no section for " + change);
        }
        text.insert(text.find('\n', section) + 1, change.substr(slash + 1) + "\n");
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

// One beat of a scripted run: what happens first ("+right" and "-right"
// press and release a key, "hit" is a contact, "respawn" a restart), then
// the number of updates, then the trace members expected after them as
// "name=value" words. The member "sheet" draws a frame and names the sheet
// seen at the middle of the player's picture, "-" when nothing is.
struct Beat {
    std::string happens;
    int updates;
    std::string expected;
};

// Drives the player like the main loop: key events go into SDL's queue and
// the engine polls them before each update. Every key pressed is released
// when the test ends or a level is loaded.
class PlayerTest : public ::testing::Test {
protected:
    void TearDown() override { releaseKeys(); }

    // Twice polled, so no key counts as just released either.
    static void releaseKeys() {
        for (SDLKey key : KEYS) {
            GameEngine::pushKeyEvent(key, false);
        }
        gEngine->pollEvents();
        gEngine->pollEvents();
    }

    // A level of one screen from its map's bytes; "teleportStopPosY" 196 puts
    // the arrival exactly on the floor in tile row 13 (the box bottom is y +
    // 11). The camera's x is left as the last test had it unless a player
    // moves it, so it starts at 0 for every level, and stays there.
    void load(const std::string& mapBytes, const std::vector<std::string>& changes = {},
              int teleportStopPosY = 196) {
        releaseKeys();
        m_pPlayer.reset();
        testing_support::writeLevel("PlayerLevel", mapBytes, {{0, 0, 256}},
                                    "teleportStopPosY=" + std::to_string(teleportStopPosY) + "\n");
        m_pMap =
            std::make_unique<Map>("PlayerLevel", IniDictionary(gEngine->files(), "levels.ini"));
        gEngine->moveCamera(-gEngine->getCamera().x, 0);
        m_pPlayer = std::make_unique<Kalvorn>(writeCharacter("hero.ini", changes), m_pMap.get());
    }

    // One frame's polling and one player update.
    void step(int count = 1) {
        for (int i = 0; i < count; ++i) {
            gEngine->pollEvents();
            m_pPlayer->update();
        }
    }

    // Through the teleport descent until the player stands.
    void arrive() {
        for (int i = 0; i < 100 && text("state") != "Standing"; ++i) {
            step();
        }
        ASSERT_EQ(text("state"), "Standing");
    }

    void play(const std::vector<Beat>& beats) {
        for (size_t i = 0; i < beats.size(); ++i) {
            const Beat& beat = beats[i];
            SCOPED_TRACE("beat " + std::to_string(i + 1) + " {\"" + beat.happens + "\", " +
                         std::to_string(beat.updates) + "}");
            std::istringstream happens(beat.happens);
            for (std::string word; happens >> word;) {
                if (word == "hit") {
                    m_pPlayer->takeHit();
                } else if (word == "respawn") {
                    m_pPlayer->respawn();
                } else {
                    GameEngine::pushKeyEvent(keyNamed(word.substr(1)), word[0] == '+');
                }
            }
            step(beat.updates);
            std::istringstream expected(beat.expected);
            for (std::string word; expected >> word;) {
                std::string name = word.substr(0, word.find('='));
                std::string seen = name == "sheet" ? sheetSeen() : text(name);
                EXPECT_EQ(seen, word.substr(name.size() + 1)) << name;
            }
        }
    }

    // The player's members as the level's trace line has them.
    std::string trace() const {
        TraceRecord record;
        m_pPlayer->addStateTrace(record);
        m_pPlayer->addShotsTrace(record);
        return record.line();
    }
    std::string text(const std::string& name) const {
        return testing_support::traceText(trace(), name);
    }

    std::unique_ptr<Map> m_pMap;
    std::unique_ptr<Kalvorn> m_pPlayer;

private:
    // The keys the scripts use, by SDL's names ("left", "space", "b", ...).
    static constexpr SDLKey KEYS[] = {SDLK_LEFT, SDLK_RIGHT, SDLK_UP,
                                      SDLK_DOWN, SDLK_SPACE, SDLK_b};
    static SDLKey keyNamed(const std::string& name) {
        for (SDLKey key : KEYS) {
            if (name == SDL_GetKeyName(key)) {
                return key;
            }
        }
        throw std::invalid_argument("no key " + name);
    }

    // Draws a fresh frame with only the player and names the sheet whose
    // colour is at the middle of its picture, (x, y - 4) with the camera at 0.
    std::string sheetSeen() const {
        gEngine->clearScreen();
        m_pPlayer->draw();
        int x = static_cast<int>(testing_support::traceInt(trace(), "x") / PX);
        int y = static_cast<int>(testing_support::traceInt(trace(), "y") / PX) - 4;
        uint32_t colour = testing_support::pixelAt(gEngine->getScreen(), x, y);
        for (int sheet = 0; sheet < 4; ++sheet) {
            if (colour == SHEET_COLOURS[sheet]) {
                return std::to_string(sheet);
            }
        }
        return colour == 0 ? "-" : "colour " + std::to_string(colour);
    }
};

// The last two of the three shot slots, empty.
const std::string EMPTY_SLOTS = "[0,0,\"NONE\",false],[0,0,\"NONE\",false]]";

using KalvornRun = PlayerTest;

TEST_F(KalvornRun, AcceleratingShowsItsPoseAtItsCountAndReversingKeepsTheSpeed) {
    load(oneScreen(), {"Durations/acceleratingPreviousAnimation=4"});
    arrive();
    play({{"+right", 4, "state=Accelerating xSpeed=128 animation=0"},
          {"", 1, "animation=1"},
          // Reversing keeps the speed and the state, and its time.
          {"+left", 1, "state=Accelerating stateTime=6 facing=LEFT xSpeed=128"}});

    // Left out, acceleratingPreviousAnimation is 0.
    load(oneScreen());
    arrive();
    play({{"+right", 1, "animation=1"}, {"", 9, "state=Accelerating"}, {"", 1, "state=Running"}});
}

TEST_F(KalvornRun, AJumpIsCutShortOnlyAboveTheReleaseLimit) {
    load(oneScreen());
    arrive();
    play({{"+space", 2, "state=Airborne y=49152"},
          // 3.75 px per update cut to 1.
          {"-space", 1, "y=48896 ySpeed=192"},
          {"", 20, "state=Standing y=50176"},
          // Held until the speed is down to exactly jumpReleasedMax, 2 px
          // per update: letting go then changes nothing.
          {"+space", 9, "ySpeed=512"},
          {"-space", 1, "y=43264 ySpeed=448"}});
}

// Off the floor's end at tile column 10, nothing below the screen. Faster
// than one tile: the walk-off takes the fall's first 20 px at once, and the
// next move meets a clearance of 16 with nothing below and "lands" in the
// air. The restart after the fall out keeps the speed and shows the
// teleport's pose.
TEST_F(KalvornRun, AFallFasterThanATileLandsInTheAirAndTheRestartKeepsItsSpeed) {
    load(oneScreen(10), {"YSpeed/fallingInt=-20", "YSpeed/minInt=-20", "YSpeed/minFraction=0",
                         "YSpeed/gravityFraction=0"});
    arrive();
    play({{"+right", 33, "state=Running y=50176"},
          {"", 1, "state=Airborne y=55296"},
          {"", 1, "state=Running mode=ON_GROUND y=59392"},
          {"", 1, "state=Airborne fallenOut=true y=64512"},
          {"respawn", 0,
           "fallenOut=false x=32768 y=1272 state=Teleporting facing=RIGHT xSpeed=384 "
           "animation=7"}});
}

TEST_F(KalvornRun, AHitEndsTheDescentAndInvincibilityCountsContacts) {
    // In the descent's first update, a hit starts the recoil at once: the
    // player starts able to be hit.
    load(oneScreen(), {}, 180);
    play({{"hit", 1, "state=Reeling mode=IN_AIR box=[119,-9,15,23]"}});

    load(oneScreen(), {"Durations/invincible=2"});
    arrive();
    play({{"hit", 1, ""}, {"hit", 1, "state=Reeling stateTime=2 facing=LEFT invincible=0"}});
    // 0: every contact restarts the recoil, turning the player again (a
    // count of 1 is down to 0 by the next contact, as the first run shows).
    load(oneScreen(), {"Durations/invincible=0"});
    arrive();
    play({{"hit", 1, ""}, {"hit", 1, "state=Reeling stateTime=1 facing=RIGHT"}});
}

// ---- Ladders ---------------------------------------------------------------

using KalvornLadder = PlayerTest;

TEST_F(KalvornLadder, GrabbingSnapsToTheTileCentreKeepingTheFractionAndTurns) {
    load(oneScreen(16, {2, 9, 12})); // x 32 to 47
    arrive();
    // The climb starts in the same update.
    play({{"+left", 67, "state=Running x=9600"},
          {"+up", 1,
           "x=10368 facing=RIGHT state=Climbing mode=ON_LADDER xSpeed=0 y=49792 "
           "box=[32,182,15,23]"}});
}

TEST_F(KalvornLadder, OnTheFloorDownDoesNothingTheReadoutShowsItAndAClimbEndsOnTheFloor) {
    // Feet, body and head are all on the ladder, nothing below the feet.
    load(oneScreen(16, {8, 10, 12}));
    arrive();
    play({{"", 1, "ladder=14"}, {"+down", 1, "state=Standing x=32768 y=50176 facing=RIGHT"}});
    // The readout's glyph cells of 8 px: the last digits of y 196 and of the
    // ladder flags.
    gEngine->clearScreen();
    m_pPlayer->draw();
    SDL_Surface* pScreen = gEngine->getScreen();
    EXPECT_EQ(testing_support::cellOfColour(testing_support::pixelAt(pScreen, 33, 17)), 6);
    EXPECT_EQ(testing_support::cellOfColour(testing_support::pixelAt(pScreen, 33, 49)), 4);
    // One step up, one back down reaches the floor exactly, and the next
    // meets it and lands. The probe below looks 1.5 px on, down, into the
    // floor's row: no ladder there, though there is 1.5 px up.
    play({{"-down +up", 1, "state=Climbing animation=4 x=34816 y=49792"},
          {"-up +down", 1, "state=Climbing y=50176 ladder=14"},
          {"", 1, "state=Standing mode=ON_GROUND facing=LEFT y=50176"}});
}

// ---- Shots and drawing ---------------------------------------------------

using KalvornDraw = PlayerTest;

TEST_F(KalvornDraw, TheShootingPoseLastsItsCountOnTheFacingsSheet) {
    load(oneScreen());
    arrive();
    // Held b fires once, from x + 8 and y - 4, moved once before it is drawn.
    play({{"", 0, "sheet=0"},
          {"+b", 1, "sheet=2"},
          {"", 7, "sheet=2 shots=[[168,192,\"RIGHT\",true]," + EMPTY_SLOTS},
          {"", 1, "sheet=0"}});
    // The frame drawn last shows the shot, 4 px further on each update.
    EXPECT_EQ(testing_support::pixelAt(gEngine->getScreen(), 136 + 4 * 9, 192), SHOT_COLOUR);
    play({{"-b", 1, ""},
          // Facing left a shot starts at x - 8.
          {"+left +b", 1,
           "sheet=3 shots=[[180,192,\"RIGHT\",true],[116,192,\"LEFT\",true],[0,0,\"NONE\",false]]"},
          {"-left -b", 8, "sheet=1"},
          // A shot is gone at the view's right edge, or 8 px left of its left.
          {"", 30,
           "shots=[[256,192,\"RIGHT\",false],[-8,192,\"LEFT\",false],[0,0,\"NONE\",false]]"}});

    load(oneScreen(), {"Durations/shooting=0"});
    arrive();
    play({{"+b", 1, "shooting=false sheet=0 shots=[[140,192,\"RIGHT\",true]," + EMPTY_SLOTS}});
}

TEST_F(KalvornDraw, InvincibilityBlinksTwoFramesHiddenTwoShown) {
    load(oneScreen(), {"Durations/invincible=6"});
    arrive();
    // The recoil has turned the player: shown frames use the left sheet.
    play({{"hit", 0, "invincible=6 sheet=-"},
          {"", 1, "invincible=5 sheet=-"},
          {"", 1, "invincible=4 sheet=1"},
          {"", 1, "invincible=3 sheet=1"},
          {"", 1, "invincible=2 sheet=-"},
          {"", 1, "invincible=1 sheet=-"},
          {"", 1, "invincible=0 sheet=1"}});
}

// The file each refusal blames, and the start of its message ("" to skip).
TEST_F(KalvornRun, RefusesCharacterFilesItCannotUse) {
    load(oneScreen());
    const std::string cases[][3] = {
        {"Durations/scrolling=0", "bad.ini", "bad.ini: [Durations] scrolling"},
        // Without "spritesheet" (a header under [Bullet] takes its keys) the
        // default name "empty" is tried, which no data folder holds; a named
        // sheet that is missing is named itself.
        {"Bullet/[Elsewhere]", "bad.ini",
         "bad.ini: [Bullet] spritesheet is not given, and the default \"empty\" cannot be "
         "loaded (empty"},
        {"Bullet/spritesheet=lost.bmp", "lost.bmp", ""},
        // An empty name has no file to blame but the character's (a fuzz find).
        {"Bullet/spritesheet=", "bad.ini", "bad.ini: [Bullet] spritesheet is empty"},
    };
    for (const auto& [change, blamed, message] : cases) {
        writeCharacter("bad.ini", {change});
        try {
            Kalvorn player("bad.ini", m_pMap.get());
            ADD_FAILURE() << "accepted " << change;
        } catch (const DataError& error) {
            EXPECT_EQ(error.file(), blamed);
            EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
        }
    }
    writeCharacter("onescroll.ini", {"Durations/scrolling=1"});
    EXPECT_NO_THROW(Kalvorn("onescroll.ini", m_pMap.get()));
}

} // namespace
