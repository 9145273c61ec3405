// The game's sound through the real program: effects reach SDL's disk audio
// driver when their events happen and not when muted, bad sound files are
// refused by the key that named them, and no sound device is no failure.
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// A mono 16-bit WAV of a square wave, a tenth of a second long.
std::string squareWave() {
    constexpr uint32_t RATE = 44100;
    constexpr uint32_t SAMPLES = RATE / 10;
    std::string wav = "RIFF";
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            wav += static_cast<char>(value >> (8 * i));
        }
    };
    put(36 + SAMPLES * 2, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(RATE, 4);
    put(RATE * 2, 4);
    put(2, 2);
    put(16, 2);
    wav += "data";
    put(SAMPLES * 2, 4);
    for (uint32_t i = 0; i < SAMPLES; ++i) {
        put(static_cast<uint16_t>((i / 50) % 2 != 0 ? 8000 : -8000), 2);
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

// Samples of the disk driver's output that are not silence.
size_t loudSamples(const std::string& raw) {
    size_t loud = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        int16_t sample = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) |
                                              static_cast<uint8_t>(raw[i + 1]) << 8);
        loud += sample != 0 ? 1 : 0;
    }
    return loud;
}

TEST(Sound, AJumpIsHeardThroughTheDiskDriverAndNotWhenMuted) {
    std::string data = soundData("sound-data", "[Effects]\njump=beep.wav\n");
    std::string replay = scratchDir() + "/jump.txt";
    writeFile(replay, "30 space down\n40 space up\n");
    std::string out = scratchDir() + "/audio.raw";
    // Paced, so the driver takes the sound as it is played.
    std::string run = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + out +
                      " " + KCS_BINARY + " --data " + data +
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
    };
    const Case cases[] = {
        {"[Effects]\nshoot=lost.wav\n", "",
         "kcs: sounds.ini: [Effects] shoot \"lost.wav\" cannot be loaded (lost.wav: cannot open "
         "it"},
        {"[Effects]\nland=stageselect.ini\n", "",
         "kcs: sounds.ini: [Effects] land \"stageselect.ini\" cannot be loaded (not a sound "
         "SDL_mixer can load"},
        {"[Music]\nmenu=\n", "", "kcs: sounds.ini: [Music] menu is empty; give a sound file"},
        {"", "music=lost.ogg\n",
         "kcs: levels.ini: [ROCKFALL] music \"lost.ogg\" cannot be loaded (lost.ogg: cannot open "
         "it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string data = soundData("bad-sound", c.soundsIni);
        if (!c.levelsEdit.empty()) {
            std::string levels = readFile(data + "/levels.ini");
            levels.insert(levels.find("tileSheet=tiles.bmp"), c.levelsEdit);
            writeFile(data + "/levels.ini", levels);
        }
        for (const std::string& how : {std::string(" --check"),
                                       std::string(" --headless --frames 5 --level ROCKFALL")}) {
            RunResult result = runProgram(std::string(KCS_BINARY) + " --data " + data + how);
            EXPECT_EQ(result.status, 2) << how;
            EXPECT_EQ(result.err.rfind(c.error, 0), 0u) << how << "\n" << result.err;
        }
    }
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
