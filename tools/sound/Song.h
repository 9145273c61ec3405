// A piece of music as kcs-sound plays it: the voices, and for each channel
// its notes and rests laid end to end in time. Time is counted in units of
// 1/192 of a whole note, which every note length of the format divides
// (triplets included), so a channel's time is always exact.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr int SAMPLE_RATE = 44100;     // samples per second
constexpr int SAMPLES_PER_FRAME = 735; // 1/60 s: the step of envelopes and effects
constexpr int UNITS_PER_WHOLE = 192;   // units in a whole note
constexpr int UNITS_PER_BEAT = 48;     // a quarter note, the beat of the tempo
constexpr int MAX_LEVEL = 15;          // loudest envelope value and channel volume
constexpr int64_t MAX_SAMPLES = int64_t{600} * SAMPLE_RATE; // 10 minutes
// Samples per unit at one beat per minute: 44100 * 60 / 48.
constexpr int64_t SAMPLES_PER_UNIT_AT_ONE_BPM = int64_t{SAMPLE_RATE} * 60 / UNITS_PER_BEAT;

// The first sample of a unit. Computed from the start each time instead of
// adding a rounded length per note, so a long piece never drifts.
inline int64_t sampleAtUnit(int64_t unit, int tempo) {
    return unit * SAMPLES_PER_UNIT_AT_ONE_BPM / tempo;
}

enum class Wave { Pulse12, Pulse25, Pulse50, Triangle, Noise };

struct Voice {
    std::string name;
    Wave wave = Wave::Pulse50;
    std::vector<int> envelope{MAX_LEVEL}; // a level per frame; the last one holds
    int sweep = 0;                        // cents per frame
    int vibratoDepth = 0;                 // cents; 0 is no vibrato
    int vibratoPeriod = 0;                // frames per cycle
    int vibratoDelay = 0;                 // frames from the note's start
    std::vector<int> arpeggio;            // semitones, one per frame, cycled
};

constexpr int REST = -1;

struct NoteEvent {
    int64_t start = 0;  // units
    int64_t length = 0; // units
    int note = REST;    // MIDI note number (60 is middle C), or REST
    int volume = MAX_LEVEL;
    int voice = 0; // index into Song::voices
};

struct Channel {
    std::vector<NoteEvent> events; // end to end from unit 0
    int64_t length = 0;            // units
    std::optional<int64_t> loop;   // units
};

struct Song {
    int tempo = 120; // beats per minute
    std::vector<Voice> voices;
    std::vector<Channel> channels;
    int64_t length = 0;          // units: the longest channel's
    std::optional<int64_t> loop; // units
};
