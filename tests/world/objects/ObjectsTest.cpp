// Objects a level places, played through the real kcs program on a level of
// one screen: a floor in tile rows 13 and 14 under columns 0 to 11 (a pit
// under 12 to 15), a wall of two tiles at column 2 above the floor, and the
// player arriving on the floor at x 128.
#include "support/MapFiles.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr long long PX = 256; // raw fixed-point units in a pixel

const char* const SPRITE = "[Spritesheets]\namount=1\nspritesheet0=thing.bmp\n"
                           "[Sprites]\namount=2\nwidth=16\nheight=16\nsprite0YPos=0\n"
                           "sprite1YPos=16\n[Animations]\namount=2\n"
                           "[Animation0]\nnFrames=1\nframe0SpriteIndex=0\nframe0Duration=1\n"
                           "[Animation1]\nnFrames=2\nframe0SpriteIndex=1\nframe0Duration=2\n"
                           "frame1SpriteIndex=0\nframe1Duration=2\n";

class ObjectsTest : public ::testing::Test {
protected:
    // A copy of the demo data whose level "Arena" holds the objects, each
    // "kind.ini x y"; kinds are "name.ini" and their [Object] keys etc.
    void SetUp() override {
        m_data = scratchDir() + "/objects-data";
        fs::remove_all(m_data);
        fs::copy(KCS_DEMO_DATA, m_data, fs::copy_options::recursive);
        MapBytes map(1, 1);
        for (int column = 0; column < 12; ++column) {
            map.tile(column, 13, 2, true).tile(column, 14, 2, true);
        }
        map.tile(2, 11, 2, true).tile(2, 12, 2, true);
        writeFile(m_data + "/Arena.map", map.bytes());
        writeTileSheet(m_data + "/Arena.bmp", 5);
        writeBmp(m_data + "/thing.bmp", 16, 32,
                 [](int, int y) { return y < 16 ? 0xC02020 : 0x20C020; });
        writeFile(m_data + "/stageselect.ini", "[Levels]\namount=1\nlevel0=Arena\n[Kalvorns]\n"
                                               "amount=1\nkalvorn0=hero.ini\nkalvorn0title=HERO\n");
        writeBmp(m_data + "/bolt.bmp", 4, 4, [](int, int) { return 0xF0F0F0; });
    }

    void kind(const std::string& name, const std::string& keys) {
        writeFile(m_data + "/" + name, keys + SPRITE);
    }

    // Plays the level from its start (no ready phase) with the replay's
    // events, for `frames` frames.
    Trace play(const std::vector<std::string>& objects, const std::string& replay, int frames,
               const std::string& characterKeys = "") {
        std::string keys = "objectAmount=" + std::to_string(objects.size()) + "\n";
        for (size_t i = 0; i < objects.size(); ++i) {
            std::string n = "object" + std::to_string(i);
            std::istringstream words(objects[i]);
            std::string file, x, y;
            words >> file >> x >> y;
            keys += n + "=" + file + "\n" + n + "x=" + x + "\n" + n + "y=" + y + "\n";
        }
        writeFile(m_data + "/levels.ini",
                  "[Common]\nreadyMessage=READY\nclearMessage=CLEAR\n[Arena]\ntileSheet=Arena.bmp\n"
                  "tileMap=Arena.map\nboundaries=1\nboundary0x=0\nboundary0y=0\nboundary0w=256\n"
                  "teleportStopPosY=196\n" +
                      keys);
        std::string character = readFile(KCS_DEMO_DATA "/kalvorn1.ini");
        writeFile(m_data + "/hero.ini", characterKeys + character);
        writeFile(m_data + "/run.replay", replay);
        RunResult run =
            runProgram(std::string(KCS_BINARY) + " --data " + m_data +
                       " --headless --mute --level Arena --character hero.ini "
                       "--skip-ready --frames " +
                       std::to_string(frames) + " --replay " + m_data + "/run.replay --trace -");
        EXPECT_EQ(run.status, 0) << run.err;
        return Trace(run.out);
    }

    std::string m_data;
};

// The members of object i in a frame: kind, x, y, state, hit points.
std::vector<std::string> object(const Trace& trace, size_t frame, size_t i) {
    std::string objects = traceField(trace.line(frame), "objects");
    size_t at = 0;
    for (size_t k = 0; k <= i; ++k) {
        at = objects.find('[', at + 1);
    }
    std::string entry = objects.substr(at + 1, objects.find(']', at) - at - 1);
    std::vector<std::string> members;
    for (size_t start = 0; start <= entry.size();) {
        size_t comma = std::min(entry.find(',', start), entry.size());
        std::string member = entry.substr(start, comma - start);
        member.erase(std::remove(member.begin(), member.end(), '"'), member.end());
        members.push_back(member);
        start = comma + 1;
    }
    return members;
}

long long objectX(const Trace& trace, size_t frame, size_t i) {
    return std::stoll(object(trace, frame, i)[1]);
}

bool soundIn(const Trace& trace, size_t frame, const std::string& sound) {
    return traceField(trace.line(frame), "sounds").find('"' + sound + '"') != std::string::npos;
}

} // namespace

// A walker turns at the wall and at the ledge, another at the wall and the
// map's edge; a hopper hops toward the player and lands; a flyer goes to its
// line's end and back, another swings up and down its wave's height.
TEST_F(ObjectsTest, MoversTurnHopAndFlyAgainstTheMap) {
    kind("walker.ini", "[Object]\nbehaviour=walker\ncontactDamage=0\n[Behaviour]\nspeedInt=2\n"
                       "gravityFraction=64\nmaxFallInt=4\n");
    kind("hopper.ini", "[Object]\nbehaviour=hopper\ncontactDamage=0\nfacing=left\n"
                       "[Behaviour]\ninterval=20\njumpXInt=1\njumpYInt=3\ngravityFraction=128\n"
                       "maxFallInt=6\n");
    kind("flyer.ini", "[Object]\nbehaviour=flyer\ncontactDamage=0\n[Behaviour]\npathX=32\n"
                      "speedInt=1\n");
    kind("wave.ini", "[Object]\nbehaviour=flyer\ncontactDamage=0\n[Behaviour]\npath=wave\n"
                     "pathY=8\nperiod=64\n");
    kind("stroller.ini", "[Object]\nbehaviour=walker\ncontactDamage=0\nfacing=right\n"
                         "[Behaviour]\nspeedInt=1\ngravityFraction=64\n");
    Trace trace = play({"walker.ini 80 192", "hopper.ini 60 192", "flyer.ini 60 40",
                        "wave.ini 200 40", "stroller.ini 0 192"},
                       "", 300);
    ASSERT_EQ(trace.frames(), 300u);
    // The least and the greatest of an object's x (member 1) or y (2), px.
    auto range = [&](size_t i, size_t member) {
        std::pair<long long, long long> seen{LLONG_MAX, LLONG_MIN};
        for (size_t f = 0; f < trace.frames(); ++f) {
            long long value = std::stoll(object(trace, f, i)[member]) / PX;
            seen = {std::min(seen.first, value), std::max(seen.second, value)};
        }
        return seen;
    };
    using Range = std::pair<long long, long long>;
    // The wall's right edge is at 48; the floor ends at 192, so the box's
    // left edge turns at 176.
    EXPECT_EQ(range(0, 1), Range(48, 176));
    EXPECT_EQ(range(2, 1), Range(60, 92));
    EXPECT_EQ(range(2, 2), Range(40, 40));
    EXPECT_EQ(range(3, 1), Range(200, 200));
    EXPECT_EQ(range(3, 2), Range(32, 48));
    EXPECT_EQ(range(4, 1), Range(0, 16));
    bool landed = false; // after a hop, on the floor, nearer the player
    for (size_t f = 1; f < trace.frames(); ++f) {
        landed =
            landed ||
            (object(trace, f - 1, 1)[3] == "Hopping" && object(trace, f, 1)[3] == "Idle" &&
             object(trace, f, 1)[2] == std::to_string(192 * PX) && objectX(trace, f, 1) > 60 * PX);
    }
    EXPECT_TRUE(landed);
}

// Two shots defeat an object of 2 hit points: its defeat plays and it is
// gone; a turret's shots take the player's health; at 0 the player starts
// again and every object is back, whole.
TEST_F(ObjectsTest, ShotsDefeatHealthRunsOutAndEverythingStartsAgain) {
    kind("target.ini", "[Object]\nbehaviour=stationary\nhitPoints=2\ncontactDamage=0\n");
    kind("turret.ini", "[Object]\nbehaviour=turret\n[Behaviour]\ninterval=40\nshotSpeedInt=3\n"
                       "[Shot]\nspritesheet=bolt.bmp\n");
    Trace trace = play({"target.ini 160 192", "turret.ini 64 192"},
                       "30 b down\n31 b up\n40 b down\n41 b up\n", 400, "[Health]\nhitPoints=2\n");
    ASSERT_EQ(trace.frames(), 400u);
    size_t defeated = 0;
    size_t restarted = 0;
    bool shotFlew = false;
    long long lowestHealth = 2;
    for (size_t f = 1; f < trace.frames(); ++f) {
        if (defeated == 0 && soundIn(trace, f, "defeat")) {
            defeated = f;
            EXPECT_EQ(object(trace, f, 0)[3], "Defeated");
            EXPECT_EQ(object(trace, f, 0)[4], "0");
            EXPECT_EQ(object(trace, f - 1, 0)[4], "1");
        }
        shotFlew = shotFlew || traceField(trace.line(f), "objectShots") != "[]";
        if (restarted == 0 && trace.number(f, "ready") != 0) {
            restarted = f;
        }
        if (restarted == 0) {
            lowestHealth = std::min(lowestHealth, trace.number(f, "health"));
            // A shot is spent on the player it hurts (one flies at a time).
            if (trace.number(f, "health") < trace.number(f - 1, "health")) {
                EXPECT_EQ(traceField(trace.line(f), "objectShots"), "[]") << "frame " << f;
            }
        }
    }
    ASSERT_NE(defeated, 0u);
    EXPECT_EQ(object(trace, defeated + 6, 0)[3], "Gone");
    EXPECT_TRUE(shotFlew);
    EXPECT_EQ(lowestHealth, 0);
    ASSERT_NE(restarted, 0u);
    EXPECT_TRUE(soundIn(trace, restarted, "fallOut"));
    EXPECT_EQ(trace.number(restarted, "health"), 2);
    EXPECT_EQ(object(trace, restarted, 0)[3], "Idle");
    EXPECT_EQ(object(trace, restarted, 0)[4], "2");
}

// Touching the exit clears the level: the jingle, everything held for the
// clear's count, then the stage select. A game of this one-screen level
// alone is sound to the strictest check, without the fixed enemy's file.
TEST_F(ObjectsTest, TheExitClearsTheLevelAndReturnsToTheStageSelect) {
    kind("exit.ini", "[Object]\nbehaviour=exit\n");
    Trace trace = play({"exit.ini 170 192"}, "20 right down\n", 260);
    size_t touched = 0;
    for (size_t f = 0; f < trace.frames() && touched == 0; ++f) {
        touched = soundIn(trace, f, "clear") ? f : 0;
    }
    ASSERT_NE(touched, 0u);
    EXPECT_EQ(trace.number(touched, "cleared"), 180);
    EXPECT_EQ(trace.number(touched + 179, "cleared"), 1);
    EXPECT_EQ(trace.number(touched + 179, "x"), trace.number(touched, "x"));
    EXPECT_EQ(trace.text(touched + 180, "screen"), "select");
    // The level is starred as cleared.
    EXPECT_EQ(traceField(trace.line(touched + 180), "cleared"), "[0]");

    fs::remove(m_data + "/enemy.ini");
    RunResult check =
        runProgram(std::string(KCS_BINARY) + " --data " + m_data + " --check --strict");
    EXPECT_EQ(check.status, 0) << check.err;
}
