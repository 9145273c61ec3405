// The game's sound through the real program: effects reach SDL's disk audio
// driver when their events happen, muted no device opens, bad sound files are
// refused by the key that named them, and no sound device is no failure.
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr int16_t LOUD = 8000;
constexpr int16_t QUIET = 2000;

std::string littleEndian(uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text += static_cast<char>(value >> (8 * i));
    }
    return text;
}

// WAV pieces for files as designers' tools write them and as they break.
std::string chunk(const std::string& name, const std::string& body) {
    return name + littleEndian(static_cast<uint32_t>(body.size()), 4) + body +
           std::string(body.size() % 2, '\0');
}
std::string riff(const std::string& chunks) {
    return "RIFF" + littleEndian(static_cast<uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}
std::string fmtBody(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits,
                    uint32_t blockAlign) {
    return littleEndian(tag, 2) + littleEndian(channels, 2) + littleEndian(rate, 4) +
           littleEndian(rate * blockAlign, 4) + littleEndian(blockAlign, 2) + littleEndian(bits, 2);
}
std::string pcm16(uint32_t rate = 44100, uint32_t channels = 1) {
    return chunk("fmt ", fmtBody(1, channels, rate, 16, 2 * channels));
}
// A sampler chunk with one loop.
std::string sampler(uint32_t loopStart, uint32_t loopEnd) {
    std::string body;
    for (uint32_t field : {0u, 0u, 22675u, 60u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, loopStart, loopEnd}) {
        body += littleEndian(field, 4);
    }
    return chunk("smpl", body + std::string(8, '\0'));
}

// A mono 16-bit WAV of a square wave: `loud` samples at LOUD, then `quiet`
// at QUIET; with a loop start, a sampler chunk loops from that sample.
std::string squareWave(uint32_t loud = 4410, uint32_t quiet = 0,
                       std::optional<uint32_t> loopStart = std::nullopt) {
    std::string samples;
    for (uint32_t i = 0; i < loud + quiet; ++i) {
        int level = i < loud ? LOUD : QUIET;
        samples += littleEndian(static_cast<uint16_t>((i / 50) % 2 != 0 ? level : -level), 2);
    }
    return riff(pcm16() + chunk("data", samples) +
                (loopStart ? sampler(*loopStart, loud + quiet - 1) : ""));
}

std::string soundData(const std::string& name, const std::string& soundsIni) {
    std::string data = scratchDir() + "/" + name;
    fs::remove_all(data);
    fs::copy(KCS_DEMO_DATA, data, fs::copy_options::recursive);
    writeFile(data + "/beep.wav", squareWave());
    writeFile(data + "/sounds.ini", soundsIni);
    return data;
}

size_t countAtLevel(const std::vector<int16_t>& samples, int16_t level) {
    return static_cast<size_t>(std::count_if(
        samples.begin(), samples.end(), [level](int16_t s) { return s == level || s == -level; }));
}

// What the game played, paced, through SDL's disk audio driver: by default
// the menu's music.
std::vector<int16_t> played(const std::string& data, int frames, const std::string& extra = "",
                            std::string* pErr = nullptr) {
    std::string out = scratchDir() + "/played.raw";
    fs::remove(out);
    RunResult result =
        runProgram("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + out + " " +
                   KCS_BINARY + " --data " + data + " --frames " + std::to_string(frames) + extra);
    EXPECT_EQ(result.status, 0) << result.err;
    if (pErr != nullptr) {
        *pErr = result.err;
    }
    std::string raw = readFile(out);
    // In the order of the host, as the game mixes; muted, nothing is written.
    std::vector<int16_t> samples(raw.size() / 2);
    if (!samples.empty()) {
        std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    }
    return samples;
}

TEST(Sound, AJumpIsHeardThroughTheDiskDriverAndNotWhenMuted) {
    std::string data = soundData("sound-data", "[Effects]\njump=beep.wav\n");
    writeFile(scratchDir() + "/jump.txt", "30 space down\n40 space up\n");
    std::string jump = " --level ROCKFALL --skip-ready --replay " + scratchDir() + "/jump.txt";
    std::vector<int16_t> heard = played(data, 90, jump);
    EXPECT_GT(heard.size() - countAtLevel(heard, 0), 1000u);
    // Muted, no device is opened: the driver neither writes nor says a word.
    std::string err;
    EXPECT_TRUE(played(data, 90, jump + " --mute", &err).empty());
    EXPECT_EQ(err, "");
}

// Each refusal names sounds.ini, the section and the key,
// and the file it named; broken files are refused before a decoder sees them.
TEST(Sound, BadSoundFilesAreRefusedByTheKeyThatNamedThem) {
    struct Case {
        std::string soundsIni;
        std::string error;       // after "kcs: sounds.ini: "
        std::string badWav = {}; // written as bad.wav
    };
    const std::string shoot = "[Effects]\nshoot=bad.wav\n";
    const std::string shot = "[Effects] shoot \"bad.wav\" cannot be loaded (";
    const Case cases[] = {
        {"[Effects]\nshoot=lost.wav\n",
         "[Effects] shoot \"lost.wav\" cannot be loaded (lost.wav: cannot open it"},
        {"[Effects]\nland=stageselect.ini\n",
         "[Effects] land \"stageselect.ini\" cannot be loaded (not a sound file kcs can read"},
        {shoot, shot + "its fmt chunk is missing)", riff(chunk("data", std::string(100, '\0')))},
        {shoot, shot + "its sample rate, 1 Hz, is outside 4000 to 192000 Hz)",
         riff(pcm16(1) + chunk("data", "ab"))},
        // 100 s at 4 kHz: fine for music, too long for an effect.
        {shoot, shot + "it would decode to 9 MiB; an effect may decode to at most 8 MiB",
         riff(chunk("fmt ", fmtBody(1, 1, 4000, 8, 1)) + chunk("data", std::string(400000, 'x')))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string folder = soundData("bad-sound", c.soundsIni);
        writeFile(folder + "/bad.wav", c.badWav);
        RunResult result = runProgram(std::string(KCS_BINARY) + " --check --data " + folder);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("kcs: sounds.ini: " + c.error, 0), 0u) << result.err;
    }
}

// Every format loads; the 16-bit ones, which the decoder hands over in the
// same normalised form as the rest, are heard at their level after the
// down-mix and the resampling.
TEST(Sound, TheFormatsDesignersExportLoadAndPlay) {
    constexpr int16_t LEVEL = 8192;
    constexpr uint32_t FLOAT = 3;
    struct Format {
        const char* name;
        uint32_t tag;
        uint32_t channels;
        uint32_t rate; // Hz
        uint32_t bits;
        bool extensible = false;
    };
    const Format formats[] = {
        {"24-bit", 1, 1, 44100, 24},
        {"24-bit extensible", 1, 1, 44100, 24, true},
        {"float extensible, stereo, 48 kHz", FLOAT, 2, 48000, 32, true},
        {"16-bit extensible, stereo, 48 kHz", 1, 2, 48000, 16, true},
    };
    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        std::string samples;
        for (uint32_t i = 0; i < f.rate / 10 * f.channels; ++i) {
            int level = (i / f.channels / 20) % 2 != 0 ? LEVEL : -LEVEL;
            samples += f.bits == 16 ? littleEndian(static_cast<uint16_t>(level), 2)
                                    : std::string(f.bits / 8, '\0');
        }
        std::string fmt = fmtBody(f.extensible ? 0xFFFE : f.tag, f.channels, f.rate, f.bits,
                                  f.channels * f.bits / 8);
        if (f.extensible) {
            fmt += littleEndian(22, 2) + littleEndian(f.bits, 2) + littleEndian(0, 4) +
                   littleEndian(f.tag, 4) + std::string("\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 12);
        }
        std::string folder = soundData("formats", "[Music]\nmenu=song.wav\n");
        writeFile(folder + "/song.wav", riff(chunk("fmt ", fmt) + chunk("data", samples)));
        if (f.bits == 16) {
            EXPECT_GT(countAtLevel(played(folder, 30), LEVEL), 2000u);
        } else {
            RunResult result = runProgram(std::string(KCS_BINARY) + " --check --data " + folder);
            EXPECT_EQ(result.status, 0) << result.err;
        }
    }
}

TEST(Sound, MusicLoopsFromItsLoopPointWithoutAGap) {
    // 0.1 s loud, then 0.1 s quiet, looping from the quiet part: the loud
    // part is heard once however long the menu plays.
    constexpr uint32_t PART = 4410;
    // Two seconds of the menu, four times what the counts below need, so a
    // loaded machine that starves the audio thread still passes.
    constexpr int FRAMES = 120;
    std::string data = soundData("looped-music", "[Music]\nmenu=song.wav\n");
    writeFile(data + "/song.wav", squareWave(PART, PART, PART));
    std::vector<int16_t> music = played(data, FRAMES);
    auto first = std::find_if(music.begin(), music.end(), [](int16_t s) { return s != 0; });
    ASSERT_NE(first, music.end());
    // The game mixes in mono; the driver may take it as stereo.
    size_t outputChannels = countAtLevel(music, LOUD) / PART;
    ASSERT_TRUE(outputChannels == 1 || outputChannels == 2) << countAtLevel(music, LOUD);
    EXPECT_EQ(countAtLevel(music, LOUD), outputChannels * PART);
    EXPECT_GT(countAtLevel(music, QUIET), 4 * outputChannels * PART);
    // The square is never zero, so a zero while the music plays is a gap;
    // after it the device is left silent until the process has ended.
    auto last = std::find_if(music.rbegin(), music.rend(), [](int16_t s) { return s != 0; });
    EXPECT_EQ(std::count(first, last.base(), 0), 0);
}

TEST(Sound, NoSoundDeviceIsASilentGame) {
    RunResult result = runProgram(std::string("SDL_AUDIODRIVER=nonesuch ") + KCS_BINARY +
                                  " --headless --frames 30 --data " + KCS_DEMO_DATA);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err.rfind("kcs: no sound: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
}

} // namespace
