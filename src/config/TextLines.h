// The lines of a text file as editors on every system save them, so that a
// file from any of them reads as the same lines with the same numbers.
#pragma once

#include <string>
#include <string_view>

class TextLines {
public:
    // A UTF-8 byte-order mark at the start is skipped: some editors write
    // one, and it would otherwise become part of the first line's text.
    explicit TextLines(std::string_view text);

    // The next line without its end, or false after the last one. CR LF, LF
    // and a lone CR each end a line; a final line end starts no empty line.
    bool next(std::string& line);
    // The 1-based number of the line next() last gave.
    int number() const { return m_number; }

private:
    std::string_view m_text;
    size_t m_position = 0;
    int m_number = 0;
};
