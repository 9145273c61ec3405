// The one error type for bad data and unusable files: the loader that finds a
// problem throws it with the file's name, and main prints it as one line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// A piece of the input as a message quotes it: whole when short, otherwise
// its start, so a line of megabytes never becomes a message of megabytes.
// Control characters become '?', so the message stays one line.
inline constexpr size_t MAX_QUOTED = 40; // bytes
// A path's useful end (the file's own name) is often past 40 bytes: a file
// a message is about keeps this much.
inline constexpr size_t MAX_QUOTED_PATH = 240; // bytes
inline std::string excerpt(std::string_view text, size_t maxQuoted = MAX_QUOTED) {
    size_t length = text.size();
    if (length > maxQuoted) {
        length = maxQuoted - 3;
        // Not inside a UTF-8 character.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::string shown(text.substr(0, length));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return length < text.size() ? shown + "..." : shown;
}

// The pieces of a message, appended front to back. GCC 12's optimiser takes a
// literal put before a temporary string ("[" + name) for an overlapping copy
// and stops a -Werror build; appending never moves what is already there.
template <typename... Pieces> std::string joined(const Pieces&... pieces) {
    std::string text;
    text.reserve((std::string_view(pieces).size() + ...));
    (text.append(std::string_view(pieces)), ...);
    return text;
}

// The rest of a message as one line: a control character (an escape sequence
// for the terminal, a line break) that a quoted name let through becomes '?'.
inline std::string oneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return text;
}

class DataError : public std::runtime_error {
public:
    DataError(const std::string& file, const std::string& what)
        : std::runtime_error(excerpt(file, MAX_QUOTED_PATH) + ": " + oneLine(what)), m_file(file) {}

    const std::string& file() const { return m_file; }

private:
    std::string m_file;
};

// SDL cannot start or the window cannot open: not a data problem, but it ends
// the program the same way, with one line and status 2.
class StartupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
