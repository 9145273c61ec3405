// A sound file's bytes made into what the mixer plays: checked first (a
// WAV's chunks by our own reader, every format's decoded size from its
// header), then decoded by libsndfile from memory, mixed down to mono and
// brought to the mixer's rate. No SDL: --check and the fuzz target run it
// without a sound device.
#pragma once

#include "engine/LargeBuffer.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// Why a sound file cannot be used, in words for the end of a message that
// names the key and the file.
class SoundFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct DecodedSound {
    LargeVector<int16_t> samples; // mono, at SOUND_RATE
    uint32_t loopStart = 0;       // samples; 0 when the file marks no loop point
};

inline constexpr uint32_t SOUND_RATE = 44100; // Hz, the mixer's
// What a file may declare: below 4 kHz nothing is worth hearing, and above
// 192 kHz no recorder writes; between them the resampling stays cheap.
inline constexpr uint32_t MIN_SOUND_RATE = 4000;   // Hz
inline constexpr uint32_t MAX_SOUND_RATE = 192000; // Hz
inline constexpr int MAX_SOUND_CHANNELS = 8;       // 7.1

// How much a sound may take once decoded, at SOUND_RATE in 16-bit mono.
struct SoundBound {
    uint64_t maxBytes;
    const char* what; // "an effect may decode to at most 8 MiB, about 95 seconds"
};
// Every effect is held decoded all game long, so each gets an eighth of the
// music's bound: an effect of a minute and a half is already no effect.
inline constexpr SoundBound EFFECT_BOUND{uint64_t{8} << 20,
                                         "an effect may decode to at most 8 MiB, about 95 seconds"};
// Only one piece of music is held at a time.
inline constexpr SoundBound MUSIC_BOUND{uint64_t{64} << 20,
                                        "music may decode to at most 64 MiB, about twelve minutes"};

// Throws SoundFileError; reads nothing but the bytes.
DecodedSound decodeSound(std::span<const uint8_t> bytes, const SoundBound& bound);
