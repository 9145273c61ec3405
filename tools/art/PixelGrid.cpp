// Reading the text pixel format: directives, colour definitions and rows.
#include "PixelGrid.h"

#include "config/SourceText.h"
#include "config/TextLines.h"
#include "engine/DataError.h"
#include "engine/Files.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace {

constexpr int MAX_SIZE = 4096; // px, far beyond any sheet the game uses
// Rows are counted against MAX_SIZE before they are made, so the picture is
// never larger than a bitmap the game accepts, however many rows are asked.
static_assert(int64_t{MAX_SIZE} * MAX_SIZE <= MAX_BITMAP_PIXELS);

std::optional<int> parseNumber(const std::string& text) {
    int value = 0;
    auto [pEnd, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || pEnd != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// Reads the line's state as the parser walks the file.
class SourceParser {
public:
    explicit SourceParser(const std::string& fileName) : m_fileName(fileName) {}

    void line(std::string text, int lineNumber);
    void finish(int lastLine) const;

    int width = 0; // px
    std::vector<std::vector<uint32_t>> rows;

private:
    [[noreturn]] void fail(int column, const std::string& what) const {
        throw SourceError(m_fileName, m_line, column, what);
    }
    int number(const SourceWord& word, int low, int high, const char* what) const;
    void widthDirective(const std::vector<SourceWord>& words);
    void colourDirective(const std::vector<SourceWord>& words);
    void blankDirective(const std::vector<SourceWord>& words);
    void pixelRow(const std::string& text);
    void needWidth(int column) const;

    std::string m_fileName;
    int m_line = 0;
    int m_widthLine = 0;
    std::array<std::optional<uint32_t>, 128> m_colours{};
};

int SourceParser::number(const SourceWord& word, int low, int high, const char* what) const {
    std::optional<int> value = parseNumber(word.text);
    if (!value || *value < low || *value > high) {
        fail(word.column, std::string(what) + " must be a whole number from " +
                              std::to_string(low) + " to " + std::to_string(high) + ", not \"" +
                              excerpt(word.text) + "\"");
    }
    return *value;
}

void SourceParser::needWidth(int column) const {
    if (width == 0) {
        fail(column, "\"width N\" must come before the first row");
    }
}

void SourceParser::widthDirective(const std::vector<SourceWord>& words) {
    if (words.size() != 2) {
        fail(words[0].column, "expected \"width N\"");
    }
    if (width != 0) {
        fail(words[0].column,
             "width given twice (first on line " + std::to_string(m_widthLine) + ")");
    }
    width = number(words[1], 1, MAX_SIZE, "width");
    m_widthLine = m_line;
}

void SourceParser::colourDirective(const std::vector<SourceWord>& words) {
    if (words.size() != 5) {
        fail(words[0].column, "expected \"colour C R G B\"");
    }
    const SourceWord& name = words[1];
    if (name.text.size() != 1 || name.text[0] < '!' || name.text[0] > '~') {
        fail(name.column,
             "a colour is named by one printable character, not \"" + excerpt(name.text) + "\"");
    }
    auto index = static_cast<size_t>(static_cast<unsigned char>(name.text[0]));
    if (m_colours[index]) {
        fail(name.column, "colour '" + name.text + "' is defined twice");
    }
    uint32_t red = static_cast<uint32_t>(number(words[2], 0, 255, "red"));
    uint32_t green = static_cast<uint32_t>(number(words[3], 0, 255, "green"));
    uint32_t blue = static_cast<uint32_t>(number(words[4], 0, 255, "blue"));
    m_colours[index] = red << 16 | green << 8 | blue;
}

void SourceParser::blankDirective(const std::vector<SourceWord>& words) {
    if (words.size() != 2) {
        fail(words[0].column, "expected \"blank N\"");
    }
    needWidth(words[0].column);
    int count = number(words[1], 1, MAX_SIZE, "blank row count");
    if (count > MAX_SIZE - static_cast<int>(rows.size())) {
        fail(words[1].column, "blank " + std::to_string(count) + " would make the picture " +
                                  std::to_string(rows.size() + static_cast<size_t>(count)) +
                                  " rows tall, more than " + std::to_string(MAX_SIZE));
    }
    rows.insert(rows.end(), static_cast<size_t>(count),
                std::vector<uint32_t>(static_cast<size_t>(width), PixelGrid::KEY_COLOUR));
}

void SourceParser::pixelRow(const std::string& text) {
    needWidth(1);
    std::vector<uint32_t> row;
    row.reserve(static_cast<size_t>(width));
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        int column = static_cast<int>(i) + 1;
        if (c >= m_colours.size() || !m_colours[c]) {
            fail(column, std::string("'") + text[i] + "' is not a defined colour");
        }
        if (column > width) {
            fail(column, "row is longer than the width " + std::to_string(width));
        }
        row.push_back(*m_colours[c]);
    }
    if (static_cast<int>(row.size()) < width) {
        fail(static_cast<int>(text.size()) + 1, "row has " + std::to_string(row.size()) +
                                                    " pixels, the width is " +
                                                    std::to_string(width));
    }
    if (static_cast<int>(rows.size()) >= MAX_SIZE) {
        fail(1, "more than " + std::to_string(MAX_SIZE) + " rows");
    }
    rows.push_back(std::move(row));
}

void SourceParser::line(std::string text, int lineNumber) {
    m_line = lineNumber;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.pop_back();
    }
    std::vector<SourceWord> words = splitWords(text);
    if (words.empty() || words[0].text.starts_with("//")) {
        return;
    }
    const std::string& first = words[0].text;
    if (first == "width") {
        widthDirective(words);
    } else if (first == "colour") {
        colourDirective(words);
    } else if (first == "blank") {
        blankDirective(words);
    } else if (words[0].column != 1) {
        fail(1, "a row must start in the first column");
    } else if (words.size() > 1) {
        fail(static_cast<int>(first.size()) + 1,
             "unknown directive \"" + excerpt(first) + "\", or a blank inside a row");
    } else {
        pixelRow(text);
    }
}

void SourceParser::finish(int lastLine) const {
    if (width == 0) {
        throw SourceError(m_fileName, lastLine, 1, "no \"width N\" line");
    }
    if (rows.empty()) {
        throw SourceError(m_fileName, lastLine, 1, "no pixel rows");
    }
}

} // namespace

PixelGrid PixelGrid::parse(const std::string& text, const std::string& fileName) {
    SourceParser parser(fileName);
    TextLines lines(text);
    std::string line;
    while (lines.next(line)) {
        parser.line(line, lines.number());
    }
    parser.finish(std::max(lines.number(), 1));
    PixelGrid grid;
    grid.m_width = parser.width;
    grid.m_rows = std::move(parser.rows);
    return grid;
}

PixelGrid PixelGrid::load(FileRegistry& files, const std::string& fileName) {
    return parse(readFile(files, fileName, TEXT_SOURCE_FILE), fileName);
}

void PixelGrid::mirror() {
    for (std::vector<uint32_t>& row : m_rows) {
        std::reverse(row.begin(), row.end());
    }
}

void PixelGrid::overlay(const PixelGrid& other, const std::string& overlayName) {
    if (other.width() != width() || other.height() != height()) {
        throw SourceError(overlayName, 1, 1,
                          "overlay is " + std::to_string(other.width()) + "x" +
                              std::to_string(other.height()) + " px, the picture is " +
                              std::to_string(width()) + "x" + std::to_string(height()));
    }
    for (int y = 0; y < height(); ++y) {
        for (int x = 0; x < width(); ++x) {
            uint32_t colour = other.at(x, y);
            if (colour != KEY_COLOUR) {
                m_rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = colour;
            }
        }
    }
}
