// The real programs given files that are not what they seem, outputs that
// must not be replaced or cannot be written, a stop signal in a long check,
// a replay frame with more events than SDL's queue holds, and small files that
// ask for unbounded work. Every case ends quickly with status 2 and one line
// naming the file, or with the right result.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <thread>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const std::string KCS = KCS_BINARY;
const std::string KCS_MAP = KCS_MAP_BINARY;
const std::string KCS_ART = KCS_ART_BINARY;
// Into the first level and on through it.
const std::string REPLAY = std::string(KCS_SOURCE_DIR) + "/tests/replays/rockfall-kalvorn.txt";

// A BMP's headers declaring a square picture whose data starts at pixelsAt:
// the file's size, a reserved field, the data offset, the info header's size,
// width, height, one plane and the bits per pixel, compression, five unused.
std::string bitmapHeader(uint32_t side, uint32_t bits, uint32_t compression, uint32_t pixelsAt) {
    static_assert(std::endian::native == std::endian::little);
    const uint32_t fields[] = {pixelsAt,    0, pixelsAt, 40, side, side, 1 | bits << 16,
                               compression, 0, 0,        0,  0,    0};
    return "BM" + std::string(reinterpret_cast<const char*>(fields), sizeof fields);
}

// What a file can be instead of a regular file of its kind.
struct Hostile {
    const char* name;
    void (*make)(const std::string& path);
};
const Hostile DIRECTORY{"directory", [](const std::string& path) { fs::create_directory(path); }};
const Hostile FIFO{"FIFO",
                   [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }};
const Hostile ENDLESS{"endless",
                      [](const std::string& path) { fs::create_symlink("/dev/zero", path); }};
const Hostile HUGE_BITMAP{"huge bitmap", [](const std::string& path) {
                              writeFile(path, bitmapHeader(60000, 32, 0, 54));
                          }};

// A 1 KiB BMP that SDL decodes to 4096 x 4096 px: 8 bits run-length encoded,
// a palette, and only the end-of-picture mark.
std::string compressedBitmap() {
    constexpr uint32_t BI_RLE8 = 1;
    constexpr uint32_t PALETTE_SIZE = 256 * 4; // bytes
    return bitmapHeader(4096, 8, BI_RLE8, 54 + PALETTE_SIZE) + std::string(PALETTE_SIZE, '\0') +
           std::string("\x00\x01", 2);
}

std::string freshData(const std::string& name) {
    std::string dir = scratchDir() + "/" + name;
    fs::remove_all(dir);
    fs::copy(KCS_DEMO_DATA, dir, fs::copy_options::recursive);
    return dir;
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Runs a command in the scratch folder; a hang fails the case, not the suite:
// timeout's status 124 is neither a refusal nor success. How long a run takes
// is left to that bound alone, since a loaded machine or the sanitizers slow
// every case several times over.
RunResult runHere(const std::string& command) {
    return runProgram("cd " + scratchDir() + " && timeout 20 " + command);
}

// Status 2 and one line on standard error, holding the fragment.
void expectRefusal(const RunResult& result, const std::string& fragment) {
    EXPECT_EQ(result.status, 2) << result.err.substr(0, 1000);
    EXPECT_NE(result.err.find(fragment), std::string::npos) << result.err.substr(0, 1000);
    EXPECT_EQ(lineCount(result.err), 1) << result.err.substr(0, 1000);
}

void expectNoTemporaryFileLeft() {
    for (const fs::directory_entry& entry : fs::directory_iterator(scratchDir())) {
        EXPECT_NE(entry.path().filename().string().rfind(".kcs-", 0), 0u)
            << "a temporary file is left: " << entry.path();
    }
}

TEST(HostileFiles, EveryPlaceRefusesFilesThatAreNotRegularQuicklyAndByName) {
    freshData("hostile-data");
    const std::vector<Hostile> files = {DIRECTORY, FIFO, ENDLESS};
    const std::vector<Hostile> bitmaps = {DIRECTORY, FIFO, ENDLESS, HUGE_BITMAP};
    const std::string game = KCS + " --headless --data hostile-data --frames 2";
    // One place per reader: made there as each kind, and the run that reads it.
    struct Place {
        std::vector<Hostile> kinds;
        std::string file; // relative to the scratch folder
        std::string command;
    };
    const std::vector<Place> places = {
        {files, "hostile-data/stageselect.ini", game},
        {bitmaps, "hostile-data/selector.bmp", game},
        {files, "hostile-data/starforge.map", KCS + " --check --data hostile-data"},
        {files, "shot.bmp", game + " --screenshot 1:shot.bmp"},
        {files, "source.txt", KCS_MAP + " build source.txt out.map"},
    };
    for (const Place& place : places) {
        for (const Hostile& kind : place.kinds) {
            SCOPED_TRACE(place.command + " with " + place.file + " as " + kind.name);
            std::string path = scratchDir() + "/" + place.file;
            std::string saved = readFile(path);
            fs::remove_all(path);
            kind.make(path);
            RunResult result = runHere(place.command);
            expectRefusal(result, fs::path(place.file).filename().string() + ": ");
            fs::remove_all(path);
            if (!saved.empty()) {
                writeFile(path, saved);
            }
        }
    }
}

TEST(HostileFiles, SmallFilesCannotAskForUnboundedWork) {
    std::string data = freshData("work-data");
    std::string character = readFile(data + "/kalvorn1.ini");
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string command; // run in the scratch folder
        int status;
        std::string named; // in the first line of standard error
    };
    const std::vector<Case> cases = {
        {"blank rows past the picture's height",
         [] {
             std::string source = "width 4096\n";
             for (int i = 0; i < 1500; ++i) {
                 source += "blank 4096\n";
             }
             writeFile(scratchDir() + "/blank.txt", source);
         },
         KCS_ART + " blank.txt blank.bmp", 2, "blank.txt:3:7: "},
        // Decoded once for 4093 sheets; its three copies pass the budget.
        {"one compressed bitmap as thousands of sheets",
         [&] {
             std::string sheets = "[Spritesheets]\namount=4096\n";
             for (int i = 0; i < 4096; ++i) {
                 std::string file = i < 4093 ? "huge.bmp" : "huge" + std::to_string(i) + ".bmp";
                 if (i == 0 || i >= 4093) {
                     writeFile(data + "/" + file, compressedBitmap());
                 }
                 sheets += "spritesheet" + std::to_string(i) + "=" + file + "\n";
             }
             writeFile(data + "/kalvorn1.ini", sheets + character);
         },
         KCS + " --check --data work-data", 2, "huge4095.bmp: its 4096 x 4096 px would take"},
        // Each unknown key is one edit from thousands of known ones.
        {"thousands of unknown keys under --check",
         [&] {
             std::string sprites = "[Sprites]\namount=4096\n";
             for (int i = 0; i < 20000; ++i) {
                 sprites += "sprite" + std::to_string(i) + "YPo=\n";
             }
             std::string edited = character;
             edited.replace(edited.find("[Sprites]\namount=15\n"), 20, sprites);
             writeFile(data + "/kalvorn1.ini", edited);
         },
         KCS + " --check --data work-data", 0,
         "kalvorn1.ini: [Sprites] sprite0YPo is not a key the game reads here; did you mean "
         "sprite0YPos?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(data + "/kalvorn1.ini", character);
        c.make();
        RunResult result = runHere(c.command);
        EXPECT_EQ(result.status, c.status) << result.err.substr(0, 1000);
        EXPECT_NE(result.err.substr(0, result.err.find('\n')).find(c.named), std::string::npos)
            << result.err.substr(0, 1000);
        EXPECT_TRUE(c.status == 0 || lineCount(result.err) == 1) << result.err.substr(0, 1000);
    }
}

TEST(HostileFiles, OutputsNeverReplaceAnInputOrALink) {
    std::string data = freshData("output-data");
    std::string game = KCS + " --headless --data output-data --frames 3 ";
    writeFile(scratchDir() + "/keys.replay", "1 b down\n2 b up\n");
    // An input the data names from outside its folder.
    fs::remove_all(scratchDir() + "/elsewhere");
    fs::create_directories(scratchDir() + "/elsewhere");
    fs::copy_file(data + "/rockfall.map", scratchDir() + "/elsewhere/level.map");
    std::string levels = readFile(data + "/levels.ini");
    levels.replace(levels.find("tileMap=rockfall.map"), 20, "tileMap=../elsewhere/level.map");
    writeFile(data + "/levels.ini", levels);
    writeFile(scratchDir() + "/own.txt", "not a map source\n");
    struct Case {
        std::string command;
        std::string input; // must come out byte for byte as it went in
    };
    const std::vector<Case> cases = {
        {game + "--replay keys.replay --record keys.replay", "keys.replay"},
        {game + "--trace output-data/stageselect.ini", "output-data/stageselect.ini"},
        {game + "--screenshot 1:elsewhere/level.map", "elsewhere/level.map"},
        {KCS_MAP + " build own.txt own.txt", "own.txt"},
        // levels.ini is rewritten in place, but never as the imported map.
        {KCS_MAP + " import m.tmx output-data/levels.ini --levels output-data/levels.ini --level L",
         "output-data/levels.ini"},
    };
    for (const Case& c : cases) {
        std::string before = readFile(scratchDir() + "/" + c.input);
        SCOPED_TRACE(c.command);
        RunResult result = runHere(c.command);
        expectRefusal(result, c.input + ": ");
        EXPECT_NE(result.err.find("would overwrite the input"), std::string::npos) << result.err;
        EXPECT_EQ(readFile(scratchDir() + "/" + c.input), before);
    }

    // A stream may go to a pipe through the system's own links; standard
    // output given to a trace holds only its lines, with a level loaded too.
    RunResult piped = runHere(game + "--trace /dev/stdout | grep -c frame");
    EXPECT_EQ(piped.out, "3\n") << piped.err;
    RunResult json = runHere(KCS + " --headless --data " + data +
                             " --level STARFORGE --frames 3 --trace - | grep -vc '^{'");
    EXPECT_EQ(json.out, "0\n") << json.err;

    // A link is written through and stays a link.
    fs::remove(scratchDir() + "/link.bmp");
    fs::remove(scratchDir() + "/target.bmp");
    fs::create_symlink("target.bmp", scratchDir() + "/link.bmp");
    EXPECT_EQ(runHere(game + "--screenshot 1:link.bmp").status, 0);
    EXPECT_TRUE(fs::is_symlink(scratchDir() + "/link.bmp"));
    EXPECT_EQ(readFile(scratchDir() + "/target.bmp").substr(0, 2), "BM");
    expectNoTemporaryFileLeft();
}

TEST(HostileFiles, OptionsNamesAndAFullDiskAreRefusedInShortLines) {
    freshData("option-data");
    // The command line carries at most 128 KiB in one argument; data names more.
    std::string named = freshData("named-data");
    std::string hugeName = std::string(500000, 'x') + "\x1b[2J";
    std::string levels = readFile(named + "/levels.ini");
    writeFile(named + "/levels.ini", levels.replace(levels.find("rockfall.map"), 12, hugeName));
    std::string game = KCS + " --headless --data option-data --frames 3 ";
    struct Case {
        std::string command;
        int status;
        std::string said; // the start of standard error, its one line
    };
    // A full disk's reason is the C library's words, so only the start is said.
    // The guide's examples of refusals (ROBUSTNESS.md) are run by DocMessages.
    const std::vector<Case> cases = {
        {game + "--screenshot 900:late.bmp", 2,
         "kcs: --screenshot 900:late.bmp: the run ended after frame 2; nothing was written"},
        {game + "--level \"$(cat hostile.name)\"", 2, "kcs: levels.ini: no level [xxx"},
        {game + "--data named-data --level ROCKFALL", 2, "kcs: xxx"},
        {"env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER " + KCS +
             " --data option-data --frames 3",
         1, "kcs: no display to open a window on (DISPLAY is not set); use --headless"},
        {game + "--trace - >/dev/full", 2, "kcs: standard output: --trace cannot write it"},
    };
    writeFile(scratchDir() + "/hostile.name", std::string(100000, 'x') + "\x1b[2J");
    for (const Case& c : cases) {
        RunResult result = runHere(c.command);
        EXPECT_EQ(result.status, c.status) << c.command.substr(0, 80) << "\n" << result.err;
        EXPECT_EQ(result.err.rfind(c.said, 0), 0u) << result.err.substr(0, 400);
        EXPECT_LE(result.err.size(), 400u);
        EXPECT_EQ(result.err.find('\x1b'), std::string::npos);
        EXPECT_EQ(lineCount(result.err), 1);
    }
    EXPECT_FALSE(fs::exists(scratchDir() + "/late.bmp"));
}

// Whether the process runs the program and has set its handler for the
// signal, that is, is past its start and at its work.
bool catches(pid_t process, const std::string& program, int signal) {
    std::string proc = "/proc/" + std::to_string(process);
    std::error_code error;
    if (fs::read_symlink(proc + "/exe", error) != fs::path(program)) {
        return false;
    }
    std::string status = readFile(proc + "/status");
    size_t field = status.find("SigCgt:");
    return field != std::string::npos &&
           (std::stoull(status.substr(field + 7), nullptr, 16) >> (signal - 1) & 1) != 0;
}

TEST(HostileFiles, AStopSignalEndsEveryLongRunWithinASecondAndAKillLeavesWholeFrames) {
    std::string data = freshData("slow-data");
    // Each level loads a 16 MiB tile sheet: a check of minutes.
    writeBmp(data + "/big.bmp", 2048, 2048, [](int, int) { return 0x203040u; });
    std::string levels = readFile(data + "/levels.ini");
    std::string menu = "[Levels]\namount=400\n";
    for (int i = 0; i < 400; ++i) {
        levels += "[L" + std::to_string(i) + "]\ntileSheet=big.bmp\ntileMap=rockfall.map\n";
        menu += "level" + std::to_string(i) + "=L" + std::to_string(i) + "\n";
    }
    writeFile(data + "/levels.ini", levels);
    writeFile(data + "/stageselect.ini", menu + "[Kalvorns]\namount=1\nkalvorn0=kalvorn1.ini\n");
    std::string played = freshData("played-data");
    writeFile(scratchDir() + "/long.replay", "30 b down\n31 b up\n60 right down\n");
    // Ten minutes of three voices: seconds of synthesis, which does not look
    // at the stop flag, so only the alarm ends it.
    writeFile(scratchDir() + "/long.txt", "tempo 30\nvoice a pulse50 vibrato 60 6\nvoice b "
                                          "noise\nchannel a\n[o4 c1 d1 e1 f1]9\nchannel "
                                          "b\n[c1 d1 e1 f1]9\n");
    struct Case {
        std::vector<std::string> arguments;
        int signal;
        int linesFirst;         // on standard output before the signal
        std::string lastScreen; // of a trace on standard output, when it is one
    };
    // The killed game plays at its pace until well past the ready phase's 180
    // frames.
    const std::vector<Case> cases = {
        {{KCS, "--check", "--data", data}, SIGTERM, 3, ""},
        {{KCS, "--headless", "--no-pacing", "--data", played, "--replay", "long.replay", "--trace",
          "-"},
         SIGINT,
         200,
         ""},
        {{KCS_SOUND_BINARY, "long.txt", "long.wav"}, SIGTERM, 0, ""},
        {{KCS, "--headless", "--scale", "1", "--data", played, "--replay", REPLAY, "--trace", "-"},
         SIGKILL,
         260,
         "level"},
    };
    std::string out = scratchDir() + "/long-run.out";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        fs::remove(out);
        pid_t child = startProgram(c.arguments, out, "/dev/null");
        ASSERT_GE(child, 0);
        // Signalled once it is well into its work.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (((c.signal != SIGKILL && !catches(child, c.arguments[0], c.signal)) ||
                lineCount(readFile(out)) < c.linesFirst) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(child, c.signal);
        EXPECT_EQ(waitFor(child, 1).signal, c.signal) << "not ended by it within a second";
        if (!c.lastScreen.empty()) {
            Trace trace(readFile(out));
            EXPECT_GE(trace.frames(), static_cast<size_t>(c.linesFirst)) << "not that far in 60 s";
            EXPECT_EQ(wholeFramesProblem(readFile(out)), "");
            EXPECT_EQ(trace.text(trace.frames() - 1, "screen"), c.lastScreen);
        }
    }
    EXPECT_FALSE(fs::exists(scratchDir() + "/long.wav"));
    expectNoTemporaryFileLeft();
}

TEST(HostileFiles, ADataErrorWhileTheLevelLoadsLeavesEveryFrameBeforeIt) {
    std::string data = freshData("no-tiles");
    fs::remove(data + "/tiles.bmp");
    RunResult result = runHere(KCS + " --headless --data no-tiles --frames 100 --replay " + REPLAY +
                               " --trace no-tiles.jsonl");
    expectRefusal(result, "kcs: tiles.bmp: ");
    std::string text = readFile(scratchDir() + "/no-tiles.jsonl");
    Trace trace(text);
    EXPECT_EQ(wholeFramesProblem(text), "");
    // The level is built in the update after the choice; that frame never
    // finishes, so the last line is still the menu's.
    ASSERT_GT(trace.frames(), 0u);
    EXPECT_EQ(trace.text(trace.frames() - 1, "screen"), "select");
    EXPECT_EQ(trace.text(trace.frames() - 1, "switchRequested"), "true");
}

TEST(HostileFiles, AFrameWithMoreEventsThanTheQueueHoldsLosesNone) {
    freshData("event-data");
    std::string replay;
    for (int i = 0; i < 600; ++i) {
        replay += "3 b down\n3 b up\n";
    }
    replay += "4 left down\n";
    writeFile(scratchDir() + "/flood.replay", replay);
    RunResult result = runHere(KCS + " --headless --data event-data --frames 6 --replay "
                                     "flood.replay --record flood.record");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(scratchDir() + "/flood.record"), replay);
}

} // namespace
