// kcs-art: builds one BMP from a text pixel source (docs/art-format.md).
#include "BmpWriter.h"
#include "PixelGrid.h"
#include "config/SourceText.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_BAD_INPUT = 2;

const char* const USAGE =
    "usage: kcs-art [--mirror] [--overlay OVER.txt] SRC.txt OUT.bmp\n"
    "\n"
    "Turns a text pixel grid into a 32-bit BMP (masks R 0xFF0000, G 0xFF00,\n"
    "B 0xFF). The colour 255 128 255 is the game's transparent key colour.\n"
    "\n"
    "  --overlay OVER.txt  paint every non-key pixel of OVER.txt (same size)\n"
    "                      over SRC.txt; may be given more than once\n"
    "  --mirror            flip the result left to right (after overlays)\n"
    "  --help              show this text\n"
    "\n"
    "Source lines: '// comment', 'width N', 'colour C R G B', 'blank N', and\n"
    "pixel rows of exactly N colour characters, top to bottom.\n"
    "Errors print 'file:line:column: message' and exit with status 2.\n";

struct Options {
    bool mirror = false;
    std::vector<std::string> overlays;
    std::string source;
    std::string output;
};

// Returns false (after printing why) when the arguments make no command.
bool parseArguments(int argc, char** argv, Options& options, bool& help) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            help = true;
            return true;
        }
        if (argument == "--mirror") {
            options.mirror = true;
        } else if (argument == "--overlay") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kcs-art: --overlay needs a file\n");
                return false;
            }
            options.overlays.push_back(argv[++i]);
        } else if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "kcs-art: unknown option %s\n", excerpt(argument).c_str());
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "kcs-art: expected SRC.txt and OUT.bmp\n");
        return false;
    }
    options.source = positional[0];
    options.output = positional[1];
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!parseArguments(argc, argv, options, help)) {
        std::fputs(USAGE, stderr);
        return EXIT_BAD_INPUT;
    }
    if (help) {
        std::fputs(USAGE, stdout);
        return 0;
    }
    catchStopSignals();
    try {
        refuseSameFile(options.output, "the output", options.source);
        for (const std::string& overlayName : options.overlays) {
            refuseSameFile(options.output, "the output", overlayName);
        }
        PixelGrid grid = PixelGrid::load(options.source);
        for (const std::string& overlayName : options.overlays) {
            grid.overlay(PixelGrid::load(overlayName), overlayName);
        }
        if (options.mirror) {
            grid.mirror();
        }
        writeBmpAtomically(grid, options.output);
        throwIfStopped();
    } catch (const Interrupted& stop) {
        endBySignal(stop.signal());
    } catch (const SourceError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return EXIT_BAD_INPUT;
    } catch (const DataError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return EXIT_BAD_INPUT;
    } catch (const std::bad_alloc&) {
        // The source's limits bound what it builds; this is a last resort.
        std::fprintf(stderr, "kcs-art: %s: not enough memory\n", options.source.c_str());
        return EXIT_BAD_INPUT;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kcs-art: %s: %s\n", options.source.c_str(), error.what());
        return EXIT_BAD_INPUT;
    }
    return 0;
}
