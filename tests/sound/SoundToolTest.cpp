// kcs-sound through the real binary: the same score always gives the same
// bytes, the WAV header and the loop chunk the game reads are exact, the
// waves have their pitch and duty, the voice options shape the notes, and
// bad scores are reported with file, line and column and write nothing.
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

using testing_support::runProgram;
using testing_support::writeFile;

namespace {

constexpr int SAMPLE_RATE = 44100;
constexpr int FRAME = 735;          // samples in 1/60 s
constexpr size_t HEADER_SIZE = 44;  // RIFF, "fmt " and "data" chunk headers
constexpr size_t SAMPLER_SIZE = 68; // the "smpl" chunk with one loop
constexpr int CHANNEL_PEAK = 6000;  // one channel at full volume

testing_support::RunResult sound(const std::string& arguments) {
    return runProgram(std::string(KCS_SOUND_BINARY) + " " + arguments);
}

uint32_t read32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    }
    return value;
}

uint16_t read16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// Renders a score and returns the WAV file's bytes ("" when it failed).
std::string render(const std::string& name, const std::string& score) {
    writeFile(name + ".txt", score);
    auto result = sound(name + ".txt " + name + ".wav");
    EXPECT_EQ(result.status, 0) << result.err;
    return testing_support::readFile(name + ".wav");
}

// The samples of a WAV file kcs-sound wrote.
std::vector<int16_t> samplesOf(const std::string& bytes) {
    std::vector<int16_t> samples;
    if (bytes.size() < HEADER_SIZE) {
        return samples;
    }
    uint32_t dataSize = read32(bytes, 40);
    for (size_t at = HEADER_SIZE; at + 1 < HEADER_SIZE + dataSize; at += 2) {
        samples.push_back(static_cast<int16_t>(read16(bytes, at)));
    }
    return samples;
}

std::vector<int16_t> renderSamples(const std::string& name, const std::string& score) {
    return samplesOf(render(name, score));
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

double positiveShare(const std::vector<int16_t>& samples) {
    auto positive = std::count_if(samples.begin(), samples.end(), [](int16_t s) { return s > 0; });
    return static_cast<double>(positive) / static_cast<double>(samples.size());
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
const char* const EVERYTHING = "tempo 140\n"
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

} // namespace

// A change of this constant means every build's sounds change: check by
// ear and with the other tests before writing the new value.
TEST(SoundTool, SameScoreGivesTheSameBytesOnEveryBuild) {
    std::string first = render("stable1", EVERYTHING);
    std::string second = render("stable2", EVERYTHING);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    EXPECT_EQ(fnv1a(first), 0xa12b98526dff1d29ULL) << std::hex << fnv1a(first);
}

TEST(SoundTool, CommentsBlankLinesAndCrLfChangeNothing) {
    std::string plain = render("plain", EVERYTHING);
    std::string dressed;
    for (char c : std::string(EVERYTHING)) {
        dressed += c == '\n' ? std::string("  // note\r\n\r\n") : std::string(1, c);
    }
    EXPECT_EQ(render("dressed", "// a comment first\n" + dressed), plain);
}

TEST(SoundTool, TiesAndRepeatsAreWhatTheyStandFor) {
    const std::string voices = "voice v pulse25 envelope 15 14 13 12 11 10 9 8 7 6 5 4 3 "
                               "sweep 0.1 vibrato 30 4 arpeggio 0 3 7\nchannel v\n";
    // A tie continues the note: its envelope and effects do not restart.
    EXPECT_EQ(renderSamples("tied", voices + "c4^4 d8^16\n"),
              renderSamples("long", voices + "c2 d8.\n"));
    EXPECT_EQ(renderSamples("repeat", voices + "[c d [e]2]3 r\n"),
              renderSamples("written", voices + "c d e e c d e e c d e e r\n"));
    EXPECT_NE(renderSamples("restarted", voices + "c4 c4 d8.\n"),
              renderSamples("long2", voices + "c2 d8.\n"));
}

TEST(SoundTool, HeaderDataAndLoopChunkAreExact) {
    std::string bytes = render("loop", "tempo 120\nvoice x pulse50\nchannel x\nc4 L c4\n");
    constexpr uint32_t SAMPLES = 44100; // two quarter notes at 120 beats per minute
    ASSERT_EQ(bytes.size(), HEADER_SIZE + 2 * SAMPLES + SAMPLER_SIZE);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(read32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(read32(bytes, 16), 16u);
    EXPECT_EQ(read16(bytes, 20), 1u); // PCM
    EXPECT_EQ(read16(bytes, 22), 1u); // mono
    EXPECT_EQ(read32(bytes, 24), 44100u);
    EXPECT_EQ(read32(bytes, 28), 88200u);
    EXPECT_EQ(read16(bytes, 32), 2u);
    EXPECT_EQ(read16(bytes, 34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(read32(bytes, 40), 2 * SAMPLES);

    const size_t smpl = HEADER_SIZE + 2 * SAMPLES;
    EXPECT_EQ(bytes.substr(smpl, 4), "smpl");
    EXPECT_EQ(read32(bytes, smpl + 4), 60u);
    const std::vector<uint32_t> fields = {0, 0, 22675, 60,    0, 0, 0, 1, 0, // sampler
                                          0, 0, 22050, 44099, 0, 0};         // the loop
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(read32(bytes, smpl + 8 + 4 * i), fields[i]) << "field " << i;
    }

    // Without a loop point there is no "smpl" chunk. Every unit starts at
    // unit * 55125 / tempo: three eighths at 130 are 30530 samples, not
    // three times the rounded length of one.
    std::string plain = render("plain-length", "tempo 130\nvoice x pulse50\nchannel x\nc8 c8 c8\n");
    EXPECT_EQ(read32(plain, 40), 2 * 30530u);
    EXPECT_EQ(plain.size(), HEADER_SIZE + 2 * 30530u);
}

TEST(SoundTool, ThePieceLastsAsLongAsItsLongestChannel) {
    auto samples = renderSamples(
        "longest", "voice x pulse50\nchannel x\nc4\nchannel x\no5 c4 c4 v0 c4\nchannel x\nr4\n");
    ASSERT_EQ(samples.size(), 3u * 22050u);
    // Two channels sound together, then one; the last beat is silent at v0.
    EXPECT_EQ(*std::max_element(samples.begin(), samples.begin() + 22050), 2 * CHANNEL_PEAK);
    EXPECT_EQ(*std::max_element(samples.begin() + 22050, samples.begin() + 44100), CHANNEL_PEAK);
    EXPECT_TRUE(
        std::all_of(samples.begin() + 44100, samples.end(), [](int16_t s) { return s == 0; }));
}

TEST(SoundTool, WavesHaveTheirPitchAndDuty) {
    auto a440 = renderSamples("a440", "tempo 120\nvoice x pulse50\nchannel x\no4 a1\n");
    ASSERT_EQ(a440.size(), 2u * SAMPLE_RATE);
    EXPECT_NEAR(risesIn(a440, 0, a440.size()) / 2.0, 440.0, 1.0);
    EXPECT_NEAR(positiveShare(a440), 0.5, 0.01);
    EXPECT_EQ(*std::max_element(a440.begin(), a440.end()), CHANNEL_PEAK);
    EXPECT_EQ(*std::min_element(a440.begin(), a440.end()), -CHANNEL_PEAK);

    auto middleC = renderSamples("c4", "voice x pulse50\nchannel x\nc1\n");
    EXPECT_NEAR(risesIn(middleC, 0, middleC.size()) / 2.0, 261.63, 1.0);

    EXPECT_NEAR(positiveShare(renderSamples("p12", "voice x pulse12\nchannel x\nc1\n")), 0.125,
                0.01);
    EXPECT_NEAR(positiveShare(renderSamples("p25", "voice x pulse25\nchannel x\nc1\n")), 0.25,
                0.01);

    auto triangle = renderSamples("tri", "voice x triangle\nchannel x\nc1\n");
    EXPECT_GT(std::set<int16_t>(triangle.begin(), triangle.end()).size(), 2u)
        << "a triangle, not a square";
    EXPECT_NEAR(risesIn(triangle, 0, triangle.size()) / 2.0, 261.63, 1.0);

    // Noise follows the note: a high note hisses, a low one rumbles.
    auto noise = renderSamples("noise", "voice x noise\nchannel x\no1 c1 o7 c1\n");
    int low = risesIn(noise, 0, noise.size() / 2);
    int high = risesIn(noise, noise.size() / 2, noise.size());
    EXPECT_GT(low, 10);
    EXPECT_GT(high, 20 * low);
}

TEST(SoundTool, VoiceOptionsShapeTheNote) {
    auto blip = renderSamples("blip", "voice x pulse50 envelope 15 0\nchannel x\nc4\n");
    ASSERT_GT(blip.size(), 2u * FRAME);
    EXPECT_TRUE(std::all_of(blip.begin(), blip.begin() + FRAME,
                            [](int16_t s) { return s == CHANNEL_PEAK || s == -CHANNEL_PEAK; }));
    EXPECT_TRUE(std::all_of(blip.begin() + FRAME, blip.end(), [](int16_t s) { return s == 0; }))
        << "the last envelope value holds";

    auto quiet = renderSamples("quiet", "voice x pulse50 envelope 15 10\nchannel x\nv 5 c4\n");
    EXPECT_EQ(*std::max_element(quiet.begin() + FRAME, quiet.end()), 6000 * 10 * 5 / 225);

    auto silent = renderSamples("silent", "voice x pulse50\nchannel x\nv0 c4\n");
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));

    auto sweep = renderSamples("sweep", "voice x pulse50 sweep 0.25\nchannel x\no3 c1\n");
    size_t half = sweep.size() / 2;
    EXPECT_GT(risesIn(sweep, half, sweep.size()), 2 * risesIn(sweep, 0, half));

    // An arpeggio of an octave: every other frame twice the pitch.
    auto arpeggio = renderSamples("arp", "voice x pulse50 arpeggio 0 12\nchannel x\no4 a1\n");
    EXPECT_NEAR(risesIn(arpeggio, 0, arpeggio.size()) / 2.0, 660.0, 5.0);
}

// Each bad score gives status 2, exactly one line "file:line:column:
// message" and no output file.
struct BadScore {
    const char* name;
    std::string text;
    const char* line; // after "file:"
};

const std::string ONE = "voice x pulse50\nchannel x\n";

TEST(SoundTool, BadScoresAreReportedByFileLineAndColumn) {
    const BadScore scores[] = {
        BadScore{"directive", ONE + "c\nchanel x\n", "4:2: unknown note command 'h'"},
        BadScore{"wave", "voice x sine\n",
                 "1:9: unknown wave \"sine\"; the waves are pulse12, pulse25, pulse50, triangle "
                 "and noise"},
        BadScore{"envelope", "voice x pulse50 envelope 15 16\n",
                 "1:29: an envelope volume must be a whole number from 0 to 15, not \"16\""},
        BadScore{"sweep", "voice x pulse50 sweep 0.125\n",
                 "1:23: the sweep must be from -24 to 24 semitones per frame, with at most two "
                 "decimals, not \"0.125\""},
        BadScore{"option", "voice x pulse50 vibrato 20 8 envelope 1 sweep 1 envelope 2\n",
                 "1:49: envelope given twice in this voice"},
        BadScore{"voice", "voice x pulse50\nchannel y\n", "2:9: no voice \"y\" is defined above"},
        BadScore{"lineends", "\xEF\xBB\xBFvoice x pulse50\r\rchannel y\r\n",
                 "3:9: no voice \"y\" is defined above"},
        BadScore{"open", ONE + "c [c\n", "3:3: '[' is never closed with ']N'"},
        BadScore{"close", ONE + "c ]2\n", "3:3: ']' without a '[' before it"},
        BadScore{"length", ONE + "c5\n",
                 "3:2: a length must be one of 1 2 3 4 6 8 12 16 24 32 48 64 96, not 5"},
        BadScore{"dots", ONE + "c64..\n",
                 "3:4: too many dots: the length is no longer a whole number of 1/192 notes"},
        BadScore{"range", ONE + "o8 b+\n", "3:4: note is higher than b8"},
        BadScore{"tie", ONE + "^4 c\n", "3:1: a tie '^' needs a note or rest before it"},
        BadScore{"loops", ONE + "c L c\nchannel x\nc c L c\n",
                 "5:5: loop point after 2 beats, but the loop point on line 3 is after 1 beat"},
        BadScore{"lengths", ONE + "c L c\nchannel x\nc c c\n",
                 "4:1: the channel lasts 3 beats, but the channel on line 2 lasts 2 beats; with "
                 "a loop point all channels must last as long"},
        BadScore{"loopend", ONE + "c c8 L\n",
                 "3:6: the loop point 'L' is at the channel's very end"},
        BadScore{"notes", "c d e\n", "1:1: notes before the first \"channel\" line"},
        BadScore{"tempo", ONE + "c\ntempo 100\n",
                 "4:1: \"tempo\" must come before the first channel"},
        BadScore{"long", "tempo 30\n" + ONE + "[[c1]99]4\n",
                 "4:3: the piece is longer than 10 minutes here"},
        BadScore{"empty", ONE + "channel x\nc\n", "2:1: the channel has no notes or rests"},
        BadScore{"nothing", "// nothing\n", "1:1: no \"channel\" lines: nothing to play"},
        BadScore{"runaway", ONE + "[[[[v1]99]99]99]99\n",
                 "3:5: the repeats run more than 4000000 commands in this channel"}};
    for (const BadScore& bad : scores) {
        SCOPED_TRACE(bad.name);
        std::string source = std::string("bad-") + bad.name + ".txt";
        std::string output = std::string("bad-") + bad.name + ".wav";
        writeFile(source, bad.text);
        auto result = sound(source + " " + output);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.err, source + ":" + bad.line + "\n");
        EXPECT_FALSE(std::filesystem::exists(output));
    }
}

TEST(SoundTool, HelpArgumentsAndFilesAreChecked) {
    auto help = sound("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kcs-sound", 0), 0u);

    for (const char* arguments : {"only-one.txt", "--loud a.txt b.wav", "a.txt b.wav c.wav"}) {
        auto result = sound(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_NE(result.err.find("usage: kcs-sound"), std::string::npos) << arguments;
    }

    auto missing = sound("no-such-score.txt out.wav");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("no-such-score.txt: ", 0), 0u) << missing.err;

    writeFile("self.txt", ONE + "c\n");
    auto self = sound("self.txt self.txt");
    EXPECT_EQ(self.status, 2);
    EXPECT_EQ(testing_support::readFile("self.txt"), ONE + "c\n") << "the score is kept";
}
