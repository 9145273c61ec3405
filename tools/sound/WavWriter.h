// Writes samples as a RIFF/WAVE file: PCM, mono, 16-bit, 44.1 kHz. A piece
// with a loop point also gets a "smpl" chunk with one endless forward loop
// from that sample to the last, which the game reads to loop its music.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class FileRegistry;

// The whole file's bytes.
std::vector<uint8_t> encodeWav(const std::vector<int16_t>& samples,
                               std::optional<int64_t> loopStart);

// Writes to a temporary file beside path and renames it over path, so a
// failed or interrupted run never leaves half a file. Throws DataError.
void writeWavAtomically(const FileRegistry& files, const std::vector<int16_t>& samples,
                        std::optional<int64_t> loopStart, const std::string& path);
