// Reading the text score: directives and voices here, the note lines in
// ChannelScore, and at the end the checks that span channels.
#include "SongSource.h"

#include "ChannelScore.h"
#include "config/SourceText.h"
#include "config/TextLines.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <optional>

namespace {

constexpr int MIN_TEMPO = 30;  // beats per minute
constexpr int MAX_TEMPO = 600; // beats per minute
constexpr size_t MAX_VOICES = 64;
constexpr size_t MAX_CHANNELS = 8;
constexpr size_t MAX_ENVELOPE = 256;    // frames
constexpr int MAX_SWEEP = 2400;         // cents per frame: two octaves
constexpr int MAX_VIBRATO_DEPTH = 1200; // cents
constexpr int MIN_VIBRATO_PERIOD = 2;   // frames: up, then down
constexpr int MAX_VIBRATO_PERIOD = 120; // frames
constexpr int MAX_VIBRATO_DELAY = 600;  // frames
constexpr size_t MAX_ARPEGGIO = 16;     // steps
constexpr int MAX_ARPEGGIO_STEP = 24;   // semitones either way

const std::array<std::pair<const char*, Wave>, 5> WAVES = {{{"pulse12", Wave::Pulse12},
                                                            {"pulse25", Wave::Pulse25},
                                                            {"pulse50", Wave::Pulse50},
                                                            {"triangle", Wave::Triangle},
                                                            {"noise", Wave::Noise}}};
const std::array<const char*, 4> VOICE_OPTIONS = {"envelope", "sweep", "vibrato", "arpeggio"};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A whole number; a leading '+' is allowed, since offsets read naturally
// as "+4".
std::optional<int> parseNumber(std::string text) {
    if (text.size() > 1 && text[0] == '+' && isDigit(text[1])) {
        text.erase(0, 1);
    }
    int value = 0;
    auto [pEnd, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || pEnd != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A decimal with at most two decimals, in hundredths: "-1.25" is -125.
std::optional<int> parseHundredths(const std::string& text) {
    constexpr size_t MAX_WHOLE_DIGITS = 4; // more is out of every range
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int whole = 0;
    size_t wholeStart = i;
    while (i < text.size() && isDigit(text[i])) {
        whole = whole * 10 + (text[i] - '0');
        ++i;
        if (i - wholeStart > MAX_WHOLE_DIGITS) {
            return std::nullopt;
        }
    }
    if (i == wholeStart) {
        return std::nullopt;
    }
    int fraction = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        size_t fractionStart = i;
        while (i < text.size() && isDigit(text[i]) && i - fractionStart < 2) {
            fraction = fraction * 10 + (text[i] - '0');
            ++i;
        }
        if (i == fractionStart) {
            return std::nullopt;
        }
        if (i - fractionStart == 1) {
            fraction *= 10; // "0.5" is 50 hundredths
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    int value = whole * 100 + fraction;
    return negative ? -value : value;
}

bool isVoiceOption(const std::string& text) {
    return std::find(VOICE_OPTIONS.begin(), VOICE_OPTIONS.end(), text) != VOICE_OPTIONS.end();
}

bool isVoiceName(const std::string& text) {
    if (text.empty() || !isLetter(text[0])) {
        return false;
    }
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return isLetter(c) || isDigit(c) || c == '-' || c == '_'; });
}

// Reads the file's lines in order, keeping what the directives set.
class SongParser {
public:
    explicit SongParser(const std::string& fileName) : m_fileName(fileName) {}

    void line(std::string text, int lineNumber);
    Song finish(int lastLine);

private:
    [[noreturn]] void fail(int column, const std::string& what) const {
        throw SourceError(m_fileName, m_line, column, what);
    }
    int number(const SourceWord& word, int low, int high, const char* what) const;
    void tempoDirective(const std::vector<SourceWord>& words);
    void voiceDirective(const std::vector<SourceWord>& words);
    void channelDirective(const std::vector<SourceWord>& words);
    // The words after an option up to the next option; i moves past them.
    std::vector<SourceWord> optionValues(const std::vector<SourceWord>& words, size_t& i) const;
    void closeChannel();
    void checkLoops() const;

    std::string m_fileName;
    int m_line = 0;
    Song m_song;
    int m_tempoLine = 0;
    std::vector<int> m_voiceLines;
    std::unique_ptr<ChannelScore> m_open;
    // Where each finished channel and its loop point were written.
    std::vector<std::pair<int, int>> m_channelPlaces;
    std::vector<std::pair<int, int>> m_loopPlaces;
};

int SongParser::number(const SourceWord& word, int low, int high, const char* what) const {
    std::optional<int> value = parseNumber(word.text);
    if (!value || *value < low || *value > high) {
        fail(word.column, std::string(what) + " must be a whole number from " +
                              std::to_string(low) + " to " + std::to_string(high) + ", not \"" +
                              excerpt(word.text) + "\"");
    }
    return *value;
}

void SongParser::tempoDirective(const std::vector<SourceWord>& words) {
    if (m_open || !m_song.channels.empty()) {
        fail(words[0].column, "\"tempo\" must come before the first channel");
    }
    if (m_tempoLine != 0) {
        fail(words[0].column,
             "tempo given twice (first on line " + std::to_string(m_tempoLine) + ")");
    }
    if (words.size() != 2) {
        fail(words[0].column, "expected \"tempo N\"");
    }
    m_song.tempo = number(words[1], MIN_TEMPO, MAX_TEMPO, "the tempo");
    m_tempoLine = m_line;
}

std::vector<SourceWord> SongParser::optionValues(const std::vector<SourceWord>& words,
                                                 size_t& i) const {
    std::vector<SourceWord> values;
    while (i < words.size() && !isVoiceOption(words[i].text)) {
        values.push_back(words[i++]);
    }
    return values;
}

void SongParser::voiceDirective(const std::vector<SourceWord>& words) {
    if (words.size() < 3) {
        fail(words[0].column, "expected \"voice NAME WAVE\" and any options");
    }
    const SourceWord& name = words[1];
    if (!isVoiceName(name.text)) {
        fail(name.column,
             "a voice name is letters, digits, '-' and '_', starting with a letter, not \"" +
                 excerpt(name.text) + "\"");
    }
    for (size_t k = 0; k < m_song.voices.size(); ++k) {
        if (m_song.voices[k].name == name.text) {
            fail(name.column, "voice \"" + name.text + "\" is defined twice (first on line " +
                                  std::to_string(m_voiceLines[k]) + ")");
        }
    }
    if (m_song.voices.size() >= MAX_VOICES) {
        fail(words[0].column, "more than " + std::to_string(MAX_VOICES) + " voices");
    }
    Voice voice;
    voice.name = name.text;
    auto wave = std::find_if(WAVES.begin(), WAVES.end(),
                             [&](const auto& entry) { return words[2].text == entry.first; });
    if (wave == WAVES.end()) {
        fail(words[2].column, "unknown wave \"" + excerpt(words[2].text) +
                                  "\"; the waves are pulse12, pulse25, pulse50, triangle "
                                  "and noise");
    }
    voice.wave = wave->second;

    std::vector<std::string> seen;
    size_t i = 3;
    while (i < words.size()) {
        const SourceWord& option = words[i++];
        if (!isVoiceOption(option.text)) {
            fail(option.column, "unknown voice option \"" + excerpt(option.text) +
                                    "\"; the options are envelope, sweep, vibrato and "
                                    "arpeggio");
        }
        if (std::find(seen.begin(), seen.end(), option.text) != seen.end()) {
            fail(option.column, option.text + " given twice in this voice");
        }
        seen.push_back(option.text);
        std::vector<SourceWord> values = optionValues(words, i);
        if (option.text == "envelope") {
            if (values.empty()) {
                fail(option.column, "envelope needs 1 to " + std::to_string(MAX_ENVELOPE) +
                                        " volumes, one per frame");
            }
            if (values.size() > MAX_ENVELOPE) {
                fail(values[MAX_ENVELOPE].column,
                     "an envelope has at most " + std::to_string(MAX_ENVELOPE) + " volumes");
            }
            voice.envelope.clear();
            for (const SourceWord& value : values) {
                voice.envelope.push_back(number(value, 0, MAX_LEVEL, "an envelope volume"));
            }
        } else if (option.text == "sweep") {
            if (values.empty()) {
                fail(option.column, "sweep needs a value in semitones per frame");
            }
            if (values.size() > 1) {
                fail(values[1].column, "sweep takes one value");
            }
            std::optional<int> cents = parseHundredths(values[0].text);
            if (!cents || *cents < -MAX_SWEEP || *cents > MAX_SWEEP) {
                fail(values[0].column, "the sweep must be from -24 to 24 semitones per frame, "
                                       "with at most two decimals, not \"" +
                                           excerpt(values[0].text) + "\"");
            }
            voice.sweep = *cents;
        } else if (option.text == "vibrato") {
            if (values.size() < 2) {
                fail(option.column, "vibrato needs DEPTH (cents) and PERIOD (frames), and may "
                                    "have DELAY (frames)");
            }
            if (values.size() > 3) {
                fail(values[3].column, "vibrato takes at most DEPTH, PERIOD and DELAY");
            }
            voice.vibratoDepth = number(values[0], 0, MAX_VIBRATO_DEPTH, "the vibrato depth");
            voice.vibratoPeriod =
                number(values[1], MIN_VIBRATO_PERIOD, MAX_VIBRATO_PERIOD, "the vibrato period");
            if (values.size() == 3) {
                voice.vibratoDelay = number(values[2], 0, MAX_VIBRATO_DELAY, "the vibrato delay");
            }
        } else {
            if (values.empty()) {
                fail(option.column,
                     "arpeggio needs 1 to " + std::to_string(MAX_ARPEGGIO) + " semitone offsets");
            }
            if (values.size() > MAX_ARPEGGIO) {
                fail(values[MAX_ARPEGGIO].column,
                     "an arpeggio has at most " + std::to_string(MAX_ARPEGGIO) + " steps");
            }
            for (const SourceWord& value : values) {
                voice.arpeggio.push_back(
                    number(value, -MAX_ARPEGGIO_STEP, MAX_ARPEGGIO_STEP, "an arpeggio step"));
            }
        }
    }
    m_song.voices.push_back(std::move(voice));
    m_voiceLines.push_back(m_line);
}

void SongParser::channelDirective(const std::vector<SourceWord>& words) {
    closeChannel();
    if (words.size() != 2) {
        fail(words.size() < 2 ? words[0].column : words[2].column, "expected \"channel VOICE\"");
    }
    if (m_song.channels.size() >= MAX_CHANNELS) {
        fail(words[0].column, "more than " + std::to_string(MAX_CHANNELS) + " channels");
    }
    const std::vector<Voice>& voices = m_song.voices;
    auto found = std::find_if(voices.begin(), voices.end(),
                              [&](const Voice& voice) { return voice.name == words[1].text; });
    if (found == voices.end()) {
        fail(words[1].column, "no voice \"" + excerpt(words[1].text) + "\" is defined above");
    }
    m_open = std::make_unique<ChannelScore>(m_fileName, m_song.voices, m_song.tempo,
                                            static_cast<int>(found - voices.begin()), m_line,
                                            words[0].column);
}

void SongParser::closeChannel() {
    if (!m_open) {
        return;
    }
    m_song.channels.push_back(m_open->finish());
    m_channelPlaces.emplace_back(m_open->line(), m_open->column());
    m_loopPlaces.emplace_back(m_open->loopLine(), m_open->loopColumn());
    m_open.reset();
}

void SongParser::line(std::string text, int lineNumber) {
    m_line = lineNumber;
    size_t comment = text.find("//");
    if (comment != std::string::npos) {
        text.erase(comment);
    }
    std::vector<SourceWord> words = splitWords(text);
    if (words.empty()) {
        return;
    }
    const std::string& first = words[0].text;
    if (first == "tempo") {
        tempoDirective(words);
    } else if (first == "voice") {
        voiceDirective(words);
    } else if (first == "channel") {
        channelDirective(words);
    } else if (!m_open) {
        fail(words[0].column, "notes before the first \"channel\" line");
    } else {
        m_open->addLine(text, lineNumber);
    }
}

// Looping plays the whole file again from the loop point, so every channel
// must loop at the same time and end at the same time.
void SongParser::checkLoops() const {
    const std::vector<Channel>& channels = m_song.channels;
    std::optional<size_t> first;
    for (size_t k = 0; k < channels.size(); ++k) {
        if (!channels[k].loop) {
            continue;
        }
        if (!first) {
            first = k;
        } else if (*channels[k].loop != *channels[*first].loop) {
            throw SourceError(m_fileName, m_loopPlaces[k].first, m_loopPlaces[k].second,
                              "loop point after " + beatsOf(*channels[k].loop) +
                                  ", but the loop point on line " +
                                  std::to_string(m_loopPlaces[*first].first) + " is after " +
                                  beatsOf(*channels[*first].loop));
        }
    }
    if (!first) {
        return;
    }
    for (size_t k = 1; k < channels.size(); ++k) {
        if (channels[k].length != channels[0].length) {
            throw SourceError(m_fileName, m_channelPlaces[k].first, m_channelPlaces[k].second,
                              "the channel lasts " + beatsOf(channels[k].length) +
                                  ", but the channel on line " +
                                  std::to_string(m_channelPlaces[0].first) + " lasts " +
                                  beatsOf(channels[0].length) +
                                  "; with a loop point all channels must last as long");
        }
    }
}

Song SongParser::finish(int lastLine) {
    closeChannel();
    if (m_song.channels.empty()) {
        throw SourceError(m_fileName, lastLine, 1, "no \"channel\" lines: nothing to play");
    }
    checkLoops();
    for (const Channel& channel : m_song.channels) {
        m_song.length = std::max(m_song.length, channel.length);
        if (channel.loop) {
            m_song.loop = channel.loop;
        }
    }
    return std::move(m_song);
}

} // namespace

Song parseSong(const std::string& text, const std::string& fileName) {
    SongParser parser(fileName);
    TextLines lines(text);
    std::string line;
    while (lines.next(line)) {
        parser.line(line, lines.number());
    }
    return parser.finish(std::max(lines.number(), 1));
}

Song loadSong(FileRegistry& files, const std::string& fileName) {
    return parseSong(readFile(files, fileName, TEXT_SOURCE_FILE), fileName);
}
