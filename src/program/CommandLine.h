// The options of the kcs command line.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct Screenshot {
    int64_t frame = 0; // the pass after whose draw the screen is saved
    std::string path;
};

struct Options {
    std::string dataDir;
    int scale = 3;
    bool headless = false;
    bool pacing = true;
    int64_t frames = -1; // -1: until the window is closed
    std::string replayPath;
    std::string recordPath;
    std::string tracePath; // "-" is standard output
    std::vector<Screenshot> screenshots;
    bool check = false;
    bool strict = false;         // --check: design warnings fail the check too
    std::string reportCharacter; // --character-report: print its numbers and exit
    std::string plotPath;        // --plot: the report's jump arcs as PNG
    std::string levelName;       // start straight in this level of "levels.ini"
    std::string characterFile;   // with this character; "" is the menu's first
    bool skipReady = false;      // no ready phase when a level starts
    bool overlay = false;        // the designer's overlay from the start
    bool watch = false;          // reload the running level when its files change
    std::string sourcesDir;      // --watch: the folder the data was built from
    bool mute = false;           // no sound
    int volume = -1;             // 0 to 100; -1: as controls.ini says
    std::optional<std::pair<int32_t, int32_t>> arrival; // --at: world px
    bool help = false;
    bool version = false;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError with a one-line reason.
Options parseCommandLine(int argc, const char* const* argv);

extern const char* const USAGE_TEXT;
