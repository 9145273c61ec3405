// The source list is data like any other file: every name in it is checked
// before anything is run, and only the project's own tools are run. A build
// runs as a child process so that a long one (a song) never holds up a
// frame; the loop only asks, each frame, whether it has ended.
#include "program/SourceWatch.h"

#include "engine/DataError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr FileLimit SOURCE_LIST{"a source list", size_t{1} << 20};
// Every source is looked at on each look, in the frame loop: a list far
// past any game's (the demo has 35) would make that a stall.
constexpr size_t MAX_BUILDS = 1000;
const std::array<std::string, 3> TOOLS = {"kcs-map", "kcs-art", "kcs-sound"};
// A few dozen stat calls four times a second: a save shows within a second.
constexpr std::chrono::milliseconds LOOK_INTERVAL{250};
// The longest demo song builds in well under a second; a build still
// running after this is taken as hung and stopped.
constexpr std::chrono::seconds TOOL_TIME_LIMIT{30};
// A stopped tool removes its temporary file on SIGTERM within this time;
// one that does not is killed. The frame loop does not wait meanwhile.
constexpr std::chrono::milliseconds STOP_GRACE{2000};
// At the game's end it has less: a stop signal gives the whole teardown
// half a second.
constexpr std::chrono::milliseconds END_GRACE{200};
constexpr std::chrono::milliseconds STOP_POLL{10};
constexpr size_t MAX_DRAIN = 65536; // bytes read from it in one frame
constexpr size_t MAX_SAID = 4096;   // bytes of a tool's standard error kept
constexpr size_t MAX_SHOWN = 400;   // bytes of its first line shown

// A name the list gives relative to a folder: kept inside it.
std::string checkedName(const std::string& name, const std::string& what, const std::string& line) {
    if (name.empty()) {
        throw DataError(SOURCE_LIST_FILE, line + ": an empty " + what + " name");
    }
    fs::path path(name);
    bool leaves = path.is_absolute();
    for (const fs::path& part : path) {
        leaves = leaves || part == "..";
    }
    if (leaves) {
        throw DataError(SOURCE_LIST_FILE, line + ": the " + what + " \"" + excerpt(name) +
                                              "\" is outside its folder; name it relative to "
                                              "the folder, without \"..\"");
    }
    return name;
}

// An absolute path, or one relative to the data folder.
std::string inFolder(const std::string& folder, const std::string& path) {
    return fs::path(path).is_absolute() ? path : (fs::path(folder) / path).string();
}

std::string knownTool(const std::string& name, const std::string& line) {
    if (std::find(TOOLS.begin(), TOOLS.end(), name) == TOOLS.end()) {
        throw DataError(SOURCE_LIST_FILE, line + ": \"" + excerpt(name) +
                                              "\" is not one of the tools kcs runs; use kcs-map, "
                                              "kcs-art or kcs-sound");
    }
    return name;
}

std::string restOf(std::istringstream& words) {
    std::string rest;
    std::getline(words, rest);
    size_t first = rest.find_first_not_of(" \t");
    size_t last = rest.find_last_not_of(" \t");
    return first == std::string::npos ? "" : rest.substr(first, last - first + 1);
}

} // namespace

std::unique_ptr<SourceWatch> SourceWatch::load(FileRegistry& files,
                                               const std::string& sourcesFolder) {
    std::error_code error;
    if (!fs::exists(SOURCE_LIST_FILE, error)) {
        if (sourcesFolder.empty()) {
            return nullptr;
        }
        throw DataError(SOURCE_LIST_FILE, "--sources needs this list of how the data folder's "
                                          "files are built from the sources; the designer's "
                                          "guide shows one");
    }
    std::unique_ptr<SourceWatch> pWatch(new SourceWatch());
    SourceWatch& watch = *pWatch;
    watch.m_dataFolder = fs::current_path().string();
    std::istringstream text(readFile(files, SOURCE_LIST_FILE, SOURCE_LIST));
    std::string listedSources;
    int number = 0;
    for (std::string line; std::getline(text, line);) {
        ++number;
        std::string where = "line " + std::to_string(number);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream words(line);
        std::string keyword;
        if (!(words >> keyword) || keyword[0] == '#') {
            continue;
        }
        if (keyword == "sources") {
            listedSources = restOf(words);
            if (listedSources.empty()) {
                throw DataError(SOURCE_LIST_FILE, where + ": sources needs a folder");
            }
        } else if (keyword == "tool") {
            std::string name;
            words >> name;
            knownTool(name, where);
            std::string path = restOf(words);
            if (fs::path(path).filename() != name) {
                throw DataError(SOURCE_LIST_FILE, where + ": tool " + name + " needs a path to " +
                                                      name + ", got \"" + excerpt(path) + "\"");
            }
            watch.m_tools.emplace_back(name, inFolder(watch.m_dataFolder, path));
        } else if (keyword == "build") {
            Step step;
            words >> step.output;
            checkedName(step.output, "output", where);
            if (!(words >> step.tool)) {
                throw DataError(SOURCE_LIST_FILE, where + ": build needs OUTPUT TOOL ARGUMENTS");
            }
            knownTool(step.tool, where);
            for (std::string word; words >> word;) {
                bool braced = word.size() > 2 && word.front() == '{' && word.back() == '}';
                std::string inner = braced ? word.substr(1, word.size() - 2) : word;
                if (inner.find_first_of("{}") != std::string::npos) {
                    throw DataError(SOURCE_LIST_FILE, where + ": \"" + excerpt(word) +
                                                          "\" is not {SOURCE} nor a plain "
                                                          "argument");
                }
                if (braced) {
                    step.sources.push_back(checkedName(inner, "source", where));
                }
                step.arguments.push_back(inner);
            }
            if (step.sources.empty()) {
                throw DataError(SOURCE_LIST_FILE, where + ": the build of \"" +
                                                      excerpt(step.output) +
                                                      "\" names no {SOURCE}");
            }
            if (watch.m_steps.size() == MAX_BUILDS) {
                throw DataError(SOURCE_LIST_FILE, where + ": more than " +
                                                      std::to_string(MAX_BUILDS) +
                                                      " build lines; split the game's data");
            }
            watch.m_steps.push_back(step);
        } else {
            throw DataError(SOURCE_LIST_FILE,
                            where + ": \"" + excerpt(keyword) + "\" is not sources, tool or build");
        }
    }
    if (!sourcesFolder.empty()) {
        watch.m_sourcesFolder = sourcesFolder;
        if (!fs::is_directory(sourcesFolder, error)) {
            throw DataError(sourcesFolder, "--sources needs a folder, and this is none");
        }
    } else if (listedSources.empty()) {
        throw DataError(SOURCE_LIST_FILE,
                        "names no sources folder; add a \"sources DIR\" line or give --sources");
    } else {
        watch.m_sourcesFolder = inFolder(watch.m_dataFolder, listedSources);
        if (!fs::is_directory(watch.m_sourcesFolder, error)) {
            throw DataError(SOURCE_LIST_FILE, "the sources folder \"" +
                                                  excerpt(listedSources, MAX_QUOTED_PATH) +
                                                  "\" is not there; give --sources DIR");
        }
    }
    for (const Step& step : watch.m_steps) {
        for (const std::string& source : step.sources) {
            std::string path = (fs::path(watch.m_sourcesFolder) / source).string();
            if (std::find(watch.m_sourcePaths.begin(), watch.m_sourcePaths.end(), path) ==
                watch.m_sourcePaths.end()) {
                watch.m_sourcePaths.push_back(path);
            }
        }
    }
    watch.m_stamps = stampsOf(watch.m_sourcePaths);
    watch.m_lastLook = std::chrono::steady_clock::now();
    return pWatch;
}

SourceWatch::~SourceWatch() {
    if (m_child > 0) {
        stopChild();
    }
}

bool SourceWatch::poll() {
    auto now = std::chrono::steady_clock::now();
    if (m_child > 0) {
        drain();
        int status = 0;
        if (waitpid(m_child, &status, WNOHANG) == m_child) {
            drain(); // what it wrote as it ended
            finish(status);
        } else if (now - m_started > TOOL_TIME_LIMIT + STOP_GRACE) {
            kill(-m_child, SIGKILL);
            waitpid(m_child, &status, 0);
            finish(status);
        } else if (now - m_started > TOOL_TIME_LIMIT && !m_stopping) {
            // Asked first, so that it removes its temporary file.
            kill(-m_child, SIGTERM);
            m_stopping = true;
        }
    }
    if (now - m_lastLook >= LOOK_INTERVAL) {
        m_lastLook = now;
        look();
    }
    while (m_child < 0 && !m_queue.empty()) {
        size_t next = m_queue.front();
        m_queue.pop_front();
        start(next);
    }
    if (m_built && !busy()) {
        m_built = false;
        return true;
    }
    return false;
}

std::string SourceWatch::error() const {
    for (const Step& step : m_steps) {
        if (!step.error.empty()) {
            return step.error;
        }
    }
    return "";
}

void SourceWatch::look() {
    std::vector<FileStamp> stamps = stampsOf(m_sourcePaths);
    for (size_t i = 0; i < stamps.size(); ++i) {
        if (stamps[i] == m_stamps[i]) {
            continue;
        }
        for (size_t s = 0; s < m_steps.size(); ++s) {
            const std::vector<std::string>& sources = m_steps[s].sources;
            bool uses = std::any_of(sources.begin(), sources.end(), [&](const std::string& name) {
                return fs::path(m_sourcesFolder) / name == m_sourcePaths[i];
            });
            // A step already building reads the file again after this run.
            if (uses && std::find(m_queue.begin(), m_queue.end(), s) == m_queue.end()) {
                m_queue.push_back(s);
            }
        }
    }
    m_stamps = std::move(stamps);
}

std::string SourceWatch::toolPath(const std::string& tool) const {
    for (const auto& [name, path] : m_tools) {
        if (name == tool) {
            return path;
        }
    }
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return (executable.parent_path() / tool).string();
}

void SourceWatch::start(size_t index) {
    Step& step = m_steps[index];
    std::string tool = toolPath(step.tool);
    if (access(tool.c_str(), X_OK) != 0) {
        step.error = step.tool + " to build " + step.output + " is not at \"" +
                     excerpt(tool, MAX_QUOTED_PATH) + "\" (" + std::strerror(errno) +
                     "); build the tools, or name it with a \"tool\" line in " + SOURCE_LIST_FILE;
        std::fprintf(stderr, "kcs: %s\n", step.error.c_str());
        return;
    }
    std::vector<std::string> arguments = {tool};
    arguments.insert(arguments.end(), step.arguments.begin(), step.arguments.end());
    arguments.push_back((fs::path(m_dataFolder) / step.output).string());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    int pipeEnds[2] = {-1, -1};
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        step.error = step.tool + " cannot be started: " + std::strerror(errno);
        return;
    }
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    // Run in the sources folder, so its messages name the source as the
    // list does.
    posix_spawn_file_actions_addchdir_np(&actions, m_sourcesFolder.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    // A group of its own, so that stopping it stops whatever it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETPGROUP);
    pid_t child = -1;
    int failed = posix_spawn(&child, tool.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(pipeEnds[0]);
        step.error =
            step.tool + " cannot be started to build " + step.output + ": " + std::strerror(failed);
        std::fprintf(stderr, "kcs: %s\n", step.error.c_str());
        return;
    }
    m_child = child;
    m_running = index;
    m_errorPipe = pipeEnds[0];
    m_said.clear();
    m_started = std::chrono::steady_clock::now();
}

void SourceWatch::drain() {
    if (m_errorPipe < 0) {
        return;
    }
    char buffer[1024];
    ssize_t got = 0;
    // A tool that writes without end is read a bounded amount per frame.
    size_t drained = 0;
    while (drained < MAX_DRAIN && (got = read(m_errorPipe, buffer, sizeof buffer)) > 0) {
        drained += static_cast<size_t>(got);
        size_t room = MAX_SAID - std::min(MAX_SAID, m_said.size());
        m_said.append(buffer, std::min(room, static_cast<size_t>(got)));
    }
    if (got == 0) {
        close(m_errorPipe);
        m_errorPipe = -1;
    }
}

void SourceWatch::finish(int status) {
    m_child = -1;
    if (m_errorPipe >= 0) {
        close(m_errorPipe);
        m_errorPipe = -1;
    }
    Step& step = m_steps[m_running];
    if (m_stopping) {
        m_stopping = false;
        step.error = step.tool + " did not end within " + std::to_string(TOOL_TIME_LIMIT.count()) +
                     " s building " + step.output + " from " + step.sources.front() +
                     "; it was stopped";
        std::fprintf(stderr, "kcs: %s\n", step.error.c_str());
        return;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        step.error.clear();
        m_built = true;
        return;
    }
    // The tool's own one line names the source, its line and column.
    std::string said = m_said.substr(0, m_said.find('\n'));
    if (said.empty()) {
        said = step.tool + " failed to build " + step.output + " from " + step.sources.front() +
               (WIFSIGNALED(status) ? ": ended by signal " + std::to_string(WTERMSIG(status))
                                    : " and said nothing");
    }
    step.error = excerpt(said, MAX_SHOWN);
    std::fprintf(stderr, "kcs: %s\n", step.error.c_str());
}

void SourceWatch::stopChild() {
    kill(-m_child, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + END_GRACE;
    int status = 0;
    while (waitpid(m_child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-m_child, SIGKILL);
            waitpid(m_child, &status, 0);
            break;
        }
        std::this_thread::sleep_for(STOP_POLL);
    }
    m_child = -1;
    if (m_errorPipe >= 0) {
        close(m_errorPipe);
        m_errorPipe = -1;
    }
}
