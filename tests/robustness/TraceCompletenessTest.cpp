// A trace is complete up to the last whole frame however the game ends: by a
// data error while the level loads, or killed outright part-way through.
#include "support/TestEnvironment.h"
#include "support/Trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;

namespace {

// Every line is one JSON object of the next frame, and the last one ends.
void expectWholeFrames(const std::string& trace) {
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), '\n') << "the trace ends inside a line";
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < trace.size()) {
        size_t end = trace.find('\n', start);
        lines.push_back(trace.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? trace.size() : end + 1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_GE(line.size(), 2u) << "line " << i;
        EXPECT_EQ(line.front(), '{') << "line " << i << ": " << line;
        EXPECT_EQ(line.back(), '}') << "line " << i << ": " << line;
        EXPECT_EQ(traceInt(line, "frame"), static_cast<long long>(i)) << line;
        EXPECT_FALSE(traceField(line, "screen").empty()) << line;
    }
}

class TraceCompleteness : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = scratchDir() + "/trace-data";
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        writeFile(scratchDir() + "/into-level.replay", "5 b down\n6 b up\n10 b down\n11 b up\n");
    }

    std::string m_dir;
};

} // namespace

TEST_F(TraceCompleteness, ADataErrorWhileTheLevelLoadsLeavesEveryFrameBeforeIt) {
    std::filesystem::copy_file(scratchDir() + "/font.ini", m_dir + "/font.ini");
    std::filesystem::copy_file(scratchDir() + "/testfont.bmp", m_dir + "/testfont.bmp");
    writeBmp(m_dir + "/selector.bmp", 8, 8, [](int, int) { return 0x20E040u; });
    writeFile(m_dir + "/stageselect.ini", "[Levels]\namount=1\nlevel0=GONE\n"
                                          "[Kalvorns]\namount=1\nkalvorn0=hero.ini\n");
    writeFile(m_dir + "/levels.ini", "[GONE]\ntileSheet=gone.bmp\ntileMap=gone.map\n");
    std::string tracePath = scratchDir() + "/broken-level.jsonl";
    RunResult result = runProgram(std::string(KCS_BINARY) + " --headless --data " + m_dir +
                                  " --frames 100 --replay " + scratchDir() +
                                  "/into-level.replay --trace " + tracePath);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("kcs: gone.bmp: ", 0), 0u) << result.err;
    std::string trace = readFile(tracePath);
    expectWholeFrames(trace);
    // The level is built in the update after the choice; that frame never
    // finishes, so the last line is still the menu's.
    std::vector<std::string> lines = traceLines(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(traceField(lines.back(), "screen"), "\"select\"");
    EXPECT_EQ(traceField(lines.back(), "switchRequested"), "true");
}

TEST_F(TraceCompleteness, AGameKilledPartWayLeavesOnlyWholeLines) {
    std::string tracePath = scratchDir() + "/killed.jsonl";
    std::remove(tracePath.c_str());
    std::string replay = scratchDir() + "/into-level.replay";
    // No --frames: the game would play until the window closes.
    pid_t child = fork();
    if (child == 0) {
        execl(KCS_BINARY, KCS_BINARY, "--headless", "--scale", "1", "--data", KCS_DEMO_DATA,
              "--replay", replay.c_str(), "--trace", tracePath.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    // Killed once the level plays: well past the ready phase's 180 frames.
    constexpr size_t LINES_BEFORE_KILL = 260;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    size_t lines = 0;
    while (lines < LINES_BEFORE_KILL && std::chrono::steady_clock::now() < deadline) {
        std::string trace = readFile(tracePath);
        lines = static_cast<size_t>(std::count(trace.begin(), trace.end(), '\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    int raw = 0;
    ASSERT_EQ(waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFSIGNALED(raw)) << "kcs ended by itself with status " << WEXITSTATUS(raw);
    EXPECT_EQ(WTERMSIG(raw), SIGKILL);
    ASSERT_GE(lines, LINES_BEFORE_KILL) << "the game did not get far enough in 60 s";
    std::string trace = readFile(tracePath);
    expectWholeFrames(trace);
    EXPECT_EQ(traceField(traceLines(trace).back(), "screen"), "\"level\"");
}
