// The channels as 8-bit consoles make them: a phase accumulator per
// channel drives a pulse, triangle or noise wave, and once per frame the
// voice's envelope, sweep, vibrato and arpeggio set its level and pitch.
#include "Synth.h"

#include <algorithm>
#include <array>

namespace {

// Hz x 65536 of c10 to b10 (MIDI notes 132 to 143), each
// round(440 * 2^((n - 69) / 12) * 65536), worked out once and written here
// so no floating point is needed. The top octave, so that every lower one
// is a right shift, which keeps the fractions, and the highest pitch is
// inside the table.
constexpr std::array<uint64_t, 12> TOP_OCTAVE = {
    1097337155, // c10  16744.04 Hz
    1162588218, // c#10 17739.69 Hz
    1231719311, // d10  18794.55 Hz
    1304961152, // d#10 19912.13 Hz
    1382558180, // e10  21096.16 Hz
    1464769368, // f10  22350.61 Hz
    1551869087, // f#10 23679.64 Hz
    1644148025, // g10  25087.71 Hz
    1741914154, // g#10 26579.50 Hz
    1845493760, // a10  28160.00 Hz
    1955232530, // a#10 29834.48 Hz
    2071496706, // b10  31608.53 Hz
};
constexpr int TOP_OCTAVE_INDEX = 11; // MIDI note / 12 of the table's notes
constexpr int CENTS_PER_SEMITONE = 100;
constexpr int64_t LOWEST_PITCH = 12 * CENTS_PER_SEMITONE;   // c0, 16.35 Hz
constexpr int64_t HIGHEST_PITCH = 135 * CENTS_PER_SEMITONE; // d#10, 19.9 kHz
constexpr int FIXED_SHIFT = 16;                             // the table's Hz x 65536

constexpr int WAVE_PEAK = 15;          // a wave's level runs from -15 to +15
constexpr int64_t CHANNEL_PEAK = 6000; // of 32767: five loud channels before clipping
constexpr int NOISE_CLOCKS_PER_PERIOD = 8;
constexpr uint32_t NOISE_START = 1;
constexpr int NOISE_TOP_BIT = 14; // a 15-bit shift register
constexpr int BLOCK_SAMPLES = 4096;

// One channel's events played in time order, a block of samples at a time.
class ChannelPlayer {
public:
    ChannelPlayer(const Song& song, const Channel& channel)
        : m_song(song), m_events(channel.events) {}

    // Adds samples first to first + count - 1 of this channel to mix.
    void addTo(int32_t* pMix, int64_t first, int count);

private:
    void startEvent();
    void startFrame(int64_t frame);
    int level() const;
    void advance();

    const Song& m_song;
    const std::vector<NoteEvent>& m_events;
    size_t m_index = 0; // the event playing
    bool m_started = false;
    int64_t m_start = 0; // its first sample
    int64_t m_end = 0;   // the sample after it
    const Voice* m_pVoice = nullptr;
    int64_t m_frame = -1;
    uint32_t m_step = 0; // phase step per sample
    int64_t m_scale = 0; // the sample of a full-level wave
    // Kept from note to note, so notes never start with a click.
    uint32_t m_phase = 0;
    uint64_t m_noisePhase = 0; // 32 bits of fraction; above them, clocks due
    uint32_t m_noise = NOISE_START;
};

void ChannelPlayer::startEvent() {
    const NoteEvent& event = m_events[m_index];
    m_start = sampleAtUnit(event.start, m_song.tempo);
    m_end = sampleAtUnit(event.start + event.length, m_song.tempo);
    m_pVoice = &m_song.voices[static_cast<size_t>(event.voice)];
    m_frame = -1;
    m_started = true;
}

// The pitch and level of one frame of the event.
void ChannelPlayer::startFrame(int64_t frame) {
    const NoteEvent& event = m_events[m_index];
    const Voice& voice = *m_pVoice;
    m_frame = frame;

    int64_t pitch = int64_t{event.note} * CENTS_PER_SEMITONE + voice.sweep * frame;
    if (voice.vibratoDepth > 0 && frame >= voice.vibratoDelay) {
        // A triangle from +depth down to -depth at half the period and back.
        int64_t depth = voice.vibratoDepth;
        int64_t period = voice.vibratoPeriod;
        int64_t at = (frame - voice.vibratoDelay) % period;
        int64_t fall = 4 * depth * at / period;
        pitch += 2 * at <= period ? depth - fall : fall - 3 * depth;
    }
    if (!voice.arpeggio.empty()) {
        auto step = static_cast<size_t>(frame % static_cast<int64_t>(voice.arpeggio.size()));
        pitch += int64_t{voice.arpeggio[step]} * CENTS_PER_SEMITONE;
    }
    m_step = phaseStepOf(pitch);

    size_t last = voice.envelope.size() - 1;
    int envelope = voice.envelope[std::min(static_cast<size_t>(frame), last)];
    m_scale = CHANNEL_PEAK * envelope * event.volume / (MAX_LEVEL * MAX_LEVEL);
}

// The wave now, -15 to +15.
int ChannelPlayer::level() const {
    switch (m_pVoice->wave) {
    case Wave::Pulse12:
        return (m_phase >> 29) < 1 ? WAVE_PEAK : -WAVE_PEAK;
    case Wave::Pulse25:
        return (m_phase >> 29) < 2 ? WAVE_PEAK : -WAVE_PEAK;
    case Wave::Pulse50:
        return (m_phase >> 29) < 4 ? WAVE_PEAK : -WAVE_PEAK;
    case Wave::Triangle: {
        // 32 steps down from 15 to 0 and up again, as the consoles' 4-bit
        // triangle does, instead of a smooth line.
        int step = static_cast<int>(m_phase >> 27);
        int stepLevel = step < 16 ? 15 - step : step - 16;
        return stepLevel * 2 - WAVE_PEAK;
    }
    case Wave::Noise:
        return (m_noise & 1) == 0 ? WAVE_PEAK : -WAVE_PEAK;
    }
    return 0;
}

void ChannelPlayer::advance() {
    m_phase += m_step;
    if (m_pVoice->wave != Wave::Noise) {
        return;
    }
    // The shift register is clocked 8 times per period of the note, so the
    // note sets the noise's colour: low notes rumble, high ones hiss.
    m_noisePhase += uint64_t{m_step} * NOISE_CLOCKS_PER_PERIOD;
    for (uint64_t clocks = m_noisePhase >> 32; clocks > 0; --clocks) {
        uint32_t bit = (m_noise ^ (m_noise >> 1)) & 1;
        m_noise = (m_noise >> 1) | (bit << NOISE_TOP_BIT);
    }
    m_noisePhase &= 0xFFFFFFFF;
}

void ChannelPlayer::addTo(int32_t* pMix, int64_t first, int count) {
    for (int k = 0; k < count; ++k) {
        int64_t sample = first + k;
        while (m_index < m_events.size()) {
            if (!m_started) {
                startEvent();
            }
            if (sample < m_end) {
                break;
            }
            ++m_index;
            m_started = false;
        }
        if (m_index >= m_events.size()) {
            return; // the channel has ended: silence
        }
        if (m_events[m_index].note == REST) {
            continue;
        }
        int64_t frame = (sample - m_start) / SAMPLES_PER_FRAME;
        if (frame != m_frame) {
            startFrame(frame);
        }
        pMix[k] += static_cast<int32_t>(level() * m_scale / WAVE_PEAK);
        advance();
    }
}

} // namespace

uint32_t phaseStepOf(int64_t cents) {
    cents = std::clamp(cents, LOWEST_PITCH, HIGHEST_PITCH);
    int64_t semitone = cents / CENTS_PER_SEMITONE;
    int64_t fraction = cents % CENTS_PER_SEMITONE;
    auto index = static_cast<size_t>(semitone % 12);
    int64_t octave = semitone / 12;
    uint64_t low = TOP_OCTAVE[index];
    // Above b comes the next octave's c: twice this octave's.
    uint64_t high = index + 1 < TOP_OCTAVE.size() ? TOP_OCTAVE[index + 1] : TOP_OCTAVE[0] * 2;
    // A straight line between neighbouring semitones: less than a cent
    // from the exact curve, and no pow().
    uint64_t fixedHz = (low * static_cast<uint64_t>(CENTS_PER_SEMITONE - fraction) +
                        high * static_cast<uint64_t>(fraction)) /
                       CENTS_PER_SEMITONE;
    fixedHz >>= TOP_OCTAVE_INDEX - octave;
    // Hz x 2^16 x 2^16 / 44100 = Hz x 2^32 / 44100.
    return static_cast<uint32_t>((fixedHz << FIXED_SHIFT) / SAMPLE_RATE);
}

std::vector<int16_t> renderSong(const Song& song) {
    const int64_t total = sampleAtUnit(song.length, song.tempo);
    std::vector<ChannelPlayer> players;
    players.reserve(song.channels.size());
    for (const Channel& channel : song.channels) {
        players.emplace_back(song, channel);
    }
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(total));
    std::array<int32_t, BLOCK_SAMPLES> mix{};
    for (int64_t first = 0; first < total; first += BLOCK_SAMPLES) {
        int count = static_cast<int>(std::min<int64_t>(BLOCK_SAMPLES, total - first));
        mix.fill(0);
        for (ChannelPlayer& player : players) {
            player.addTo(mix.data(), first, count);
        }
        for (int k = 0; k < count; ++k) {
            samples.push_back(static_cast<int16_t>(std::clamp(mix[k], -32768, 32767)));
        }
    }
    return samples;
}
