// A trace is complete up to the last whole frame however the game ends: by a
// data error while the level loads, or killed outright part-way through.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;

namespace {

// Into the first level and on through it.
const std::string REPLAY = std::string(KCS_SOURCE_DIR) + "/tests/replays/rockfall-kalvorn.txt";

TEST(TraceCompleteness, ADataErrorWhileTheLevelLoadsLeavesEveryFrameBeforeIt) {
    std::string data = scratchDir() + "/no-tiles";
    std::filesystem::remove_all(data);
    std::filesystem::copy(KCS_DEMO_DATA, data, std::filesystem::copy_options::recursive);
    std::filesystem::remove(data + "/tiles.bmp");
    std::string tracePath = data + "/trace.jsonl";
    RunResult result = runProgram(std::string(KCS_BINARY) + " --headless --data " + data +
                                  " --frames 100 --replay " + REPLAY + " --trace " + tracePath);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("kcs: tiles.bmp: ", 0), 0u) << result.err;
    std::string text = readFile(tracePath);
    Trace trace(text);
    EXPECT_EQ(wholeFramesProblem(text), "");
    // The level is built in the update after the choice; that frame never
    // finishes, so the last line is still the menu's.
    ASSERT_GT(trace.frames(), 0u);
    EXPECT_EQ(trace.text(trace.frames() - 1, "screen"), "select");
    EXPECT_EQ(trace.text(trace.frames() - 1, "switchRequested"), "true");
}

TEST(TraceCompleteness, AGameKilledPartWayLeavesOnlyWholeLines) {
    std::string tracePath = scratchDir() + "/killed.jsonl";
    std::remove(tracePath.c_str());
    // No --frames: the game would play until the window closes.
    pid_t child = fork();
    if (child == 0) {
        execl(KCS_BINARY, KCS_BINARY, "--headless", "--scale", "1", "--data", KCS_DEMO_DATA,
              "--replay", REPLAY.c_str(), "--trace", tracePath.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    // Killed once the level plays: well past the ready phase's 180 frames.
    constexpr size_t FRAMES_BEFORE_KILL = 260;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Trace(readFile(tracePath)).frames() < FRAMES_BEFORE_KILL &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFSIGNALED(raw)) << "kcs ended by itself with status " << WEXITSTATUS(raw);
    std::string text = readFile(tracePath);
    Trace trace(text);
    ASSERT_GE(trace.frames(), FRAMES_BEFORE_KILL) << "the game did not get far enough in 60 s";
    EXPECT_EQ(wholeFramesProblem(text), "");
    EXPECT_EQ(trace.text(trace.frames() - 1, "screen"), "level");
    // What a game stopped inside a write would have left.
    EXPECT_EQ(wholeFramesProblem(text.substr(0, text.size() - 2)), "the trace ends inside a line");
}

} // namespace
