// Golden replays: the demo game played through the real kcs program from
// the replays in tests/replays, checked at the frames where the levels'
// features show in the trace. The frame numbers were read off the traces of
// these replays on the demo data; a change of the game's rules or of the
// demo levels that moves them fails here and names the frame.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// The demo data's values these checkpoints rest on.
constexpr int SCROLLING_UPDATES = 60; // "scrolling" of both characters
constexpr int CAMERA_STEP = 4;        // px per transition update
constexpr int INVINCIBLE = 60;        // "invincible" of both characters
constexpr int READY_FRAMES = 180;
constexpr long long ONE_PIXEL = 256; // raw fixed-point units
constexpr long long TELEPORT_STEP = 16 * ONE_PIXEL;
constexpr long long START_X = 128 * ONE_PIXEL; // first boundary x 0 + 128
constexpr long long STEP_TOP_Y = 2084;         // first boundary y 1920 + teleportStopPosY 164

std::string replayPath(const std::string& name) {
    return std::string(KCS_SOURCE_DIR) + "/tests/replays/" + name;
}

// One run of the program, its trace indexed by frame.
class Trace {
public:
    Trace() = default;
    Trace(const RunResult& result)
        : m_status(result.status), m_err(result.err), m_lines(traceLines(result.out)) {}

    int status() const { return m_status; }
    const std::string& err() const { return m_err; }
    size_t frames() const { return m_lines.size(); }
    const std::vector<std::string>& lines() const { return m_lines; }

    const std::string& line(size_t frame) const {
        static const std::string none;
        return frame < m_lines.size() ? m_lines[frame] : none;
    }
    std::string text(size_t frame, const char* name) const { return traceText(line(frame), name); }
    long long number(size_t frame, const char* name) const { return traceInt(line(frame), name); }
    bool flag(size_t frame, const char* name) const { return text(frame, name) == "true"; }
    std::string state(size_t frame) const { return text(frame, "state"); }
    // The integers of an array member such as "camera" or "box".
    std::vector<long long> numbers(size_t frame, const char* name) const {
        std::vector<long long> values;
        std::string raw = text(frame, name);
        const char* p = raw.c_str();
        while (*p != '\0') {
            if (*p == '-' || (*p >= '0' && *p <= '9')) {
                char* end = nullptr;
                values.push_back(std::strtoll(p, &end, 10));
                p = end;
            } else {
                ++p;
            }
        }
        return values;
    }
    long long cameraY(size_t frame) const {
        std::vector<long long> camera = numbers(frame, "camera");
        return camera.size() == 2 ? camera[1] : -1;
    }
    // The shots as text, one entry per slot ("[x,y,\"RIGHT\",true]").
    std::vector<std::string> shots(size_t frame) const {
        std::vector<std::string> slots;
        std::string raw = text(frame, "shots");
        size_t at = 1;
        while ((at = raw.find('[', at)) != std::string::npos) {
            size_t end = raw.find(']', at);
            slots.push_back(raw.substr(at, end - at + 1));
            at = end;
        }
        return slots;
    }
    long activeShots(size_t frame) const {
        std::vector<std::string> slots = shots(frame);
        return std::count_if(slots.begin(), slots.end(), [](const std::string& slot) {
            return slot.find("true") != slot.npos;
        });
    }

private:
    int m_status = -1;
    std::string m_err;
    std::vector<std::string> m_lines;
};

std::string runCommand(const std::string& replay, int frames, const std::string& extra = "") {
    return std::string(KCS_BINARY) + " --headless --data " + KCS_DEMO_DATA + " --replay " + replay +
           " --trace - --frames " + std::to_string(frames) + extra;
}

// Each golden replay is run once and shared by the tests that read it.
const Trace& golden(const std::string& name, int frames) {
    static std::map<std::string, Trace> runs;
    auto found = runs.find(name);
    if (found == runs.end()) {
        found = runs.emplace(name, Trace(runProgram(runCommand(replayPath(name), frames)))).first;
    }
    return found->second;
}

const Trace& rockfallKalvorn() {
    return golden("rockfall-kalvorn.txt", 1470);
}
const Trace& starforgeVessa() {
    return golden("starforge-vessa.txt", 1900);
}
const Trace& rockfallVessa() {
    return golden("rockfall-vessa.txt", 1600);
}

void expectRanToTheEnd(const Trace& trace, size_t frames) {
    ASSERT_EQ(trace.status(), 0) << trace.err();
    ASSERT_EQ(trace.frames(), frames);
}

// A vertical screen transition whose first update is frame `first`: the
// camera moves CAMERA_STEP px per update in `direction` (+1 down, -1 up) for
// SCROLLING_UPDATES updates, the boundary changes only when it ends, and
// the player goes on in `after`.
void expectTransition(const Trace& trace, size_t first, const char* scrolling, long long from,
                      long long to, long long direction, const char* after) {
    SCOPED_TRACE("transition starting in frame " + std::to_string(first));
    EXPECT_NE(trace.state(first - 1), scrolling);
    long long startY = trace.cameraY(first - 1);
    EXPECT_EQ(trace.number(first - 1, "boundary"), from);
    for (size_t f = first; f < first + SCROLLING_UPDATES; ++f) {
        long long moved = static_cast<long long>(f - first + 1) * CAMERA_STEP;
        ASSERT_EQ(trace.state(f), scrolling) << "frame " << f;
        EXPECT_TRUE(trace.flag(f, "scrolling")) << "frame " << f;
        EXPECT_EQ(trace.cameraY(f), startY + direction * moved) << "frame " << f;
        EXPECT_EQ(trace.number(f, "boundary"), from) << "frame " << f;
    }
    size_t end = first + SCROLLING_UPDATES;
    EXPECT_EQ(trace.state(end), after);
    EXPECT_FALSE(trace.flag(end, "scrolling"));
    EXPECT_EQ(trace.number(end, "boundary"), to);
    EXPECT_EQ(trace.cameraY(end), startY + direction * 240);
}

// After a fall-out in frame `out`: the level restarts in the next update
// with the ready phase, the player teleporting at the start with the
// horizontal speed it fell with.
void expectRespawn(const Trace& trace, size_t out, long long xSpeed) {
    SCOPED_TRACE("fall-out in frame " + std::to_string(out));
    EXPECT_FALSE(trace.flag(out - 1, "fallenOut"));
    EXPECT_TRUE(trace.flag(out, "fallenOut"));
    EXPECT_EQ(trace.number(out, "ready"), 0);
    EXPECT_EQ(trace.number(out, "xSpeed"), xSpeed);
    for (size_t f = out + 1; f <= out + READY_FRAMES; ++f) {
        ASSERT_EQ(trace.number(f, "ready"), static_cast<long long>(out + READY_FRAMES - f))
            << "frame " << f;
        EXPECT_EQ(trace.state(f), "Teleporting") << "frame " << f;
        EXPECT_FALSE(trace.flag(f, "fallenOut")) << "frame " << f;
        EXPECT_EQ(trace.number(f, "xSpeed"), xSpeed) << "frame " << f;
        EXPECT_EQ(trace.number(f, "x"), START_X) << "frame " << f;
        EXPECT_EQ(trace.number(f, "boundary"), 0) << "frame " << f;
        EXPECT_EQ(trace.cameraY(f), 1920) << "frame " << f;
    }
}

// The descent from the first boundary's top + 4 in steps of 16 px from the
// first play update `first`, the stop at the step's top and the landing.
void expectTeleportArrival(const Trace& trace, size_t first, size_t landed, size_t standing,
                           const std::vector<long long>& standingBox) {
    EXPECT_EQ(trace.number(first - 1, "ready"), 0);
    EXPECT_EQ(trace.number(first - 1, "y") / ONE_PIXEL, 1924);
    for (size_t f = first; f < landed; ++f) {
        EXPECT_EQ(trace.state(f), "Teleporting") << "frame " << f;
        EXPECT_EQ(trace.text(f, "mode"), "TELEPORTING") << "frame " << f;
        EXPECT_EQ(trace.number(f, "y") - trace.number(f - 1, "y"), TELEPORT_STEP) << "frame " << f;
    }
    EXPECT_EQ(trace.number(landed - 1, "y") / ONE_PIXEL, STEP_TOP_Y);
    for (size_t f = landed; f < standing; ++f) {
        EXPECT_EQ(trace.state(f), "TeleportLanded") << "frame " << f;
        EXPECT_EQ(trace.text(f, "mode"), "IN_AIR") << "frame " << f;
    }
    EXPECT_EQ(trace.state(standing), "Standing");
    EXPECT_EQ(trace.text(standing, "mode"), "ON_GROUND");
    EXPECT_EQ(trace.number(standing, "y"), STEP_TOP_Y * ONE_PIXEL);
    EXPECT_EQ(trace.numbers(standing, "box"), standingBox);
}

// A hit: contact after the movement of frame `hit` sets the blinking count,
// the recoil starts in the next update, turned round, and the count runs
// down by one per update to 0.
void expectHit(const Trace& trace, size_t hit, long long reelingSpeed, const char* facingAfter,
               size_t recoilUpdates) {
    SCOPED_TRACE("hit in frame " + std::to_string(hit));
    EXPECT_EQ(trace.number(hit - 1, "invincible"), 0);
    EXPECT_EQ(trace.number(hit, "invincible"), INVINCIBLE);
    std::vector<long long> box = trace.numbers(hit, "box");
    ASSERT_EQ(box.size(), 4u);
    // The enemy's box is (112, 2104, 16, 8).
    EXPECT_TRUE(box[0] < 128 && 112 < box[0] + box[2] && box[1] < 2112 && 2104 < box[1] + box[3]);
    for (size_t f = hit + 1; f < hit + 1 + recoilUpdates; ++f) {
        EXPECT_EQ(trace.state(f), "Reeling") << "frame " << f;
        EXPECT_EQ(trace.text(f, "facing"), facingAfter) << "frame " << f;
        EXPECT_EQ(trace.number(f, "xSpeed"), reelingSpeed) << "frame " << f;
    }
    EXPECT_NE(trace.state(hit + 1 + recoilUpdates), "Reeling");
    for (size_t f = hit + 1; f <= hit + INVINCIBLE; ++f) {
        EXPECT_EQ(trace.number(f, "invincible"), INVINCIBLE - static_cast<long long>(f - hit))
            << "frame " << f;
    }
}

// A jump whose head meets a ceiling in frame `bump`: the rising jump turns
// into a fall at once, the box's top on the ceiling's bottom edge.
void expectHeadBump(const Trace& trace, size_t bump, long long ceilingBottom) {
    EXPECT_EQ(trace.state(bump - 1), "Airborne");
    EXPECT_EQ(trace.text(bump - 1, "response"), "BUMP");
    EXPECT_GT(trace.number(bump - 1, "ySpeed"), 0);
    EXPECT_EQ(trace.text(bump, "response"), "LAND");
    EXPECT_LE(trace.number(bump, "ySpeed"), 0);
    EXPECT_EQ(trace.numbers(bump, "box").at(1), ceilingBottom);
}

} // namespace

TEST(GoldenDemoData, TheCheckFindsTheDemoDataSound) {
    RunResult result = runProgram(std::string(KCS_BINARY) + " --check --data " + KCS_DEMO_DATA);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("the data is sound (2 levels, 2 characters)"), std::string::npos)
        << result.out;
}

// ---- ROCKFALL with KALVORN ------------------------------------------------

TEST(GoldenRockfallKalvorn, RunsToTheEnd) {
    expectRanToTheEnd(rockfallKalvorn(), 1470);
}

TEST(GoldenRockfallKalvorn, TheMenuPicksTheLevelThenTheCharacter) {
    const Trace& t = rockfallKalvorn();
    EXPECT_EQ(t.text(1, "screen"), "select");
    EXPECT_FALSE(t.flag(1, "choosingCharacter"));
    EXPECT_TRUE(t.flag(2, "choosingCharacter"));
    EXPECT_EQ(t.number(2, "levelIndex"), 0);
    EXPECT_TRUE(t.flag(5, "switchRequested"));
    EXPECT_EQ(t.number(5, "characterIndex"), 0);
    EXPECT_EQ(t.text(6, "screen"), "level");
    EXPECT_EQ(t.number(6, "ready"), READY_FRAMES - 1);
    EXPECT_EQ(t.number(185, "ready"), 0);
}

TEST(GoldenRockfallKalvorn, TheTeleportLandsOnTheBrickStep) {
    const Trace& t = rockfallKalvorn();
    expectTeleportArrival(t, 186, 196, 201, {120, 2073, 15, 22});
    EXPECT_EQ(t.number(201, "x"), START_X);
}

TEST(GoldenRockfallKalvorn, WalkingOffTheStepOntoTheThornbugRecoils) {
    const Trace& t = rockfallKalvorn();
    EXPECT_EQ(t.state(228), "Airborne");
    EXPECT_EQ(t.text(228, "facing"), "LEFT");
    expectHit(t, 229, 128, "RIGHT", 16);
    EXPECT_EQ(t.state(246), "Standing");
    EXPECT_EQ(t.text(246, "facing"), "LEFT");
}

TEST(GoldenRockfallKalvorn, ClimbsDownIntoTheGrotto) {
    const Trace& t = rockfallKalvorn();
    // Down on the ladder top: the player is snapped to the ladder column.
    EXPECT_EQ(t.state(309), "Standing");
    EXPECT_EQ(t.state(310), "Climbing");
    EXPECT_EQ(t.number(310, "x") / ONE_PIXEL, 56);
    expectTransition(t, 342, "LadderScrolling", 0, 1, +1, "Climbing");
    EXPECT_EQ(t.state(541), "Standing");
    EXPECT_EQ(t.number(541, "y"), 2340 * ONE_PIXEL);
    EXPECT_EQ(t.number(541, "boundary"), 1);
}

TEST(GoldenRockfallKalvorn, ClimbsBackUpToTheValley) {
    const Trace& t = rockfallKalvorn();
    EXPECT_EQ(t.state(560), "Climbing");
    expectTransition(t, 700, "LadderScrolling", 1, 0, -1, "Climbing");
    // Over the ladder top onto the valley floor (top at y 2112).
    EXPECT_EQ(t.state(788), "Climbing");
    EXPECT_EQ(t.state(789), "Standing");
    EXPECT_EQ(t.number(789, "y"), 2100 * ONE_PIXEL);
    EXPECT_EQ(t.number(789, "boundary"), 0);
}

TEST(GoldenRockfallKalvorn, JumpsOverTheThornbugUnhurt) {
    const Trace& t = rockfallKalvorn();
    for (size_t f = 832; f <= 869; ++f) {
        EXPECT_EQ(t.number(f, "invincible"), 0) << "frame " << f;
    }
    EXPECT_EQ(t.state(869), "Running");
    EXPECT_EQ(t.number(869, "y") / ONE_PIXEL, STEP_TOP_Y);
}

TEST(GoldenRockfallKalvorn, BumpsTheTunnelRoof) {
    expectHeadBump(rockfallKalvorn(), 1046, 2064);
}

TEST(GoldenRockfallKalvorn, FallsOutThroughTheWellAndKeepsItsSpeed) {
    const Trace& t = rockfallKalvorn();
    EXPECT_EQ(t.state(1259), "Airborne");
    EXPECT_EQ(t.number(1259, "boundary"), 0);
    expectRespawn(t, 1260, 352);
    // The kept speed carries the player on as soon as the descent ends.
    EXPECT_EQ(t.state(1451), "TeleportLanded");
    EXPECT_EQ(t.number(1451, "x"), START_X + 352);
    EXPECT_EQ(t.state(1456), "Running");
}

// ---- STARFORGE with VESSA -------------------------------------------------

TEST(GoldenStarforgeVessa, RunsToTheEnd) {
    expectRanToTheEnd(starforgeVessa(), 1900);
}

TEST(GoldenStarforgeVessa, TheMenuPicksTheSecondLevelAndCharacter) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.number(3, "levelIndex"), 1);
    EXPECT_FALSE(t.flag(4, "choosingCharacter"));
    EXPECT_TRUE(t.flag(5, "choosingCharacter"));
    EXPECT_EQ(t.number(9, "characterIndex"), 1);
    EXPECT_TRUE(t.flag(11, "switchRequested"));
    EXPECT_EQ(t.text(12, "screen"), "level");
    EXPECT_EQ(t.number(12, "ready"), READY_FRAMES - 1);
}

TEST(GoldenStarforgeVessa, TheTeleportLandsOnTheMetalStep) {
    expectTeleportArrival(starforgeVessa(), 192, 202, 205, {120, 2075, 15, 20});
}

TEST(GoldenStarforgeVessa, ThreeShotsFlyAndAFourthIsRefused) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.activeShots(214), 0);
    EXPECT_EQ(t.activeShots(215), 1);
    EXPECT_EQ(t.activeShots(219), 2);
    EXPECT_EQ(t.activeShots(223), 3);
    EXPECT_TRUE(t.flag(223, "shooting"));
    EXPECT_EQ(t.number(223, "shotTime"), 1);
    // Each new shot starts at the muzzle and moves 4 px in its first update.
    EXPECT_EQ(t.shots(223).at(2), "[143,2082,\"RIGHT\",true]");
    // The fourth b in frame 227: no slot restarts and the pose keeps counting.
    ASSERT_EQ(t.activeShots(226), 3);
    EXPECT_EQ(t.shots(227),
              (std::vector<std::string>{"[191,2082,\"RIGHT\",true]", "[175,2082,\"RIGHT\",true]",
                                        "[159,2082,\"RIGHT\",true]"}));
    EXPECT_EQ(t.shots(226),
              (std::vector<std::string>{"[187,2082,\"RIGHT\",true]", "[171,2082,\"RIGHT\",true]",
                                        "[155,2082,\"RIGHT\",true]"}));
    EXPECT_EQ(t.number(226, "shotTime"), 4);
    EXPECT_EQ(t.number(227, "shotTime"), 5);
    EXPECT_EQ(t.activeShots(227), 3);
}

TEST(GoldenStarforgeVessa, DropsDownTheShaftIntoTheCellar) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.state(308), "Airborne");
    expectTransition(t, 309, "FallScrolling", 0, 3, +1, "Airborne");
    for (size_t f = 309; f < 369; ++f) {
        EXPECT_EQ(t.number(f, "xSpeed"), 0) << "frame " << f;
    }
    EXPECT_EQ(t.state(416), "Running");
    EXPECT_EQ(t.number(416, "y"), 2340 * ONE_PIXEL);
    EXPECT_EQ(t.number(416, "boundary"), 3);
}

TEST(GoldenStarforgeVessa, ClimbsFromTheCellarToTheForge) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.state(460), "Climbing");
    expectTransition(t, 576, "LadderScrolling", 3, 0, -1, "Climbing");
    EXPECT_EQ(t.state(658), "Standing");
    EXPECT_EQ(t.number(658, "y"), 2100 * ONE_PIXEL);
}

TEST(GoldenStarforgeVessa, BumpsThePress) {
    expectHeadBump(starforgeVessa(), 822, 2064);
}

TEST(GoldenStarforgeVessa, ClimbsTheTowerToTheRoof) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.state(1000), "Climbing");
    expectTransition(t, 1116, "LadderScrolling", 0, 1, -1, "Climbing");
    EXPECT_EQ(t.state(1220), "Standing");
    EXPECT_EQ(t.number(1220, "y"), 1828 * ONE_PIXEL);
    EXPECT_EQ(t.state(1303), "Climbing");
    expectTransition(t, 1398, "LadderScrolling", 1, 2, -1, "Climbing");
    EXPECT_EQ(t.state(1480), "Standing");
    EXPECT_EQ(t.number(1480, "y"), 1620 * ONE_PIXEL);
    EXPECT_EQ(t.cameraY(1480), 1440);
}

TEST(GoldenStarforgeVessa, FallsOutOffTheRoofAndKeepsItsSpeed) {
    const Trace& t = starforgeVessa();
    EXPECT_EQ(t.number(1655, "boundary"), 2);
    expectRespawn(t, 1656, 512);
    EXPECT_EQ(t.state(1847), "TeleportLanded");
    EXPECT_EQ(t.state(1850), "Running");
}

// ---- ROCKFALL with VESSA --------------------------------------------------

TEST(GoldenRockfallVessa, RunsToTheEnd) {
    expectRanToTheEnd(rockfallVessa(), 1600);
}

TEST(GoldenRockfallVessa, TheMenuPicksTheFirstLevelAndTheSecondCharacter) {
    const Trace& t = rockfallVessa();
    EXPECT_EQ(t.number(3, "levelIndex"), 0);
    EXPECT_EQ(t.number(6, "characterIndex"), 1);
    EXPECT_EQ(t.text(9, "screen"), "level");
}

TEST(GoldenRockfallVessa, TheTeleportLandsOnTheBrickStep) {
    expectTeleportArrival(rockfallVessa(), 189, 199, 206, {120, 2075, 15, 20});
}

TEST(GoldenRockfallVessa, ClimbsTheCliffToTheHeights) {
    const Trace& t = rockfallVessa();
    // Up while running grabs the ladder and turns the player round.
    EXPECT_EQ(t.state(627), "Running");
    EXPECT_EQ(t.state(628), "Climbing");
    EXPECT_EQ(t.text(628, "facing"), "LEFT");
    EXPECT_EQ(t.number(628, "x") / ONE_PIXEL, 952);
    expectTransition(t, 744, "LadderScrolling", 0, 2, -1, "Climbing");
    EXPECT_EQ(t.state(848), "Standing");
    EXPECT_EQ(t.number(848, "y"), 1828 * ONE_PIXEL);
}

TEST(GoldenRockfallVessa, DropsOffTheBridgeBackIntoTheValley) {
    const Trace& t = rockfallVessa();
    EXPECT_EQ(t.state(1307), "Airborne");
    expectTransition(t, 1336, "FallScrolling", 2, 0, +1, "Airborne");
    EXPECT_EQ(t.state(1443), "Running");
    EXPECT_EQ(t.number(1443, "y"), 2100 * ONE_PIXEL);
    EXPECT_EQ(t.number(1443, "boundary"), 0);
}

TEST(GoldenRockfallVessa, RunsIntoTheThornbugAndRecoils) {
    const Trace& t = rockfallVessa();
    EXPECT_EQ(t.text(1506, "facing"), "RIGHT");
    expectHit(t, 1507, 192, "LEFT", 12);
}

// ---- Recording -------------------------------------------------------------

TEST(GoldenRecording, ARecordingOfAReplayPlaysTheSameGame) {
    const std::string recording = scratchDir() + "/golden-recording.txt";
    std::remove(recording.c_str());
    Trace first(
        runProgram(runCommand(replayPath("rockfall-kalvorn.txt"), 1470, " --record " + recording)));
    ASSERT_EQ(first.status(), 0) << first.err();
    ASSERT_EQ(first.frames(), 1470u);
    Trace again(runProgram(runCommand(recording, 1470)));
    ASSERT_EQ(again.status(), 0) << again.err();
    ASSERT_EQ(again.frames(), first.frames());
    for (size_t f = 0; f < first.frames(); ++f) {
        ASSERT_EQ(again.line(f), first.line(f)) << "frame " << f;
    }
    // And both are the golden run.
    EXPECT_EQ(first.lines(), rockfallKalvorn().lines());
}

// ---- Starting in a level ---------------------------------------------------

// Without its "frame" member, so traces that start at other frames compare.
std::string withoutFrame(const std::string& line) {
    size_t comma = line.find(',');
    return comma == std::string::npos ? line : line.substr(comma);
}

TEST(GoldenStartInLevel, ALevelStartedByNamePlaysAsFromTheMenuFromTheSwitchOn) {
    constexpr int SWITCH_FRAME = 6;
    const Trace& menu = rockfallKalvorn();
    ASSERT_EQ(menu.text(SWITCH_FRAME, "screen"), "level");
    ASSERT_EQ(menu.text(SWITCH_FRAME - 1, "screen"), "select");
    // The golden replay's level events, moved to the frames they fall on
    // when the game starts in the level.
    std::string shifted;
    std::string events = readFile(replayPath("rockfall-kalvorn.txt"));
    size_t start = 0;
    while (start < events.size()) {
        size_t end = events.find('\n', start);
        std::string event = events.substr(start, end - start);
        start = end == std::string::npos ? events.size() : end + 1;
        if (!event.empty() && event[0] != '#' && std::stoll(event) >= SWITCH_FRAME) {
            shifted += std::to_string(std::stoll(event) - SWITCH_FRAME) +
                       event.substr(event.find(' ')) + "\n";
        }
    }
    std::string replay = scratchDir() + "/rockfall-in-level.txt";
    writeFile(replay, shifted);
    int frames = static_cast<int>(menu.frames()) - SWITCH_FRAME;
    Trace direct(runProgram(runCommand(replay, frames, " --level ROCKFALL")));
    expectRanToTheEnd(direct, static_cast<size_t>(frames));
    for (size_t f = 0; f < direct.frames(); ++f) {
        ASSERT_EQ(withoutFrame(direct.line(f)), withoutFrame(menu.line(f + SWITCH_FRAME)))
            << "frame " << f;
    }
}

TEST(GoldenStartInLevel, SkipReadyAndArrivalSpotsAndNamesAreChecked) {
    std::string none = scratchDir() + "/no-events.txt";
    writeFile(none, "");
    Trace vessa(runProgram(
        runCommand(none, 3, " --level STARFORGE --character kalvorn2.ini --skip-ready")));
    expectRanToTheEnd(vessa, 3);
    EXPECT_EQ(vessa.number(0, "ready"), 0);
    EXPECT_EQ(vessa.text(0, "state"), "Teleporting");
    EXPECT_GT(vessa.number(1, "y"), vessa.number(0, "y")) << "the teleport moves from frame 1";

    // In the grotto, boundary 1 (y 2160 to 2400): the teleport comes down
    // from its top in 16 px steps and stops on the last one above y 2300.
    Trace grotto(runProgram(runCommand(none, 40, " --level ROCKFALL --at 100,2300 --skip-ready")));
    expectRanToTheEnd(grotto, 40);
    EXPECT_EQ(grotto.number(0, "boundary"), 1);
    EXPECT_EQ(grotto.number(0, "y") / ONE_PIXEL, 2164);
    size_t landed = 0;
    while (landed < grotto.frames() && grotto.state(landed) == "Teleporting") {
        ++landed;
    }
    ASSERT_LT(landed, grotto.frames());
    EXPECT_EQ(grotto.number(landed, "y") / ONE_PIXEL, 2292);
    EXPECT_EQ(grotto.number(39, "x"), 100 * ONE_PIXEL);
    EXPECT_EQ(grotto.state(39), "Standing");
    RunResult nowhere = runProgram(runCommand(none, 3, " --level ROCKFALL --at 5000,100"));
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_NE(nowhere.err.find("--at 5000,100 is in none of the boundaries of [ROCKFALL]"),
              std::string::npos)
        << nowhere.err;

    RunResult unknown = runProgram(runCommand(none, 3, " --level NOWHERE"));
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "kcs: levels.ini: no level [NOWHERE] for --level; the levels are: "
                           "ROCKFALL, STARFORGE\n");
}

TEST(GoldenStartInLevel, TheOverlayShowsTheBoxesAndChangesNothingElse) {
    std::string none = scratchDir() + "/no-events.txt";
    writeFile(none, "");
    std::string plainShot = scratchDir() + "/plain.bmp";
    std::string overlaidShot = scratchDir() + "/overlaid.bmp";
    std::string start = " --level ROCKFALL --skip-ready --screenshot 59:";
    Trace plain(runProgram(runCommand(none, 60, start + plainShot)));
    Trace overlaid(runProgram(runCommand(none, 60, start + overlaidShot + " --overlay")));
    expectRanToTheEnd(overlaid, 60);
    EXPECT_EQ(overlaid.lines(), plain.lines());

    SDL_Surface* pPlain = SDL_LoadBMP(plainShot.c_str());
    SDL_Surface* pOverlaid = SDL_LoadBMP(overlaidShot.c_str());
    ASSERT_TRUE(pPlain != nullptr && pOverlaid != nullptr);
    // The player's box, from the trace, outlined in its colour.
    std::vector<long long> box = overlaid.numbers(59, "box");
    std::vector<long long> camera = overlaid.numbers(59, "camera");
    ASSERT_EQ(box.size(), 4u);
    int left = static_cast<int>(box[0] - camera[0]);
    int top = static_cast<int>(box[1] - camera[1]);
    int right = left + static_cast<int>(box[2]) - 1;
    int bottom = top + static_cast<int>(box[3]) - 1;
    for (auto [x, y] : {std::pair{left, top}, std::pair{right, bottom}, std::pair{left, bottom}}) {
        EXPECT_EQ(pixelAt(pOverlaid, x, y), 0x40FF40u) << x << "," << y;
        EXPECT_NE(pixelAt(pPlain, x, y), 0x40FF40u) << x << "," << y;
    }
    // Away from everything the overlay marks, the picture is the game's.
    EXPECT_EQ(pixelAt(pOverlaid, 128, 100), pixelAt(pPlain, 128, 100));
    SDL_FreeSurface(pPlain);
    SDL_FreeSurface(pOverlaid);
}

// ---- Sounds ----------------------------------------------------------------

// Every sound a run raised, as "frame name", in order.
std::vector<std::string> soundsOf(const Trace& trace) {
    std::vector<std::string> sounds;
    for (size_t f = 0; f < trace.frames(); ++f) {
        std::string list = trace.text(f, "sounds");
        EXPECT_EQ(list.front(), '[') << "frame " << f << ": " << list;
        for (size_t open = list.find('"'); open != std::string::npos;) {
            size_t close = list.find('"', open + 1);
            sounds.push_back(std::to_string(f) + " " + list.substr(open + 1, close - open - 1));
            open = list.find('"', close + 1);
        }
    }
    return sounds;
}

int shotsInFlight(const Trace& trace, size_t frame) {
    std::string shots = trace.text(frame, "shots");
    int count = 0;
    for (size_t at = shots.find("true]"); at != std::string::npos;
         at = shots.find("true]", at + 1)) {
        ++count;
    }
    return count;
}

// Each sound is raised at the update of its event, as the trace shows it.
void expectSoundsAtTheirEvents(const Trace& t, const std::vector<std::string>& expected) {
    std::vector<std::string> sounds = soundsOf(t);
    EXPECT_EQ(sounds, expected);
    for (const std::string& sound : sounds) {
        size_t f = std::stoul(sound);
        std::string name = sound.substr(sound.find(' ') + 1);
        SCOPED_TRACE(sound);
        if (name == "jump") {
            EXPECT_EQ(t.state(f), "Airborne");
            EXPECT_GT(t.number(f, "ySpeed"), 0);
            EXPECT_NE(t.state(f - 1), "Airborne");
        } else if (name == "land") {
            EXPECT_EQ(t.state(f - 1), "Airborne");
            EXPECT_TRUE(t.state(f) == "Standing" || t.state(f) == "Running") << t.state(f);
        } else if (name == "shoot") {
            EXPECT_EQ(shotsInFlight(t, f), shotsInFlight(t, f - 1) + 1);
        } else if (name == "hurt") {
            EXPECT_EQ(t.number(f - 1, "invincible"), 0);
            EXPECT_EQ(t.number(f, "invincible"), 60);
        } else if (name == "teleport") {
            EXPECT_EQ(t.state(f - 1), "Teleporting");
            EXPECT_EQ(t.state(f), "TeleportLanded");
        } else if (name == "fallOut") {
            EXPECT_TRUE(t.flag(f - 1, "fallenOut"));
            EXPECT_EQ(t.state(f), "Teleporting");
        } else if (name == "menuMove") {
            EXPECT_NE(t.number(f, "levelIndex") + t.number(f, "characterIndex"),
                      t.number(f - 1, "levelIndex") + t.number(f - 1, "characterIndex"));
        } else if (name == "menuConfirm") {
            EXPECT_TRUE(t.flag(f, "choosingCharacter") || t.flag(f, "switchRequested"));
        } else {
            ADD_FAILURE() << "unexpected sound";
        }
    }
}

TEST(GoldenSounds, EachSoundIsRaisedAtTheUpdateOfItsEvent) {
    expectSoundsAtTheirEvents(rockfallKalvorn(),
                              {"2 menuConfirm", "5 menuConfirm", "196 teleport", "229 hurt",
                               "832 jump", "869 land", "909 land", "1040 jump", "1060 land",
                               "1214 jump", "1261 fallOut", "1451 teleport"});
    expectSoundsAtTheirEvents(rockfallVessa(), {"2 menuConfirm", "5 menuMove", "8 menuConfirm",
                                                "199 teleport", "259 land", "458 jump", "504 land",
                                                "531 land", "1443 land", "1507 hurt", "1527 land"});
    expectSoundsAtTheirEvents(starforgeVessa(),
                              {"2 menuMove", "5 menuConfirm", "8 menuMove", "11 menuConfirm",
                               "202 teleport", "215 shoot", "219 shoot", "223 shoot", "246 jump",
                               "416 land", "686 jump", "723 land", "742 land", "815 jump",
                               "839 land", "1657 fallOut", "1847 teleport", "1886 land"});
}

TEST(GoldenSounds, TheMenuGoesBackAndPausingSoundsOnceAndNothingPlaysWhilePaused) {
    std::string replay = scratchDir() + "/back-and-pause.txt";
    // Confirm the level, go back, confirm both; in the level pause, step
    // once with Tab, and resume.
    writeFile(replay, "1 b down\n2 b up\n4 space down\n5 space up\n7 b down\n8 b up\n"
                      "10 b down\n11 b up\n300 enter down\n301 enter up\n303 tab down\n"
                      "304 tab up\n306 enter down\n307 enter up\n");
    Trace t(runProgram(runCommand(replay, 320)));
    expectRanToTheEnd(t, 320);
    size_t arrival = 12;
    while (arrival < t.frames() && t.state(arrival) != "TeleportLanded") {
        ++arrival;
    }
    EXPECT_EQ(soundsOf(t), (std::vector<std::string>{
                               "1 menuConfirm", "4 menuBack", "7 menuConfirm", "10 menuConfirm",
                               std::to_string(arrival) + " teleport", "300 pause"}));
    EXPECT_TRUE(t.flag(300, "paused"));
    EXPECT_TRUE(t.flag(305, "paused"));
    EXPECT_FALSE(t.flag(306, "paused"));
}
