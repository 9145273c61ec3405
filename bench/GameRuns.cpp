// Runs of the real game with its loop observed, and the bare paced loop.
#include "GameRuns.h"

#include "engine/DataFiles.h"
#include "engine/Files.h"
#include "engine/Screen.h"
#include "program/Game.h"

#include <SDL.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t POINT_COUNT = 5;
constexpr Uint32 FRAME_DURATIONS[3] = {17, 17, 16}; // ms

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double cpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The game logs its map loads on standard output, which carries the bench's
// table; the game's runs write to nothing. It also changes into its data
// folder, which the bench must not stay in.
class QuietRun {
public:
    QuietRun() : m_folder(std::filesystem::current_path()) {
        std::fflush(stdout);
        m_savedStdout = dup(STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    ~QuietRun() {
        std::fflush(stdout);
        if (m_savedStdout >= 0) {
            dup2(m_savedStdout, STDOUT_FILENO);
            close(m_savedStdout);
        }
        std::filesystem::current_path(m_folder);
    }
    QuietRun(const QuietRun&) = delete;
    QuietRun& operator=(const QuietRun&) = delete;

private:
    std::filesystem::path m_folder;
    int m_savedStdout = -1;
};

int runGame(const std::vector<std::string>& arguments, const LoopHooks& hooks) {
    std::vector<const char*> argv{"kcs"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    QuietRun quiet;
    return runKcs(static_cast<int>(argv.size()), argv.data(), hooks);
}

// Sets environment variables for one run and puts back what was there.
class Environment {
public:
    Environment(std::initializer_list<std::pair<const char*, std::string>> values) {
        for (const auto& [name, value] : values) {
            const char* pOld = std::getenv(name);
            m_saved.emplace_back(name,
                                 pOld != nullptr ? std::optional<std::string>(pOld) : std::nullopt);
            setenv(name, value.c_str(), 1);
        }
    }
    ~Environment() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

std::vector<std::string> headlessArguments(const std::string& dataDir, const std::string& replay,
                                           int64_t frames) {
    return {"--data", dataDir,    "--headless",          "--replay",
            replay,   "--frames", std::to_string(frames)};
}

// Keeps every point of every pass; nothing is allocated while the game runs.
class FrameTimer : public FrameObserver {
public:
    explicit FrameTimer(int64_t frames) : m_points(static_cast<size_t>(frames)) {}
    void reached(FramePoint point, int64_t frame) override {
        if (frame >= 0 && static_cast<size_t>(frame) < m_points.size()) {
            m_points[static_cast<size_t>(frame)][static_cast<size_t>(point)] = Clock::now();
            if (point == FramePoint::PACED) {
                m_completed = static_cast<size_t>(frame) + 1;
            }
        }
    }
    GameTimes times() const {
        GameTimes times;
        for (size_t frame = 0; frame < m_completed; ++frame) {
            const auto& p = m_points[frame];
            auto at = [&](FramePoint point) { return p[static_cast<size_t>(point)]; };
            times.updateDrawMs.push_back(
                millisecondsBetween(at(FramePoint::POLLED), at(FramePoint::DRAWN)));
            times.flipMs.push_back(
                millisecondsBetween(at(FramePoint::DRAWN), at(FramePoint::PRESENTED)));
            times.frameMs.push_back(
                millisecondsBetween(at(FramePoint::STARTED), at(FramePoint::PACED)));
        }
        return times;
    }

private:
    std::vector<std::array<Clock::time_point, POINT_COUNT>> m_points;
    size_t m_completed = 0;
};

class PaceTimer : public FrameObserver {
public:
    explicit PaceTimer(int64_t frames) : m_frames(frames) {
        m_starts.reserve(static_cast<size_t>(frames));
    }
    void reached(FramePoint point, int64_t frame) override {
        if (point == FramePoint::STARTED) {
            m_starts.push_back(Clock::now());
            if (frame == 0) {
                m_cpuStart = cpuMilliseconds();
            }
        } else if (point == FramePoint::PACED && frame == m_frames - 1) {
            m_end = Clock::now();
            m_cpuEnd = cpuMilliseconds();
        }
    }
    PacedTimes times() const {
        PacedTimes times;
        for (Clock::time_point start : m_starts) {
            times.startMs.push_back(millisecondsBetween(m_starts.front(), start));
        }
        if (!m_starts.empty()) {
            times.wallMs = millisecondsBetween(m_starts.front(), m_end);
        }
        times.cpuMs = m_cpuEnd - m_cpuStart;
        return times;
    }

private:
    int64_t m_frames;
    std::vector<Clock::time_point> m_starts;
    Clock::time_point m_end{};
    double m_cpuStart = 0.0;
    double m_cpuEnd = 0.0;
};

} // namespace

GameTimes timeGame(const std::string& dataDir, const std::string& replay, int64_t frames,
                   const std::vector<std::string>& moreOptions) {
    FrameTimer timer(frames);
    LoopHooks hooks;
    hooks.pFrames = &timer;
    std::vector<std::string> arguments = headlessArguments(dataDir, replay, frames);
    arguments.insert(arguments.end(), moreOptions.begin(), moreOptions.end());
    int status = runGame(arguments, hooks);
    GameTimes times = timer.times();
    times.status = status;
    return times;
}

BlitScript recordGame(const std::string& dataDir, const std::string& replay, int64_t frames) {
    BlitRecorder recorder;
    LoopHooks hooks;
    hooks.pFrames = &recorder;
    hooks.pBlits = &recorder;
    int status = runGame(headlessArguments(dataDir, replay, frames), hooks);
    if (status != 0) {
        throw std::runtime_error("kcs ended with status " + std::to_string(status) + " on " +
                                 replay);
    }
    return recorder.script();
}

PacedTimes paceGame(const std::string& dataDir, const std::string& replay, int64_t frames,
                    bool mute) {
    // No --headless, which would turn pacing off: the dummy driver is chosen
    // here instead, and the game paces as it does in a window. Its window is
    // not scaled, as headless; the bare loop's is not either. The sound is
    // mixed as for a device, which the disk driver stands in for.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    Environment sound{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", "/dev/null"}};
    PaceTimer timer(frames);
    LoopHooks hooks;
    hooks.pFrames = &timer;
    std::vector<std::string> arguments{"--data",   dataDir, "--scale",  "1",
                                       "--replay", replay,  "--frames", std::to_string(frames)};
    if (mute) {
        arguments.push_back("--mute");
    }
    int status = runGame(arguments, hooks);
    PacedTimes times = timer.times();
    times.status = status;
    return times;
}

PacedTimes paceBareLoop(int64_t frames) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL12COMPAT_WINDOW_SCALING", "1", 1);
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) != 0) {
        throw std::runtime_error(std::string("bare loop: cannot start SDL: ") + SDL_GetError());
    }
    SDL_Surface* pScreen = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0);
    if (pScreen == nullptr) {
        SDL_Quit();
        throw std::runtime_error(std::string("bare loop: no video mode: ") + SDL_GetError());
    }
    std::vector<Clock::time_point> starts;
    starts.reserve(static_cast<size_t>(frames));
    SDL_Event event;
    Uint32 deadline = SDL_GetTicks();
    int index = 0;
    double cpuStart = cpuMilliseconds();
    for (int64_t frame = 0; frame < frames; ++frame) {
        starts.push_back(Clock::now());
        while (SDL_PollEvent(&event)) {
        }
        SDL_Flip(pScreen);
        deadline += FRAME_DURATIONS[index];
        index = (index + 1) % 3;
        if (deadline > SDL_GetTicks()) {
            do {
                SDL_Delay(1);
            } while (SDL_GetTicks() < deadline);
        } else {
            deadline = SDL_GetTicks();
        }
    }
    Clock::time_point end = Clock::now();
    double cpuEnd = cpuMilliseconds();
    SDL_Quit();
    PacedTimes times;
    for (Clock::time_point start : starts) {
        times.startMs.push_back(millisecondsBetween(starts.front(), start));
    }
    times.wallMs = millisecondsBetween(starts.front(), end);
    times.cpuMs = cpuEnd - cpuStart;
    return times;
}

namespace {

// Notes when the game reads the frame's input.
class PressTimer : public FrameObserver {
public:
    explicit PressTimer(int64_t pressFrame) : m_pressFrame(pressFrame) {}
    void reached(FramePoint point, int64_t frame) override {
        if (point == FramePoint::POLLED && frame == m_pressFrame) {
            m_polled = Clock::now();
        }
    }
    Clock::time_point polled() const { return m_polled; }

private:
    int64_t m_pressFrame;
    Clock::time_point m_polled{};
};

// Reads what the disk driver writes into a FIFO and notes when the first
// buffer that is not silence arrives.
class FifoListener {
public:
    explicit FifoListener(std::string path)
        : m_path(std::move(path)), m_thread([this] { listen(); }) {}
    ~FifoListener() { finish(); }
    FifoListener(const FifoListener&) = delete;
    FifoListener& operator=(const FifoListener&) = delete;

    // Waits for the writer to close; a device that never opened is let go.
    void finish() {
        if (!m_thread.joinable()) {
            return;
        }
        int unblock = open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
        if (unblock >= 0) {
            close(unblock);
        }
        m_thread.join();
    }
    std::optional<Clock::time_point> firstSound() const { return m_firstSound; }

private:
    void listen() {
        int fifo = open(m_path.c_str(), O_RDONLY);
        if (fifo < 0) {
            return;
        }
        std::array<int16_t, 4096> samples{};
        ssize_t got = 0;
        while ((got = read(fifo, samples.data(), sizeof samples)) > 0) {
            Clock::time_point now = Clock::now();
            for (size_t i = 0; i < static_cast<size_t>(got) / sizeof(int16_t); ++i) {
                if (samples[i] != 0 && !m_firstSound) {
                    m_firstSound = now;
                }
            }
        }
        close(fifo);
    }

    std::string m_path;
    std::optional<Clock::time_point> m_firstSound;
    std::thread m_thread;
};

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

std::vector<double> soundLatencies(const std::string& dataDir, int runs) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "kcs-latency-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("latency: cannot make a scratch folder");
    }
    fs::path scratch = pattern;
    // The demo's data with the jump's effect alone: no music, no other effect.
    fs::path data = scratch / "data";
    fs::copy(dataDir, data, fs::copy_options::recursive);
    writeText(data / SOUNDS_FILE, "[Effects]\njump=sounds/jump.wav\n");
    FileRegistry files;
    std::istringstream levels(readFile(files, data / LEVELS_FILE, INI_FILE));
    std::string silentLevels;
    for (std::string line; std::getline(levels, line);) {
        silentLevels += line.rfind("music", 0) == 0 ? "" : line + "\n";
    }
    writeText(data / LEVELS_FILE, silentLevels);
    fs::path fifo = scratch / "audio.fifo";
    if (mkfifo(fifo.c_str(), 0600) != 0) {
        fs::remove_all(scratch);
        throw std::runtime_error("latency: cannot make a FIFO");
    }

    setenv("SDL_VIDEODRIVER", "dummy", 1);
    Environment sound{{"SDL_AUDIODRIVER", "disk"}, {"SDL_DISKAUDIOFILE", fifo.string()}};
    std::vector<double> latencies;
    for (int run = 0; run < runs; ++run) {
        // The press lands at a different point of the mixer's buffer each run.
        const int64_t pressFrame = 40 + run;
        fs::path replay = scratch / "jump.replay";
        writeText(replay, std::to_string(pressFrame) + " space down\n" +
                              std::to_string(pressFrame + 10) + " space up\n");
        PressTimer press(pressFrame);
        LoopHooks hooks;
        hooks.pFrames = &press;
        FifoListener listener(fifo.string());
        int status =
            runGame({"--data", data.string(), "--scale", "1", "--level", "ROCKFALL", "--skip-ready",
                     "--replay", replay.string(), "--frames", std::to_string(pressFrame + 30)},
                    hooks);
        listener.finish();
        if (status != 0 || !listener.firstSound()) {
            fs::remove_all(scratch);
            throw std::runtime_error("latency: the jump's sound did not reach the disk driver");
        }
        latencies.push_back(millisecondsBetween(press.polled(), *listener.firstSound()));
    }
    fs::remove_all(scratch);
    return latencies;
}
