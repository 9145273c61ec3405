// kcs-sound through the real binary: the same score always gives the same
// bytes, the WAV header and the loop chunk the game reads are exact, the
// waves have their pitch and duty, the voice options shape the notes, and
// bad scores are reported with file, line and column and write nothing.
#include "engine/LittleEndian.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
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

// The samples of the WAV file a score renders to.
std::vector<int16_t> renderSamples(const std::string& score) {
    std::string bytes = render(score);
    std::vector<int16_t> samples;
    for (size_t at = HEADER_SIZE;
         bytes.size() >= HEADER_SIZE && at < HEADER_SIZE + field(bytes, 40); at += 2) {
        samples.push_back(static_cast<int16_t>(littleEndian(bytes.data() + at, 2)));
    }
    return samples;
}

// Rises from zero or below to above zero: one per period of a pulse wave.
int risesIn(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int rises = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] <= 0 && samples[i] > 0) {
            ++rises;
        }
    }
    return rises;
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
// ear and with the other tests before writing the new value. Comments, blank
// lines and CR LF line ends change nothing.
TEST(SoundTool, SameScoreGivesTheSameBytesOnEveryBuild) {
    std::string dressed = "// a comment first\n";
    for (char c : EVERYTHING) {
        dressed += c == '\n' ? std::string("  // note\r\n\r\n") : std::string(1, c);
    }
    for (const std::string& score : {EVERYTHING, dressed}) {
        uint64_t hash = fnv1a(render(score));
        EXPECT_EQ(hash, 0xa12b98526dff1d29ULL) << std::hex << hash;
    }
}

TEST(SoundTool, TiesAndRepeatsAreWhatTheyStandFor) {
    const std::string voices = "voice v pulse25 envelope 15 14 13 12 11 10 9 8 7 6 5 4 3 "
                               "sweep 0.1 vibrato 30 4 arpeggio 0 3 7\nchannel v\n";
    // A tie continues the note: its envelope and effects do not restart.
    const std::tuple<std::string, std::string, bool> pairs[] = {
        {"c4^4 d8^16\n", "c2 d8.\n", true},
        {"[c d [e]2]3 r\n", "c d e e c d e e c d e e r\n", true},
        {"c4 c4 d8.\n", "c2 d8.\n", false},
    };
    for (const auto& [written, meant, same] : pairs) {
        EXPECT_EQ(render(voices + written) == render(voices + meant), same)
            << written << " against " << meant;
    }
}

TEST(SoundTool, HeaderDataAndLoopChunkAreExact) {
    std::string bytes = render("tempo 120\n" + ONE + "c4 L c4\n");
    constexpr uint32_t SAMPLES = 44100; // two quarter notes at 120 beats per minute
    ASSERT_EQ(bytes.size(), HEADER_SIZE + 2 * SAMPLES + SAMPLER_SIZE);
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(field(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(field(bytes, 40), 2 * SAMPLES);
    // From byte 16: the fmt chunk's size, PCM and mono, 44100 Hz, 88200 bytes
    // per second, frames of 2 bytes and samples of 16 bits.
    const std::vector<uint32_t> format = {16, 1 | 1 << 16, 44100, 88200, 2 | 16 << 16};
    for (size_t i = 0; i < format.size(); ++i) {
        EXPECT_EQ(field(bytes, 16 + 4 * i), format[i]) << "fmt field " << i;
    }

    const size_t smpl = HEADER_SIZE + 2 * SAMPLES;
    EXPECT_EQ(bytes.substr(smpl, 4), "smpl");
    EXPECT_EQ(field(bytes, smpl + 4), 60u);
    const std::vector<uint32_t> fields = {0, 0, 22675, 60,    0, 0, 0, 1, 0, // sampler
                                          0, 0, 22050, 44099, 0, 0};         // the loop
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(field(bytes, smpl + 8 + 4 * i), fields[i]) << "smpl field " << i;
    }

    // Without a loop point there is no "smpl" chunk. Every unit starts at
    // unit * 55125 / tempo: three eighths at 130 are 30530 samples, not
    // three times the rounded length of one.
    std::string plain = render("tempo 130\n" + ONE + "c8 c8 c8\n");
    EXPECT_EQ(field(plain, 40), 2 * 30530u);
    EXPECT_EQ(plain.size(), HEADER_SIZE + 2 * 30530u);
}

// Two seconds of each wave: its pitch by the rises through zero, its duty by
// the share of positive samples, and whether it is a square of two levels.
// The noise, the envelopes and the arpeggio sound in the hashed piece above.
TEST(SoundTool, WavesHaveTheirPitchAndDuty) {
    // score, pitch (Hz), share of positive samples, a square of two levels
    const std::tuple<std::string, double, double, bool> waves[] = {
        {"tempo 120\n" + ONE + "o4 a1\n", 440.0, 0.5, true},
        {"voice x pulse12\nchannel x\nc1\n", 261.63, 0.125, true},
        {"voice x pulse25\nchannel x\nc1\n", 261.63, 0.25, true},
        {"voice x triangle\nchannel x\nc1\n", 261.63, 0.5, false},
    };
    for (const auto& [score, pitch, duty, square] : waves) {
        SCOPED_TRACE(score);
        auto samples = renderSamples(score);
        ASSERT_EQ(samples.size(), 2u * SAMPLE_RATE);
        EXPECT_NEAR(risesIn(samples, 0, samples.size()) / 2.0, pitch, 1.0);
        auto positive =
            std::count_if(samples.begin(), samples.end(), [](int16_t s) { return s > 0; });
        EXPECT_NEAR(static_cast<double>(positive) / samples.size(), duty, 0.01);
        EXPECT_EQ(std::set<int16_t>(samples.begin(), samples.end()).size() == 2, square);
    }
}

// What the hashed piece, whose channels all loop together, does not show:
// channels of different lengths (the piece lasts as long as the longest, and
// channels add up), the channel's volume times the envelope's, and a sweep up.
TEST(SoundTool, ChannelsVolumesAndSweepsShapeTheSamples) {
    auto samples = renderSamples(ONE + "c4\nchannel x\no5 c4 c4 v0 c4\nchannel x\nr4\n");
    ASSERT_EQ(samples.size(), 3u * 22050u);
    // Two channels sound together, then one; the last beat is silent at v0.
    EXPECT_EQ(*std::max_element(samples.begin(), samples.begin() + 22050), 2 * CHANNEL_PEAK);
    EXPECT_EQ(*std::max_element(samples.begin() + 22050, samples.begin() + 44100), CHANNEL_PEAK);
    EXPECT_TRUE(
        std::all_of(samples.begin() + 44100, samples.end(), [](int16_t s) { return s == 0; }));

    auto quiet = renderSamples("voice x pulse50 envelope 15 10\nchannel x\nv 5 c4\n");
    EXPECT_EQ(*std::max_element(quiet.begin() + FRAME, quiet.end()), CHANNEL_PEAK * 10 * 5 / 225);

    auto sweep = renderSamples("voice x pulse50 sweep 0.25\nchannel x\no3 c1\n");
    size_t half = sweep.size() / 2;
    EXPECT_GT(risesIn(sweep, half, sweep.size()), 2 * risesIn(sweep, 0, half));
}

// Each bad score gives status 2, one line "file:line:column: message" and no
// output file. The first row's message is whole; the others are their start.
TEST(SoundTool, BadScoresAreReportedByFileLineAndColumn) {
    const std::pair<std::string, std::string> scores[] = {
        // score, the start of the line after "file:"
        {"voice x sine\n", "1:9: unknown wave \"sine\"; the waves are pulse12, pulse25, pulse50, "
                           "triangle and noise\n"},
        {ONE + "c\nchanel x\n", "4:2: unknown note command 'h'"},
        {"voice x pulse50 envelope 15 16\n", "1:29: an envelope volume must be"},
        {"voice x pulse50 sweep 0.125\n", "1:23: the sweep must be from -24 to 24"},
        {"voice x pulse50 vibrato 20 8 envelope 1 sweep 1 envelope 2\n", "1:49: envelope given"},
        {"\xEF\xBB\xBFvoice x pulse50\r\rchannel y\r\n", "3:9: no voice \"y\" is defined above"},
        {ONE + "c [c\n", "3:3: '[' is never closed with ']N'"},
        {ONE + "c ]2\n", "3:3: ']' without a '[' before it"},
        {ONE + "c5\n", "3:2: a length must be one of 1 2 3 4 6 8 12 16 24 32 48 64 96"},
        {ONE + "c64..\n", "3:4: too many dots"},
        {ONE + "o8 b+\n", "3:4: note is higher than b8"},
        {ONE + "^4 c\n", "3:1: a tie '^' needs a note or rest before it"},
        {ONE + "c L c\nchannel x\nc c L c\n", "5:5: loop point after 2 beats, but the loop point "
                                              "on line 3 is after 1 beat"},
        {ONE + "c L c\nchannel x\nc c c\n", "4:1: the channel lasts 3 beats, but the channel on "
                                            "line 2 lasts 2 beats"},
        {ONE + "c c8 L\n", "3:6: the loop point 'L' is at the channel's very end"},
        {"c d e\n", "1:1: notes before the first \"channel\" line"},
        {ONE + "c\ntempo 100\n", "4:1: \"tempo\" must come before the first channel"},
        {"tempo 30\n" + ONE + "[[c1]99]4\n", "4:3: the piece is longer than 10 minutes"},
        {ONE + "channel x\nc\n", "2:1: the channel has no notes or rests"},
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
