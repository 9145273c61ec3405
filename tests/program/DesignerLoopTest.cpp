// The designer's loop through the real programs: a level started with
// --watch is built again when one of its files or sources changes, at the
// spot where the player was, and a broken file keeps the running level and
// says why;
// the check warns of design mistakes; a command it cannot carry out is
// refused with one line.
#include "support/Programs.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string DATA = KCS_DEMO_DATA;
const std::string KCS = KCS_BINARY;
const std::string MAP_TOOL = KCS_MAP_BINARY;

// A fresh copy of the demo data (or another) in the scratch folder.
std::string demoCopy(const std::string& name, const std::string& from = DATA) {
    std::string data = scratchDir() + "/" + name;
    fs::remove_all(data);
    fs::copy(from, data, fs::copy_options::recursive);
    return data;
}

// Waits for the condition, long enough for a loaded machine: a run that
// passes waits only as long as it must.
bool eventually(const std::function<bool()>& condition) {
    constexpr double LIMIT = 60; // s
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(LIMIT);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// The frames where the player starts teleporting again: each reload's.
std::vector<size_t> reloads(const Trace& trace) {
    std::vector<size_t> frames;
    for (size_t f = 1; f < trace.frames(); ++f) {
        if (trace.text(f, "state") == "Teleporting" &&
            trace.text(f - 1, "state") != "Teleporting") {
            frames.push_back(f);
        }
    }
    return frames;
}

// A map text with each row of its tile table gone through editRow with its
// number, and extraTiles added to the tile codes.
std::string editedMap(const std::string& text, const std::string& extraTiles,
                      const std::function<void(int, std::string&)>& editRow) {
    std::istringstream source(text);
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
    return edited;
}

// Rebuilds a data folder's rockfall.map from its text with kcs-map, edited.
RunResult rebuildRockfall(const std::string& data, const std::string& extraTiles,
                          const std::function<void(int, std::string&)>& editRow) {
    RunResult shown = runProgram(MAP_TOOL + " show " + data + "/rockfall.map");
    if (shown.status != 0) {
        return shown;
    }
    writeFile(data + "/edited.txt", editedMap(shown.out, extraTiles, editRow));
    return runProgram(MAP_TOOL + " build " + data + "/edited.txt " + data + "/rockfall.map");
}

std::string mapCheck(const std::string& data) {
    return MAP_TOOL + " check " + data + "/rockfall.map --levels " + data +
           "/levels.ini --level ROCKFALL";
}

// On the classic data, whose player stands where it arrives: the demo's
// objects would knock it about and restart the level between reloads.
TEST(DesignerLoop, WatchReloadsOnSaveAndABrokenFileKeepsTheLevelRunning) {
    std::string data = demoCopy("watched-data", KCS_CLASSIC_DATA);
    std::string sources = scratchDir() + "/watched-sources";
    fs::remove_all(sources);
    fs::copy(std::string(KCS_SOURCE_DIR) + "/data", sources, fs::copy_options::recursive);
    std::string trace = scratchDir() + "/watched.jsonl";
    std::string errors = scratchDir() + "/watched.err";
    // Paced, as a designer plays it: unpaced, the trace would grow by
    // megabytes a second and reading it would outlast the reloads on a
    // loaded machine. Muted: no sound device is opened, the sounds are
    // still loaded.
    pid_t child = startProgram({KCS, "--mute", "--data", data, "--sources", sources, "--level",
                                "ROCKFALL", "--at", "300,2000", "--skip-ready", "--watch",
                                "--frames", "100000000", "--trace", trace},
                               "/dev/null", errors);
    ASSERT_TRUE(eventually([&] { return Trace(readFile(trace)).frames() > 100; }));

    // A broken file is refused with its reason and the level runs on; a
    // sound one is loaded and the player comes down again. The sounds are
    // watched with the level, and the sources with their tools: a broken
    // source is refused with its line and column.
    struct Save {
        std::string file; // in the data folder, or the sources folder's
        std::string contents;
        std::string refusal; // a fragment of the message, or "" when it loads
    };
    std::string levels = readFile(data + "/levels.ini");
    std::string broken = levels;
    broken.replace(broken.find("teleportStopPosY=164"), 20, "teleportStopPosY=163");
    std::vector<Save> saves = {
        {data + "/levels.ini", broken, "teleportStopPosY"},
        {data + "/levels.ini", levels, ""},
        {data + "/sounds.ini", "[Effects]\njump=lost.wav\n",
         "sounds.ini: [Effects] jump \"lost.wav\""},
        {data + "/sounds.ini", readFile(data + "/sounds.ini"), ""},
    };
    for (const char* source : {"maps/rockfall.txt", "art/tiles.txt", "sounds/jump.txt"}) {
        std::string text = readFile(sources + "/" + source);
        saves.push_back(
            {sources + "/" + source, "bogus 1\n" + text, "kcs: " + std::string(source) + ":1:"});
        saves.push_back({sources + "/" + source, text, ""});
    }
    size_t loaded = 0;
    for (const Save& save : saves) {
        SCOPED_TRACE(save.file + (save.refusal.empty() ? " restored" : " broken"));
        writeFile(save.file, save.contents);
        if (save.refusal.empty()) {
            ++loaded;
        } else {
            EXPECT_TRUE(eventually([&] {
                return readFile(errors).find(save.refusal) != std::string::npos;
            })) << readFile(errors);
            EXPECT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "a broken file ended the session";
        }
        EXPECT_TRUE(eventually([&] { return reloads(Trace(readFile(trace))).size() == loaded; }));
    }

    // The map's text edited: the floor under the spot taken away, so the
    // player comes down further than before.
    std::string map = sources + "/maps/rockfall.txt";
    writeFile(map, editedMap(readFile(map), "", [](int row, std::string& line) {
                  if (row >= 125 && row < 135) {
                      line.replace(16, 5, ".....");
                  }
              }));
    constexpr size_t SETTLED = 90; // frames after an arrival
    std::vector<size_t> arrivals;
    // By the time the trace is read, the player may have fallen through the
    // hole and out, and started again.
    EXPECT_TRUE(eventually([&] {
        Trace played(readFile(trace));
        arrivals = reloads(played);
        return arrivals.size() > loaded && played.frames() > arrivals[loaded] + SETTLED;
    }));
    kill(child, SIGTERM);
    EXPECT_EQ(waitFor(child, 10).signal, SIGTERM);
    Trace played(readFile(trace));
    ASSERT_GT(arrivals.size(), loaded);
    arrivals.resize(loaded + 1);
    // Against the first arrival's: the reloads come faster than the player
    // settles, but the first save waited for 100 frames.
    EXPECT_GT(played.number(arrivals[loaded] + SETTLED, "y"),
              played.number(arrivals[0] + SETTLED, "y"))
        << "the rebuilt map's hole does not show";
    // The reloaded level brings the player back down at the spot it was.
    for (size_t arrival : arrivals) {
        EXPECT_EQ(played.number(arrival, "x"), 300 * 256) << "frame " << arrival;
        EXPECT_EQ(played.number(arrival, "boundary"), 0) << "frame " << arrival;
    }
}

TEST(DesignerLoop, CheckWarnsOfEachDesignMistakeByPlaceAndFix) {
    const std::string data = scratchDir() + "/warned-data";
    // The warnings of edits to the data's text are the guide's examples, run
    // by DocMessages; these are the map's, and --strict.
    const std::string check = KCS + " --check --data " + data;
    // Mistakes in the map: the lower part of the left ladder one column to
    // the left from boundary 1 down, and a ladder tile given a solid byte.
    demoCopy("warned-data");
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
    // The map tool checks a level on a map file with the same rules.
    RunResult onMap = runProgram(check);
    RunResult mapTool = runProgram(mapCheck(data));
    EXPECT_EQ(onMap.status, 0) << onMap.err;
    for (const char* warning :
         {"levels.ini: [ROCKFALL] the ladder at tile row 135, column 2 ends at boundary1's top "
          "edge; continue it into the row above or a climb up stops there",
          "levels.ini: [ROCKFALL] the map's ladder tile at tile row 130, column 59 is solid, so it "
          "is a wall; make it open"}) {
        EXPECT_NE(onMap.err.find("kcs: warning: " + std::string(warning)), std::string::npos)
            << onMap.err;
        EXPECT_NE(mapTool.err.find("/" + std::string(warning)), std::string::npos) << mapTool.err;
    }
    // --strict fails on a warning, in both programs, and not on the demo data.
    EXPECT_EQ(runProgram(check + " --strict").status, 2);
    EXPECT_EQ(runProgram(mapCheck(data) + " --strict").status, 2);
    RunResult demo = runProgram(KCS + " --check --strict --data " + DATA);
    EXPECT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(demo.err, "");
    EXPECT_NE(demo.out.find("kcs: the data is sound (2 levels, 2 characters)"), std::string::npos)
        << demo.out;
}

// Each command line: {command, status, the start of what it says}; a
// refusal is one line on standard error. The README's examples of refusals
// are run by DocMessages.
TEST(CommandLine, ACommandThatCannotBeCarriedOutIsRefusedWithOneLine) {
    writeFile("bad.replay", "\xEF\xBB\xBF# comment\r\r\n0 left down\r1 jump down\n");
    const std::string game = KCS + " --headless --frames 1 ";
    const std::string demo = game + "--data " + DATA;
    struct Case {
        std::string command;
        int status;
        std::string said; // the start of standard output, or of standard error
    };
    const std::vector<Case> cases = {
        {game + "--help", 0, "Usage: kcs [options]"},
        {game + "--replay bad.replay", 2, "kcs: bad.replay: line 4: unknown key 'jump'"},
        {game + "--trace no-such-dir/out.txt", 2, "kcs: no-such-dir/out.txt"},
        // A refusal with the trace on standard output leaves that stream to
        // the exit: still one line.
        {demo + " --trace - --level NOWHERE", 2,
         "kcs: levels.ini: no level [NOWHERE] for --level; the levels are: ROCKFALL, STARFORGE\n"},
        {demo + " --sources .", 2, "kcs: --sources needs --watch"},
        // The build's source list is read, then the folder given instead.
        {demo + " --watch --sources " + DATA + "/levels.ini", 2,
         "kcs: " + DATA + "/levels.ini: --sources needs a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        RunResult result = runProgram(c.command);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ((c.status == 0 ? result.out : result.err).rfind(c.said, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), c.status == 0 ? 0 : 1)
            << result.err;
    }
}

} // namespace
