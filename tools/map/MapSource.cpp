// Compiling the designers' text form of a map and printing a map back in it.
#include "MapSource.h"

#include "config/TextLines.h"
#include "engine/DataError.h"

#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

namespace {

constexpr char COMMENT = ';';
constexpr char SHOW_ABSENT = '~';
constexpr int MAX_TILE_CODE = MapFile::MAX_CODE_COUNT - 1; // codes stay below N
// Printable ASCII but the comment and the absent character that show uses.
constexpr int SHOW_CHARACTER_COUNT = ('~' - '!' + 1) - 2;

struct LegendEntry {
    uint8_t code = 0;
    bool solid = false;
    int line = 0;       // where it was given, for messages
    int codeColumn = 0; // column of its code
};

struct Token {
    std::string text;
    int column = 0; // 1-based
};

struct Row {
    std::string text; // the tiles, without indentation, comment or trailing blanks
    int line = 0;
    int firstColumn = 0; // column of text[0], 1-based
};

// A place in the source: "file:line:column".
class SourceErrors {
public:
    explicit SourceErrors(const std::string& fileName) : m_fileName(fileName) {}

    [[noreturn]] void fail(int line, int column, const std::string& message) const {
        throw DataError(m_fileName + ":" + std::to_string(line) + ":" + std::to_string(column),
                        message);
    }

private:
    std::string m_fileName;
};

bool isTileCharacter(char c) {
    return c > ' ' && c <= '~' && c != COMMENT;
}

std::string quoted(char c) {
    return std::string("'") + c + "'";
}

// The line without its comment and trailing blanks.
std::string stripLine(const std::string& line) {
    std::string text = line.substr(0, line.find(COMMENT));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

std::vector<Token> tokenize(const std::string& text) {
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) {
            ++i;
        }
        tokens.push_back({text.substr(start, i - start), static_cast<int>(start) + 1});
    }
    return tokens;
}

// A decimal number of at most three digits, or nothing.
std::optional<int> smallNumber(const std::string& text) {
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

class Parser {
public:
    Parser(const std::string& fileName, const std::string& text)
        : m_errors(fileName), m_text(text) {}

    MapFile run() {
        readLines();
        int codeCount = checkCodes();
        checkRows();
        int tilesAcross = m_rows.empty() ? 0 : static_cast<int>(m_rows.front().text.size());
        int tilesDown = static_cast<int>(m_rows.size());
        MapFile map(tilesAcross, tilesDown, codeCount);
        for (int row = 0; row < tilesDown; ++row) {
            for (int column = 0; column < tilesAcross; ++column) {
                char c = m_rows[static_cast<size_t>(row)].text[static_cast<size_t>(column)];
                if (c != m_absent) {
                    const LegendEntry& entry = *m_legend[static_cast<unsigned char>(c)];
                    map.setTile(column, row, entry.code, entry.solid);
                }
            }
        }
        checkScreens(map);
        return map;
    }

private:
    void readLines() {
        TextLines lines(m_text);
        std::string line;
        bool inMap = false;
        while (lines.next(line)) {
            int lineNumber = lines.number();
            std::string text = stripLine(line);
            size_t first = text.find_first_not_of(" \t");
            if (first == std::string::npos) {
                continue;
            }
            if (inMap) {
                addRow(text, first, lineNumber);
                continue;
            }
            std::vector<Token> tokens = tokenize(text);
            const std::string& word = tokens.front().text;
            if (word == "map") {
                expectCount(tokens, 1, lineNumber, "map stands alone on its line");
                inMap = true;
                m_mapLine = lineNumber;
            } else if (word == "tile") {
                readTile(tokens, lineNumber);
            } else if (word == "absent") {
                readAbsent(tokens, lineNumber);
            } else if (word == "codes") {
                readCodes(tokens, lineNumber);
            } else {
                m_errors.fail(lineNumber, tokens.front().column,
                              "unknown line \"" + excerpt(word) +
                                  "\"; before the map only tile, absent, codes and map lines "
                                  "may appear");
            }
        }
        if (!inMap) {
            m_errors.fail(lines.number() + 1, 1,
                          "no \"map\" line: the rows of tiles follow a line that says map");
        }
    }

    void expectCount(const std::vector<Token>& tokens, size_t most, int line,
                     const std::string& usage) const {
        if (tokens.size() > most) {
            m_errors.fail(line, tokens[most].column,
                          "unexpected \"" + excerpt(tokens[most].text) + "\"; " + usage);
        }
    }

    // The character of a tile or absent line: one printable character, used once.
    char readCharacter(const std::vector<Token>& tokens, int line, const std::string& usage) {
        if (tokens.size() < 2) {
            m_errors.fail(line,
                          tokens.front().column + static_cast<int>(tokens.front().text.size()),
                          "missing character; " + usage);
        }
        const Token& token = tokens[1];
        if (token.text.size() != 1 || !isTileCharacter(token.text[0])) {
            m_errors.fail(line, token.column,
                          "\"" + excerpt(token.text) + "\" is not one printable character; " +
                              usage);
        }
        char c = token.text[0];
        auto previous = m_characterLines.find(c);
        if (previous != m_characterLines.end()) {
            m_errors.fail(line, token.column,
                          quoted(c) + " is already given on line " +
                              std::to_string(previous->second));
        }
        m_characterLines[c] = line;
        return c;
    }

    void readTile(const std::vector<Token>& tokens, int line) {
        const std::string usage = "write: tile CHARACTER CODE [solid]";
        char c = readCharacter(tokens, line, usage);
        if (tokens.size() < 3) {
            m_errors.fail(line, tokens[1].column + 1, "missing tile code; " + usage);
        }
        std::optional<int> code = smallNumber(tokens[2].text);
        if (!code || *code < 1 || *code > MAX_TILE_CODE) {
            m_errors.fail(line, tokens[2].column,
                          "tile code \"" + excerpt(tokens[2].text) +
                              "\" is not a number from 1 to " + std::to_string(MAX_TILE_CODE));
        }
        bool solid = false;
        if (tokens.size() >= 4) {
            if (tokens[3].text == "solid") {
                solid = true;
            } else if (tokens[3].text != "open") {
                m_errors.fail(line, tokens[3].column,
                              "\"" + excerpt(tokens[3].text) + "\" is neither solid nor open");
            }
        }
        expectCount(tokens, 4, line, usage);
        m_legend[static_cast<unsigned char>(c)] =
            LegendEntry{static_cast<uint8_t>(*code), solid, line, tokens[2].column};
    }

    void readAbsent(const std::vector<Token>& tokens, int line) {
        const std::string usage = "write: absent CHARACTER";
        if (m_absent != 0) {
            m_errors.fail(line, tokens.front().column,
                          "the absent character is already given on line " +
                              std::to_string(m_characterLines[m_absent]));
        }
        m_absent = readCharacter(tokens, line, usage);
        expectCount(tokens, 2, line, usage);
    }

    void readCodes(const std::vector<Token>& tokens, int line) {
        const std::string usage = "write: codes COUNT";
        if (m_codes) {
            m_errors.fail(line, tokens.front().column,
                          "codes is already given on line " + std::to_string(m_codesLine));
        }
        if (tokens.size() < 2) {
            m_errors.fail(line, tokens.front().column + 5, "missing count; " + usage);
        }
        std::optional<int> count = smallNumber(tokens[1].text);
        if (!count || *count < 1 || *count > MapFile::MAX_CODE_COUNT) {
            m_errors.fail(line, tokens[1].column,
                          "codes \"" + excerpt(tokens[1].text) + "\" is not a number from 1 to " +
                              std::to_string(MapFile::MAX_CODE_COUNT));
        }
        expectCount(tokens, 2, line, usage);
        m_codes = *count;
        m_codesLine = line;
    }

    // The map's code count: given, or one more than the largest code.
    int checkCodes() const {
        int largest = 0;
        for (const std::optional<LegendEntry>& entry : m_legend) {
            if (entry) {
                largest = std::max(largest, static_cast<int>(entry->code));
            }
        }
        if (!m_codes) {
            return largest + 1;
        }
        for (const std::optional<LegendEntry>& entry : m_legend) {
            if (entry && entry->code >= *m_codes) {
                m_errors.fail(entry->line, entry->codeColumn,
                              "tile code " + std::to_string(entry->code) + " is not below codes " +
                                  std::to_string(*m_codes) + " (line " +
                                  std::to_string(m_codesLine) + ")");
            }
        }
        return *m_codes;
    }

    void addRow(const std::string& text, size_t first, int line) {
        Row row{text.substr(first), line, static_cast<int>(first) + 1};
        for (size_t i = 0; i < row.text.size(); ++i) {
            char c = row.text[i];
            int column = row.firstColumn + static_cast<int>(i);
            if (std::isspace(static_cast<unsigned char>(c))) {
                m_errors.fail(line, column, "blank inside a row of tiles");
            }
            if (c != m_absent || m_absent == 0) {
                if (!m_legend[static_cast<unsigned char>(c)]) {
                    m_errors.fail(line, column,
                                  quoted(c) + " is not a tile or absent character of the legend");
                }
            }
        }
        if (!m_rows.empty() && row.text.size() != m_rows.front().text.size()) {
            size_t shorter = std::min(row.text.size(), m_rows.front().text.size());
            m_errors.fail(line, row.firstColumn + static_cast<int>(shorter),
                          "row is " + std::to_string(row.text.size()) +
                              " tiles long, but the first row (line " +
                              std::to_string(m_rows.front().line) + ") is " +
                              std::to_string(m_rows.front().text.size()));
        }
        m_rows.push_back(std::move(row));
    }

    void checkRows() const {
        if (m_rows.empty()) {
            m_errors.fail(m_mapLine + 1, 1, "no rows of tiles after the map line");
        }
        const Row& first = m_rows.front();
        int width = static_cast<int>(first.text.size());
        if (width % MapFile::SCREEN_TILES_X != 0 || width > MapFile::MAX_TILES_ACROSS) {
            m_errors.fail(first.line, first.firstColumn + width,
                          "rows are " + std::to_string(width) +
                              " tiles long; a map is 16, 32, ... up to " +
                              std::to_string(MapFile::MAX_TILES_ACROSS) +
                              " tiles across (whole screens of 16)");
        }
        const Row& last = m_rows.back();
        int height = static_cast<int>(m_rows.size());
        if (height % MapFile::SCREEN_TILES_Y != 0 || height > MapFile::MAX_TILES_DOWN) {
            m_errors.fail(
                last.line, last.firstColumn,
                "the map has " + std::to_string(height) + " rows; a map is 15, 30, ... up to " +
                    std::to_string(MapFile::MAX_TILES_DOWN) + " rows down (whole screens of 15)");
        }
    }

    // Every screen is wholly absent or wholly tiles.
    void checkScreens(const MapFile& map) const {
        for (int screenRow = 0; screenRow < map.screensDown(); ++screenRow) {
            for (int screenColumn = 0; screenColumn < map.screensAcross(); ++screenColumn) {
                int top = screenRow * MapFile::SCREEN_TILES_Y;
                int left = screenColumn * MapFile::SCREEN_TILES_X;
                bool absent = charAt(left, top) == m_absent;
                for (int row = top; row < top + MapFile::SCREEN_TILES_Y; ++row) {
                    for (int column = left; column < left + MapFile::SCREEN_TILES_X; ++column) {
                        if ((charAt(column, row) == m_absent) != absent) {
                            const Row& source = m_rows[static_cast<size_t>(row)];
                            m_errors.fail(source.line, source.firstColumn + column,
                                          "the screen at screen column " +
                                              std::to_string(screenColumn) + ", row " +
                                              std::to_string(screenRow) + " mixes absent " +
                                              quoted(m_absent) +
                                              " with tiles; a screen's 16 x 15 tiles are all "
                                              "absent or none");
                        }
                    }
                }
            }
        }
    }

    char charAt(int column, int row) const {
        return m_rows[static_cast<size_t>(row)].text[static_cast<size_t>(column)];
    }

    SourceErrors m_errors;
    const std::string& m_text;
    std::array<std::optional<LegendEntry>, 256> m_legend{};
    std::map<char, int> m_characterLines; // character -> line it was given on
    char m_absent = 0;                    // 0: no absent character
    std::optional<int> m_codes;
    int m_codesLine = 0;
    int m_mapLine = 0;
    std::vector<Row> m_rows;
};

// The ladder's code in the map file: the game treats its image as a ladder.
constexpr int LADDER_CODE = 5;
constexpr char LADDER_CHARACTER = 'H';
// Characters show prefers: open tiles look light, solid ones heavy.
const char* const OPEN_CHARACTERS = ".abcdefghijklmnopqrstuvwxyz0123456789";
const char* const SOLID_CHARACTERS = "#ABCDEFGIJKLMNOPQRSTUVWXYZ";

// Gives each (code, solid) pair a character: the ladder 'H', open tiles from
// the light set, solid ones from the heavy set, then any character left.
bool assignCharacters(std::map<std::pair<int, bool>, char>& characters) {
    std::string unused;
    for (char c = '!'; c <= '~'; ++c) {
        if (isTileCharacter(c) && c != SHOW_ABSENT) {
            unused += c;
        }
    }
    auto take = [&](const std::string& preferred) -> char {
        for (char c : preferred + unused) {
            size_t at = unused.find(c);
            if (at != std::string::npos) {
                unused.erase(at, 1);
                return c;
            }
        }
        return 0;
    };
    auto ladder = characters.find({LADDER_CODE, false});
    if (ladder != characters.end()) {
        ladder->second = take(std::string(1, LADDER_CHARACTER));
    }
    for (auto& [tile, c] : characters) {
        if (c == 0) {
            c = take(tile.second ? SOLID_CHARACTERS : OPEN_CHARACTERS);
            if (c == 0) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

MapFile MapSource::parse(const std::string& fileName, const std::string& text) {
    return Parser(fileName, text).run();
}

std::string MapSource::format(const std::string& fileName, const MapFile& map) {
    std::map<std::pair<int, bool>, char> characters; // (code, solid) -> character
    for (int row = 0; row < map.tilesDown(); ++row) {
        for (int column = 0; column < map.tilesAcross(); ++column) {
            if (map.codeAt(column, row) != 0) {
                characters[{map.codeAt(column, row), map.isSolidAt(column, row)}] = 0;
            }
        }
    }
    if (!assignCharacters(characters)) {
        throw DataError(fileName, "uses " + std::to_string(characters.size()) +
                                      " different tiles (code and solid flag); the text form "
                                      "has characters for " +
                                      std::to_string(SHOW_CHARACTER_COUNT));
    }

    std::ostringstream out;
    out << "; " << fileName << ": " << map.tilesAcross() << " x " << map.tilesDown() << " tiles, "
        << map.screensAcross() << " x " << map.screensDown() << " screens\n";
    out << "codes " << map.codeCount() << "\n";
    for (const auto& [tile, c] : characters) {
        out << "tile " << c << " " << tile.first << (tile.second ? " solid" : "") << "\n";
    }
    bool anyAbsent = false;
    for (int s = 0; s < map.screensAcross() * map.screensDown(); ++s) {
        anyAbsent = anyAbsent || !map.isScreenPresent(s);
    }
    if (anyAbsent) {
        out << "absent " << SHOW_ABSENT << "\n";
    }
    out << "map\n";
    for (int row = 0; row < map.tilesDown(); ++row) {
        if (row % MapFile::SCREEN_TILES_Y == 0) {
            out << "; screen row " << row / MapFile::SCREEN_TILES_Y << "\n";
        }
        for (int column = 0; column < map.tilesAcross(); ++column) {
            uint8_t code = map.codeAt(column, row);
            out << (code == 0 ? SHOW_ABSENT : characters[{code, map.isSolidAt(column, row)}]);
        }
        out << "\n";
    }
    return out.str();
}
