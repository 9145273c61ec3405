// Start-up, the frame loop (poll, update unless paused, draw, trace,
// screenshots, present, wait) and teardown, with the command line's replay,
// record, trace and screenshot hooks around the loop's fixed order.
#include "program/Game.h"

#include "config/Controls.h"
#include "config/IniDictionary.h"
#include "config/SoundsFile.h"
#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/Files.h"
#include "engine/FramePacer.h"
#include "engine/GameEngine.h"
#include "engine/GameStateManager.h"
#include "engine/TraceRecord.h"
#include "graphics/Font.h"
#include "program/CharacterReport.h"
#include "program/CommandLine.h"
#include "program/DataCheck.h"
#include "program/Replay.h"
#include "program/SourceWatch.h"
#include "screens/menu/StageSelect.h"
#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <unistd.h>
#include <utility>

namespace {

// How often --watch looks at the running level's files: a handful of stat
// calls twice a second.
constexpr Uint32 WATCH_INTERVAL = 500; // ms

std::string inDataFolder(const std::string& dataFolder, const std::string& name) {
    if (name.empty() || name.front() == '/' || dataFolder == ".") {
        return name;
    }
    return dataFolder + "/" + name;
}

// Every file the data names, wherever it is, becomes an input before any
// output is opened, so no output can replace a file the game reads later.
// Any value naming an existing file counts, whatever its key; INI files are
// followed once each (by identity, so loops end), and each is read whole
// once: the work grows with the data's size, not with anything else.
void noteDataInputs(FileRegistry& files, const std::string& dataFolder, const Options& options) {
    std::vector<std::string> pending(std::begin(DATA_ROOTS), std::end(DATA_ROOTS));
    pending.emplace_back(MISSING_FILE_NAME);
    for (const std::string& character : {options.characterFile, options.reportCharacter}) {
        if (!character.empty()) {
            pending.push_back(character);
        }
    }
    std::set<std::pair<dev_t, ino_t>> visited;
    while (!pending.empty()) {
        std::string path = inDataFolder(dataFolder, pending.back());
        pending.pop_back();
        std::optional<FileIdentity> identity = identityOf(path);
        if (!identity || !visited.emplace(identity->device, identity->inode).second) {
            continue;
        }
        files.noteInput(path);
        if (path.size() < 4 || path.compare(path.size() - 4, 4, ".ini") != 0) {
            continue;
        }
        std::string text;
        try {
            text = readFile(files, path, INI_FILE);
        } catch (const DataError&) {
            continue; // the loader that needs it says what is wrong
        }
        size_t lineStart = 0;
        while (lineStart < text.size()) {
            size_t lineEnd = std::min(text.find('\n', lineStart), text.size());
            size_t equals = text.find('=', lineStart);
            if (equals < lineEnd) {
                size_t first = text.find_first_not_of(" \t", equals + 1);
                size_t last = text.find_last_not_of(" \t\r", lineEnd - 1);
                if (first < lineEnd && last != std::string::npos && last >= first) {
                    pending.push_back(text.substr(first, last - first + 1));
                }
            }
            lineStart = lineEnd + 1;
        }
    }
}

// The files this run writes, checked before anything is written: none may be
// another output (the inputs are refused as each output is opened).
void refuseOutputsOverOutputs(const Options& options) {
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
        for (size_t j = 0; j < i; ++j) {
            // Several screenshots may share a path; the last one is kept.
            if (option != "--screenshot" || outputs[j].first != "--screenshot") {
                refuseSameFile(path, option, outputs[j].second);
            }
        }
    }
}

// The data folder: --data's, or the working folder; but an installed kcs
// started in a folder without game data plays the demo data installed beside
// it (<prefix>/bin/kcs and <prefix>/share/kcs).
std::string dataFolderOf(const Options& options) {
    if (!options.dataDir.empty()) {
        return options.dataDir;
    }
    std::error_code error;
    if (std::filesystem::exists(STAGE_SELECT_FILE, error)) {
        return ".";
    }
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return ".";
    }
    std::filesystem::path installed = executable.parent_path().parent_path() / "share" / "kcs";
    if (std::filesystem::exists(installed / STAGE_SELECT_FILE, error)) {
        return installed.string();
    }
    return ".";
}

void writeTraceLine(OutputStream& trace, int64_t frame, bool paused,
                    const GameStateManager& manager) {
    TraceRecord record;
    record.add("frame", frame).add("paused", paused);
    manager.addTraceFields(record);
    record.beginArray("sounds");
    for (SoundEvent event : gEngine->raisedSounds()) {
        record.item(soundEventName(event));
    }
    record.endArray();
    // One write per whole line, flushed, so a trace ends on a complete frame.
    trace.write(record.line() + '\n');
}

// The menu, or with --level the level it names, checked against
// "levels.ini" so a misspelt name is one clear line.
std::unique_ptr<GameStateManager> startingScreen(FileRegistry& files, const Options& options) {
    if (options.levelName.empty()) {
        auto pManager = std::make_unique<GameStateManager>();
        pManager->setSkipReady(options.skipReady);
        return pManager;
    }
    IniDictionary levels(files, LEVELS_FILE);
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
        character = StageSelect::readEntries(files).characterFiles.front();
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

int play(FileRegistry& files, const Options& options, OutputStream& trace, OutputStream& record,
         ReplayScript& replay, const std::vector<Screenshot>& screenshots,
         const std::string& startFolder, const LoopHooks& hooks, int64_t& lastFrame) {
    WindowRequest window;
    window.scale = options.headless ? 1 : options.scale;
    // SDL_VIDEODRIVER set by hand (the tests' "dummy") is a choice of driver,
    // window or none.
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    window.required = !options.headless && (driver == nullptr || *driver == '\0');
    auto pEngine = std::make_unique<GameEngine>(files, loadFont, hooks.pBlits, window);
    gEngine = pEngine.get();
    Controls controls = loadControls(files, CONTROLS_FILE);
    pEngine->setControls(controls);
    AudioSettings sound;
    sound.mute = options.mute;
    sound.volume = options.volume >= 0 ? options.volume : controls.volume;
    sound.music = controls.musicVolume;
    sound.effects = controls.effectsVolume;
    auto pAudio = std::make_unique<Audio>(files, sound, readSoundsFile);
    pAudio->loadSounds();
    pEngine->setAudio(std::move(pAudio));
    pEngine->setScreenshotFolder(startFolder);
    pEngine->setOverlayShown(options.overlay);
    Recorder recorder(record.isOpen() ? &record : nullptr);
    if (record.isOpen()) {
        pEngine->setInputObserver(&recorder);
    }
    std::unique_ptr<GameStateManager> pManager = startingScreen(files, options);
    std::unique_ptr<SourceWatch> pSources;
    if (options.watch) {
        std::string sources =
            options.sourcesDir.empty()
                ? ""
                : (std::filesystem::path(startFolder) / options.sourcesDir).string();
        pSources = SourceWatch::load(files, sources);
    }

    SdlClock clock;
    uint32_t lastWatch = clock.ticks(); // ms
    FramePacer pacer(clock);
    pacer.start();
    for (int64_t frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
        reach(hooks, FramePoint::STARTED, frame);
        recorder.setFrame(frame);
        pEngine->pollEvents([&] { return replay.pushEventsFor(frame); });
        bool reload = pEngine->takeReloadRequest();
        // While sources are being built, their files are left until all are
        // written, so that one save reloads the level once.
        bool building = pSources && pSources->busy();
        if (options.watch && !building && clock.ticks() - lastWatch >= WATCH_INTERVAL) {
            lastWatch = clock.ticks();
            reload = pManager->levelFilesChanged() || reload;
        }
        if (pSources) {
            reload = (pSources->poll() && pManager->levelFilesChanged()) || reload;
            pManager->setSourceError(pSources->error());
        }
        if (reload) {
            pManager->reloadLevel();
        }
        reach(hooks, FramePoint::POLLED, frame);
        bool paused = pEngine->isPaused();
        if (!paused) {
            pManager->update();
        }
        // The pause menu holds the level as the pause does, in the trace and
        // for the music too.
        paused = paused || pManager->isLevelHeld();
        pEngine->playRaisedSounds();
        pEngine->audio()->setPaused(paused);
        pManager->draw();
        reach(hooks, FramePoint::DRAWN, frame);
        lastFrame = frame;
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
        // After the first picture, in the wait that follows it when paced.
        // A headless game is played by its replay: no one holds a gamepad.
        if (!options.headless) {
            pEngine->startGamepads();
        }
        if (options.pacing) {
            pacer.wait();
        }
        reach(hooks, FramePoint::PACED, frame);
        if (pEngine->isQuitRequested()) {
            break;
        }
    }
    pManager.reset();
    if (hooks.processEnds) {
        pEngine->audio()->leaveRunningToExit();
    }
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
        // This run's files: every read and write below goes through them.
        FileRegistry files;
        // Paths on the command line are relative to the starting folder, so
        // everything is opened or made absolute before --data changes it.
        ReplayScript replay;
        if (!options.replayPath.empty()) {
            replay = ReplayScript::load(files, options.replayPath);
        }
        std::string dataFolder = dataFolderOf(options);
        bool writes = (!options.tracePath.empty() && options.tracePath != "-") ||
                      !options.recordPath.empty() || !options.screenshots.empty() ||
                      !options.plotPath.empty();
        if (writes) {
            refuseOutputsOverOutputs(options);
            noteDataInputs(files, dataFolder, options);
        }
        OutputStream trace = options.tracePath.empty()
                                 ? OutputStream()
                                 : OutputStream(files, options.tracePath, "--trace");
        OutputStream record = options.recordPath.empty()
                                  ? OutputStream()
                                  : OutputStream(files, options.recordPath, "--record");
        std::vector<Screenshot> screenshots = options.screenshots;
        for (Screenshot& shot : screenshots) {
            // A screenshot is written only after its frame, so its path is
            // tried now: what cannot be written stops the game before it starts.
            TemporaryFile probe(files, shot.path, "--screenshot");
            shot.path =
                std::filesystem::absolute(outputTarget(files, shot.path, "--screenshot", true));
        }
        std::string plotPath;
        if (!options.plotPath.empty()) {
            TemporaryFile probe(files, options.plotPath, "--plot");
            plotPath =
                std::filesystem::absolute(outputTarget(files, options.plotPath, "--plot", true));
        }
        std::string startFolder = std::filesystem::current_path().string();
        if (dataFolder != "." && chdir(dataFolder.c_str()) != 0) {
            throw DataError(dataFolder,
                            std::string("--data cannot change into it: ") + std::strerror(errno));
        }
        if (options.headless || options.check || !options.reportCharacter.empty()) {
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            // Silent, unless a test asked for SDL's disk driver to listen.
            setenv("SDL_AUDIODRIVER", "dummy", 0);
        }
        // The engine scales the window's picture itself, by whole numbers
        // only; sdl12-compat's own scaling would stretch it by a fraction to
        // fill the desktop, and scaling the dummy driver's unseen window was
        // most of the cost of a headless frame.
        setenv("SDL12COMPAT_WINDOW_SCALING", "1", 1);
        setenv("SDL12COMPAT_SCALE_METHOD", "nearest", 1);
        if (!options.reportCharacter.empty()) {
            return runCharacterReport(files, options.reportCharacter, plotPath);
        }
        int64_t lastFrame = -1;
        int status = options.check ? runDataCheck(files, options.strict)
                                   : play(files, options, trace, record, replay, screenshots,
                                          startFolder, hooks, lastFrame);
        trace.close();
        record.close();
        throwIfStopped();
        if (!options.check && status == 0) {
            // A screenshot asked for past the end would otherwise go unnoticed.
            std::string ended = lastFrame < 0 ? "before its first frame"
                                              : "after frame " + std::to_string(lastFrame);
            for (const Screenshot& shot : options.screenshots) {
                if (shot.frame > lastFrame) {
                    std::fprintf(stderr,
                                 "kcs: --screenshot %lld:%s: the run ended %s; nothing was "
                                 "written\n",
                                 static_cast<long long>(shot.frame),
                                 excerpt(shot.path, MAX_QUOTED_PATH).c_str(), ended.c_str());
                    status = 2;
                }
            }
        }
        return flushStandardOutput("kcs") ? status : 2;
    } catch (const Interrupted& stop) {
        // Ended as the signal would have ended it, once everything above has
        // been torn down.
        endBySignal(stop.signal());
    } catch (const DataError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const NoDisplayError& error) {
        // As a frame that could not be shown, before the first one.
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 1;
    } catch (const StartupError& error) {
        std::fprintf(stderr, "kcs: %s\n", error.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kcs: out of memory\n");
        return 2;
    } catch (const std::filesystem::filesystem_error& error) {
        std::fprintf(stderr, "kcs: %s\n", excerpt(error.what(), MAX_QUOTED_PATH).c_str());
        return 2;
    }
}
