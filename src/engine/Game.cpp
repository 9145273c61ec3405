// Start-up, the frame loop (poll, update unless paused, draw, trace,
// screenshots, present, wait) and teardown, with the command line's replay,
// record, trace and screenshot hooks around the loop's fixed order.
#include "engine/Game.h"

#include "engine/CommandLine.h"
#include "engine/Controls.h"
#include "engine/DataError.h"
#include "engine/FramePacer.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/Replay.h"
#include "level/DataCheck.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

// Optional key and gamepad bindings in the data folder.
const char* const CONTROLS_FILE = "controls.ini";
const char* const STAGE_SELECT_FILE = "stageselect.ini";

struct FileCloser {
    void operator()(std::FILE* pFile) const {
        if (pFile != nullptr && pFile != stdout) {
            std::fclose(pFile);
        }
    }
};
using OutputFile = std::unique_ptr<std::FILE, FileCloser>;

OutputFile openOutput(const std::string& option, const std::string& path) {
    if (path == "-") {
        return OutputFile(stdout);
    }
    std::FILE* pFile = std::fopen(path.c_str(), "wb");
    if (pFile == nullptr) {
        throw DataError(path, option + " cannot write it: " + std::strerror(errno));
    }
    return OutputFile(pFile);
}

// A screenshot is written only after its frame, so its folder is tried now:
// a path that cannot be written stops the program before the game starts.
void checkWritable(const std::string& path) {
    std::string probe = path + ".part";
    std::FILE* pFile = std::fopen(probe.c_str(), "wb");
    if (pFile == nullptr) {
        throw DataError(path, std::string("--screenshot cannot write it: ") +
                                  std::strerror(errno));
    }
    std::fclose(pFile);
    std::remove(probe.c_str());
}

// An installed kcs started in a folder without game data plays the demo data
// installed beside it (<prefix>/bin/kcs and <prefix>/share/kcs).
void useInstalledDataIfNeeded() {
    std::error_code error;
    if (std::filesystem::exists(STAGE_SELECT_FILE, error)) {
        return;
    }
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return;
    }
    std::filesystem::path installed = executable.parent_path().parent_path() / "share" / "kcs";
    if (std::filesystem::exists(installed / STAGE_SELECT_FILE, error)) {
        std::filesystem::current_path(installed, error);
    }
}

void writeTraceLine(std::FILE* pTrace, int64_t frame, bool paused,
                    const GameStateManager& manager) {
    std::string line = "{\"frame\":" + std::to_string(frame) +
                       ",\"paused\":" + (paused ? "true" : "false") + ",";
    manager.appendTrace(line);
    line += "}\n";
    // One write per whole line, flushed, so a trace ends on a complete frame.
    std::fwrite(line.data(), 1, line.size(), pTrace);
    std::fflush(pTrace);
}

void reach(const LoopHooks& hooks, FramePoint point, int64_t frame) {
    if (hooks.pFrames != nullptr) {
        hooks.pFrames->reached(point, frame);
    }
}

int play(const Options& options, std::FILE* pTrace, std::FILE* pRecord, ReplayScript& replay,
         const std::vector<Screenshot>& screenshots, const std::string& startFolder,
         const LoopHooks& hooks) {
    auto pEngine = std::make_unique<GameEngine>(hooks.pBlits);
    gEngine = pEngine.get();
    pEngine->setControls(Controls::load(CONTROLS_FILE));
    pEngine->setScreenshotFolder(startFolder);
    Recorder recorder(pRecord);
    if (pRecord != nullptr) {
        pEngine->setInputObserver(&recorder);
    }
    auto pManager = std::make_unique<GameStateManager>();

    SdlClock clock;
    FramePacer pacer(clock);
    pacer.start();
    for (int64_t frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
        reach(hooks, FramePoint::STARTED, frame);
        replay.pushEventsFor(frame);
        recorder.setFrame(frame);
        pEngine->pollEvents();
        reach(hooks, FramePoint::POLLED, frame);
        bool paused = pEngine->isPaused();
        if (!paused) {
            pManager->update();
        }
        pManager->draw();
        reach(hooks, FramePoint::DRAWN, frame);
        if (pTrace != nullptr) {
            writeTraceLine(pTrace, frame, paused, *pManager);
        }
        for (const Screenshot& shot : screenshots) {
            if (shot.frame == frame && !pEngine->saveScreen(shot.path)) {
                throw DataError(shot.path, "--screenshot could not write the image");
            }
        }
        if (pEngine->flip() == -1) {
            return 1;
        }
        reach(hooks, FramePoint::PRESENTED, frame);
        if (options.pacing) {
            pacer.wait();
        }
        reach(hooks, FramePoint::PACED, frame);
        if (pEngine->isQuitRequested()) {
            break;
        }
    }
    pManager.reset();
    gEngine = nullptr;
    return 0;
}

} // namespace

int runKcs(int argc, const char* const* argv, const LoopHooks& hooks) {
    Options options;
    try {
        options = parseCommandLine(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    }
    if (options.help) {
        std::fputs(USAGE_TEXT, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("kcs %s\n", KCS_VERSION);
        return 0;
    }
    try {
        // Paths on the command line are relative to the starting folder, so
        // everything is opened or made absolute before --data changes it.
        OutputFile trace = options.tracePath.empty() ? OutputFile()
                                                      : openOutput("--trace", options.tracePath);
        OutputFile record =
            options.recordPath.empty() ? OutputFile() : openOutput("--record", options.recordPath);
        std::vector<Screenshot> screenshots = options.screenshots;
        for (Screenshot& shot : screenshots) {
            checkWritable(shot.path);
            shot.path = std::filesystem::absolute(shot.path).string();
        }
        ReplayScript replay;
        if (!options.replayPath.empty()) {
            replay = ReplayScript::load(options.replayPath);
        }
        std::string startFolder = std::filesystem::current_path().string();
        if (!options.dataDir.empty() && chdir(options.dataDir.c_str()) != 0) {
            throw DataError(options.dataDir,
                            std::string("--data cannot change into it: ") + std::strerror(errno));
        }
        if (options.dataDir.empty()) {
            useInstalledDataIfNeeded();
        }
        if (options.headless || options.check) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
        }
        // Without a window there is nothing to show scaled, and scaling the
        // dummy driver's unseen window in software was most of the cost of
        // a headless frame.
        int windowScale = options.headless ? 1 : options.scale;
        setenv("SDL12COMPAT_WINDOW_SCALING", std::to_string(windowScale).c_str(), 1);
        setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 1);
        if (options.check) {
            return runDataCheck();
        }
        return play(options, trace.get(), record.get(), replay, screenshots, startFolder, hooks);
    } catch (const DataError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const StartupError& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kcs: out of memory while loading the data\n");
        return 2;
    } catch (const std::filesystem::filesystem_error& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    }
}
