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
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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

} // namespace
