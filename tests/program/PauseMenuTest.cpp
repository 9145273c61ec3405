// The way back and the way out, through the real kcs program on the demo
// data: the pause menu over a level from the replay beside this file, and
// Escape on the stage select.
#include "engine/Bitmap.h"
#include "engine/Files.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

constexpr uint32_t FRAME_COLOUR = 0xFCFCFC;

RunResult run(const std::string& replay, const std::string& extra) {
    return runProgram(std::string(KCS_BINARY) + " --headless --data " + KCS_DEMO_DATA +
                      " --replay " + replay + " --trace - --frames 200 " + extra);
}

// Each frame as its screen (S select, L level), p when paused, the pause
// menu's line while it is open, and after a colon the frame's sounds: p
// pause, and M, C, B for menuMove, menuConfirm, menuBack.
std::string framesOf(const Trace& trace, size_t first, size_t last) {
    std::string seen;
    for (size_t f = first; f <= last; ++f) {
        std::string sounds = trace.text(f, "sounds");
        std::string letters;
        for (size_t quote = sounds.find('"'); quote != std::string::npos;
             quote = sounds.find('"', sounds.find('"', quote + 1) + 1)) {
            bool menu = sounds.compare(quote + 1, 4, "menu") == 0;
            letters += sounds[quote + (menu ? 5 : 1)];
        }
        seen += std::string(f == first ? "" : " ") +
                (trace.text(f, "screen") == "level" ? "L" : "S") +
                (trace.text(f, "paused") == "true" ? "p" : "") + trace.text(f, "pauseMenu") +
                (letters.empty() ? "" : ":" + letters);
    }
    return seen;
}

} // namespace

TEST(PauseMenu, OpensOverTheLevelMovesGoesBackToTheStageSelectAndQuits) {
    std::string record = scratchDir() + "/pause-menu.record";
    std::string pausedShot = scratchDir() + "/paused.bmp";
    std::string menuShot = scratchDir() + "/pause-menu.bmp";
    RunResult result = run(std::string(KCS_SOURCE_DIR) + "/tests/program/pause-menu.replay",
                           "--record " + record + " --screenshot 22:" + pausedShot +
                               " --screenshot 35:" + menuShot);
    ASSERT_EQ(result.status, 0) << result.err;
    Trace trace(result.out);
    // QUIT in frame 68 ends the game after it, and the recording says so.
    EXPECT_EQ(trace.frames(), 69u);
    EXPECT_NE(readFile(gEngine->files(), record, REPLAY_FILE).find("68 quit\n"), std::string::npos);
    // Enter pauses (20); Escape leaves the pause for the menu (24), where
    // Enter continues (27). Escape opens it again (30); Down moves to QUIT
    // and no further, Up back; Tab steps nothing; b goes back (43).
    EXPECT_EQ(framesOf(trace, 19, 29), "L Lp:p Lp Lp Lp Lp0:p Lp0 Lp0 Lp:C L L");
    EXPECT_EQ(framesOf(trace, 30, 44),
              "Lp0:p Lp0 Lp0 Lp1:M Lp1 Lp2:M Lp2 Lp2 Lp2 Lp1:M Lp1 Lp1 Lp1 Sp:C S");
    // The stage select comes back with STARFORGE and VESSA chosen.
    EXPECT_EQ(trace.number(44, "levelIndex"), 1);
    EXPECT_EQ(trace.number(44, "characterIndex"), 1);
    EXPECT_EQ(trace.text(44, "choosingCharacter"), "false");
    EXPECT_EQ(framesOf(trace, 60, 68), "Lp0:p Lp0 Lp0 Lp0 Lp1:M Lp1 Lp2:M Lp2 Lp:C");

    // The paused message alone, then the menu under it, each in a black
    // box whose 1 px frame starts 6 px above and left of its text.
    Surface paused = readBitmap(gEngine->files(), pausedShot);
    Surface menu = readBitmap(gEngine->files(), menuShot);
    EXPECT_EQ(pixelAt(paused.get(), 98, 92), FRAME_COLOUR);
    EXPECT_EQ(pixelAt(paused.get(), 99, 93), 0u);
    EXPECT_EQ(pixelAt(menu.get(), 66, 92), FRAME_COLOUR);
    EXPECT_EQ(pixelAt(menu.get(), 189, 151), FRAME_COLOUR);
    EXPECT_EQ(pixelAt(menu.get(), 67, 150), 0u);
}

TEST(PauseMenu, EscapeOnTheStageSelectQuitsAsClosingTheWindowDoes) {
    std::string replay = scratchDir() + "/escape.replay";
    std::string record = scratchDir() + "/escape.record";
    writeFile(replay, "1 escape down\n");
    RunResult result = run(replay, "--record " + record);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Trace(result.out).frames(), 2u);
    EXPECT_EQ(readFile(gEngine->files(), record, REPLAY_FILE), "1 escape down\n1 quit\n");
}
