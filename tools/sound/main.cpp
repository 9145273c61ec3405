// kcs-sound: renders one WAV from a text score (docs/sound-format.md).
#include "Song.h"
#include "SongSource.h"
#include "Synth.h"
#include "WavWriter.h"
#include "common/SourceTool.h"

#include <optional>
#include <string>
#include <vector>

namespace {

const char* const USAGE =
    "usage: kcs-sound SRC.txt OUT.wav\n"
    "\n"
    "Plays a text score with 8-bit style voices (pulse, triangle, noise) and\n"
    "writes it as a WAV file: 44100 Hz, mono, signed 16-bit. A score with a\n"
    "loop point 'L' also gets a \"smpl\" chunk looping from there to the end.\n"
    "\n"
    "  --help, --version  show this text, the version\n"
    "\n"
    "Source lines: '// comment', 'tempo N', 'voice NAME WAVE [options]',\n"
    "'channel VOICE', and lines of notes (c d e f g a b, r, l o v < > ^ @ [ ]N L).\n"
    "Errors print 'file:line:column: message' and exit with status 2.\n";

} // namespace

int main(int argc, char** argv) {
    const SourceTool tool{"kcs-sound", USAGE, "SRC.txt and OUT.wav", {}, ""};
    auto build = [](FileRegistry& files, const SourceToolArguments& arguments) {
        Song song = loadSong(files, arguments.source);
        std::vector<int16_t> samples = renderSong(song);
        std::optional<int64_t> loopStart;
        if (song.loop) {
            loopStart = sampleAtUnit(*song.loop, song.tempo);
        }
        writeWavAtomically(files, samples, loopStart, arguments.output);
    };
    return runSourceTool(tool, argc, argv, build);
}
