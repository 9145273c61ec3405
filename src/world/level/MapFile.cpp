// Reading, checking and writing the binary map file. Every rule the game
// relies on is checked here, once, before any tile is stored.
#include "world/level/MapFile.h"

#include "engine/DataError.h"
#include "engine/Files.h"
#include "engine/Format.h"

namespace {

// Beyond this many, problems are counted rather than listed: a file of noise
// would otherwise print one line per tile.
constexpr size_t MAX_LISTED_PROBLEMS = 100;

// Where the segment of tile row `row` starting at segment column `segment`
// begins in the file.
size_t segmentOffset(int tilesAcross, int row, int segment) {
    size_t segmentsPerRow = static_cast<size_t>(tilesAcross / MapFile::SEGMENT_TILES);
    return MapFile::HEADER_SIZE +
           (static_cast<size_t>(row) * segmentsPerRow + static_cast<size_t>(segment)) *
               MapFile::SEGMENT_SIZE;
}

const char* presence(bool present) {
    return present ? "present" : "absent";
}

} // namespace

MapFile::MapFile(int tilesAcross, int tilesDown, int codeCount)
    : m_tilesAcross(tilesAcross), m_tilesDown(tilesDown), m_codeCount(codeCount),
      m_codes(static_cast<size_t>(tilesAcross) * static_cast<size_t>(tilesDown), 0),
      m_solids(m_codes.size(), 0),
      m_screenFlags(static_cast<size_t>(screensAcross()) * static_cast<size_t>(screensDown()), 0) {}

std::vector<std::string> MapFile::findProblems(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> problems;
    if (bytes.size() < HEADER_SIZE) {
        problems.push_back(format("file is %zu bytes, shorter than the %zu-byte header",
                                  bytes.size(), HEADER_SIZE));
        return problems;
    }
    int tilesAcross = bytes[0];
    int tilesDown = bytes[1];
    int codeCount = bytes[2];
    if (tilesAcross % SCREEN_TILES_X != 0) {
        problems.push_back(
            format("width %d tiles (byte 0) is not a multiple of %d", tilesAcross, SCREEN_TILES_X));
    }
    if (tilesDown % SCREEN_TILES_Y != 0) {
        problems.push_back(
            format("height %d tiles (byte 1) is not a multiple of %d", tilesDown, SCREEN_TILES_Y));
    }
    // Zero is a multiple of both, but a map without a screen has nowhere for
    // the player to start.
    if (tilesAcross == 0 || tilesDown == 0) {
        problems.push_back(format("size %d x %d tiles (bytes 0 and 1) holds no screen; a map "
                                  "needs at least one",
                                  tilesAcross, tilesDown));
    }
    if (codeCount == 0) {
        problems.push_back("tile code count N (byte 2) is 0; it must be at least 1");
    }
    if (!problems.empty()) {
        return problems;
    }
    size_t needed = HEADER_SIZE + static_cast<size_t>(tilesAcross) *
                                      static_cast<size_t>(tilesDown) * SEGMENT_SIZE / SEGMENT_TILES;
    if (bytes.size() < needed) {
        problems.push_back(format("file is %zu bytes, but its header (%d x %d tiles) needs %zu",
                                  bytes.size(), tilesAcross, tilesDown, needed));
        return problems;
    }

    size_t unlisted = 0;
    auto report = [&](std::string problem) {
        if (problems.size() < MAX_LISTED_PROBLEMS) {
            problems.push_back(std::move(problem));
        } else {
            ++unlisted;
        }
    };
    int screensAcross = tilesAcross / SCREEN_TILES_X;
    int screensDown = tilesDown / SCREEN_TILES_Y;
    for (int screenRow = 0; screenRow < screensDown; ++screenRow) {
        for (int screenColumn = 0; screenColumn < screensAcross; ++screenColumn) {
            int screen = screenRow * screensAcross + screenColumn;
            int topRow = screenRow * SCREEN_TILES_Y;
            bool present = bytes[segmentOffset(tilesAcross, topRow, screenColumn)] != 0;
            bool consistent = true;
            for (int row = topRow + 1; row < topRow + SCREEN_TILES_Y && consistent; ++row) {
                size_t offset = segmentOffset(tilesAcross, row, screenColumn);
                if ((bytes[offset] != 0) != present) {
                    report(format("screen %d (screen column %d, row %d) is partly absent: the "
                                  "segment of tile row %d (byte %zu) is %s but the screen's top "
                                  "row is %s; a screen's 15 segments must be all present or all "
                                  "absent",
                                  screen, screenColumn, screenRow, row, offset, presence(!present),
                                  presence(present)));
                    consistent = false;
                }
            }
            if (!present || !consistent) {
                continue;
            }
            for (int row = topRow; row < topRow + SCREEN_TILES_Y; ++row) {
                size_t offset = segmentOffset(tilesAcross, row, screenColumn);
                for (int j = 0; j < SEGMENT_TILES; ++j) {
                    size_t codeOffset = offset + 2 * static_cast<size_t>(j);
                    int code = bytes[codeOffset];
                    if (code == 0 || code >= codeCount) {
                        report(format("tile row %d, column %d (byte %zu): code %d in a present "
                                      "screen; codes must be 1 to N - 1 = %d",
                                      row, screenColumn * SEGMENT_TILES + j, codeOffset, code,
                                      codeCount - 1));
                    }
                }
            }
        }
    }
    if (unlisted > 0) {
        problems.push_back(format("... and %zu more problems", unlisted));
    }
    return problems;
}

MapFile MapFile::parse(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::vector<std::string> problems = findProblems(bytes);
    if (!problems.empty()) {
        throw DataError(fileName, problems.front());
    }
    MapFile map(bytes[0], bytes[1], bytes[2]);
    for (int row = 0; row < map.m_tilesDown; ++row) {
        for (int segment = 0; segment < map.screensAcross(); ++segment) {
            size_t offset = segmentOffset(map.m_tilesAcross, row, segment);
            if (bytes[offset] == 0) {
                continue;
            }
            for (int j = 0; j < SEGMENT_TILES; ++j) {
                size_t tile = offset + 2 * static_cast<size_t>(j);
                map.setTile(segment * SEGMENT_TILES + j, row, bytes[tile], bytes[tile + 1] != 0);
            }
        }
    }
    return map;
}

std::vector<uint8_t> MapFile::readBytes(FileRegistry& files, const std::string& fileName) {
    return readFileBytes(files, fileName, FileLimit{"a map file", MAX_FILE_SIZE});
}

MapFile MapFile::read(FileRegistry& files, const std::string& fileName) {
    return parse(fileName, readBytes(files, fileName));
}

std::string MapFile::tileSheetProblem(int sheetWidth, int sheetHeight, int codeCount) {
    // The images sit at x 0: a narrower sheet would draw every tile cut or
    // not at all.
    if (sheetWidth < TILE_SIZE && codeCount > 1) {
        return format("tile sheet is %d px wide, but its tile images are %d px wide", sheetWidth,
                      TILE_SIZE);
    }
    int needed = TILE_SIZE * (codeCount - 1);
    if (sheetHeight >= needed) {
        return "";
    }
    return format("tile sheet is %d px tall, but the map's %d tile codes need %d images of "
                  "%d px, %d px in all",
                  sheetHeight, codeCount - 1, codeCount - 1, TILE_SIZE, needed);
}

std::vector<uint8_t> MapFile::encode() const {
    std::vector<uint8_t> bytes(HEADER_SIZE + m_codes.size() * 2, 0);
    bytes[0] = static_cast<uint8_t>(m_tilesAcross);
    bytes[1] = static_cast<uint8_t>(m_tilesDown);
    bytes[2] = static_cast<uint8_t>(m_codeCount);
    for (int row = 0; row < m_tilesDown; ++row) {
        for (int column = 0; column < m_tilesAcross; ++column) {
            if (!isScreenPresent(screenOf(column, row))) {
                continue;
            }
            size_t offset = HEADER_SIZE + tileIndex(column, row) * 2;
            bytes[offset] = m_codes[tileIndex(column, row)];
            bytes[offset + 1] = m_solids[tileIndex(column, row)];
        }
    }
    return bytes;
}

bool MapFile::isScreenPresent(int screen) const {
    return screen >= 0 && static_cast<size_t>(screen) < m_screenFlags.size() &&
           m_screenFlags[static_cast<size_t>(screen)] != 0;
}

void MapFile::setScreenPresent(int screen, bool present) {
    if (screen >= 0 && static_cast<size_t>(screen) < m_screenFlags.size()) {
        m_screenFlags[static_cast<size_t>(screen)] = present ? 1 : 0;
    }
}

uint8_t MapFile::codeAt(int column, int row) const {
    return isScreenPresent(screenOf(column, row)) ? m_codes[tileIndex(column, row)] : 0;
}

bool MapFile::isSolidAt(int column, int row) const {
    return isScreenPresent(screenOf(column, row)) && m_solids[tileIndex(column, row)] != 0;
}

void MapFile::setTile(int column, int row, uint8_t code, bool solid) {
    if (column < 0 || column >= m_tilesAcross || row < 0 || row >= m_tilesDown) {
        return;
    }
    m_codes[tileIndex(column, row)] = code;
    m_solids[tileIndex(column, row)] = solid ? 1 : 0;
    setScreenPresent(screenOf(column, row), true);
}

size_t MapFile::tileIndex(int column, int row) const {
    return static_cast<size_t>(row) * static_cast<size_t>(m_tilesAcross) +
           static_cast<size_t>(column);
}

int MapFile::screenOf(int column, int row) const {
    if (column < 0 || column >= m_tilesAcross || row < 0 || row >= m_tilesDown) {
        return -1;
    }
    return row / SCREEN_TILES_Y * screensAcross() + column / SCREEN_TILES_X;
}
