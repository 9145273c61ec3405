// --watch on the sources the data was built from: a saved map text, Tiled
// map, art text or score is built again with the project's own tool, as a
// child process the frame loop polls, and the game then reloads the level.
// The steps come from the source list the build writes into the data folder
// (SOURCE_LIST_FILE), or a designer's own.
#pragma once

#include "engine/Files.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class FileRegistry;

// The source list in the data folder: "sources DIR", "tool NAME PATH" and
// "build OUTPUT TOOL ARG..." lines, each source argument in braces.
inline constexpr const char* SOURCE_LIST_FILE = "kcs-sources.txt";

class SourceWatch {
public:
    // One built file: the tool and its arguments (the output path is added
    // last), and the sources among them, relative to the sources folder.
    struct Step {
        std::string output; // relative to the data folder
        std::string tool;   // "kcs-map", "kcs-art" or "kcs-sound"
        std::vector<std::string> arguments;
        std::vector<std::string> sources;
        std::string error; // the last build's failure, or ""
    };

    // Reads the source list of the data folder (the working folder), or
    // returns nothing when there is none and no sourcesFolder was given.
    // sourcesFolder (absolute, or "") replaces the list's "sources" line.
    // Throws DataError for a list that is not sound or a folder that is not
    // there.
    static std::unique_ptr<SourceWatch> load(FileRegistry& files, const std::string& sourcesFolder);

    SourceWatch(const SourceWatch&) = delete;
    SourceWatch& operator=(const SourceWatch&) = delete;
    ~SourceWatch();

    // Called every frame: ends or advances the running build, and looks at
    // the sources when it is time. True once every build a change started
    // has ended and one of them wrote its file: the level is to be reloaded.
    bool poll();
    // Whether a build runs or waits: the built files are not looked at
    // meanwhile, so a change reloads the level once, when all are written.
    bool busy() const { return m_child > 0 || !m_queue.empty(); }
    // The first failing build's message (the tool's own line), or "".
    std::string error() const;

private:
    SourceWatch() = default;
    void look();
    void start(size_t index);
    void drain();
    void finish(int status);
    void stopChild();
    std::string toolPath(const std::string& tool) const;

    std::string m_sourcesFolder;                              // absolute
    std::string m_dataFolder;                                 // absolute
    std::vector<std::pair<std::string, std::string>> m_tools; // name, path from the list
    std::vector<Step> m_steps;
    std::vector<std::string> m_sourcePaths; // absolute, each once
    std::vector<FileStamp> m_stamps;        // of m_sourcePaths
    std::chrono::steady_clock::time_point m_lastLook;
    std::deque<size_t> m_queue; // steps waiting for their build
    pid_t m_child = -1;
    size_t m_running = 0; // the step m_child builds
    std::chrono::steady_clock::time_point m_started;
    bool m_stopping = false; // it ran out of time and was asked to stop
    int m_errorPipe = -1;    // the child's standard error, read without waiting
    std::string m_said;      // what it wrote there, up to a limit
    bool m_built = false;    // a build wrote its file since the last reload
};
