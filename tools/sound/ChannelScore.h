// One channel's lines of note commands (docs/sound-format.md), read line by
// line and played into a Channel. Each command at the top level, or each
// repeat once its ']' closes, is run as soon as it is read, so problems
// are reported in the order of the text.
#pragma once

#include "Song.h"

#include <cstdint>
#include <string>
#include <vector>

// A time as messages give it: "4 beats", "2 1/2 beats", "1/3 beats".
std::string beatsOf(int64_t units);

class ChannelScore {
public:
    // voices is the song's own list, kept by reference: a voice line
    // between note lines adds to it while the channel is read.
    ChannelScore(const std::string& fileName, const std::vector<Voice>& voices, int tempo,
                 int voice, int line, int column);

    // One line of notes, comments already cut off. Throws SourceError.
    void addLine(const std::string& text, int lineNumber);
    // The channel as played; throws SourceError for an unclosed '[', a
    // channel with nothing in it, or a loop point at its very end.
    Channel finish();

    int line() const { return m_channelLine; }
    int column() const { return m_channelColumn; }
    // Where the loop point 'L' was written; 0 when there is none.
    int loopLine() const { return m_loopLine; }
    int loopColumn() const { return m_loopColumn; }

    // One command as read; a repeat holds its body.
    struct Command {
        enum class Kind {
            Note,
            Rest,
            Tie,
            DefaultLength,
            Octave,
            OctaveUp,
            OctaveDown,
            Volume,
            SetVoice,
            Loop,
            Repeat
        };
        Kind kind = Kind::Rest;
        int line = 0;
        int column = 0;
        int value = 0;   // semitone above c, octave, volume, voice or count
        int divisor = 0; // the length as 1/divisor of a whole note; 0 is the default
        int dots = 0;
        int dotColumn = 0; // column of the first dot
        std::vector<Command> body;
    };

private:
    [[noreturn]] void fail(int line, int column, const std::string& what) const;
    void read(const Command& command);
    void run(const Command& command);
    int64_t lengthOf(const Command& command) const;
    void advance(int64_t units, const Command& command);

    std::string m_fileName;
    const std::vector<Voice>& m_voices;
    int m_tempo = 0;
    int m_channelLine = 0;
    int m_channelColumn = 0;

    // Reading: the commands of each '[' not closed yet, innermost last.
    std::vector<std::vector<Command>> m_open;
    std::vector<std::pair<int, int>> m_openPlaces; // line, column of each '['

    // Playing.
    Channel m_channel;
    int m_octave = 4;
    int64_t m_defaultLength = UNITS_PER_BEAT; // units
    int m_volume = MAX_LEVEL;
    int m_voice = 0;
    int64_t m_commandsRun = 0;
    int m_loopLine = 0;
    int m_loopColumn = 0;
};
