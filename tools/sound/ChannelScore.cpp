// Note commands: reading them from a line, then playing them into events.
#include "ChannelScore.h"

#include "config/SourceText.h"
#include "engine/DataError.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

namespace {

using Command = ChannelScore::Command;
using Kind = Command::Kind;

constexpr std::array<int, 13> NOTE_LENGTHS = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64, 96};
constexpr const char* NOTE_LENGTH_LIST = "1 2 3 4 6 8 12 16 24 32 48 64 96";
constexpr int MAX_OCTAVE = 8;
constexpr int LOWEST_NOTE = 12;   // c0 as a MIDI note
constexpr int HIGHEST_NOTE = 119; // b8
constexpr int MIN_REPEATS = 2;
constexpr int MAX_REPEATS = 99;
constexpr size_t MAX_NESTING = 4;
// Repeats of commands that take no time ("[[[[v1]99]99]99]99") could run
// for ever without reaching the length limit; a real channel of the longest
// piece runs a few hundred thousand.
constexpr int64_t MAX_COMMANDS_RUN = 4'000'000;
// Bigger numbers are all out of range; this keeps reading them from overflowing.
constexpr int NUMBER_CAP = 1'000'000;

// Semitones above c of the note letters a to g.
constexpr std::array<int, 7> LETTER_SEMITONES = {9, 11, 0, 2, 4, 5, 7};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '-' || c == '_';
}

// The command character as an error message shows it.
std::string shown(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", byte);
        return std::string("(byte ") + text + ")";
    }
    return std::string("'") + c + "'";
}

int valueOf(const std::string& digits) {
    int value = 0;
    for (char c : digits) {
        value = std::min(value * 10 + (c - '0'), NUMBER_CAP);
    }
    return value;
}

// Walks one line of notes and reads the parts of commands; columns count
// bytes from 1.
class LineReader {
public:
    LineReader(const std::string& text, const std::string& fileName, int line)
        : m_text(text), m_fileName(fileName), m_line(line) {}

    [[noreturn]] void fail(int column, const std::string& what) const {
        throw SourceError(m_fileName, m_line, column, what);
    }
    bool done() const { return m_pos >= m_text.size(); }
    char peek() const { return done() ? '\0' : m_text[m_pos]; }
    char take() { return m_text[m_pos++]; }
    int column() const { return static_cast<int>(m_pos) + 1; }
    void skipBlanks() {
        while (!done() && (peek() == ' ' || peek() == '\t')) {
            ++m_pos;
        }
    }

    // A note's or rest's optional length right after it, then its dots.
    void length(Command& command) {
        int start = column();
        std::string digits = run(isDigit);
        if (!digits.empty()) {
            command.divisor = valueOf(digits);
            if (std::find(NOTE_LENGTHS.begin(), NOTE_LENGTHS.end(), command.divisor) ==
                NOTE_LENGTHS.end()) {
                fail(start, std::string("a length must be one of ") + NOTE_LENGTH_LIST + ", not " +
                                excerpt(digits));
            }
        }
        command.dotColumn = column();
        while (peek() == '.') {
            take();
            ++command.dots;
        }
    }

    // The length a tie or 'l' needs, after optional blanks.
    void neededLength(char letter, Command& command) {
        skipBlanks();
        if (!isDigit(peek())) {
            fail(column(),
                 std::string("'") + letter + "' needs a length, one of " + NOTE_LENGTH_LIST);
        }
        length(command);
    }

    // The number a command needs, after optional blanks.
    int number(char letter, const char* what, int low, int high) {
        skipBlanks();
        int start = column();
        std::string digits = run(isDigit);
        std::string range = std::to_string(low) + " to " + std::to_string(high);
        if (digits.empty()) {
            fail(start, std::string("'") + letter + "' needs a number: the " + what + ", " + range);
        }
        int value = valueOf(digits);
        if (value < low || value > high) {
            fail(start, std::string("the ") + what + " must be from " + range + ", not " +
                            excerpt(digits));
        }
        return value;
    }

    // The index of the voice named right after '@'.
    int voice(const std::vector<Voice>& voices) {
        int start = column();
        std::string name = run(isNameCharacter);
        if (name.empty()) {
            fail(start, "'@' needs a voice name");
        }
        auto found = std::find_if(voices.begin(), voices.end(),
                                  [&](const Voice& voice) { return voice.name == name; });
        if (found == voices.end()) {
            fail(start, "no voice \"" + excerpt(name) + "\" is defined above");
        }
        return static_cast<int>(found - voices.begin());
    }

private:
    // The characters from here that pass the test, possibly none.
    std::string run(bool (*test)(char)) {
        size_t start = m_pos;
        while (!done() && test(peek())) {
            ++m_pos;
        }
        return m_text.substr(start, m_pos - start);
    }

    const std::string& m_text;
    const std::string& m_fileName;
    int m_line = 0;
    size_t m_pos = 0;
};

} // namespace

std::string beatsOf(int64_t units) {
    int64_t whole = units / UNITS_PER_BEAT;
    int64_t part = units % UNITS_PER_BEAT;
    std::string text;
    if (whole > 0 || part == 0) {
        text = std::to_string(whole);
    }
    if (part > 0) {
        int64_t common = std::gcd(part, int64_t{UNITS_PER_BEAT});
        text += joined(text.empty() ? "" : " ", std::to_string(part / common), "/",
                       std::to_string(UNITS_PER_BEAT / common));
    }
    return text + (units == UNITS_PER_BEAT ? " beat" : " beats");
}

ChannelScore::ChannelScore(const std::string& fileName, const std::vector<Voice>& voices, int tempo,
                           int voice, int line, int column)
    : m_fileName(fileName), m_voices(voices), m_tempo(tempo), m_channelLine(line),
      m_channelColumn(column), m_voice(voice) {}

void ChannelScore::fail(int line, int column, const std::string& what) const {
    throw SourceError(m_fileName, line, column, what);
}

void ChannelScore::addLine(const std::string& text, int lineNumber) {
    LineReader reader(text, m_fileName, lineNumber);
    while (true) {
        reader.skipBlanks();
        if (reader.done()) {
            return;
        }
        Command command;
        command.line = lineNumber;
        command.column = reader.column();
        char c = reader.take();
        if (c >= 'a' && c <= 'g') {
            command.kind = Kind::Note;
            command.value = LETTER_SEMITONES[static_cast<size_t>(c - 'a')];
            if (reader.peek() == '+' || reader.peek() == '#') {
                reader.take();
                ++command.value;
            } else if (reader.peek() == '-') {
                reader.take();
                --command.value;
            }
            reader.length(command);
        } else if (c == 'r') {
            command.kind = Kind::Rest;
            reader.length(command);
        } else if (c == '^' || c == 'l') {
            command.kind = c == '^' ? Kind::Tie : Kind::DefaultLength;
            reader.neededLength(c, command);
        } else if (c == 'o') {
            command.kind = Kind::Octave;
            command.value = reader.number(c, "octave", 0, MAX_OCTAVE);
        } else if (c == '>' || c == '<') {
            command.kind = c == '>' ? Kind::OctaveUp : Kind::OctaveDown;
        } else if (c == 'v') {
            command.kind = Kind::Volume;
            command.value = reader.number(c, "volume", 0, MAX_LEVEL);
        } else if (c == '@') {
            command.kind = Kind::SetVoice;
            command.value = reader.voice(m_voices);
        } else if (c == 'L') {
            if (!m_open.empty()) {
                reader.fail(command.column, "the loop point 'L' cannot be inside brackets");
            }
            command.kind = Kind::Loop;
        } else if (c == '[') {
            if (m_open.size() >= MAX_NESTING) {
                reader.fail(command.column,
                            "brackets nest deeper than " + std::to_string(MAX_NESTING));
            }
            m_open.emplace_back();
            m_openPlaces.emplace_back(lineNumber, command.column);
            continue;
        } else if (c == ']') {
            if (m_open.empty()) {
                reader.fail(command.column, "']' without a '[' before it");
            }
            command.kind = Kind::Repeat;
            command.value = reader.number(c, "repeat count", MIN_REPEATS, MAX_REPEATS);
            command.body = std::move(m_open.back());
            m_open.pop_back();
            m_openPlaces.pop_back();
        } else if (c == '|') {
            continue; // a bar line, for the reader
        } else {
            reader.fail(command.column, "unknown note command " + shown(c));
        }
        read(command);
    }
}

void ChannelScore::read(const Command& command) {
    if (m_open.empty()) {
        run(command);
    } else {
        m_open.back().push_back(command);
    }
}

int64_t ChannelScore::lengthOf(const Command& command) const {
    int64_t base = command.divisor == 0 ? m_defaultLength : UNITS_PER_WHOLE / command.divisor;
    int64_t length = base;
    int64_t added = base;
    for (int dot = 0; dot < command.dots; ++dot) {
        if (added % 2 != 0) {
            fail(command.line, command.dotColumn + dot,
                 "too many dots: the length is no longer a whole number of 1/192 notes");
        }
        added /= 2;
        length += added;
    }
    return length;
}

void ChannelScore::advance(int64_t units, const Command& command) {
    m_channel.length += units;
    if (sampleAtUnit(m_channel.length, m_tempo) > MAX_SAMPLES) {
        fail(command.line, command.column, "the piece is longer than 10 minutes here");
    }
}

void ChannelScore::run(const Command& command) {
    if (++m_commandsRun > MAX_COMMANDS_RUN) {
        fail(command.line, command.column,
             "the repeats run more than " + std::to_string(MAX_COMMANDS_RUN) +
                 " commands in this channel");
    }
    switch (command.kind) {
    case Kind::Note:
    case Kind::Rest: {
        NoteEvent event;
        event.start = m_channel.length;
        event.length = lengthOf(command);
        event.volume = m_volume;
        event.voice = m_voice;
        if (command.kind == Kind::Note) {
            event.note = (m_octave + 1) * 12 + command.value;
            if (event.note < LOWEST_NOTE) {
                fail(command.line, command.column, "note is lower than c0");
            }
            if (event.note > HIGHEST_NOTE) {
                fail(command.line, command.column, "note is higher than b8");
            }
        }
        m_channel.events.push_back(event);
        advance(event.length, command);
        break;
    }
    case Kind::Tie: {
        if (m_channel.events.empty()) {
            fail(command.line, command.column, "a tie '^' needs a note or rest before it");
        }
        int64_t units = lengthOf(command);
        m_channel.events.back().length += units;
        advance(units, command);
        break;
    }
    case Kind::DefaultLength:
        m_defaultLength = lengthOf(command);
        break;
    case Kind::Octave:
        m_octave = command.value;
        break;
    case Kind::OctaveUp:
        ++m_octave;
        break;
    case Kind::OctaveDown:
        --m_octave;
        break;
    case Kind::Volume:
        m_volume = command.value;
        break;
    case Kind::SetVoice:
        m_voice = command.value;
        break;
    case Kind::Loop:
        if (m_channel.loop) {
            fail(command.line, command.column,
                 "a second loop point 'L' in this channel (the first is at line " +
                     std::to_string(m_loopLine) + ", column " + std::to_string(m_loopColumn) + ")");
        }
        m_channel.loop = m_channel.length;
        m_loopLine = command.line;
        m_loopColumn = command.column;
        break;
    case Kind::Repeat:
        for (int time = 0; time < command.value; ++time) {
            for (const Command& inner : command.body) {
                run(inner);
            }
        }
        break;
    }
}

Channel ChannelScore::finish() {
    if (!m_openPlaces.empty()) {
        fail(m_openPlaces.back().first, m_openPlaces.back().second,
             "'[' is never closed with ']N'");
    }
    if (m_channel.length == 0) {
        fail(m_channelLine, m_channelColumn, "the channel has no notes or rests");
    }
    if (m_channel.loop && *m_channel.loop == m_channel.length) {
        fail(m_loopLine, m_loopColumn, "the loop point 'L' is at the channel's very end");
    }
    return std::move(m_channel);
}
