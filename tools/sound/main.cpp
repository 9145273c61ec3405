// kcs-sound: renders one WAV from a text score (docs/sound-format.md).
#include "Song.h"
#include "SongSource.h"
#include "Synth.h"
#include "WavWriter.h"
#include "config/SourceText.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_BAD_INPUT = 2;

const char* const USAGE =
    "usage: kcs-sound SRC.txt OUT.wav\n"
    "\n"
    "Plays a text score with 8-bit style voices (pulse, triangle, noise) and\n"
    "writes it as a WAV file: 44100 Hz, mono, signed 16-bit. A score with a\n"
    "loop point 'L' also gets a \"smpl\" chunk looping from there to the end.\n"
    "\n"
    "  --help  show this text\n"
    "\n"
    "Source lines: '// comment', 'tempo N', 'voice NAME WAVE [options]',\n"
    "'channel VOICE', and lines of notes (c d e f g a b, r, l o v < > ^ @ [ ]N L).\n"
    "Errors print 'file:line:column: message' and exit with status 2.\n";

struct Options {
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
        if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "kcs-sound: unknown option %s\n", excerpt(argument).c_str());
            return false;
        }
        positional.push_back(argument);
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "kcs-sound: expected SRC.txt and OUT.wav\n");
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
        Song song = loadSong(options.source);
        std::vector<int16_t> samples = renderSong(song);
        std::optional<int64_t> loopStart;
        if (song.loop) {
            loopStart = sampleAtUnit(*song.loop, song.tempo);
        }
        writeWavAtomically(samples, loopStart, options.output);
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
        std::fprintf(stderr, "kcs-sound: %s: not enough memory\n", options.source.c_str());
        return EXIT_BAD_INPUT;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kcs-sound: %s: %s\n", options.source.c_str(), error.what());
        return EXIT_BAD_INPUT;
    }
    return 0;
}
