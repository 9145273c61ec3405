// Start-up, the frame loop (poll, update unless paused, draw, trace,
// screenshots, present, wait) and teardown, with the command line's replay,
// record, trace and screenshot hooks around the loop's fixed order.
#include "engine/Game.h"

#include "config/IniDictionary.h"
#include "engine/Audio.h"
#include "engine/CommandLine.h"
#include "engine/Controls.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/FramePacer.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/Replay.h"
#include "level/DataCheck.h"
#include "player/CharacterReport.h"

#include <cerrno>
#include <csignal>
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
const char* const LEVELS_FILE = "levels.ini";
// How often --watch looks at the running level's files: a handful of stat
// calls twice a second.
constexpr Uint32 WATCH_INTERVAL = 500; // ms

// Beyond this many entries the data folder is not searched for outputs: a
// game's data is a few dozen files, and the folder may be a home directory.
constexpr int MAX_DATA_ENTRIES = 10000;

// The files this run writes, checked before anything is written: none may be
// the replay, another output, or a file of the data folder (which the game
// would then read after overwriting it).
void refuseOutputsOverInputs(const Options& options, const std::string& dataFolder) {
    std::vector<std::pair<std::string, std::string>> outputs; // option, path
    if (!options.tracePath.empty() && options.tracePath != "-") {
        outputs.emplace_back("--trace", options.tracePath);
    }
    if (!options.recordPath.empty()) {
        outputs.emplace_back("--record", options.recordPath);
    }
    for (const Screenshot& shot : options.screenshots) {
        outputs.emplace_back("--screenshot", shot.path);
    }
    if (!options.plotPath.empty()) {
        outputs.emplace_back("--plot", options.plotPath);
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        const auto& [option, path] = outputs[i];
        if (!options.replayPath.empty()) {
            refuseSameFile(path, option, options.replayPath);
        }
        for (size_t j = 0; j < i; ++j) {
            // Several screenshots may share a path; the last one is kept.
            if (option != "--screenshot" || outputs[j].first != "--screenshot") {
                refuseSameFile(path, option, outputs[j].second);
            }
        }
    }
    std::vector<std::pair<FileIdentity, size_t>> existing;
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (std::optional<FileIdentity> identity = identityOf(outputs[i].second)) {
            existing.emplace_back(*identity, i);
        }
    }
    if (existing.empty()) {
        return;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator entry(dataFolder,
                                           fs::directory_options::skip_permission_denied, error);
    for (int seen = 0;
         !error && entry != fs::recursive_directory_iterator() && seen < MAX_DATA_ENTRIES;
         entry.increment(error), ++seen) {
        std::error_code unreadable;
        if (!entry->is_regular_file(unreadable)) {
            continue;
        }
        std::optional<FileIdentity> identity = identityOf(entry->path().string());
        for (const auto& [output, index] : existing) {
            if (identity == output) {
                refuseSameFile(outputs[index].second, outputs[index].first, entry->path().string());
            }
        }
    }
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

void writeTraceLine(OutputStream& trace, int64_t frame, bool paused,
                    const GameStateManager& manager) {
    std::string line =
        "{\"frame\":" + std::to_string(frame) + ",\"paused\":" + (paused ? "true" : "false") + ",";
    manager.appendTrace(line);
    line += ",\"sounds\":[";
    const char* separator = "";
    for (SoundEvent event : gEngine->raisedSounds()) {
        line += separator;
        line += '"';
        line += soundEventName(event);
        line += '"';
        separator = ",";
    }
    line += "]}\n";
    // One write per whole line, flushed, so a trace ends on a complete frame.
    trace.write(line);
}

// The menu, or with --level the level it names, checked against
// "levels.ini" so a misspelt name is one clear line.
std::unique_ptr<GameStateManager> startingScreen(const Options& options) {
    if (options.levelName.empty()) {
        auto pManager = std::make_unique<GameStateManager>();
        pManager->setSkipReady(options.skipReady);
        return pManager;
    }
    IniDictionary levels(LEVELS_FILE);
    if (!levels.hasSection(options.levelName)) {
        std::string known;
        for (const std::string& section : levels.sectionNames()) {
            if (section != "Common") {
                known += (known.empty() ? "" : ", ") + section;
            }
        }
        throw DataError(LEVELS_FILE, "no level [" + excerpt(options.levelName) +
                                         "] for --level; the levels are: " + known);
    }
    std::string character = options.characterFile;
    if (character.empty()) {
        character = IniDictionary(STAGE_SELECT_FILE).getString("kalvorn0", "Kalvorns", "empty");
    }
    auto pManager = std::make_unique<GameStateManager>(options.levelName, character);
    pManager->setSkipReady(options.skipReady);
    pManager->setArrival(options.arrival);
    return pManager;
}

void reach(const LoopHooks& hooks, FramePoint point, int64_t frame) {
    if (hooks.pFrames != nullptr) {
        hooks.pFrames->reached(point, frame);
    }
}

int play(const Options& options, OutputStream& trace, OutputStream& record, ReplayScript& replay,
         const std::vector<Screenshot>& screenshots, const std::string& startFolder,
         const LoopHooks& hooks) {
    auto pEngine = std::make_unique<GameEngine>(hooks.pBlits);
    gEngine = pEngine.get();
    Controls controls = Controls::load(CONTROLS_FILE);
    pEngine->setControls(controls);
    AudioSettings sound;
    sound.mute = options.mute;
    sound.volume = options.volume >= 0 ? options.volume : controls.volume;
    sound.music = controls.musicVolume;
    sound.effects = controls.effectsVolume;
    auto pAudio = std::make_unique<Audio>(sound);
    pAudio->loadSounds();
    pEngine->setAudio(std::move(pAudio));
    pEngine->setScreenshotFolder(startFolder);
    pEngine->setOverlayShown(options.overlay);
    Recorder recorder(record.isOpen() ? &record : nullptr);
    if (record.isOpen()) {
        pEngine->setInputObserver(&recorder);
    }
    std::unique_ptr<GameStateManager> pManager = startingScreen(options);

    Uint32 lastWatch = SDL_GetTicks();
    SdlClock clock;
    FramePacer pacer(clock);
    pacer.start();
    for (int64_t frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
        reach(hooks, FramePoint::STARTED, frame);
        recorder.setFrame(frame);
        pEngine->pollEvents([&] { return replay.pushEventsFor(frame); });
        bool reload = pEngine->takeReloadRequest();
        if (options.watch && SDL_GetTicks() - lastWatch >= WATCH_INTERVAL) {
            lastWatch = SDL_GetTicks();
            reload = pManager->levelFilesChanged() || reload;
        }
        if (reload) {
            pManager->reloadLevel();
        }
        reach(hooks, FramePoint::POLLED, frame);
        bool paused = pEngine->isPaused();
        if (!paused) {
            pManager->update();
        }
        pEngine->playRaisedSounds();
        pEngine->audio()->setPaused(paused);
        pManager->draw();
        reach(hooks, FramePoint::DRAWN, frame);
        if (trace.isOpen()) {
            writeTraceLine(trace, frame, paused, *pManager);
        }
        for (const Screenshot& shot : screenshots) {
            if (shot.frame == frame) {
                pEngine->saveScreen(shot.path, "--screenshot");
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
    catchStopSignals();
    try {
        // Paths on the command line are relative to the starting folder, so
        // everything is opened or made absolute before --data changes it.
        ReplayScript replay;
        if (!options.replayPath.empty()) {
            replay = ReplayScript::load(options.replayPath);
        }
        refuseOutputsOverInputs(options, options.dataDir.empty() ? "." : options.dataDir);
        OutputStream trace =
            options.tracePath.empty() ? OutputStream() : OutputStream(options.tracePath, "--trace");
        OutputStream record = options.recordPath.empty()
                                  ? OutputStream()
                                  : OutputStream(options.recordPath, "--record");
        std::vector<Screenshot> screenshots = options.screenshots;
        for (Screenshot& shot : screenshots) {
            // A screenshot is written only after its frame, so its path is
            // tried now: what cannot be written stops the game before it starts.
            TemporaryFile probe(shot.path, "--screenshot");
            shot.path = std::filesystem::absolute(outputTarget(shot.path, "--screenshot", true));
        }
        std::string plotPath;
        if (!options.plotPath.empty()) {
            TemporaryFile probe(options.plotPath, "--plot");
            plotPath = std::filesystem::absolute(outputTarget(options.plotPath, "--plot", true));
        }
        std::string startFolder = std::filesystem::current_path().string();
        if (!options.dataDir.empty() && chdir(options.dataDir.c_str()) != 0) {
            throw DataError(options.dataDir,
                            std::string("--data cannot change into it: ") + std::strerror(errno));
        }
        if (options.dataDir.empty()) {
            useInstalledDataIfNeeded();
        }
        if (options.headless || options.check || !options.reportCharacter.empty()) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            // Silent, unless a test asked for SDL's disk driver to listen.
            setenv("SDL_AUDIODRIVER", "dummy", 0);
        }
        // Without a window there is nothing to show scaled, and scaling the
        // dummy driver's unseen window in software was most of the cost of
        // a headless frame.
        int windowScale = options.headless ? 1 : options.scale;
        setenv("SDL12COMPAT_WINDOW_SCALING", std::to_string(windowScale).c_str(), 1);
        setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 1);
        if (!options.reportCharacter.empty()) {
            return runCharacterReport(options.reportCharacter, plotPath);
        }
        int status = options.check
                         ? runDataCheck(options.strict)
                         : play(options, trace, record, replay, screenshots, startFolder, hooks);
        trace.close();
        record.close();
        return flushStandardOutput("kcs") ? status : 2;
    } catch (const Interrupted& stop) {
        // Ended as the signal would have ended it, once everything above has
        // been torn down.
        std::signal(stop.signal(), SIG_DFL);
        std::raise(stop.signal());
        return 128 + stop.signal();
    } catch (const DataError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const StartupError& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kcs: out of memory\n");
        return 2;
    } catch (const std::filesystem::filesystem_error& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    }
}
