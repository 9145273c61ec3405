// Parsing the command line strictly: an unknown option or a bad value stops
// the program before anything is loaded.
#include "program/CommandLine.h"

#include "engine/DataError.h"

#include <charconv>

const char* const USAGE_TEXT =
    "Usage: kcs [options]\n"
    "Plays the game on the data in the working directory (or --data DIR).\n"
    "\n"
    "  --data DIR           change into DIR before anything is loaded\n"
    "  --scale N            window scale factor, 1 to 6 (default 3), sharp pixels\n"
    "  --headless           no window (SDL's dummy video driver); implies --no-pacing\n"
    "  --no-pacing          run frames back to back instead of 60 per second\n"
    "  --frames N           end after N frames, as if the window had been closed\n"
    "  --replay FILE        feed the key events in FILE to the game\n"
    "  --record FILE        write every key event the game takes to FILE\n"
    "  --trace FILE         write one JSON line per frame to FILE ('-': standard output)\n"
    "  --screenshot N:FILE  save the screen as BMP after frame N is drawn (repeatable)\n"
    "  --check              validate all data reachable from stageselect.ini and exit\n"
    "  --strict             with --check: design warnings fail it too (status 2)\n"
    "  --character-report FILE  measure the character FILE (jumps, speeds, fall, ladder,\n"
    "                       recoil) with the game's own code, print it and exit\n"
    "  --plot FILE          with --character-report: draw the standing and running jump\n"
    "                       arcs over a 16 px grid as PNG\n"
    "  --level NAME         start in level NAME of levels.ini, skipping the menu\n"
    "  --character FILE     with this character file (default: the menu's first)\n"
    "  --at X,Y             with --level: arrive at world pixel X,Y, not at the start\n"
    "  --skip-ready         start play at once, without the ready phase\n"
    "  --overlay            show the designer's overlay from the start (F3 switches it)\n"
    "  --watch              reload the running level when one of its files changes (F5 does\n"
    "                       it by hand), and rebuild the data from the sources it was built\n"
    "                       from (kcs-sources.txt in the data folder)\n"
    "  --sources DIR        with --watch: the sources are in DIR\n"
    "  --mute               no sound (M switches it while playing)\n"
    "  --volume N           sound volume 0 to 100 (default: controls.ini's, or 100)\n"
    "  --help, --version    print and exit\n"
    "\n"
    "Keys:\n"
    "  arrows     run and climb; on the menu, move the selector\n"
    "  space      jump, let go of a ladder; on the menu, back to the level column\n"
    "  b          shoot; on the menu, choose the level, then the character\n"
    "  Enter      pause and go on\n"
    "  Tab        one frame while paused\n"
    "  Escape     the pause menu in a level (continue, stage select, quit); quit on\n"
    "             the menu\n"
    "  M          sound off and on\n"
    "  F3         the designer's overlay on and off\n"
    "  F5         rebuild the running level, and reload the sounds, from their files\n"
    "  F11        fullscreen and back\n"
    "  F12        save the screen as kcs-0001.bmp, kcs-0002.bmp, ... in the starting\n"
    "             folder\n"
    "The data folder's controls.ini may bind other keys and gamepad buttons to the\n"
    "game's inputs (F3, F5, F11 and F12 stay these); a gamepad's d-pad moves and\n"
    "its buttons 0, 2, 7 and 6 jump, shoot, pause and step. Closing the window quits.\n"
    "\n"
    "Exit status: 0 normal end, 1 presenting a frame failed or no display, 2 bad command\n"
    "line or data.\n";

namespace {

int64_t parseWhole(const std::string& option, const std::string& text, int64_t low, int64_t high) {
    int64_t value = 0;
    const char* pEnd = text.data() + text.size();
    auto [pStop, error] = std::from_chars(text.data(), pEnd, value);
    if (text.empty() || error != std::errc() || pStop != pEnd || value < low || value > high) {
        throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", got '" + excerpt(text) + "'");
    }
    return value;
}

} // namespace

Options parseCommandLine(int argc, const char* const* argv) {
    Options options;
    constexpr int64_t MAX_FRAMES = INT64_C(1) << 40;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw UsageError(excerpt(option) + " needs a value");
            }
            return argv[++i];
        };
        // An empty name would only come back later as a puzzling message
        // about a file named "" or the working folder.
        auto name = [&](const char* what = "file") -> std::string {
            std::string named = value();
            if (named.empty()) {
                throw UsageError(option + " needs a " + what + " name, got an empty one");
            }
            return named;
        };
        if (option == "--data") {
            options.dataDir = name("folder");
        } else if (option == "--scale") {
            options.scale = static_cast<int>(parseWhole(option, value(), 1, 6));
        } else if (option == "--headless") {
            options.headless = true;
            options.pacing = false;
        } else if (option == "--no-pacing") {
            options.pacing = false;
        } else if (option == "--frames") {
            options.frames = parseWhole(option, value(), 0, MAX_FRAMES);
        } else if (option == "--replay") {
            options.replayPath = name();
        } else if (option == "--record") {
            options.recordPath = name();
        } else if (option == "--trace") {
            options.tracePath = name();
        } else if (option == "--screenshot") {
            std::string argument = value();
            size_t colon = argument.find(':');
            if (colon == std::string::npos || colon + 1 == argument.size()) {
                throw UsageError("--screenshot needs N:FILE, got '" + excerpt(argument) + "'");
            }
            Screenshot shot;
            shot.frame = parseWhole("--screenshot", argument.substr(0, colon), 0, MAX_FRAMES);
            shot.path = argument.substr(colon + 1);
            options.screenshots.push_back(shot);
        } else if (option == "--check") {
            options.check = true;
        } else if (option == "--level") {
            options.levelName = name("level");
        } else if (option == "--character") {
            options.characterFile = name();
        } else if (option == "--at") {
            std::string argument = value();
            size_t comma = argument.find(',');
            if (comma == std::string::npos) {
                throw UsageError("--at needs X,Y in world pixels, got '" + excerpt(argument) + "'");
            }
            options.arrival = std::make_pair(
                static_cast<int32_t>(parseWhole(option, argument.substr(0, comma), -32768, 32767)),
                static_cast<int32_t>(
                    parseWhole(option, argument.substr(comma + 1), -32768, 32767)));
        } else if (option == "--character-report") {
            options.reportCharacter = name();
        } else if (option == "--plot") {
            options.plotPath = name();
        } else if (option == "--strict") {
            options.strict = true;
        } else if (option == "--watch") {
            options.watch = true;
        } else if (option == "--sources") {
            options.sourcesDir = name("folder");
        } else if (option == "--mute") {
            options.mute = true;
        } else if (option == "--volume") {
            options.volume = static_cast<int>(parseWhole(option, value(), 0, 100));
        } else if (option == "--overlay") {
            options.overlay = true;
        } else if (option == "--skip-ready") {
            options.skipReady = true;
        } else if (option == "--help" || option == "-h") {
            options.help = true;
        } else if (option == "--version") {
            options.version = true;
        } else {
            throw UsageError("unknown option '" + excerpt(option) + "' (see kcs --help)");
        }
    }
    if ((!options.characterFile.empty() || options.arrival) && options.levelName.empty()) {
        throw UsageError(std::string(options.arrival ? "--at" : "--character") +
                         " needs --level: on the menu the player chooses");
    }
    if (options.strict && !options.check) {
        throw UsageError("--strict needs --check: it makes the check's warnings fail it");
    }
    if (!options.sourcesDir.empty() && !options.watch) {
        throw UsageError("--sources needs --watch: it says where the watched sources are");
    }
    if (!options.plotPath.empty() && options.reportCharacter.empty()) {
        throw UsageError("--plot needs --character-report: it draws that character's jumps");
    }
    return options;
}
