// Files and runs of programs: what the test program and the bad-data matrix
// share, so it depends on neither gtest nor the engine.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support {

// Writes a text or binary file in the working directory (or at a path).
void writeFile(const std::string& path, const std::string& contents);
// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);

// Starts a program (arguments[0] is its path) with no input, its output and
// errors going to files; its process id.
pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outPath,
                   const std::string& errPath);

// How a started program ended.
struct Ending {
    int status = -1;       // exit status, or -1 when it did not exit
    int signal = 0;        // the signal that ended it
    bool timedOut = false; // killed when the time ran out
};
// Waits for a started program at most `seconds`, then kills it.
Ending waitFor(pid_t process, int seconds);

} // namespace testing_support
