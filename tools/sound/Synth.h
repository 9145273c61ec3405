// Plays a Song into 44.1 kHz mono signed 16-bit samples, in integer
// arithmetic only: every build on every machine writes the same bytes.
#pragma once

#include "Song.h"

#include <cstdint>
#include <vector>

std::vector<int16_t> renderSong(const Song& song);

// The phase step per sample of a pitch in cents above MIDI note 0: the
// frequency times 2^32 / 44100. Pitches are held within c0 to d#10 (about
// 20 kHz).
uint32_t phaseStepOf(int64_t cents);
