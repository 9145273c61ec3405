// The stage-select screen driven by replays through the real kcs program and
// checked on its trace and screenshots (the command line's refusals are
// DesignerLoopTest's table).
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <SDL.h>
#include <filesystem>
#include <tuple>

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

// Each frame of one run through the menu as the level's and the character's
// index, then c while choosing the character, p while paused and s once the
// switch is requested. This folder has no levels.ini, so building the level
// after the switch stops the program.
TEST_F(StageSelectRun, TheSelectorMovesClampsGoesBackAndConfirms) {
    const std::string replay =
        // The level column: up at the top; down held for three frames moves
        // one row; up pressed over a held down moves up, and letting go of
        // it moves down again; down at the bottom.
        "1 up down\n2 up up\n3 down down\n6 down up\n7 down down\n8 up down\n9 up up\n"
        "10 down up\n11 down down\n12 down up\n"
        // The character column: up at the top, down twice to the bottom,
        // and space back to the level column with both indices kept.
        "13 b down\n14 b up\n15 up down\n16 up up\n17 down down\n18 down up\n19 down down\n"
        "20 down up\n20 space down\n21 space up\n"
        // b and space together in the level column stay there. b with the
        // pause is seen when the pause ends, and space with it goes back.
        "22 b down\n22 space down\n23 b up\n23 space up\n24 b down\n25 b up\n"
        "26 b down\n26 enter down\n27 enter up\n29 enter down\n29 space down\n";
    RunResult result = run(replay, 40);
    const std::string expected = "00 00 00 10 10 10 10 20 10 20 20 20 20 20c 20c 20c 20c 21c "
                                 "21c 21c 21 21 21 21 21c 21c 21cp 21cp 21cp 21s";
    std::string seen;
    for (const std::string& line : traceLines(result.out)) {
        EXPECT_EQ(traceField(line, "screen"), "\"select\"");
        seen += (seen.empty() ? "" : " ") + std::to_string(traceInt(line, "levelIndex")) +
                std::to_string(traceInt(line, "characterIndex")) +
                (traceField(line, "choosingCharacter") == "true" ? "c" : "") +
                (traceField(line, "paused") == "true" ? "p" : "") +
                (traceField(line, "switchRequested") == "true" ? "s" : "");
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("levels.ini"), std::string::npos) << result.err;
}

// --level takes its character from the same reading of the menu; the font is
// read before anything else.
TEST_F(StageSelectRun, MenusWithoutLevelsOrCharactersAndAMissingFontOrSelectorAreRefused) {
    writeFile(m_dir + "/levels.ini", "[A0]\n");
    const std::tuple<int, int, const char*, const char*, const char*> cases[] = {
        {0, 2, "", "", "stageselect.ini: [Levels]"},
        {0, 2, "", "--level A0", "stageselect.ini: [Levels]"},
        {2, 0, "", "", "stageselect.ini: [Kalvorns]"},
        {2, 0, "", "--level A0", "stageselect.ini: [Kalvorns]"},
        {2, 2, "selector.bmp", "", "selector.bmp"},
        {2, 2, "font.ini", "--level A0", "font.ini"},
    };
    for (const auto& [levels, characters, removed, extra, named] : cases) {
        writeMenu(levels, characters);
        if (*removed != '\0') {
            std::filesystem::remove(m_dir + "/" + removed);
        }
        RunResult result = run("", 1, extra);
        EXPECT_EQ(result.status, 2) << named;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

// A recording replays to the same trace, and its last frame's screenshot
// shows both columns and the selectors at the level and the character.
TEST_F(StageSelectRun, ARecordingReplaysToTheSameTraceAndTheScreenshotShowsTheMenu) {
    std::string recording = scratchDir() + "/recorded.replay";
    std::string shot = scratchDir() + "/menu-shot.bmp";
    std::filesystem::remove(shot);
    const std::string replay = "0 down down\n1 down up\n2 b down\n3 b up\n4 quit\n";
    RunResult first = run(replay, 20, "--record " + recording + " --screenshot 3:" + shot);
    ASSERT_EQ(first.status, 0) << first.err;
    // The quit in frame 4 ends the run after that frame.
    EXPECT_EQ(traceLines(first.out).size(), 5u);
    EXPECT_EQ(readFile(recording), replay);
    RunResult second = run(readFile(recording), 20);
    EXPECT_EQ(second.out, first.out);

    SDL_Surface* pShot = SDL_LoadBMP(shot.c_str());
    ASSERT_NE(pShot, nullptr);
    // Captions "A0".."A2" at x 32 and "B0", "B1" at x 128, rows 8 px apart.
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 32 + 3, 32 + 3)), 10);
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 32 + 3, 48 + 3)), 10);
    EXPECT_EQ(cellOfColour(pixelAt(pShot, 128 + 3, 40 + 3)), 11);
    // Selectors end right at the captions of the chosen level and character.
    EXPECT_EQ(pixelAt(pShot, 31, 40 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 32 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 40 + 3), 0u);
    // The selector's key-coloured columns stay transparent.
    EXPECT_EQ(pixelAt(pShot, 24, 40 + 3), 0u);
    SDL_FreeSurface(pShot);
}
