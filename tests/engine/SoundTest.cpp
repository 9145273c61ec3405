// The game's sound through the real program: effects reach SDL's disk audio
// driver when their events happen and not when muted, bad sound files are
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

// A mono 16-bit WAV of a square wave: `loud` samples at LOUD, then `quiet`
// at QUIET; with a loop start, a sampler chunk loops from that sample.
std::string squareWave(uint32_t loud = 4410, uint32_t quiet = 0,
                       std::optional<uint32_t> loopStart = std::nullopt) {
    constexpr uint32_t RATE = 44100;
    constexpr uint32_t SAMPLER_BYTES = 60;
    const uint32_t samples = loud + quiet;
    std::string wav = "RIFF";
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wav += static_cast<char>(value >> (8 * i));
        }
    };
    put(36 + samples * 2 + (loopStart ? 8 + SAMPLER_BYTES : 0), 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(RATE, 4);
    put(RATE * 2, 4);
    put(2, 2);
    put(16, 2);
    wav += "data";
    put(samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i) {
        int level = i < loud ? LOUD : QUIET;
        put(static_cast<uint16_t>((i / 50) % 2 != 0 ? level : -level), 2);
    }
    if (loopStart) {
        wav += "smpl";
        put(SAMPLER_BYTES, 4);
        for (uint32_t field : {0u, 0u, 22675u, 60u, 0u, 0u, 0u, 1u, 0u}) {
            put(field, 4);
        }
        for (uint32_t field : {0u, 0u, *loopStart, samples - 1, 0u, 0u}) {
            put(field, 4);
        }
    }
    return wav;
}

std::string soundData(const std::string& name, const std::string& soundsIni) {
    std::string data = scratchDir() + "/" + name;
    fs::remove_all(data);
    fs::copy(KCS_DEMO_DATA, data, fs::copy_options::recursive);
    writeFile(data + "/beep.wav", squareWave());
    writeFile(data + "/sounds.ini", soundsIni);
    return data;
}

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

std::vector<int16_t> samplesOf(const std::string& raw) {
    std::vector<int16_t> samples;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(raw[i]) |
                                               static_cast<uint8_t>(raw[i + 1]) << 8));
    }
    return samples;
}

// Samples of the disk driver's output that are not silence.
size_t loudSamples(const std::string& raw) {
    std::vector<int16_t> samples = samplesOf(raw);
    return samples.size() - static_cast<size_t>(std::count(samples.begin(), samples.end(), 0));
}

size_t countAtLevel(const std::vector<int16_t>& samples, int16_t level) {
    return static_cast<size_t>(std::count_if(
        samples.begin(), samples.end(), [level](int16_t s) { return s == level || s == -level; }));
}

// The game run paced on the menu with SDL's disk audio driver: what it played.
std::vector<int16_t> playedOnTheMenu(const std::string& data, int frames) {
    std::string out = scratchDir() + "/menu-audio.raw";
    RunResult result =
        runProgram("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + out + " " +
                   KCS_BINARY + " --data " + data + " --frames " + std::to_string(frames));
    EXPECT_EQ(result.status, 0) << result.err;
    return samplesOf(readFile(out));
}

TEST(Sound, AJumpIsHeardThroughTheDiskDriverAndNotWhenMuted) {
    std::string data = soundData("sound-data", "[Effects]\njump=beep.wav\n");
    std::string replay = scratchDir() + "/jump.txt";
    writeFile(replay, "30 space down\n40 space up\n");
    std::string out = scratchDir() + "/audio.raw";
    // Paced, so the driver takes the sound as it is played.
    std::string run = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + out + " " +
                      KCS_BINARY + " --data " + data +
                      " --level ROCKFALL --skip-ready --frames 90 --replay " + replay;
    RunResult heard = runProgram(run);
    ASSERT_EQ(heard.status, 0) << heard.err;
    EXPECT_GT(loudSamples(readFile(out)), 1000u);

    RunResult muted = runProgram(run + " --mute");
    ASSERT_EQ(muted.status, 0) << muted.err;
    std::string silence = readFile(out);
    EXPECT_GT(silence.size(), 10000u);
    EXPECT_EQ(loudSamples(silence), 0u);
}

TEST(Sound, BadSoundFilesAreRefusedByTheKeyThatNamedThem) {
    struct Case {
        std::string soundsIni;
        std::string levelsEdit; // a line added to ROCKFALL's section
        std::string error;
        std::string badWav = {}; // written as bad.wav
    };
    const std::string shoot = "kcs: sounds.ini: [Effects] shoot \"bad.wav\" cannot be loaded (";
    const std::string menu = "kcs: sounds.ini: [Music] menu \"bad.wav\" cannot be loaded (";
    const Case cases[] = {
        {"[Effects]\nshoot=lost.wav\n", "",
         "kcs: sounds.ini: [Effects] shoot \"lost.wav\" cannot be loaded (lost.wav: cannot open "
         "it"},
        {"[Effects]\nland=stageselect.ini\n", "",
         "kcs: sounds.ini: [Effects] land \"stageselect.ini\" cannot be loaded (not a sound file "
         "kcs can read"},
        {"[Music]\nmenu=\n", "", "kcs: sounds.ini: [Music] menu is empty; give a sound file"},
        {"[Music]\nmenu=nothing.wav\n", "",
         "kcs: sounds.ini: [Music] menu \"nothing.wav\" cannot be loaded (the file is empty)"},
        {"", "music=lost.ogg\n",
         "kcs: levels.ini: [ROCKFALL] music \"lost.ogg\" cannot be loaded (lost.ogg: cannot open "
         "it"},
        // Files made to break a decoder, each refused before one sees it.
        {"[Effects]\nshoot=bad.wav\n", "", shoot + "its fmt chunk is missing)",
         riff(chunk("data", std::string(100, '\0')))},
        {"[Effects]\nshoot=bad.wav\n", "", shoot + "its data chunk is missing)", riff(pcm16())},
        {"[Effects]\nshoot=bad.wav\n", "", shoot + "its data chunk comes before its fmt chunk)",
         riff(chunk("data", "ab") + pcm16())},
        {"[Effects]\nshoot=bad.wav\n", "",
         shoot + "its \"LIST\" chunk's size, 1000 bytes, runs past the file's end)",
         riff(pcm16() + "LIST" + littleEndian(1000, 4) + chunk("data", "ab"))},
        {"[Effects]\nshoot=bad.wav\n", "",
         shoot + "its sample rate, 1 Hz, is outside 4000 to 192000 Hz)",
         riff(pcm16(1) + chunk("data", "ab"))},
        {"[Effects]\nshoot=bad.wav\n", "", shoot + "it has 0 channels; kcs reads 1 to 8)",
         riff(pcm16(44100, 0) + chunk("data", "ab"))},
        {"[Effects]\nshoot=bad.wav\n", "", shoot + "its format tag, 0x0055, is not one kcs reads",
         riff(chunk("fmt ", fmtBody(0x55, 1, 44100, 0, 1)) + chunk("data", "ab"))},
        {"[Effects]\nshoot=bad.wav\n", "",
         shoot + "not a sound file kcs can read: WAV, AIFF, FLAC or Ogg)",
         std::string(1080, '\0') + "M.K." + std::string(1024, '\0')},
        // 100 s at 4 kHz: fine for music, too long for an effect.
        {"[Effects]\nshoot=bad.wav\n", "",
         shoot +
             "it would decode to 9 MiB; an effect may decode to at most 8 MiB, about 95 seconds)",
         riff(chunk("fmt ", fmtBody(1, 1, 4000, 8, 1)) + chunk("data", std::string(400000, 'x')))},
        // A few MiB of IMA ADPCM at 4 kHz, 505 samples to a 256-byte block,
        // looping: 66 MiB at 44.1 kHz.
        {"[Music]\nmenu=bad.wav\n", "",
         menu +
             "it would decode to 66 MiB; music may decode to at most 64 MiB, about twelve minutes)",
         riff(chunk("fmt ",
                    fmtBody(0x11, 1, 4000, 4, 256) + littleEndian(2, 2) + littleEndian(505, 2)) +
              chunk("data", std::string(256 * 6200, '\0')) +
              chunk("smpl", std::string(28, '\0') + littleEndian(1, 4) + std::string(12, '\0') +
                                littleEndian(1000, 4) + std::string(12, '\0')))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string data = soundData("bad-sound", c.soundsIni);
        writeFile(data + "/nothing.wav", "");
        writeFile(data + "/bad.wav", c.badWav);
        if (!c.levelsEdit.empty()) {
            std::string levels = readFile(data + "/levels.ini");
            levels.insert(levels.find("tileSheet=tiles.bmp"), c.levelsEdit);
            writeFile(data + "/levels.ini", levels);
        }
        for (const std::string& how :
             {std::string(" --check"), std::string(" --headless --frames 5 --level ROCKFALL")}) {
            RunResult result = runProgram(std::string(KCS_BINARY) + " --data " + data + how);
            EXPECT_EQ(result.status, 2) << how;
            EXPECT_EQ(result.err.rfind(c.error, 0), 0u) << how << "\n" << result.err;
        }
    }
}

TEST(Sound, TheFormatsDesignersExportLoadAndPlay) {
    constexpr int32_t LEVEL = 8192; // exact in every format below
    constexpr uint32_t FLOAT = 3;
    struct Format {
        const char* name;
        uint32_t tag;
        uint32_t channels;
        uint32_t rate; // Hz
        uint32_t bits;
        bool extensible = false;
        uint32_t declaredData = 0; // when not 0, what the data chunk's size says
    };
    const Format formats[] = {
        {"8-bit", 1, 1, 44100, 8},
        {"24-bit", 1, 1, 44100, 24},
        {"32-bit", 1, 1, 44100, 32},
        {"float", FLOAT, 1, 44100, 32},
        {"24-bit extensible", 1, 1, 44100, 24, true},
        {"float extensible, stereo, 48 kHz", FLOAT, 2, 48000, 32, true},
        {"stereo", 1, 2, 44100, 16},
        {"22,050 Hz", 1, 1, 22050, 16},
        {"48,000 Hz", 1, 1, 48000, 16},
        {"cut short in its samples", 1, 1, 44100, 16, false, 0xFFFFFFF0},
    };
    for (const Format& f : formats) {
        SCOPED_TRACE(f.name);
        std::string samples;
        for (uint32_t i = 0; i < f.rate / 10 * f.channels; ++i) {
            int32_t level = (i / f.channels / 20) % 2 != 0 ? LEVEL : -LEVEL;
            if (f.tag == FLOAT) {
                float value = static_cast<float>(level) / 32768.0f;
                uint32_t bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                samples += littleEndian(bits, 4);
            } else if (f.bits == 8) {
                samples += static_cast<char>(128 + level / 256);
            } else {
                samples += littleEndian(static_cast<uint32_t>(level) << (f.bits - 16),
                                        static_cast<int>(f.bits / 8));
            }
        }
        std::string fmt = fmtBody(f.extensible ? 0xFFFE : f.tag, f.channels, f.rate, f.bits,
                                  f.channels * f.bits / 8);
        if (f.extensible) {
            fmt += littleEndian(22, 2) + littleEndian(f.bits, 2) + littleEndian(0, 4) +
                   littleEndian(f.tag, 4) + std::string("\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 12);
        }
        std::string data = chunk("data", samples);
        if (f.declaredData != 0) {
            data.replace(4, 4, littleEndian(f.declaredData, 4));
        }
        std::string folder = soundData("formats", "[Music]\nmenu=song.wav\n");
        writeFile(folder + "/song.wav", riff(chunk("fmt ", fmt) + data));
        EXPECT_GT(countAtLevel(playedOnTheMenu(folder, 30), LEVEL), 2000u);
    }
}

TEST(Sound, MusicLoopsFromItsLoopPointWithoutAGap) {
    // 0.1 s loud, then 0.1 s quiet, looping from the quiet part: the loud
    // part is heard once however long the menu plays.
    constexpr uint32_t PART = 4410;
    std::string data = soundData("looped-music", "[Music]\nmenu=song.wav\n");
    writeFile(data + "/song.wav", squareWave(PART, PART, PART));
    std::vector<int16_t> played = playedOnTheMenu(data, 60);
    auto first = std::find_if(played.begin(), played.end(), [](int16_t s) { return s != 0; });
    ASSERT_NE(first, played.end());
    // The game mixes in mono; the driver may take it as stereo.
    size_t outputChannels = countAtLevel(played, LOUD) / PART;
    ASSERT_TRUE(outputChannels == 1 || outputChannels == 2) << countAtLevel(played, LOUD);
    EXPECT_EQ(countAtLevel(played, LOUD), outputChannels * PART);
    EXPECT_GT(countAtLevel(played, QUIET), 4 * outputChannels * PART);
    // The square is never zero, so a zero after the music began is a gap;
    // the last buffer may be cut short as the game ends.
    EXPECT_EQ(std::count(first, played.end() - 4096, 0), 0);

    // A file cut short in an odd-sized chunk after the sampler chunk keeps
    // its loop, and nothing past its end is read.
    std::string cut = squareWave(PART, PART, PART) + "junk";
    cut += std::string("\x65\0\0\0", 4) + "abc";
    writeFile(data + "/song.wav", cut);
    RunResult cutShort = runProgram(std::string(KCS_BINARY) + " --check --data " + data);
    EXPECT_EQ(cutShort.status, 0) << cutShort.err;

    // Without the sampler chunk the whole file loops, loud part and all.
    writeFile(data + "/song.wav", squareWave(PART, PART));
    played = playedOnTheMenu(data, 60);
    EXPECT_GT(countAtLevel(played, LOUD), 2 * outputChannels * PART);

    writeFile(data + "/song.wav", squareWave(PART, PART, 2 * PART));
    RunResult pastTheEnd = runProgram(std::string(KCS_BINARY) + " --check --data " + data);
    EXPECT_EQ(pastTheEnd.status, 2);
    EXPECT_EQ(pastTheEnd.err.rfind("kcs: sounds.ini: [Music] menu \"song.wav\" cannot be loaded "
                                   "(its loop point, sample 8820, is not before its end, sample "
                                   "8820)",
                                   0),
              0u)
        << pastTheEnd.err;
}

TEST(Sound, NoSoundDeviceIsASilentGame) {
    RunResult result = runProgram(std::string("SDL_AUDIODRIVER=nonesuch ") + KCS_BINARY +
                                  " --headless --frames 30 --data " + KCS_DEMO_DATA);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err.rfind("kcs: no sound: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    RunResult loud = runProgram(std::string(KCS_BINARY) + " --volume 101");
    EXPECT_EQ(loud.status, 2);
}

} // namespace
