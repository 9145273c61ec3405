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
// The menu's two columns: levels A0 to A2 and characters B0 and B1.
const std::string LEVELS = "[Levels]\namount=3\nlevel0=A0\nlevel1=A1\nlevel2=A2\n";
const std::string CHARACTERS = "[Kalvorns]\namount=2\nkalvorn0=hero0.ini\nkalvorn0title=B0\n"
                               "kalvorn1=hero1.ini\nkalvorn1title=B1\n";

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
        writeFile(m_dir + "/stageselect.ini", LEVELS + CHARACTERS);
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
// after the switch stops the program. The screenshot while the character is
// chosen shows both columns and the selectors at the level and the character.
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
    std::string shot = scratchDir() + "/menu-shot.bmp";
    std::filesystem::remove(shot);
    RunResult result = run(replay, 40, "--screenshot 18:" + shot);
    const std::string expected = "00 00 00 10 10 10 10 20 10 20 20 20 20 20c 20c 20c 20c 21c "
                                 "21c 21c 21 21 21 21 21c 21c 21cp 21cp 21cp 21s";
    std::string seen;
    for (const std::string& line : traceLines(result.out)) {
        seen += (seen.empty() ? "" : " ") + std::to_string(traceInt(line, "levelIndex")) +
                std::to_string(traceInt(line, "characterIndex")) +
                (traceField(line, "choosingCharacter") == "true" ? "c" : "") +
                (traceField(line, "paused") == "true" ? "p" : "") +
                (traceField(line, "switchRequested") == "true" ? "s" : "");
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("levels.ini"), std::string::npos) << result.err;

    SDL_Surface* pShot = SDL_LoadBMP(shot.c_str());
    ASSERT_NE(pShot, nullptr);
    // Captions "A0".."A2" at x 32 and "B0", "B1" at x 128, rows 8 px apart
    // from y 32; level 2 and character 1 are chosen. The captions' glyphs are
    // FontTest's.
    // Selectors end right at the captions of the chosen level and character.
    EXPECT_EQ(pixelAt(pShot, 31, 48 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 40 + 3), SELECTOR_COLOUR);
    EXPECT_EQ(pixelAt(pShot, 127, 32 + 3), 0u);
    // The selector's key-coloured columns stay transparent.
    EXPECT_EQ(pixelAt(pShot, 24, 48 + 3), 0u);
    SDL_FreeSurface(pShot);
}

// --level takes its character from the same reading of the menu; the font is
// read before anything else.
TEST_F(StageSelectRun, MenusWithoutLevelsOrCharactersAndAMissingFontAreRefused) {
    writeFile(m_dir + "/levels.ini", "[A0]\n");
    // {stageselect.ini, the options, what the refusal names}
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"[Levels]\namount=0\n" + CHARACTERS, "", "stageselect.ini: [Levels]"},
        {LEVELS + "[Kalvorns]\namount=0\n", "--level A0", "stageselect.ini: [Kalvorns]"},
        {"", "--level A0", "font.ini"}, // with the font removed
    };
    for (const auto& [menu, extra, named] : cases) {
        writeFile(m_dir + "/stageselect.ini", menu);
        if (menu.empty()) {
            std::filesystem::remove(m_dir + "/font.ini");
        }
        RunResult result = run("", 1, extra);
        EXPECT_EQ(result.status, 2) << named;
        EXPECT_NE(result.err.find(named), std::string::npos) << result.err;
    }
}
