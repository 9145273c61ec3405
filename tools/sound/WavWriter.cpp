// WAV bytes by hand, all little-endian: "RIFF", the size of the rest,
// "WAVE", a 16-byte "fmt " chunk, the "data" chunk, and for a loop a
// "smpl" chunk of 36 bytes of sampler fields and one 24-byte loop.
#include "WavWriter.h"

#include "Song.h"
#include "common/SourceTool.h"
#include "engine/LittleEndian.h"

namespace {

constexpr uint32_t CHUNK_HEADER_SIZE = 8; // bytes: the name and the size
constexpr uint32_t FORMAT_SIZE = 16;      // bytes of the "fmt " chunk's fields
constexpr uint16_t PCM = 1;
constexpr uint16_t CHANNELS = 1;
constexpr uint16_t BITS_PER_SAMPLE = 16;
constexpr uint16_t BLOCK_ALIGN = CHANNELS * BITS_PER_SAMPLE / 8; // bytes per sample
constexpr uint32_t SAMPLER_SIZE = 36 + 24;                       // bytes: fields, one loop
constexpr uint32_t SAMPLE_PERIOD = 1'000'000'000 / SAMPLE_RATE;  // ns, rounded down
constexpr uint32_t UNITY_NOTE = 60;                              // the MIDI note as recorded
constexpr uint32_t FORWARD_LOOP = 0;
constexpr uint32_t ENDLESS = 0; // play count

} // namespace

std::vector<uint8_t> encodeWav(const std::vector<int16_t>& samples,
                               std::optional<int64_t> loopStart) {
    // At most ten minutes of samples: far below 4 GiB.
    const auto count = static_cast<uint32_t>(samples.size());
    const uint32_t dataSize = count * BLOCK_ALIGN;
    uint32_t riffSize = 4 + CHUNK_HEADER_SIZE + FORMAT_SIZE + CHUNK_HEADER_SIZE + dataSize;
    if (loopStart) {
        riffSize += CHUNK_HEADER_SIZE + SAMPLER_SIZE;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(CHUNK_HEADER_SIZE + riffSize);
    putTag(bytes, "RIFF");
    put32(bytes, riffSize);
    putTag(bytes, "WAVE");

    putTag(bytes, "fmt ");
    put32(bytes, FORMAT_SIZE);
    put16(bytes, PCM);
    put16(bytes, CHANNELS);
    put32(bytes, SAMPLE_RATE);
    put32(bytes, SAMPLE_RATE * BLOCK_ALIGN); // bytes per second
    put16(bytes, BLOCK_ALIGN);
    put16(bytes, BITS_PER_SAMPLE);

    putTag(bytes, "data");
    put32(bytes, dataSize);
    for (int16_t sample : samples) {
        put16(bytes, static_cast<uint16_t>(sample));
    }
    // dataSize is even, so no pad byte comes before the next chunk.

    if (loopStart) {
        putTag(bytes, "smpl");
        put32(bytes, SAMPLER_SIZE);
        put32(bytes, 0); // manufacturer
        put32(bytes, 0); // product
        put32(bytes, SAMPLE_PERIOD);
        put32(bytes, UNITY_NOTE);
        put32(bytes, 0); // pitch fraction
        put32(bytes, 0); // SMPTE format
        put32(bytes, 0); // SMPTE offset
        put32(bytes, 1); // loops
        put32(bytes, 0); // sampler data bytes
        put32(bytes, 0); // the loop's cue point id
        put32(bytes, FORWARD_LOOP);
        put32(bytes, static_cast<uint32_t>(*loopStart));
        put32(bytes, count - 1); // the last sample played, inclusive
        put32(bytes, 0);         // fraction
        put32(bytes, ENDLESS);
    }
    return bytes;
}

void writeWavAtomically(const FileRegistry& files, const std::vector<int16_t>& samples,
                        std::optional<int64_t> loopStart, const std::string& path) {
    std::vector<uint8_t> bytes = encodeWav(samples, loopStart);
    writeToolOutput(files, path, bytes);
}
