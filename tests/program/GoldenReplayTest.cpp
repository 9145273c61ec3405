// Golden replays: the classic demo game (one fixed thornbug, no health)
// and a win of the demo game's ROCKFALL, played through the real kcs
// program from the replays in tests/replays and one beside this file,
// checked at the frames where the levels' features show in the trace. The
// frame numbers were read off the traces of these replays; a change of the
// game's rules or of those levels that moves them fails here and names the
// frame.
#include "engine/Bitmap.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

constexpr long long ONE_PIXEL = 256;                // raw fixed-point units
constexpr long long TELEPORT_STEP = 16 * ONE_PIXEL; // per update
constexpr int SCROLLING_UPDATES = 60;               // "scrolling" of both characters
constexpr int CAMERA_STEP = 4;                      // px per transition update
constexpr int SCREEN_HEIGHT = 240;                  // px

// The golden replays, in the source folder. The last one plays nothing but
// the menu's way back and a pause, so it stays out of tests/replays, whose
// replays the benchmark plays.
const char* const KALVORN = "tests/replays/rockfall-kalvorn.txt";
const char* const STARFORGE = "tests/replays/starforge-vessa.txt";
const char* const WIN = "tests/replays/rockfall-win.txt";
const char* const PAUSE = "tests/program/menu-back-and-pause.replay";

// A whole-pixel position as the trace writes it.
std::string px(long long pixels) {
    return std::to_string(pixels * ONE_PIXEL);
}

// A headless run of the classic data (or another), tracing to standard
// output; without a replay when it is "".
std::string runCommand(const std::string& replay, size_t frames, const std::string& extra = "",
                       const char* data = KCS_CLASSIC_DATA) {
    return std::string(KCS_BINARY) + " --headless --data " + data +
           (replay.empty() ? "" : " --replay " + replay) + " --trace - --frames " +
           std::to_string(frames) + extra;
}

struct GoldenRun {
    const char* replay;
    size_t frames;
    std::vector<std::string> sounds; // every sound raised, as "frame name"
    const char* data = KCS_CLASSIC_DATA;
};

const std::vector<GoldenRun> GOLDEN_RUNS = {
    {KALVORN,
     1470,
     {"2 menuConfirm", "5 menuConfirm", "196 teleport", "229 hurt", "832 jump", "869 land",
      "909 land", "1040 jump", "1060 land", "1214 jump", "1261 fallOut", "1451 teleport"}},
    {STARFORGE,
     1900,
     {"2 menuMove", "5 menuConfirm", "8 menuMove", "11 menuConfirm", "202 teleport", "215 shoot",
      "219 shoot", "223 shoot", "246 jump", "416 land", "686 jump", "723 land", "742 land",
      "815 jump", "839 land", "1657 fallOut", "1847 teleport", "1886 land"}},
    {PAUSE,
     320,
     {"1 menuConfirm", "4 menuBack", "7 menuConfirm", "10 menuConfirm", "201 teleport",
      "300 pause"}},
    {WIN,
     2160,
     {"2 menuConfirm", "5 menuConfirm",   "196 teleport", "267 land",    "268 shoot",
      "272 shoot",     "278 defeat",      "605 jump",     "642 land",    "643 jump",
      "684 land",      "702 land",        "703 shoot",    "707 shoot",   "711 shoot",
      "712 defeat",    "1281 enemyShoot", "1300 shoot",   "1304 shoot",  "1308 shoot",
      "1328 jump",     "1367 land",       "1370 shoot",   "1387 defeat", "1728 shoot",
      "1731 defeat",   "1840 shoot",      "1844 shoot",   "1864 defeat", "1954 clear"},
     KCS_DEMO_DATA},
};

std::string recordingOf(const std::string& replay) {
    return scratchDir() + "/recorded-" + std::filesystem::path(replay).filename().string();
}

// Each golden replay is run once, its input recorded, and its trace shared
// by the tests that read it.
const Trace& golden(const std::string& replay) {
    static std::map<std::string, Trace> traces;
    auto found = traces.find(replay);
    if (found == traces.end()) {
        auto run = std::find_if(GOLDEN_RUNS.begin(), GOLDEN_RUNS.end(),
                                [&](const GoldenRun& r) { return r.replay == replay; });
        RunResult result =
            runProgram(runCommand(std::string(KCS_SOURCE_DIR) + "/" + replay, run->frames,
                                  " --record " + recordingOf(replay), run->data));
        EXPECT_EQ(result.status, 0) << replay << ": " << result.err;
        found = traces.emplace(replay, Trace(result.out)).first;
    }
    return found->second;
}

// Every sound a run raised, as "frame name", in order.
std::vector<std::string> soundsOf(const Trace& trace) {
    std::vector<std::string> sounds;
    for (size_t f = 0; f < trace.frames(); ++f) {
        // ["jump","land"] read as words.
        std::string list = trace.text(f, "sounds");
        std::replace_if(
            list.begin(), list.end(), [](unsigned char c) { return !std::isalnum(c); }, ' ');
        std::istringstream names(list);
        for (std::string name; names >> name;) {
            sounds.push_back(std::to_string(f) + " " + name);
        }
    }
    return sounds;
}

// The members' values over frames first to last: the same text in each
// frame (strings without their quotes), or numbers changing by step per
// update.
struct Checkpoint {
    const char* replay;
    size_t first;
    size_t last;
    std::vector<std::pair<const char*, std::string>> members;
    long long step = 0;
};

const std::vector<Checkpoint> CHECKPOINTS = {
    // ROCKFALL with KALVORN: the level starts with the ready phase, then the
    // teleport comes down from the first boundary's top + 4 px in 16 px
    // steps, its box left at the start until it lands, and lands on the
    // brick step's top (y 2084).
    {KALVORN, 6, 185, {{"ready", "179"}}, -1},
    {KALVORN, 185, 195, {{"y", "492792"}}, TELEPORT_STEP},
    {KALVORN, 185, 195, {{"state", "Teleporting"}, {"box", "[120,1913,15,22]"}}},
    {KALVORN, 196, 196, {{"state", "TeleportLanded"}, {"mode", "IN_AIR"}, {"animation", "8"}}},
    {KALVORN, 196, 196, {{"response", "LAND"}, {"box", "[120,2073,15,22]"}, {"ySpeed", "128"}}},
    {KALVORN, 201, 201, {{"state", "Standing"}, {"y", px(2084)}, {"box", "[120,2073,15,22]"}}},
    // Off the step onto the thornbug (box 112, 2104, 16, 8): the blinking
    // count starts on contact and runs down; the recoil, turned round,
    // starts in the next update, and the standing after it lands again.
    {KALVORN, 229, 289, {{"invincible", "60"}}, -1},
    {KALVORN, 230, 245, {{"state", "Reeling"}, {"facing", "RIGHT"}, {"xSpeed", "128"}}},
    {KALVORN, 246, 246, {{"state", "Standing"}, {"facing", "LEFT"}, {"response", "LAND"}}},
    // Down the ladder (its column at x 56) into the grotto and back up onto
    // the valley floor (top at y 2112); a jump over the thornbug unhurt. The
    // grab turns the player and keeps the fraction of x (61.125 to 56.125
    // px), and the ladder's top between feet and head shows its own pose.
    {KALVORN, 310, 310, {{"state", "Climbing"}, {"x", "14368"}, {"facing", "RIGHT"}}},
    {KALVORN, 311, 320, {{"animation", "5"}}},
    {KALVORN, 541, 541, {{"state", "Standing"}, {"y", px(2340)}}},
    {KALVORN, 789, 789, {{"state", "Standing"}, {"y", px(2100)}}},
    {KALVORN, 832, 869, {{"invincible", "0"}}},
    // The head meets the tunnel roof: the rising jump, whose state time
    // counts from the jump in frame 1040, turns into a fall at once, the
    // box's top on the roof's bottom edge (y 2064).
    {KALVORN, 1045, 1045, {{"response", "BUMP"}, {"ySpeed", "928"}, {"stateTime", "6"}}},
    {KALVORN, 1046, 1046, {{"response", "LAND"}, {"ySpeed", "-64"}, {"box", "[379,2064,15,22]"}}},
    // Out through the well: the level restarts with the ready phase, the
    // player teleporting at the start with the speed it fell with, which
    // carries it on (x 128 + 352 raw) as soon as the descent ends; the
    // landing starts a state time of its own.
    {KALVORN, 1260, 1260, {{"fallenOut", "true"}, {"ready", "0"}}},
    {KALVORN, 1260, 1452, {{"xSpeed", "352"}}},
    {KALVORN, 1261, 1440, {{"ready", "179"}}, -1},
    {KALVORN, 1261, 1440, {{"fallenOut", "false"}, {"boundary", "0"}, {"camera", "[0,1920]"}}},
    {KALVORN, 1261, 1450, {{"state", "Teleporting"}, {"x", px(128)}}},
    {KALVORN, 1451, 1451, {{"state", "TeleportLanded"}, {"x", "33120"}, {"stateTime", "1"}}},

    // STARFORGE with VESSA: the second level and character, the teleport
    // onto the metal step, three shots from the muzzle each moving 4 px an
    // update, and a fourth b in frame 227 that restarts no slot while the
    // pose goes on.
    {STARFORGE, 205, 205, {{"state", "Standing"}, {"box", "[120,2075,15,20]"}}},
    {STARFORGE, 223, 227, {{"shotTime", "1"}}, 1},
    {STARFORGE,
     227,
     227,
     {{"shots",
       "[[191,2082,\"RIGHT\",true],[175,2082,\"RIGHT\",true],[159,2082,\"RIGHT\",true]]"}}},
    // Down the shaft into the cellar without drifting sideways, up to the
    // forge, and up the tower to the roof two screens up.
    {STARFORGE, 309, 368, {{"xSpeed", "0"}}},
    {STARFORGE, 416, 416, {{"state", "Running"}, {"y", px(2340)}}},
    {STARFORGE, 658, 658, {{"state", "Standing"}, {"y", px(2100)}}},
    {STARFORGE, 1480, 1480, {{"state", "Standing"}, {"y", px(1620)}, {"camera", "[512,1440]"}}},

    // ROCKFALL won unhurt, its five defeats among the sounds above: the
    // exit pad touched, the clear counts down with the player held, then the
    // stage select, ROCKFALL starred.
    {WIN, 1954, 2133, {{"cleared", "180"}}, -1},
    {WIN, 1954, 2133, {{"state", "Running"}, {"x", "23424"}, {"health", "8"}}},
    {WIN, 2134, 2159, {{"screen", "select"}, {"cleared", "[0]"}}},

    // The pause holds the game; Tab steps it by one update.
    {PAUSE, 300, 302, {{"paused", "true"}, {"stateTime", "94"}}},
    {PAUSE, 303, 303, {{"paused", "false"}, {"stateTime", "95"}}},
};

// A vertical screen transition whose first update is frame `first`: the
// camera moves CAMERA_STEP px per update (down for +1, up for -1) for
// SCROLLING_UPDATES updates, the boundary changes only when it ends, and
// the player goes on in `after`.
struct Transition {
    const char* replay;
    size_t first;
    const char* scrolling;
    long long from;
    long long to;
    long long direction;
    const char* after;
};

const std::vector<Transition> TRANSITIONS = {
    {KALVORN, 342, "LadderScrolling", 0, 1, +1, "Climbing"},
    {KALVORN, 700, "LadderScrolling", 1, 0, -1, "Climbing"},
    {STARFORGE, 309, "FallScrolling", 0, 3, +1, "Airborne"},
    {STARFORGE, 576, "LadderScrolling", 3, 0, -1, "Climbing"},
};

TEST(GoldenReplays, RunToTheEndRaisingEachSoundInTheUpdateOfItsEvent) {
    for (const GoldenRun& run : GOLDEN_RUNS) {
        SCOPED_TRACE(run.replay);
        EXPECT_EQ(golden(run.replay).frames(), run.frames);
        EXPECT_EQ(soundsOf(golden(run.replay)), run.sounds);
    }
}

TEST(GoldenReplays, EachCheckpointHoldsItsValue) {
    for (const Checkpoint& c : CHECKPOINTS) {
        const Trace& trace = golden(c.replay);
        for (const auto& [member, value] : c.members) {
            for (size_t f = c.first; f <= c.last; ++f) {
                long long updates = static_cast<long long>(f - c.first);
                std::string expected =
                    c.step == 0 ? value : std::to_string(std::stoll(value) + c.step * updates);
                ASSERT_EQ(trace.text(f, member), expected)
                    << c.replay << " frame " << f << ": " << member;
            }
        }
    }
}

TEST(GoldenReplays, EachScreenTransitionScrollsTheCameraThenChangesTheBoundary) {
    for (const Transition& t : TRANSITIONS) {
        SCOPED_TRACE(std::string(t.replay) + ": transition from frame " + std::to_string(t.first));
        const Trace& trace = golden(t.replay);
        long long startY = trace.numbers(t.first - 1, "camera").at(1);
        EXPECT_NE(trace.text(t.first - 1, "state"), t.scrolling);
        for (size_t f = t.first; f <= t.first + SCROLLING_UPDATES; ++f) {
            long long updates = static_cast<long long>(f - t.first + 1);
            bool scrolling = updates <= SCROLLING_UPDATES;
            SCOPED_TRACE("frame " + std::to_string(f));
            ASSERT_EQ(trace.text(f, "state"), scrolling ? t.scrolling : t.after);
            EXPECT_EQ(trace.text(f, "scrolling"), scrolling ? "true" : "false");
            EXPECT_EQ(trace.number(f, "boundary"), scrolling ? t.from : t.to);
            EXPECT_EQ(trace.numbers(f, "camera")[1],
                      startY + t.direction * std::min(updates * CAMERA_STEP, 1LL * SCREEN_HEIGHT));
        }
    }
}

// Without its "frame" member, so traces that start at other frames compare.
std::string withoutFrame(const std::string& line) {
    return line.substr(std::min(line.find(','), line.size()));
}

// The recording of a golden replay plays the same game. The replay's level
// started by name plays as from the switch to it in frame 6 on, up to the
// replay's first key in the level, in frame 210.
TEST(GoldenReplays, ARecordingAndALevelStartedByNamePlayAsTheReplay) {
    constexpr size_t SWITCH_FRAME = 6;
    constexpr size_t FIRST_KEY_FRAME = 210;
    const Trace& menu = golden(KALVORN);
    Trace recorded(runProgram(runCommand(recordingOf(KALVORN), menu.frames())).out);
    EXPECT_EQ(recorded.lines(), menu.lines());
    size_t frames = FIRST_KEY_FRAME - SWITCH_FRAME;
    Trace inLevel(runProgram(runCommand("", frames, " --level ROCKFALL")).out);
    ASSERT_EQ(inLevel.frames(), frames);
    for (size_t f = 0; f < frames; ++f) {
        ASSERT_EQ(withoutFrame(inLevel.line(f)), withoutFrame(menu.line(f + SWITCH_FRAME)))
            << "frame " << f;
    }
}

TEST(GoldenReplays, ALevelStartsAsAskedAndItsOverlayShowsTheBoxAndChangesNothingElse) {
    // In the grotto, boundary 1 (y 2160 to 2400), with the second character
    // and no ready phase: the teleport comes down from the strip's top in
    // 16 px steps from frame 1 and stops on the last one above y 2300.
    std::string start = " --level ROCKFALL --character kalvorn2.ini --at 100,2300 --skip-ready";
    std::string plainShot = scratchDir() + "/plain.bmp";
    std::string markedShot = scratchDir() + "/marked.bmp";
    Trace grotto(runProgram(runCommand("", 40, start + " --screenshot 39:" + plainShot)).out);
    Trace marked(
        runProgram(runCommand("", 40, start + " --overlay --screenshot 39:" + markedShot)).out);
    ASSERT_EQ(grotto.frames(), 40u);
    EXPECT_EQ(marked.lines(), grotto.lines());
    EXPECT_EQ(grotto.number(0, "ready"), 0);
    EXPECT_EQ(grotto.number(0, "boundary"), 1);
    EXPECT_EQ(grotto.number(0, "y") / ONE_PIXEL, 2164);
    // Eight steps down to y 2292, the last above 2300, and the landing.
    EXPECT_EQ(grotto.text(9, "state"), "TeleportLanded");
    EXPECT_EQ(grotto.number(39, "x"), 100 * ONE_PIXEL);
    std::vector<long long> box = grotto.numbers(39, "box");
    std::vector<long long> camera = grotto.numbers(39, "camera");
    ASSERT_EQ(box.size(), 4u);
    EXPECT_EQ(box[3], 20) << "not the second character's box";

    // The overlay outlines the player's box in its colour; away from
    // everything it marks, the picture is the game's.
    Surface plain = readBitmap(gEngine->files(), plainShot);
    Surface overlaid = readBitmap(gEngine->files(), markedShot);
    int left = static_cast<int>(box[0] - camera[0]);
    int top = static_cast<int>(box[1] - camera[1]);
    int right = left + static_cast<int>(box[2]) - 1;
    int bottom = top + static_cast<int>(box[3]) - 1;
    for (auto [x, y] : {std::pair{left, top}, std::pair{right, bottom}, std::pair{left, bottom}}) {
        EXPECT_EQ(pixelAt(overlaid.get(), x, y), 0x40FF40u) << x << "," << y;
        EXPECT_NE(pixelAt(plain.get(), x, y), 0x40FF40u) << x << "," << y;
    }
    EXPECT_EQ(pixelAt(overlaid.get(), 128, 100), pixelAt(plain.get(), 128, 100));
}

} // namespace
