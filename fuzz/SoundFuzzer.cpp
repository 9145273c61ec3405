// Fuzzes the sound loader: any bytes are either refused with a reason or
// decoded to samples within the bound, with the loop point inside them. It
// runs what loading a sound runs before the mixer: our WAV check, our 16-bit
// reader or libsndfile, and the mix-down and resampling; no sound device is
// opened.
#include "engine/SoundFile.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size) {
    const std::vector<uint8_t> bytes(pData, pData + size);
    try {
        // The effect's bound: the same code as music's, and each run stays small.
        DecodedSound sound = decodeSound(bytes, EFFECT_BOUND);
        if (sound.samples.empty() || sound.samples.size() * 2 > EFFECT_BOUND.maxBytes ||
            (sound.loopStart != 0 && sound.loopStart >= sound.samples.size())) {
            std::abort();
        }
    } catch (const SoundFileError& error) {
        if (*error.what() == '\0') {
            std::abort();
        }
    }
    return 0;
}
