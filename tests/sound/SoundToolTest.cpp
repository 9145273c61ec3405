// kcs-sound through the real binary: the same score always gives the same
// bytes, the loop chunk gives the loop the game reads, the samples have the
// length, pitch, duty and peak the score asks for, and bad scores are
// reported with file, line and column and write nothing.
#include "engine/LittleEndian.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr int SAMPLE_RATE = 44100;
constexpr int FRAME = 735;          // samples in 1/60 s
constexpr size_t HEADER_SIZE = 44;  // RIFF, "fmt " and "data" chunk headers
constexpr size_t SAMPLER_SIZE = 68; // the "smpl" chunk with one loop
constexpr int CHANNEL_PEAK = 6000;  // one channel at full volume

// A 32-bit field of a WAV file.
uint32_t field(const std::string& bytes, size_t at) {
    return littleEndian(bytes.data() + at, 4);
}

// Renders a score and returns the WAV file's bytes ("" when it failed).
std::string render(const std::string& score) {
    writeFile("score.txt", score);
    auto result = runProgram(std::string(KCS_SOUND_BINARY) + " score.txt score.wav");
    EXPECT_EQ(result.status, 0) << result.err;
    return readFile("score.wav");
}

uint64_t fnv1a(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : bytes) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Every wave, every voice option, dots, a tie, repeats, a voice change,
// volume and a loop point; three channels of 9 1/2 beats looping after 4 1/2.
const std::string EVERYTHING = "tempo 140\n"
                               "voice lead pulse25 envelope 15 13 11 9 vibrato 40 6 12\n"
                               "voice harm pulse12 envelope 10 arpeggio 0 4 7\n"
                               "voice bass triangle sweep -0.25\n"
                               "voice hat noise envelope 15 8 4 0\n"
                               "voice square pulse50\n"
                               "channel lead\n"
                               "o5 l8 c d e f+ | g4 ^8 a b- L > @harm c2 | < [a g]2 c4\n"
                               "channel bass\n"
                               "o2 l4 c r c. c16 r8 r16 | L @square c8 ^16 r16 [e g]2\n"
                               "channel hat\n"
                               "o6 [c16 r16]8 r8 | L [c8]4 v8 c4 c2\n";

const std::string ONE = "voice x pulse50\nchannel x\n";

} // namespace

// A change of this constant means every build's sounds change: check by
// ear and with the other tests before writing the new value. The hash pins
// the WAV header and the sampler chunk too.
TEST(SoundTool, SameScoreGivesTheSameBytesOnEveryBuild) {
    uint64_t hash = fnv1a(render(EVERYTHING));
    EXPECT_EQ(hash, 0xa12b98526dff1d29ULL) << std::hex << hash;
}

// What the game reads of the loop chunk: the loop's first and last sample,
// after the data, whose size the header gives.
TEST(SoundTool, TheLoopChunkGivesTheLoop) {
    std::string bytes = render("tempo 120\n" + ONE + "c4 L c4\n");
    constexpr uint32_t DATA = 2 * 44100; // bytes: two quarter notes at 120 beats a minute
    ASSERT_EQ(bytes.size(), HEADER_SIZE + DATA + SAMPLER_SIZE);
    EXPECT_EQ(bytes.substr(HEADER_SIZE + DATA, 4), "smpl");
    EXPECT_EQ(field(bytes, HEADER_SIZE + DATA + 52), 22050u);
    EXPECT_EQ(field(bytes, HEADER_SIZE + DATA + 56), 44099u);
}

// The samples of a score, or a part of them from `from` to `to` (0: the end):
// how many, their pitch by the rises through zero, the share that is positive
// (a pulse wave's duty) and their peak. What a row does not check is -1. The
// hashed piece shows the noise, the envelopes and the arpeggio.
TEST(SoundTool, ScoresShapeTheirSamples) {
    // Two channels, then one: channels add up and the piece lasts as long
    // as the longest.
    const std::string chord = ONE + "c4\nchannel x\no5 c4 c4\nchannel x\nr4\n";
    const int q = 22050; // samples in a quarter note at 120 beats a minute
    const std::tuple<std::string, int, int, int, double, double, int> rows[] = {
        // score, from, to, samples, Hz, positive share, peak
        {"tempo 120\n" + ONE + "o4 a1\n", 0, 0, 4 * q, 440, 0.5, CHANNEL_PEAK},
        {"voice x pulse12\nchannel x\nc1\n", 0, 0, -1, 261.63, 0.125, -1},
        {chord, 0, q, 2 * q, -1, -1, 2 * CHANNEL_PEAK},
        {chord, q, 2 * q, -1, -1, -1, CHANNEL_PEAK},
        // The channel's volume times the envelope's, out of 15 each.
        {"voice x pulse50 envelope 15 10\nchannel x\nv 5 c4\n", FRAME, 0, -1, -1, -1,
         CHANNEL_PEAK * 10 * 5 / 225},
        // A quarter of a semitone a frame up from c3 (130.81 Hz) averages
        // 495 Hz in the second second.
        {"voice x pulse50 sweep 0.25\nchannel x\no3 c1\n", 2 * q, 0, -1, 495, -1, -1},
        // Every unit starts at unit * 55125 / tempo: three eighths at 130 are
        // 30530 samples, not three times the rounded length of one.
        {"tempo 130\n" + ONE + "c8 c8 c8\n", 0, 0, 30530, -1, -1, -1},
    };
    for (const auto& [score, from, to, count, hertz, share, peak] : rows) {
        SCOPED_TRACE(score);
        std::string bytes = render(score); // without a loop point: samples to the end
        std::vector<int16_t> all;
        for (size_t at = HEADER_SIZE; at + 1 < bytes.size(); at += 2) {
            all.push_back(static_cast<int16_t>(littleEndian(bytes.data() + at, 2)));
        }
        ASSERT_GE(all.size(), static_cast<size_t>(std::max(from, to)));
        std::vector<int16_t> part(all.begin() + from, to == 0 ? all.end() : all.begin() + to);
        double seconds = static_cast<double>(part.size()) / SAMPLE_RATE;
        int rises = 0;
        for (size_t i = 1; i < part.size(); ++i) {
            rises += part[i - 1] <= 0 && part[i] > 0 ? 1 : 0;
        }
        auto positive = std::count_if(part.begin(), part.end(), [](int16_t s) { return s > 0; });
        EXPECT_TRUE(count < 0 || all.size() == static_cast<size_t>(count)) << all.size();
        EXPECT_TRUE(hertz < 0 || std::abs(rises / seconds - hertz) < hertz / 100)
            << rises / seconds;
        EXPECT_TRUE(share < 0 || std::abs(positive / seconds / SAMPLE_RATE - share) < 0.01);
        EXPECT_TRUE(peak < 0 || *std::max_element(part.begin(), part.end()) == peak);
    }
}

// Each bad score gives status 2, one line "file:line:column: message" and no
// output file. The first row's message is whole; the others are their start.
TEST(SoundTool, BadScoresAreReportedByFileLineAndColumn) {
    const std::pair<std::string, std::string> scores[] = {
        // score, the start of the line after "file:"
        {"voice x sine\n", "1:9: unknown wave \"sine\"; the waves are pulse12, pulse25, pulse50, "
                           "triangle and noise\n"},
        {ONE + "c\nchanel x\n", "4:2: unknown note command 'h'"},
        {"\xEF\xBB\xBFvoice x pulse50\r\rchannel y\r\n", "3:9: no voice \"y\" is defined above"},
        {ONE + "c L c\nchannel x\nc c L c\n", "5:5: loop point after 2 beats, but the loop point "
                                              "on line 3 is after 1 beat"},
        {"tempo 30\n" + ONE + "[[c1]99]4\n", "4:3: the piece is longer than 10 minutes"},
        {"// nothing\n", "1:1: no \"channel\" lines: nothing to play"},
        {ONE + "[[[[v1]99]99]99]99\n", "3:5: the repeats run more than 4000000"},
    };
    for (const auto& [score, start] : scores) {
        SCOPED_TRACE(start);
        writeFile("bad.txt", score);
        std::filesystem::remove("bad.wav");
        auto result = runProgram(std::string(KCS_SOUND_BINARY) + " bad.txt bad.wav");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err.rfind("bad.txt:" + start, 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_FALSE(std::filesystem::exists("bad.wav"));
    }
}
