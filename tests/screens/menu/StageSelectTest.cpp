// The stage-select screen and the command line around it, driven by replays
// through the real kcs program and checked on its trace and screenshots.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <filesystem>

using namespace testing_support;

namespace {

constexpr uint32_t SELECTOR_COLOUR = 0x20E040;

class StageSelectRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = scratchDir() + "/menu-data";
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::filesystem::copy_file(scratchDir() + "/font.ini", m_dir + "/font.ini");
        std::filesystem::copy_file(scratchDir() + "/testfont.bmp", m_dir + "/testfont.bmp");
        writeBmp(m_dir + "/selector.bmp", 8, 8,
                 [](int x, int) { return x < 2 ? 0xFF80FFu : SELECTOR_COLOUR; });
        writeMenu(3, 2);
    }

    void writeMenu(int levels, int characters) {
        std::string text = "[Levels]\namount=" + std::to_string(levels) + "\n";
        for (int i = 0; i < levels; ++i) {
            text += "level" + std::to_string(i) + "=A" + std::to_string(i) + "\n";
        }
        text += "[Kalvorns]\namount=" + std::to_string(characters) + "\n";
        for (int i = 0; i < characters; ++i) {
            text += "kalvorn" + std::to_string(i) + "=hero" + std::to_string(i) + ".ini\n";
            text += "kalvorn" + std::to_string(i) + "title=B" + std::to_string(i) + "\n";
        }
        writeFile(m_dir + "/stageselect.ini", text);
    }

    // Runs kcs headless on the test data with a replay; the trace goes to
    // standard output.
    RunResult run(const std::string& replay, int frames, const std::string& extra = "") {
        writeFile(scratchDir() + "/menu.replay", replay);
        return runProgram(std::string(KCS_BINARY) + " --headless --data " + m_dir + " --frames " +
                          std::to_string(frames) + " --replay " + scratchDir() +
                          "/menu.replay --trace - " + extra);
    }

    std::string m_dir;
};

} // namespace

TEST_F(StageSelectRun, ThreeFramesGiveThreeSelectLines) {
    RunResult result = run("", 3);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = traceLines(result.out);
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(traceInt(lines[i], "frame"), static_cast<long long>(i));
        EXPECT_EQ(traceField(lines[i], "screen"), "\"select\"");
        EXPECT_EQ(traceField(lines[i], "paused"), "false");
        EXPECT_EQ(traceField(lines[i], "switchRequested"), "false");
    }
}

TEST_F(StageSelectRun, AFontTallerThanItsSheetIsRefusedBeforeTheMenu) {
    writeFile(m_dir + "/font.ini", "[Properties]\nsheet=testfont.bmp\n"
                                   "characterHeight=2147483647\ncharacterWidth=8\n");
    RunResult result = run("", 3);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("kcs: font.ini: [Properties] characterHeight is 2147483647;", 0), 0u)
        << result.err;
}

TEST_F(StageSelectRun, TheSelectorClampsAtBothEnds) {
    RunResult result = run("1 up down\n2 up up\n"
                           "3 down down\n4 down up\n5 down down\n6 down up\n"
                           "7 down down\n8 down up\n9 down down\n10 down up\n"
                           "11 b down\n12 up down\n",
                           14);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = traceLines(result.out);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(traceInt(lines[1], "levelIndex"), 0);
    EXPECT_EQ(traceInt(lines[3], "levelIndex"), 1);
    EXPECT_EQ(traceInt(lines[5], "levelIndex"), 2);
    EXPECT_EQ(traceInt(lines[9], "levelIndex"), 2);
    EXPECT_EQ(traceField(lines[11], "choosingCharacter"), "true");
    // Up in the character column moves nothing at its first entry and
    // leaves the level index alone.
    EXPECT_EQ(traceInt(lines[13], "characterIndex"), 0);
    EXPECT_EQ(traceInt(lines[13], "levelIndex"), 2);
}

TEST_F(StageSelectRun, HoldingAKeyMovesOneRowAndReleasingUpOverDownMovesDown) {
    RunResult result = run("1 down down\n5 down up\n6 down down\n7 up down\n8 up up\n", 10);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = traceLines(result.out);
    EXPECT_EQ(traceInt(lines[4], "levelIndex"), 1);
    EXPECT_EQ(traceInt(lines[6], "levelIndex"), 2);
    EXPECT_EQ(traceInt(lines[7], "levelIndex"), 1);
    EXPECT_EQ(traceInt(lines[8], "levelIndex"), 2);
}

TEST_F(StageSelectRun, SpaceGoesBackAndBothIndicesSurvive) {
    RunResult result = run("1 down down\n2 down up\n2 b down\n3 down down\n4 space down\n"
                           "5 b down\n5 space down\n",
                           7);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = traceLines(result.out);
    EXPECT_EQ(traceField(lines[2], "choosingCharacter"), "true");
    EXPECT_EQ(traceInt(lines[3], "characterIndex"), 1);
    EXPECT_EQ(traceField(lines[4], "choosingCharacter"), "false");
    EXPECT_EQ(traceInt(lines[4], "levelIndex"), 1);
    EXPECT_EQ(traceInt(lines[4], "characterIndex"), 1);
    // b and space in one frame while choosing the level: still the level.
    EXPECT_EQ(traceField(lines[5], "choosingCharacter"), "false");
}

TEST_F(StageSelectRun, ConfirmingRequestsTheSwitchAndTheLevelLoadsNext) {
    RunResult result = run("1 b down\n2 b up\n3 b down\n3 space down\n", 6);
    std::vector<std::string> lines = traceLines(result.out);
    ASSERT_GE(lines.size(), 4u) << result.err;
    EXPECT_EQ(traceField(lines[2], "switchRequested"), "false");
    EXPECT_EQ(traceField(lines[3], "switchRequested"), "true");
    // b and space together confirm; the screen then shows no character selector.
    EXPECT_EQ(traceField(lines[3], "choosingCharacter"), "false");
    // This folder has no levels.ini, so building the level stops the program.
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("levels.ini"), std::string::npos) << result.err;
    EXPECT_EQ(lines.size(), 4u);
}

TEST_F(StageSelectRun, ASwitchRequestedBeforeAPauseWaitsForTheFirstUnpausedUpdate) {
    RunResult result = run("1 b down\n2 b up\n3 b down\n3 enter down\n6 enter down\n", 8);
    std::vector<std::string> lines = traceLines(result.out);
    ASSERT_GE(lines.size(), 6u) << result.err;
    EXPECT_EQ(traceField(lines[3], "paused"), "true");
    // Paused frames skip the update, so the confirming b is seen only after.
    EXPECT_EQ(traceField(lines[5], "switchRequested"), "false");
    EXPECT_EQ(traceField(lines[6], "paused"), "false");
    EXPECT_EQ(traceField(lines[6], "switchRequested"), "true");
    EXPECT_EQ(result.status, 2);
}

TEST_F(StageSelectRun, TheScreenshotShowsBothColumnsAndTheSelector) {
    std::string shot = scratchDir() + "/menu-shot.bmp";
    std::filesystem::remove(shot);
    RunResult result = run("1 b down\n2 down down\n", 4, "--screenshot 3:" + shot);
    ASSERT_EQ(result.status, 0) << result.err;
    SDL_Surface* pShot = SDL_LoadBMP(shot.c_str());
    ASSERT_NE(pShot, nullptr);
    // Captions "A0".."A2" at x 32 and "B0", "B1" at x 128, rows 8 px apart.
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 32 + 3, 32 + 3)), 10);
    // Text looks every character up in [Characters]; the test font has no
    // digit keys, so digits in captions show cell 0.
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 32 + 3, 48 + 3)), 10);
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 40 + 3, 48 + 3)), 0);
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 128 + 3, 40 + 3)), 11);
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 136 + 3, 40 + 3)), 0);
    // Selectors end right at the captions of the chosen level and character.
    EXPECT_EQ(pixelAt(pShot, 31, 32 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 40 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 32 + 3), 0u);
    // The selector's key-coloured columns stay transparent.
    EXPECT_EQ(pixelAt(pShot, 24, 32 + 3), 0u);
    SDL_FreeSurface(pShot);
}

TEST_F(StageSelectRun, MenusWithoutLevelsOrCharactersAreRefused) {
    // --level takes its character from the same reading of the menu.
    writeFile(m_dir + "/levels.ini", "[A0]\n");
    for (const char* extra : {"", "--level A0"}) {
        writeMenu(0, 2);
        RunResult result = run("", 1, extra);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("stageselect.ini: [Levels]"), std::string::npos) << result.err;
        writeMenu(2, 0);
        result = run("", 1, extra);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.err.find("stageselect.ini: [Kalvorns]"), std::string::npos) << result.err;
    }
}

TEST_F(StageSelectRun, AMissingFontOrSelectorIsNamed) {
    std::filesystem::remove(m_dir + "/selector.bmp");
    RunResult result = run("", 1);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("selector.bmp"), std::string::npos) << result.err;
    std::filesystem::remove(m_dir + "/font.ini");
    result = run("", 1);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("font.ini"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

TEST_F(StageSelectRun, ARecordingReplaysToTheSameTrace) {
    std::string recording = scratchDir() + "/recorded.replay";
    RunResult first = run("0 down down\n1 down up\n2 b down\n2 b up\n3 down down\n4 quit\n", 20,
                          "--record " + recording);
    ASSERT_EQ(first.status, 0) << first.err;
    // The quit in frame 4 ends the run after that frame.
    EXPECT_EQ(traceLines(first.out).size(), 5u);
    EXPECT_EQ(readFile(recording),
              "0 down down\n1 down up\n2 b down\n2 b up\n3 down down\n4 quit\n");
    RunResult second = runProgram(std::string(KCS_BINARY) + " --headless --data " + m_dir +
                                  " --frames 20 --replay " + recording + " --trace -");
    EXPECT_EQ(second.out, first.out);
}

TEST(CommandLine, BadOptionsAndReplaysStopWithStatusTwo) {
    std::string kcs = KCS_BINARY;
    writeFile("bad.replay", "\xEF\xBB\xBF# comment\r\r\n0 left down\r1 jump down\n");
    RunResult result = runProgram(kcs + " --headless --replay bad.replay --frames 1");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("bad.replay: line 4: unknown key 'jump'"), std::string::npos)
        << result.err;
    writeFile("order.replay", "5 left down\n4 left up\n");
    result = runProgram(kcs + " --headless --replay order.replay");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("order.replay: line 2"), std::string::npos) << result.err;
    for (const char* args :
         {"--scale 7", "--frames -1", "--bogus", "--screenshot 3", "--trace", "--scale x"}) {
        result = runProgram(kcs + " --headless " + args);
        EXPECT_EQ(result.status, 2) << args;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << args;
    }
}

TEST(CommandLine, UnwritableOutputsStopBeforeTheGameStarts) {
    std::string kcs = KCS_BINARY;
    for (const char* option : {"--trace", "--record"}) {
        RunResult result =
            runProgram(kcs + " --headless --frames 1 " + option + " no-such-dir/out.txt");
        EXPECT_EQ(result.status, 2) << option;
        EXPECT_NE(result.err.find("no-such-dir/out.txt"), std::string::npos) << result.err;
    }
    RunResult result = runProgram(kcs + " --headless --frames 1 --screenshot 0:no-such-dir/s.bmp");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("no-such-dir/s.bmp"), std::string::npos) << result.err;
}

TEST(CommandLine, HelpAndVersion) {
    RunResult help = runProgram(std::string(KCS_BINARY) + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--replay FILE"), std::string::npos);
    RunResult version = runProgram(std::string(KCS_BINARY) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kcs ", 0), 0u);
}
