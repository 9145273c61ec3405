// The player on small levels, run by scripts of keys and contacts: its start
// and the teleport arrival, the ground states at their exact update counts,
// jumps and falls, hits and the recoil, ladders and the vertical screen
// transitions, shots and drawing read back from real pixels, and the
// character files it refuses.
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

// Tile picture of whole screens: '.' open, '#' solid, 'H' ladder (open).
std::string mapFromPicture(const std::vector<std::string>& rows) {
    int columns = static_cast<int>(rows.at(0).size());
    int tileRows = static_cast<int>(rows.size());
    testing_support::MapBytes map(columns / Map::SCREEN_TILES_X, tileRows / Map::SCREEN_TILES_Y);
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
    return map.bytes();
}

// One screen: open space over a solid floor in tile rows 13 and 14.
std::vector<std::string> flatScreen() {
    std::vector<std::string> rows(13, "................");
    rows.resize(15, "################");
    return rows;
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

    // A level from a picture; "teleportStopPosY" 196 puts the arrival exactly
    // on a floor in tile row 13 (the box bottom is y + 11). The camera's x is
    // left as the last test had it unless a player moves it, so it starts at
    // 0 for every level.
    void load(const std::vector<std::string>& rows,
              const std::vector<testing_support::LevelBoundary>& bounds = {{0, 0, 256}},
              const std::vector<std::string>& changes = {}, int teleportStopPosY = 196) {
        releaseKeys();
        m_pPlayer.reset();
        testing_support::writeLevel("PlayerLevel", mapFromPicture(rows), bounds,
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

    // The player's members as the level's trace line has them, with the
    // map's boundary and the engine's camera between its state and its shots.
    std::string trace() const {
        TraceRecord record;
        m_pPlayer->addStateTrace(record);
        record.add("boundary", m_pMap->currentBoundaryIndex());
        SDL_Rect camera = gEngine->getCamera();
        record.beginArray("camera").item(camera.x).item(camera.y).endArray();
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
    // colour is at the middle of its picture, (x, y - 4).
    std::string sheetSeen() const {
        gEngine->clearScreen();
        m_pPlayer->draw();
        SDL_Rect camera = gEngine->getCamera();
        int x = static_cast<int>(testing_support::traceInt(trace(), "x") / PX) - camera.x;
        int y = static_cast<int>(testing_support::traceInt(trace(), "y") / PX) - 4 - camera.y;
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

// A floor under tile columns 0 to 9 only, and nothing below the screen.
std::vector<std::string> edgeScreen() {
    std::vector<std::string> rows(13, "................");
    rows.insert(rows.end(), 2, "##########......");
    return rows;
}

// A ladder in tile column `column` from tile row `top` to `bottom` (inclusive).
std::vector<std::string> withLadder(std::vector<std::string> rows, size_t column, size_t top,
                                    size_t bottom) {
    for (size_t row = top; row <= bottom; ++row) {
        rows[row][column] = 'H';
    }
    return rows;
}

// Two screens stacked, each its own boundary.
const std::vector<testing_support::LevelBoundary> TWO_STRIPS = {{0, 0, 256}, {0, 240, 256}};

std::vector<std::string> twoScreensDown(std::vector<std::string> upper) {
    std::vector<std::string> lower = flatScreen();
    upper.insert(upper.end(), lower.begin(), lower.end());
    return upper;
}

using KalvornRun = PlayerTest;

// The descent and its landing are the golden replays' checkpoints.
TEST_F(KalvornRun, StartsAtTheFirstBoundaryAndAHitEndsTheTeleportDescent) {
    load(flatScreen(), {{0, 0, 256}}, {"BoundingBox/width=16", "BoundingBox/height=24"});
    // fromParts(128, 0) and (4 + 248/256) px: the fraction does not move the box.
    play({{"", 0,
           "x=32768 y=1272 ySpeed=0 state=Teleporting mode=TELEPORTING response=STOP "
           "facing=RIGHT box=[120,-8,16,24] animation=7 invincible=0 camera=[0,0] "
           "shots=[[0,0,\"NONE\",false]," +
               EMPTY_SLOTS}});

    // Screen (1, 1) holds a ladder column under the start point x 384. Feet
    // (y + 11) and body (y - 4) are on it, the head (y - 12) is not; a speed
    // of 0 counts as rising here, so aboveNext is probed.
    load(withLadder(std::vector<std::string>(45, std::string(48, '.')), 24, 15, 29),
         {{256, 240, 256}, {0, 0, 768}});
    play({{"", 0, "x=98304 y=62712 boundary=0 camera=[0,240] ladder=6"}});

    load(flatScreen(), {{0, 0, 256}}, {}, 180);
    play({{"", 3, ""}, {"hit", 1, "state=Reeling mode=IN_AIR box=[119,39,15,23]"}});
}

TEST_F(KalvornRun, AcceleratesRunsTurnsAndDecelerates) {
    std::vector<std::string> rows;
    for (const std::string& row : flatScreen()) {
        rows.push_back(row + row);
    }
    load(rows, {{0, 0, 512}}, {"Durations/acceleratingPreviousAnimation=4"});
    arrive();
    play({{"+right", 4, "state=Accelerating xSpeed=128 x=33280 animation=0"},
          {"", 1, "x=33408 animation=1"},
          {"", 5, "state=Accelerating x=34048"},
          // The camera centres on the box: x 134 less 8, plus 7, less 128.
          {"", 1, "state=Running xSpeed=384 x=34432 animation=2 camera=[5,0]"},
          {"-right", 3, "state=Decelerating x=34624 animation=2"},
          {"", 1, "x=34688 animation=1"},
          {"", 2, "state=Decelerating x=34816"},
          {"", 1, "state=Standing xSpeed=0 x=34816"},
          // Reversing keeps the speed and the state, and its time.
          {"+right", 3, ""},
          {"+left", 1, "state=Accelerating stateTime=4 facing=LEFT x=35072"},
          {"-left", 7, "state=Running facing=RIGHT x=36224"},
          {"+left", 1, "state=Running facing=LEFT xSpeed=384 x=35840"},
          {"-left -right", 2, "state=Decelerating x=35712"},
          {"+right", 1, "state=Accelerating xSpeed=128 stateTime=1 facing=RIGHT"},
          // Shots vanish where the camera's view ends, which has moved.
          {"-right +left +b", 1, ""},
          {"-left -b", 40, "camera=[10,0] shots=[[0,192,\"LEFT\",false]," + EMPTY_SLOTS},
          {"+right +b", 1, ""},
          {"-right -b", 80, "camera=[11,0] shots=[[267,192,\"RIGHT\",false]," + EMPTY_SLOTS}});

    // Left out, acceleratingPreviousAnimation is 0.
    load(flatScreen());
    arrive();
    play({{"+right", 1, "animation=1"}, {"", 9, "state=Accelerating"}, {"", 1, "state=Running"}});
}

TEST_F(KalvornRun, AJumpIsCutShortOnlyAboveTheLimitBumpsItsHeadAndItsFallIsCapped) {
    load(flatScreen());
    arrive();
    play({{"+space", 1, "state=Airborne mode=IN_AIR response=BUMP ySpeed=1024 y=50176"},
          {"", 1, "y=49152 animation=3"},
          // 3.75 px per update cut to 1.
          {"-space", 1, "y=48896 ySpeed=192"},
          {"", 20, "state=Standing y=50176"},
          // Held until the speed is down to exactly jumpReleasedMax, 2 px
          // per update: letting go then changes nothing.
          {"+space", 9, "ySpeed=512"},
          {"-space", 1, "y=43264 ySpeed=448"},
          {"", 30, "state=Standing"},
          // Held for the whole jump: the fall reaches min, -3.5 px per
          // update, and gravity takes 0.25 more after the move.
          {"+space", 33, "state=Airborne ySpeed=-960"},
          {"", 1, "ySpeed=-960"},
          {"", 1, "state=Standing y=50176 xSpeed=0"}});

    std::vector<std::string> rows = flatScreen();
    rows[9] = "################"; // its bottom edge is y 159
    load(rows);
    arrive();
    play({{"+space", 8, "response=BUMP"},
          // The collision speed, then gravity.
          {"", 1, "box=[120,160,15,23] response=LAND state=Airborne y=44032 ySpeed=-320"},
          {"", 30, "state=Standing y=50176"}});
}

TEST_F(KalvornRun, SteersInTheAirAndLandsIntoARun) {
    load(flatScreen());
    arrive();
    play({{"+space", 2, "xSpeed=0"},
          // jumpAccelerating in the first held update, then jumping.
          {"+right", 1, "xSpeed=192 x=32960"},
          {"", 1, "xSpeed=320 x=33280"},
          {"-right", 1, "xSpeed=0 x=33280"},
          {"+left", 1, "facing=LEFT xSpeed=192 x=33088"},
          {"", 28, "state=Airborne"},
          {"", 1, "state=Running mode=ON_GROUND xSpeed=384 y=50176"}});
}

TEST_F(KalvornRun, WalksOffAnEdgeFallsOutAndRespawnsWithItsSpeed) {
    load(edgeScreen());
    arrive();
    // 10 updates accelerating to x 133, then running 1.5 px per update: at x
    // 169 the box's left column 161 has left the floor, and the fall takes
    // its first step at once.
    play({{"+right", 33, "state=Running"},
          {"", 1, "state=Airborne stateTime=1 x=43264 y=50432 ySpeed=-384 mode=IN_AIR animation=3"},
          {"", 12, "fallenOut=false"},
          // No transition where no screen is below.
          {"", 1, "fallenOut=true state=Airborne scrolling=false"},
          {"respawn", 0,
           "fallenOut=false x=32768 y=1272 ySpeed=0 box=[120,-8,15,23] state=Teleporting "
           "mode=TELEPORTING facing=RIGHT xSpeed=320 animation=7"}});

    // Faster than one tile: the walk-off takes the fall's first 20 px at
    // once, and the next move meets a clearance of 16 with nothing below and
    // "lands" in the air.
    load(edgeScreen(), {{0, 0, 256}},
         {"YSpeed/fallingInt=-20", "YSpeed/minInt=-20", "YSpeed/minFraction=0",
          "YSpeed/gravityFraction=0"});
    arrive();
    play({{"+right", 33, "state=Running y=50176"},
          {"", 1, "state=Airborne y=55296"},
          {"", 1, "state=Running mode=ON_GROUND y=59392"},
          {"", 1, "state=Airborne fallenOut=true y=64512"}});
}

TEST_F(KalvornRun, AHitRecoilsAtTheNextUpdateAndInvincibilityCountsContacts) {
    load(flatScreen());
    arrive();
    play({{"hit", 0, "state=Standing invincible=20 animation=6"},
          // Up by the reeling speed of 1.
          {"", 1,
           "state=Reeling mode=IN_AIR response=STOP facing=LEFT xSpeed=160 x=32608 y=49920 "
           "invincible=19"},
          // "reeling" 8: the handler, first run with a state time of 0, ends
          // the recoil when it sees 8, in the ninth update, standing while
          // still above the floor, so the same update's movement falls.
          {"", 7, "state=Reeling"},
          {"", 1, "state=Airborne facing=RIGHT xSpeed=0 x=31488"},
          {"", 10, "state=Standing y=50176"}});

    load(flatScreen(), {{0, 0, 256}}, {"Durations/invincible=2"});
    arrive();
    play({{"hit", 1, ""}, {"hit", 1, "state=Reeling stateTime=2 facing=LEFT invincible=0"}});
    // 0: every contact restarts the recoil, turning the player again (a
    // count of 1 is down to 0 by the next contact, as the first run shows).
    load(flatScreen(), {{0, 0, 256}}, {"Durations/invincible=0"});
    arrive();
    play({{"hit", 1, ""}, {"hit", 1, "state=Reeling stateTime=1 facing=RIGHT"}});
}

// ---- Ladders and transitions ---------------------------------------------

using KalvornLadder = PlayerTest;

TEST_F(KalvornLadder, GrabbingSnapsToTheTileCentreKeepingTheFractionAndTurns) {
    load(withLadder(flatScreen(), 2, 9, 12)); // x 32 to 47
    arrive();
    // The climb starts in the same update.
    play({{"+left", 67, "state=Running x=9600"},
          {"+up", 1,
           "x=10368 facing=RIGHT state=Climbing mode=ON_LADDER xSpeed=0 y=49792 "
           "box=[32,182,15,23]"}});
}

TEST_F(KalvornLadder, OnALadderTopTheReadoutShowsItUpDoesNothingAndDownStepsIntoTheLadder) {
    load(withLadder(flatScreen(), 8, 13, 14)); // under the start point x 128
    arrive();
    // The ladder's top carries the player, which sees only belowNext. Down
    // goes heightHalf 12 into it, then takes the first climbing step of 1.5.
    play({{"", 1, "y=50176 ladder=1"}});
    // The readout's glyph cells of 8 px: the last digits of y 196 and of the
    // ladder flags.
    gEngine->clearScreen();
    m_pPlayer->draw();
    SDL_Surface* pScreen = gEngine->getScreen();
    EXPECT_EQ(testing_support::cellOfColour(testing_support::pixelAt(pScreen, 33, 17)), 6);
    EXPECT_EQ(testing_support::cellOfColour(testing_support::pixelAt(pScreen, 33, 49)), 1);
    play({{"+up", 1, "state=Standing x=32768 facing=RIGHT"},
          {"-up +down", 1, "state=Climbing x=34816 y=53632 facing=LEFT"}});
}

TEST_F(KalvornLadder, OnALadderStandingOnTheFloorDownDoesNothingAndAClimbEndsOnTheFloor) {
    // Feet, body and head are all on the ladder, nothing below the feet.
    load(withLadder(flatScreen(), 8, 10, 12));
    arrive();
    play({{"", 1, "ladder=14"},
          {"+down", 1, "state=Standing x=32768 y=50176 facing=RIGHT"},
          {"-down +up", 1, "state=Climbing animation=4 x=34816 y=49792"},
          {"", 5, "y=47872"},
          {"-up", 1, "ySpeed=-64 y=47872"},
          // Six steps reach the floor exactly; the seventh meets it and lands.
          // The probe below looks 1.5 px on, down, into the floor's row: no
          // ladder there, though there is 1.5 px up.
          {"+down", 6, "state=Climbing y=50176 ladder=14"},
          {"", 1, "state=Standing mode=ON_GROUND facing=LEFT y=50176"}});
}

TEST_F(KalvornLadder, FallScrollingIgnoresHitsAndAPoseThatOutlastsItEndsRightAfter) {
    // A hole under the start point in the upper strip, a floor in the lower.
    std::vector<std::string> upper = flatScreen();
    upper[13][7] = upper[13][8] = upper[14][7] = upper[14][8] = '.';
    load(twoScreensDown(upper), TWO_STRIPS, {"Durations/shooting=30"});
    // The arrival falls through the hole under gravity, shooting, into the
    // bottom edge zone.
    const std::string shots = "shots=[[204,192,\"RIGHT\",true]," + EMPTY_SLOTS;
    play({{"", 13, "state=TeleportLanded"},
          {"+b", 1, "shooting=true"},
          {"-b", 16,
           "state=FallScrolling scrolling=true camera=[0,4] xSpeed=0 y=60280 shotTime=17 " + shots},
          {"hit", 1, "state=FallScrolling invincible=0 animation=8"},
          // Shots stand still during a transition, and the pose's count runs on.
          {"", 58, "state=FallScrolling camera=[0,240] y=64056 " + shots},
          // The new fall's first step.
          {"", 1,
           "state=Airborne scrolling=false boundary=1 camera=[0,240] y=64312 ySpeed=-320 "
           "animation=3 shooting=true shotTime=77"},
          {"", 1, "shooting=false"},
          {"", 80, "state=Standing y=111616 fallenOut=false"}});
}

// ---- Shots and drawing ---------------------------------------------------

using KalvornDraw = PlayerTest;

TEST_F(KalvornDraw, AFourthShotIsRefusedAndThePoseLastsItsCountOnTheFacingsSheet) {
    load(flatScreen());
    arrive();
    // From x + 8 and y - 4, moved once before it is drawn; a refused shot
    // does not restart the pose's count.
    play({{"+b", 1, "shots=[[140,192,\"RIGHT\",true]," + EMPTY_SLOTS},
          {"-b", 1, ""},
          {"+b", 1, ""},
          {"-b", 1, ""},
          {"+b", 1, "shotTime=1"},
          {"-b +left +b", 1,
           "facing=LEFT shooting=true shotTime=2 shots=[[160,192,\"RIGHT\",true],"
           "[152,192,\"RIGHT\",true],[144,192,\"RIGHT\",true]]"}});

    load(flatScreen());
    arrive();
    // Held b fires once.
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

    load(flatScreen(), {{0, 0, 256}}, {"Durations/shooting=0"});
    arrive();
    play({{"+b", 1, "shooting=false sheet=0 shots=[[140,192,\"RIGHT\",true]," + EMPTY_SLOTS}});
}

TEST_F(KalvornDraw, InvincibilityBlinksTwoFramesHiddenTwoShown) {
    load(flatScreen(), {{0, 0, 256}}, {"Durations/invincible=6"});
    arrive();
    // The recoil has turned the player: shown frames use the left sheet.
    play({{"hit", 0, "invincible=6 sheet=-"},
          {"", 1, "invincible=5 sheet=-"},
          {"", 1, "invincible=4 sheet=1"},
          {"", 1, "invincible=3 sheet=1"},
          {"", 1, "invincible=2 sheet=-"},
          {"", 1, "invincible=1 sheet=-"},
          {"", 1, "invincible=0 sheet=1"},
          {"", 1, "invincible=0 sheet=1"}});
}

// The file each refusal blames, and the start of its message ("" to skip).
TEST_F(KalvornRun, RefusesCharacterFilesItCannotUse) {
    load(flatScreen());
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
    EXPECT_THROW(Kalvorn("no-such-character.ini", m_pMap.get()), DataError);
    writeCharacter("onescroll.ini", {"Durations/scrolling=1"});
    EXPECT_NO_THROW(Kalvorn("onescroll.ini", m_pMap.get()));
}

} // namespace
