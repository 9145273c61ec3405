// The designer's loop through the real program: a level started with
// --watch is built again when one of its files changes, at the spot where
// the player was; a broken file keeps the running level and says why.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Waits up to `seconds` for the condition.
bool within(double seconds, const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Frames whose state is Teleporting after frames that were not: arrivals.
int arrivalsAfterTheFirst(const std::string& trace) {
    int arrivals = 0;
    std::string previous = "Teleporting";
    for (const std::string& line : traceLines(trace)) {
        std::string state = traceText(line, "state");
        arrivals += state == "Teleporting" && previous != "Teleporting" ? 1 : 0;
        previous = state;
    }
    return arrivals;
}

// Rebuilds a data folder's rockfall.map from its text with kcs-map: each
// row of the tile table goes through editRow with its number, and
// extraTiles is added to the tile codes.
RunResult rebuildRockfall(const std::string& data, const std::string& extraTiles,
                          const std::function<void(int, std::string&)>& editRow) {
    RunResult shown = runProgram(std::string(KCS_MAP_BINARY) + " show " + data + "/rockfall.map");
    if (shown.status != 0) {
        return shown;
    }
    std::istringstream source(shown.out);
    std::string edited;
    int row = -1;
    bool inMap = false;
    for (std::string line; std::getline(source, line);) {
        if (line == "absent ~") {
            edited += extraTiles;
        }
        if (inMap && !line.empty() && line[0] != ';') {
            editRow(++row, line);
        }
        inMap = inMap || line == "map";
        edited += line + "\n";
    }
    writeFile(data + "/edited.txt", edited);
    return runProgram(std::string(KCS_MAP_BINARY) + " build " + data + "/edited.txt " + data +
                      "/rockfall.map");
}

TEST(DesignerLoop, WatchReloadsOnSaveAndABrokenFileKeepsTheLevelRunning) {
    std::string data = scratchDir() + "/watched-data";
    fs::remove_all(data);
    fs::copy(KCS_DEMO_DATA, data, fs::copy_options::recursive);
    std::string trace = scratchDir() + "/watched.jsonl";
    std::string errors = scratchDir() + "/watched.err";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(KCS_BINARY, "kcs", "--headless", "--data", data.c_str(), "--level", "ROCKFALL",
              "--at", "300,2000", "--skip-ready", "--watch", "--frames", "100000000", "--trace",
              trace.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_TRUE(within(10, [&] { return traceLines(readFile(trace)).size() > 100; }));

    std::string levels = readFile(data + "/levels.ini");
    std::string broken = levels;
    broken.replace(broken.find("teleportStopPosY=164"), 20, "teleportStopPosY=163");
    writeFile(data + "/levels.ini", broken);
    EXPECT_TRUE(within(3, [&] {
        return readFile(errors).find("teleportStopPosY") != std::string::npos;
    })) << readFile(errors);
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "a broken file ended the session";
    EXPECT_EQ(arrivalsAfterTheFirst(readFile(trace)), 0);

    writeFile(data + "/levels.ini", levels);
    EXPECT_TRUE(within(3, [&] { return arrivalsAfterTheFirst(readFile(trace)) == 1; }));

    // The sounds are watched with the level, "sounds.ini" even when there
    // is none, and a bad one is refused like a bad level file.
    std::string soundsPath = data + "/sounds.ini";
    std::optional<std::string> sounds;
    if (fs::exists(soundsPath)) {
        sounds = readFile(soundsPath);
    }
    writeFile(soundsPath, "[Effects]\njump=lost.wav\n");
    EXPECT_TRUE(within(3, [&] {
        return readFile(errors).find("sounds.ini: [Effects] jump \"lost.wav\"") !=
               std::string::npos;
    })) << readFile(errors);
    EXPECT_EQ(arrivalsAfterTheFirst(readFile(trace)), 1);
    if (sounds) {
        writeFile(soundsPath, *sounds);
    } else {
        fs::remove(soundsPath);
    }
    EXPECT_TRUE(within(3, [&] { return arrivalsAfterTheFirst(readFile(trace)) == 2; }));

    // A map source edited and rebuilt with kcs-map: the floor under the spot
    // taken away, so the player comes down further than before.
    RunResult holed = rebuildRockfall(data, "", [](int row, std::string& line) {
        if (row >= 125 && row < 135) {
            line.replace(16, 5, ".....");
        }
    });
    ASSERT_EQ(holed.status, 0) << holed.err;
    constexpr size_t SETTLED = 90; // frames after an arrival
    EXPECT_TRUE(within(3, [&] { return arrivalsAfterTheFirst(readFile(trace)) == 3; }));
    std::vector<size_t> arrivals;
    ASSERT_TRUE(within(5, [&] {
        std::vector<std::string> lines = traceLines(readFile(trace));
        arrivals.clear();
        for (size_t i = 1; i < lines.size(); ++i) {
            if (traceText(lines[i], "state") == "Teleporting" &&
                traceText(lines[i - 1], "state") != "Teleporting") {
                arrivals.push_back(i);
            }
        }
        return arrivals.size() == 3 && lines.size() > arrivals[2] + SETTLED;
    }));
    std::vector<std::string> played = traceLines(readFile(trace));
    EXPECT_GT(traceInt(played[arrivals[2] + SETTLED], "y"),
              traceInt(played[arrivals[1] + SETTLED], "y"))
        << "the rebuilt map's hole does not show";
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    // The reloaded level brings the player back down at the spot it was.
    std::vector<std::string> lines = traceLines(readFile(trace));
    std::string previous;
    for (const std::string& line : lines) {
        if (traceText(line, "state") == "Teleporting" && previous != "Teleporting" &&
            !previous.empty()) {
            EXPECT_EQ(traceInt(line, "x"), 300 * 256);
            EXPECT_EQ(traceInt(line, "boundary"), 0);
        }
        previous = traceText(line, "state");
    }
}

TEST(DesignerLoop, CheckWarnsOfEachDesignMistakeByPlaceAndFix) {
    const std::string data = scratchDir() + "/warned-data";
    struct Case {
        std::string file, from, to; // one edit of the demo data (the first match)
        std::string warning;
    };
    const std::vector<Case> cases = {
        {"kalvorn1.ini", "runningInt=1", "runingInt=1",
         "kalvorn1.ini: [XSpeed] runingInt is not a key the game reads here; did you mean "
         "runningInt?"},
        {"kalvorn1.ini", "[XSpeed]", "[Xspeed]",
         "kalvorn1.ini: [Xspeed] is not a section the game reads; did you mean [XSpeed]?"},
        {"kalvorn1.ini", "runningInt=1", "runningInt = two",
         "kalvorn1.ini: [XSpeed] runningInt is \"two\", not a whole number; the game reads it "
         "as 0; write digits only"},
        {"levels.ini", "boundary1y=2160", "boundary1y=2176",
         "levels.ini: [ROCKFALL] boundary1y 2176 is not on a screen edge; use 2160 or 2400"},
        {"levels.ini", "boundary0w=1024", "boundary0w=2048",
         "levels.ini: [ROCKFALL] boundary0w 2048 reaches past the map's right edge at 1024 px; "
         "use at most 1024"},
        {"levels.ini", "teleportStopPosY=164", "teleportStopPosY=180",
         "levels.ini: [ROCKFALL] teleportStopPosY 180 puts the arrival inside a solid tile"},
        {"levels.ini", "boundary0y=1920", "boundary0y=0",
         "levels.ini: [ROCKFALL] no boundary holds the enemy"},
        {"levels.ini", "teleportStopPosY=164", "teleportStopPosY=2147483636",
         "levels.ini: [ROCKFALL] teleportStopPosY 2147483636 puts the stop at y 2147485556, past "
         "the 24 bits of a position's whole pixels: the game stops at y 1908 after 1048575 "
         "updates"},
        {"levels.ini", "teleportStopPosY=164", "teleportStopPosY=404",
         "levels.ini: [ROCKFALL] teleportStopPosY 404 stops the descent at y 2324, below "
         "boundary0 (y 1920 to 2159), after 25 updates; use 4 to 228"},
        {"levels.ini", "boundary2y=1680", "boundary2y=1920",
         "levels.ini: [ROCKFALL] boundary2 (0, 1920, 1024) is the same strip as boundary0 (0, "
         "1920, 1024), so it is never used"},
        {"levels.ini", "boundary1y=2160", "boundary1y=2040",
         "levels.ini: [ROCKFALL] boundary1 (0, 2040, 512) overlaps boundary0 (0, 1920, 1024)"},
        {"levels.ini", "boundary1x=0", "boundary1x=65536",
         "levels.ini: [ROCKFALL] boundary1x 65536 does not fit the 16 bits the game stores it "
         "in: the game uses 0; use -32768 to 32767"},
        {"kalvorn1.ini", "width=15", "width=65551",
         "kalvorn1.ini: [BoundingBox] width 65551 does not fit the 16 bits the game stores it in: "
         "the game uses 15; use 0 to 65535"},
        {"kalvorn1.ini", "runningInt=1", "runningInt=-2147483649",
         "kalvorn1.ini: [XSpeed] runningInt -2147483649 is beyond the 32-bit range; the game "
         "reads it as -2147483648"},
        {"kalvorn1.ini", "minInt=-7", "minInt=-20",
         "kalvorn1.ini: [YSpeed] minInt and minFraction make -20 px per update; keep every "
         "speed below 16"},
        {"kalvorn1.ini", "runningFraction=96", "runningFraction=352",
         "kalvorn1.ini: [XSpeed] runningFraction 352 is outside 0 to 255"},
        {"kalvorn1.ini", "height=22", "height=23",
         "kalvorn1.ini: [BoundingBox] yOffset -11 and height 23 put the box's bottom 12 px below "
         "the position; make it 11"},
        {"kalvorn1.ini", "width=15", "width=16",
         "kalvorn1.ini: [BoundingBox] width 16 reaches the column right of a ladder"},
    };
    const std::string check = std::string(KCS_BINARY) + " --check --data " + data;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        fs::remove_all(data);
        fs::copy(KCS_DEMO_DATA, data, fs::copy_options::recursive);
        std::string text = readFile(data + "/" + c.file);
        ASSERT_NE(text.find(c.from), std::string::npos);
        writeFile(data + "/" + c.file, text.replace(text.find(c.from), c.from.size(), c.to));
        RunResult result = runProgram(check);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find("kcs: warning: " + c.warning), std::string::npos) << result.err;
        EXPECT_EQ(runProgram(check + " --strict").status, 2);
        if (c.file == "levels.ini") {
            // The map tool checks a level on a map file with the same rules.
            const std::string mapCheck = std::string(KCS_MAP_BINARY) + " check " + data +
                                         "/rockfall.map --levels " + data +
                                         "/levels.ini --level ROCKFALL";
            RunResult onMap = runProgram(mapCheck);
            EXPECT_EQ(onMap.status, 0) << onMap.err;
            EXPECT_NE(onMap.err.find("kcs-map: warning: " + data + "/" + c.warning),
                      std::string::npos)
                << onMap.err;
            EXPECT_EQ(runProgram(mapCheck + " --strict").status, 2);
        }
    }

    // Mistakes in the map: the lower part of the left ladder one column to
    // the left from boundary 1 down, and a ladder tile given a solid byte.
    fs::remove_all(data);
    fs::copy(KCS_DEMO_DATA, data, fs::copy_options::recursive);
    RunResult built = rebuildRockfall(data, "tile X 5 solid\n", [](int row, std::string& line) {
        if (row >= 135 && line[3] == 'H') {
            std::swap(line[2], line[3]);
        }
        if (row == 130) {
            ASSERT_EQ(line[59], 'H');
            line[59] = 'X';
        }
    });
    ASSERT_EQ(built.status, 0) << built.err;
    RunResult onMap = runProgram(check);
    EXPECT_EQ(onMap.status, 0) << onMap.err;
    for (const char* warning :
         {"kcs: warning: levels.ini: [ROCKFALL] the ladder at tile row 134, column 3 ends at "
          "boundary0's bottom edge; continue it into the row below or a climb down stops there",
          "kcs: warning: levels.ini: [ROCKFALL] the ladder at tile row 135, column 2 ends at "
          "boundary1's top edge; continue it into the row above or a climb up stops there",
          "kcs: warning: levels.ini: [ROCKFALL] the map's ladder tile at tile row 130, column 59 "
          "is solid, so it is a wall; make it open"}) {
        EXPECT_NE(onMap.err.find(warning), std::string::npos) << warning << "\n" << onMap.err;
    }

    RunResult demo =
        runProgram(std::string(KCS_BINARY) + " --check --strict --data " + KCS_DEMO_DATA);
    EXPECT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(demo.err, "");
    for (const char* level : {"ROCKFALL", "STARFORGE"}) {
        std::string map = std::string(level) == "ROCKFALL" ? "rockfall" : "starforge";
        RunResult onMap =
            runProgram(std::string(KCS_MAP_BINARY) + " check " + KCS_DEMO_DATA + "/" + map +
                       ".map --strict --levels " + KCS_DEMO_DATA + "/levels.ini --level " + level);
        EXPECT_EQ(onMap.status, 0) << onMap.err;
        EXPECT_NE(onMap.out.find("; level " + std::string(level) + ": 0 warnings"),
                  std::string::npos)
            << onMap.out;
    }
}

TEST(DesignerLoop, TheCharacterReportMeasuresTheDemoCharactersWithTheGamesCode) {
    const std::string report =
        std::string(KCS_BINARY) + " --data " + KCS_DEMO_DATA + " --character-report ";
    RunResult kalvorn = runProgram(report + "kalvorn1.ini");
    ASSERT_EQ(kalvorn.status, 0) << kalvorn.err;
    // The speeds the file gives come back as the game reaches them:
    // runningInt 1 + runningFraction 96 / 256, climbingUpInt 1 +
    // climbingUpFraction 64 / 256.
    for (const char* line :
         {"  running: full speed 1.38 px per update", "  ladder: up 1.25 px per update",
          "  standing jump: 50 px high (3.1 tiles)",
          "  falling: 7.00 px per update at most (the terminal speed)"}) {
        EXPECT_NE(kalvorn.out.find(line), std::string::npos) << line << "\n" << kalvorn.out;
    }
    RunResult missing = runProgram(report + "nobody.ini");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("kcs: nobody.ini: cannot open it", 0), 0u) << missing.err;
}

} // namespace
