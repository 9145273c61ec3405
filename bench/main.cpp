// kcs-bench: the real game's frame cost against the bare blit floor, its
// pacing against a bare paced loop, its CPU while pacing with its sound and
// muted, the latency from a key press to its sound, its start-up and its
// peak memory. Prints a Markdown report and, with --report, puts it into
// that file between two marker lines, keeping the rest of the file.
#include "BlitFloor.h"
#include "BlitScript.h"
#include "ChildProcess.h"
#include "GameRuns.h"
#include "Machine.h"
#include "ObjectRuns.h"
#include "Statistics.h"

#include "engine/Audio.h"
#include "engine/DataError.h"
#include "engine/Files.h"
#include "program/Replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const BEGIN_MARKER = "<!-- kcs-bench: begin (make bench rewrites this part) -->";
const char* const END_MARKER = "<!-- kcs-bench: end -->";

constexpr double FRAME_BUDGET_MS = 50.0 / 3.0; // 60 frames per second
// A replay without a quit line runs this many frames past its last event.
constexpr int64_t TAIL_FRAMES = 240;

// The goals the figures are held against.
constexpr double TARGET_RATIO = 1.2;
constexpr double TARGET_FPS = 5000.0;
constexpr double TARGET_INTERVAL_ERROR_MS = 0.01;
constexpr double TARGET_DEVIATION_FACTOR = 1.1;
constexpr double TARGET_CPU_PERCENT = 3.0;
constexpr double TARGET_SOUND_CPU_POINTS = 1.0;
// One frame, and the mixer's buffer (the game's own size, at its rate).
constexpr double BUFFER_MS = 1000.0 * Audio::BUFFER_SAMPLES / Audio::FREQUENCY;
constexpr double TARGET_SOUND_LATENCY_MS = FRAME_BUDGET_MS + BUFFER_MS;
constexpr double TARGET_STARTUP_MS = 30.0;
constexpr double TARGET_RSS_MB = 25.0;
// What a level's 64 objects may add to its frame's update and draw.
constexpr double TARGET_OBJECTS_US = 50.0;
// The load (runnable processes per core) above which the report calls the
// machine busy.
constexpr double BUSY_SHARE = 0.10;

struct Settings {
    std::string kcs = KCS_BENCH_KCS;
    std::string data = KCS_BENCH_DATA;
    std::vector<std::string> replayDirs;
    std::string report;
    int runs = 5;
    int pacedRuns = 3;
    int64_t pacedFrames = 600;
    int startupRuns = 31;
    int latencyRuns = 9;
};

const char* const USAGE =
    "usage: kcs-bench [options]\n"
    "  --kcs FILE          the kcs program for the child-process runs\n"
    "  --data DIR          the built demo data\n"
    "  --replays DIR       a folder of replays, *.replay or *.txt (repeatable)\n"
    "  --report FILE       put the report into FILE between its marker lines\n"
    "  --runs N            frame-cost runs of each replay, engine and floor (5)\n"
    "  --paced-runs N      paced runs, game and bare loop (3)\n"
    "  --paced-frames N    frames per paced run (600)\n"
    "  --startup-runs N    start-up runs (31)\n"
    "  --latency-runs N    key-to-sound runs (9)\n";

Settings parseSettings(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::runtime_error(option + " needs a value");
            }
            return argv[++i];
        };
        auto count = [&]() {
            std::string text = value();
            long n = std::strtol(text.c_str(), nullptr, 10);
            if (n < 1) {
                throw std::runtime_error(option + " needs a whole number of at least 1");
            }
            return n;
        };
        if (option == "--kcs") {
            settings.kcs = value();
        } else if (option == "--data") {
            settings.data = value();
        } else if (option == "--replays") {
            settings.replayDirs.push_back(value());
        } else if (option == "--report") {
            settings.report = value();
        } else if (option == "--runs") {
            settings.runs = static_cast<int>(count());
        } else if (option == "--paced-runs") {
            settings.pacedRuns = static_cast<int>(count());
        } else if (option == "--paced-frames") {
            settings.pacedFrames = count();
        } else if (option == "--startup-runs") {
            settings.startupRuns = static_cast<int>(count());
        } else if (option == "--latency-runs") {
            settings.latencyRuns = static_cast<int>(count());
        } else if (option == "--help") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else {
            throw std::runtime_error("unknown option " + option + "\n" + USAGE);
        }
    }
    if (settings.replayDirs.empty()) {
        settings.replayDirs = {KCS_BENCH_SOURCE "/tests/replays",
                               KCS_BENCH_SOURCE "/bench/replays"};
    }
    // The game changes folders while it runs; nothing may stay relative.
    settings.kcs = fs::absolute(settings.kcs).string();
    settings.data = fs::absolute(settings.data).string();
    if (!settings.report.empty()) {
        settings.report = fs::absolute(settings.report).string();
    }
    return settings;
}

struct Replay {
    std::string path;
    std::string name; // as shown: its folder's name and its file name
    int64_t frames = 0;
};

// The number of passes a replay's session lasts: through its quit line, or
// a while past its last event when it has none.
int64_t sessionFrames(const ReplayScript& script) {
    const std::vector<ReplayEvent>& events = script.events();
    int64_t last = events.empty() ? 0 : events.back().frame;
    bool quits = std::any_of(events.begin(), events.end(),
                             [](const ReplayEvent& event) { return event.quit; });
    return quits ? last + 1 : last + TAIL_FRAMES;
}

std::vector<Replay> findReplays(const Settings& settings) {
    std::vector<Replay> replays;
    FileRegistry files;
    for (const std::string& dir : settings.replayDirs) {
        if (!fs::is_directory(dir)) {
            continue;
        }
        std::vector<fs::path> paths;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            const fs::path& path = entry.path();
            if (path.extension() == ".replay" || path.extension() == ".txt") {
                paths.push_back(fs::absolute(entry.path()));
            }
        }
        std::sort(paths.begin(), paths.end());
        for (const fs::path& path : paths) {
            Replay replay;
            replay.path = path.string();
            replay.name = path.parent_path().parent_path().filename().string() + "/" +
                          path.parent_path().filename().string() + "/" + path.filename().string();
            // A .replay file must be one; a text file is one when the game's
            // reader takes it and finds an event in it.
            ReplayScript script;
            try {
                script = ReplayScript::load(files, replay.path);
            } catch (const DataError&) {
                if (path.extension() == ".replay") {
                    throw;
                }
                continue;
            }
            if (path.extension() == ".txt" && script.events().empty()) {
                continue;
            }
            replay.frames = sessionFrames(script);
            replays.push_back(replay);
        }
    }
    return replays;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string verdict(bool met) {
    return met ? "yes" : "**no**";
}

void progress(const std::string& text) {
    std::fprintf(stderr, "kcs-bench: %s\n", text.c_str());
}

// ---- frame cost ------------------------------------------------------------

// Figures over one part of a session's frames, each the median over the runs.
struct CostFigures {
    std::string part; // "all", "menu" or "level"
    size_t firstFrame = 0, endFrame = 0;
    double blitsPerFrame = 0;
    size_t maxBlits = 0;                        // in one frame
    double engineMedianMs = 0, engineP99Ms = 0; // update and draw
    double engineFrameMedianMs = 0, engineFrameP99Ms = 0, engineFps = 0;
    double engineFlipMedianMs = 0;
    double floorMedianMs = 0, floorP99Ms = 0; // fills and blits
    double floorFrameMedianMs = 0, floorFrameP99Ms = 0, floorFps = 0;
    double ratio = 0, ratioP99 = 0;
    // Per run, before the medians.
    std::vector<double> runs[13];
};

struct FrameCost {
    Replay replay;
    std::vector<CostFigures> parts;
    std::vector<std::string> formatMismatches;
    std::string screenFormat;
};

std::vector<double> slice(const std::vector<double>& values, size_t first, size_t end) {
    end = std::min(end, values.size());
    first = std::min(first, end);
    return std::vector<double>(values.begin() + static_cast<std::ptrdiff_t>(first),
                               values.begin() + static_cast<std::ptrdiff_t>(end));
}

double framesPerSecond(const std::vector<double>& frameMs) {
    double total = sum(frameMs);
    return total > 0 ? 1e3 * static_cast<double>(frameMs.size()) / total : 0.0;
}

void addRun(CostFigures& figures, const GameTimes& game, const FloorTimes& bare) {
    size_t a = figures.firstFrame, b = figures.endFrame;
    std::vector<double> engine = slice(game.updateDrawMs, a, b);
    std::vector<double> engineFrame = slice(game.frameMs, a, b);
    std::vector<double> flip = slice(game.flipMs, a, b);
    std::vector<double> floorDraw = slice(bare.drawMs, a, b);
    std::vector<double> floorFrame = slice(bare.frameMs, a, b);
    double values[13] = {median(engine),
                         percentile(engine, 99),
                         median(engineFrame),
                         percentile(engineFrame, 99),
                         framesPerSecond(engineFrame),
                         median(flip),
                         median(floorDraw),
                         percentile(floorDraw, 99),
                         median(floorFrame),
                         percentile(floorFrame, 99),
                         framesPerSecond(floorFrame),
                         0,
                         0};
    values[11] = values[6] > 0 ? values[0] / values[6] : 0;
    values[12] = values[7] > 0 ? values[1] / values[7] : 0;
    for (int i = 0; i < 13; ++i) {
        figures.runs[i].push_back(values[i]);
    }
}

void settle(CostFigures& figures) {
    double* targets[13] = {
        &figures.engineMedianMs,   &figures.engineP99Ms, &figures.engineFrameMedianMs,
        &figures.engineFrameP99Ms, &figures.engineFps,   &figures.engineFlipMedianMs,
        &figures.floorMedianMs,    &figures.floorP99Ms,  &figures.floorFrameMedianMs,
        &figures.floorFrameP99Ms,  &figures.floorFps,    &figures.ratio,
        &figures.ratioP99};
    for (int i = 0; i < 13; ++i) {
        *targets[i] = median(figures.runs[i]);
    }
}

FrameCost measureFrameCost(const Settings& settings, const Replay& replay) {
    FrameCost cost;
    cost.replay = replay;
    progress("recording the blits of " + replay.name + " (" + std::to_string(replay.frames) +
             " frames)");
    BlitScript script = recordGame(settings.data, replay.path, replay.frames);
    size_t frames = script.frameCount();
    size_t level = std::min(script.firstLoadingFrame, frames);
    auto addPart = [&](const char* name, size_t first, size_t end) {
        CostFigures part;
        part.part = name;
        part.firstFrame = first;
        part.endFrame = end;
        cost.parts.push_back(part);
    };
    addPart("all", 0, frames);
    if (level > 0 && level < frames) {
        addPart("menu", 0, level);
        addPart("level", level, frames);
    }
    for (CostFigures& part : cost.parts) {
        size_t blits = 0;
        for (size_t frame = part.firstFrame; frame < part.endFrame; ++frame) {
            size_t inFrame = 0;
            for (size_t i = script.frameStarts[frame]; i < script.frameEnd(frame); ++i) {
                inFrame += script.ops[i].kind == BlitScript::OpKind::BLIT ? 1 : 0;
            }
            blits += inFrame;
            part.maxBlits = std::max(part.maxBlits, inFrame);
        }
        part.blitsPerFrame =
            static_cast<double>(blits) /
            static_cast<double>(std::max<size_t>(1, part.endFrame - part.firstFrame));
    }
    {
        BlitFloor floor(script);
        cost.formatMismatches = floor.formatMismatches();
        cost.screenFormat = floor.screenFormat();
        floor.run(); // warms the caches as the recording run did for the engine
    }
    for (int run = 0; run < settings.runs; ++run) {
        progress("  run " + std::to_string(run + 1) + " of " + std::to_string(settings.runs));
        // Engine and floor take turns, so a burst of load elsewhere hits both.
        GameTimes game = timeGame(settings.data, replay.path, replay.frames);
        if (game.status != 0) {
            throw std::runtime_error("kcs ended with status " + std::to_string(game.status));
        }
        FloorTimes bare;
        {
            BlitFloor floor(script);
            bare = floor.run();
        }
        for (CostFigures& part : cost.parts) {
            addRun(part, game, bare);
        }
    }
    for (CostFigures& part : cost.parts) {
        settle(part);
    }
    return cost;
}

// ---- pacing ------------------------------------------------------------------

struct Pace {
    double meanIntervalMs = 0;
    double p99DeviationMs = 0;
    double maxDeviationMs = 0;
    double cpuPercent = 0;
};

// Frame k should start at offset + k * 50/3 ms. The offset is the median of
// the starts' distances from that grid, so the millisecond clock's phase at
// the start does not count as deviation.
Pace analysePace(const PacedTimes& times) {
    Pace pace;
    const std::vector<double>& starts = times.startMs;
    if (starts.size() < 2) {
        return pace;
    }
    pace.meanIntervalMs = (starts.back() - starts.front()) / static_cast<double>(starts.size() - 1);
    std::vector<double> residuals;
    for (size_t k = 0; k < starts.size(); ++k) {
        residuals.push_back(starts[k] - static_cast<double>(k) * FRAME_BUDGET_MS);
    }
    double offset = median(residuals);
    std::vector<double> deviations;
    for (double residual : residuals) {
        deviations.push_back(std::fabs(residual - offset));
    }
    pace.p99DeviationMs = percentile(deviations, 99);
    pace.maxDeviationMs = percentile(deviations, 100);
    pace.cpuPercent = times.wallMs > 0 ? 100.0 * times.cpuMs / times.wallMs : 0.0;
    return pace;
}

Pace medianPace(const std::vector<Pace>& paces) {
    auto of = [&](double Pace::*field) {
        std::vector<double> values;
        for (const Pace& pace : paces) {
            values.push_back(pace.*field);
        }
        return median(values);
    };
    Pace result;
    result.meanIntervalMs = of(&Pace::meanIntervalMs);
    result.p99DeviationMs = of(&Pace::p99DeviationMs);
    result.maxDeviationMs = of(&Pace::maxDeviationMs);
    result.cpuPercent = of(&Pace::cpuPercent);
    return result;
}

// ---- report ------------------------------------------------------------------

std::string utcNow() {
    std::time_t now = std::time(nullptr);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    return text;
}

void writeReport(const std::string& path, const std::string& report) {
    // A report file not written yet starts empty.
    FileRegistry files;
    std::string text = fs::exists(path) ? readFile(files, path, TEXT_SOURCE_FILE) : "";
    std::string block = std::string(BEGIN_MARKER) + "\n" + report + END_MARKER + "\n";
    size_t begin = text.find(BEGIN_MARKER);
    size_t end = text.find(END_MARKER);
    if (begin != std::string::npos && end != std::string::npos && begin < end) {
        size_t after = text.find('\n', end);
        text.replace(begin, (after == std::string::npos ? text.size() : after + 1) - begin, block);
    } else {
        text += (text.empty() || text.back() == '\n' ? "" : "\n") + block;
    }
    std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary);
        out << text;
        if (!out) {
            throw std::runtime_error("cannot write " + temporary);
        }
    }
    fs::rename(temporary, path);
}

} // namespace

int main(int argc, char** argv) {
    if (isProbe(argc, argv)) {
        return probeChild(argc - 2, argv + 2);
    }
    try {
        Settings settings = parseSettings(argc, argv);
        std::vector<Replay> replays = findReplays(settings);
        if (replays.empty()) {
            throw std::runtime_error("no replays in the replay folders");
        }
        auto benchStart = std::chrono::steady_clock::now();
        std::string loadBefore = loadAverages();
        CpuSample machineBefore = sampleMachineCpu();

        std::vector<FrameCost> costs;
        for (const Replay& replay : replays) {
            costs.push_back(measureFrameCost(settings, replay));
        }

        progress("objects: " + std::to_string(settings.runs) +
                 " runs of a level with many objects and with none");
        ObjectCost objects = measureObjectCost(settings.data, settings.runs);

        // The paced runs play the first replay, which starts on the menu.
        std::vector<Pace> gamePaces, mutedPaces, barePaces;
        for (int run = 0; run < settings.pacedRuns; ++run) {
            progress("paced run " + std::to_string(run + 1) + " of " +
                     std::to_string(settings.pacedRuns) + ": game, game muted, then the bare loop");
            for (bool mute : {false, true}) {
                PacedTimes game =
                    paceGame(settings.data, replays.front().path, settings.pacedFrames, mute);
                if (game.status != 0) {
                    throw std::runtime_error("paced kcs ended with status " +
                                             std::to_string(game.status));
                }
                (mute ? mutedPaces : gamePaces).push_back(analysePace(game));
            }
            barePaces.push_back(analysePace(paceBareLoop(settings.pacedFrames)));
        }
        Pace gamePace = medianPace(gamePaces);
        Pace mutedPace = medianPace(mutedPaces);
        Pace barePace = medianPace(barePaces);

        progress("key to sound: " + std::to_string(settings.latencyRuns) + " runs");
        std::vector<double> latencies = soundLatencies(settings.data, settings.latencyRuns);

        progress("start-up: " + std::to_string(settings.startupRuns) + " runs");
        std::vector<double> startups, baselines;
        for (int run = 0; run < settings.startupRuns; ++run) {
            ChildResult first =
                runChild({settings.kcs, "--data", settings.data, "--headless", "--frames", "1"});
            if (first.status != 0) {
                throw std::runtime_error("kcs --frames 1 ended with status " +
                                         std::to_string(first.status));
            }
            startups.push_back(first.wallMs);
            baselines.push_back(runChild({settings.kcs, "--version"}).wallMs);
        }

        progress("peak memory: one whole session per replay");
        long peakKb = 0;
        std::string peakReplay;
        for (const Replay& replay : replays) {
            ChildResult session =
                runChild({settings.kcs, "--data", settings.data, "--headless", "--replay",
                          replay.path, "--frames", std::to_string(replay.frames)});
            if (session.status != 0) {
                throw std::runtime_error("kcs ended with status " + std::to_string(session.status) +
                                         " on " + replay.name);
            }
            if (session.maxRssKb > peakKb) {
                peakKb = session.maxRssKb;
                peakReplay = replay.name;
            }
        }

        CpuSample machineAfter = sampleMachineCpu();
        std::string loadAfter = loadAverages();
        double wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - benchStart)
                .count();
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        auto ms = [](const timeval& t) {
            return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
        };
        double ownMs =
            ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
        double cores = static_cast<double>(std::max(1u, std::thread::hardware_concurrency()));
        double machineShare = (machineAfter.busyMs - machineBefore.busyMs) /
                              std::max(1.0, machineAfter.totalMs - machineBefore.totalMs);
        double othersShare = std::max(0.0, machineShare - ownMs / (wallMs * cores));
        bool busy = othersShare > BUSY_SHARE;

        // ---- the report ----
        std::ostringstream out;
        out << "## Latest run\n\n";
        out << utcNow() << ", " << fixed(wallMs / 1e3, 0) << " s. ";
        if (busy) {
            out << "**The machine was busy**: other processes kept " << fixed(100 * othersShare, 0)
                << "% of its " << fixed(cores, 0)
                << " cores occupied during the run, so the figures are noisier and slower than on "
                   "a quiet machine. ";
        } else {
            out << "The machine was quiet: other processes used " << fixed(100 * othersShare, 0)
                << "% of its cores during the run. ";
        }
        out << "Load averages before: " << loadBefore << "; after: " << loadAfter << ".\n\n";
        out << "| machine | |\n|---|---|\n";
        for (const auto& [name, value] : describeMachine()) {
            out << "| " << name << " | " << value << " |\n";
        }
        out << "\n";

        out << "### Frame cost, headless and unpaced\n\n";
        out << "Median over " << settings.runs
            << " runs of each figure; engine and floor runs alternate. Times in microseconds. "
               "*Engine* is the real game's update and draw; *floor* is bare SDL making the same "
               "fills and blits; *whole* adds event polling and the present (the engine) or the "
               "present (the floor). Frames per second are whole frames run back to back: frames "
               "over "
               "their total time, so every stall counts. Each replay is shown whole, then split "
               "into its menu frames and its level frames (from the frame that builds the level "
               "on).\n\n";
        out << "| replay | frames | blits/frame (max) | engine median | engine p99 | floor median "
               "| floor p99 | ratio (p99) | whole median | whole p99 | floor whole median | floor "
               "whole p99 | fps | floor fps |\n";
        out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
        for (const FrameCost& cost : costs) {
            for (const CostFigures& part : cost.parts) {
                out << "| " << cost.replay.name << (part.part == "all" ? "" : ", " + part.part)
                    << " | " << (part.endFrame - part.firstFrame) << " | "
                    << fixed(part.blitsPerFrame, 0) << " (" << part.maxBlits << ") | "
                    << fixed(part.engineMedianMs * 1e3, 1) << " | "
                    << fixed(part.engineP99Ms * 1e3, 1) << " | "
                    << fixed(part.floorMedianMs * 1e3, 1) << " | "
                    << fixed(part.floorP99Ms * 1e3, 1) << " | " << fixed(part.ratio, 2) << " ("
                    << fixed(part.ratioP99, 2) << ") | " << fixed(part.engineFrameMedianMs * 1e3, 1)
                    << " | " << fixed(part.engineFrameP99Ms * 1e3, 1) << " | "
                    << fixed(part.floorFrameMedianMs * 1e3, 1) << " | "
                    << fixed(part.floorFrameP99Ms * 1e3, 1) << " | " << fixed(part.engineFps, 0)
                    << " | " << fixed(part.floorFps, 0) << " |\n";
            }
        }
        out << "\nThe present alone (SDL_Flip on the dummy driver) takes "
            << fixed(costs.front().parts.front().engineFlipMedianMs * 1e3, 1) << " µs (median, "
            << costs.front().replay.name << "). Screen format: " << costs.front().screenFormat
            << ". ";
        std::vector<std::string> mismatches;
        for (const FrameCost& cost : costs) {
            for (const std::string& mismatch : cost.formatMismatches) {
                if (std::find(mismatches.begin(), mismatches.end(), mismatch) == mismatches.end()) {
                    mismatches.push_back(mismatch);
                }
            }
        }
        if (mismatches.empty()) {
            out << "Every bitmap the replays load is in the screen's format, so no blit "
                   "converts pixels.\n\n";
        } else {
            out << "Bitmaps **not** in the screen's format (every blit from them converts):";
            for (const std::string& mismatch : mismatches) {
                out << " " << fs::path(mismatch.substr(0, mismatch.find(' '))).filename().string()
                    << mismatch.substr(mismatch.find(' ')) << ";";
            }
            out << "\n\n";
        }

        double withObjects = median(objects.withMedianMs) * 1e3;
        double withoutObjects = median(objects.withoutMedianMs) * 1e3;
        double objectsCost = withObjects - withoutObjects;
        out << "### A level's objects\n\n";
        out << objects.level << " from its start (`--level " << objects.level << " --skip-ready`), "
            << objects.frames
            << " frames headless and unpaced, the player running right and then left, jumping "
               "and shooting, in the level's first boundary: once with "
            << objects.objects
            << " objects spread across that boundary (walkers, hoppers, wave flyers and turrets, "
               "a quarter each; hit points the shots never use up and no damage, so all stay in "
               "play and the player's path is the same), once with none in play (one standing "
               "in another boundary, as a level that lists objects has no fixed enemy). Median "
               "over "
            << settings.runs
            << " runs of each, the two alternating, of each run's median and 99th percentile "
               "of the update and draw, in microseconds.\n\n";
        out << "| level | update and draw median | p99 |\n|---|---:|---:|\n";
        out << "| with " << objects.objects << " objects | " << fixed(withObjects, 1) << " | "
            << fixed(median(objects.withP99Ms) * 1e3, 1) << " |\n";
        out << "| without | " << fixed(withoutObjects, 1) << " | "
            << fixed(median(objects.withoutP99Ms) * 1e3, 1) << " |\n\n";
        out << "The objects cost **" << fixed(objectsCost, 1) << " µs** a frame, "
            << fixed(objectsCost / objects.objects * 1e3, 0) << " ns an object.\n\n";

        out << "### Pacing, " << settings.pacedFrames << " frames at 60 per second\n\n";
        out << "Median over " << settings.pacedRuns
            << " runs each. The game is the real loop with its FramePacer on SDL's clock (dummy "
               "video driver, playing "
            << replays.front().name
            << "); the bare loop only polls, flips and waits by the same 17/17/16 ms rule in "
               "1 ms sleeps. Deviation is each frame start's distance from a grid of exactly "
               "50 ms per three frames; CPU is user and system time over wall time from the first "
               "frame's start to the last frame's end. The game's sound (the demo's music and "
               "effects) is mixed for SDL's disk audio driver, writing to /dev/null, as for a "
               "sound device; *muted* is the same run with `--mute`, which opens no device.\n\n";
        out << "| loop | mean interval (ms) | p99 deviation (ms) | max deviation (ms) | CPU (% of "
               "one "
               "core) |\n|---|---:|---:|---:|---:|\n";
        auto paceRow = [&](const std::string& name, const Pace& pace) {
            out << "| " << name << " | " << fixed(pace.meanIntervalMs, 4) << " | "
                << fixed(pace.p99DeviationMs, 3) << " | " << fixed(pace.maxDeviationMs, 3) << " | "
                << fixed(pace.cpuPercent, 2) << " |\n";
        };
        paceRow("game", gamePace);
        paceRow("game, muted", mutedPace);
        paceRow("bare", barePace);
        out << "\n";

        out << "### From a key press to its sound\n\n";
        out << "The jump's key is pressed in a level, paced, with the jump's effect as the only "
               "sound; SDL's disk audio driver writes into a FIFO that the bench reads. The "
               "latency runs from the frame's reading of the key to the arrival of the first "
               "buffer that is not silence. "
            << settings.latencyRuns
            << " runs, the press one frame later each time, so it falls at a different point of "
               "the mixer's buffer of "
            << Audio::BUFFER_SAMPLES << " samples (" << fixed(BUFFER_MS, 1) << " ms): median **"
            << fixed(median(latencies), 1) << " ms**, fastest "
            << fixed(percentile(latencies, 0), 1) << " ms, slowest "
            << fixed(percentile(latencies, 100), 1)
            << " ms. A press waits up to one frame more before the game reads it.\n\n";

        double startup = median(startups);
        double baseline = median(baselines);
        out << "### Start-up and memory\n\n";
        out << "Start-up is the wall time from spawning `kcs --headless --frames 1` to reaping "
               "it, with its sound on SDL's disk audio driver, so it is an upper bound: it "
               "includes the teardown after the first presented frame. Median of "
            << settings.startupRuns << " runs: **" << fixed(startup, 1) << " ms** (fastest "
            << fixed(percentile(startups, 0), 1)
            << " ms); `kcs --version`, which starts and "
               "ends the process without starting SDL (its libraries are still loaded), takes "
            << fixed(baseline, 1) << " ms. Peak resident set of a whole session: **"
            << fixed(static_cast<double>(peakKb) / 1024.0, 1) << " MB** (" << peakReplay
            << ").\n\n";

        out << "### Against the targets\n\n| figure | measured | target | met "
               "|\n|---|---:|---:|---|\n";
        double worstRatio = 0, worstFps = 1e12;
        for (const FrameCost& cost : costs) {
            for (const CostFigures& part : cost.parts) {
                worstRatio = std::max(worstRatio, part.ratio);
                worstFps = std::min(worstFps, part.engineFps);
            }
        }
        out << "| engine / floor, median frame (worst replay or part) | " << fixed(worstRatio, 2)
            << " | ≤ " << fixed(TARGET_RATIO, 1) << " | " << verdict(worstRatio <= TARGET_RATIO)
            << " |\n";
        out << "| frames per second, headless (worst replay or part) | " << fixed(worstFps, 0)
            << " | ≥ " << fixed(TARGET_FPS, 0) << " | " << verdict(worstFps >= TARGET_FPS)
            << " |\n";
        out << "| " << objects.objects << " objects in a level, against none, median update "
            << "and draw | " << fixed(objectsCost, 1) << " µs | ≤ " << fixed(TARGET_OBJECTS_US, 0)
            << " µs | " << verdict(objectsCost <= TARGET_OBJECTS_US) << " |\n";
        double intervalError = std::fabs(gamePace.meanIntervalMs - FRAME_BUDGET_MS);
        out << "| mean paced interval | " << fixed(gamePace.meanIntervalMs, 4) << " ms | 16.667 ± "
            << fixed(TARGET_INTERVAL_ERROR_MS, 2) << " ms | "
            << verdict(intervalError <= TARGET_INTERVAL_ERROR_MS) << " |\n";
        double deviationFactor =
            barePace.p99DeviationMs > 0 ? gamePace.p99DeviationMs / barePace.p99DeviationMs : 0;
        out << "| p99 deviation, game / bare loop | " << fixed(deviationFactor, 2) << " ("
            << fixed(gamePace.p99DeviationMs, 3) << " / " << fixed(barePace.p99DeviationMs, 3)
            << " ms) | ≤ " << fixed(TARGET_DEVIATION_FACTOR, 1) << " | "
            << verdict(deviationFactor <= TARGET_DEVIATION_FACTOR) << " |\n";
        out << "| CPU while pacing | " << fixed(gamePace.cpuPercent, 2) << " % (bare loop "
            << fixed(barePace.cpuPercent, 2) << " %) | ≤ " << fixed(TARGET_CPU_PERCENT, 0)
            << " % | " << verdict(gamePace.cpuPercent <= TARGET_CPU_PERCENT) << " |\n";
        double soundPoints = gamePace.cpuPercent - mutedPace.cpuPercent;
        out << "| CPU while pacing, sound against muted | " << fixed(soundPoints, 2) << " points ("
            << fixed(gamePace.cpuPercent, 2) << " / " << fixed(mutedPace.cpuPercent, 2)
            << " %) | ≤ " << fixed(TARGET_SOUND_CPU_POINTS, 0) << " point | "
            << verdict(soundPoints <= TARGET_SOUND_CPU_POINTS) << " |\n";
        double slowest = percentile(latencies, 100);
        out << "| key press to its sound, slowest run | " << fixed(slowest, 1) << " ms | ≤ "
            << fixed(TARGET_SOUND_LATENCY_MS, 1) << " ms (a frame and the buffer) | "
            << verdict(slowest <= TARGET_SOUND_LATENCY_MS) << " |\n";
        out << "| start-up to the first menu frame | " << fixed(startup, 1) << " ms | ≤ "
            << fixed(TARGET_STARTUP_MS, 0) << " ms | " << verdict(startup <= TARGET_STARTUP_MS)
            << " |\n";
        double peakMb = static_cast<double>(peakKb) / 1024.0;
        out << "| peak resident set | " << fixed(peakMb, 1) << " MB | ≤ " << fixed(TARGET_RSS_MB, 0)
            << " MB | " << verdict(peakMb <= TARGET_RSS_MB) << " |\n\n";

        std::string report = out.str();
        std::fputs(report.c_str(), stdout);
        if (!settings.report.empty()) {
            writeReport(settings.report, report);
            progress("report written to " + settings.report);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kcs-bench: %s\n", error.what());
        return 2;
    }
}
