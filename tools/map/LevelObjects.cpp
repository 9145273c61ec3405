// The object keys of a level's section: read with the game's INI reader,
// and rewritten line by line so that a designer's comments, order and line
// ends survive an import.
#include "LevelObjects.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/Format.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

namespace LevelObjects {

namespace {

constexpr int32_t MAX_BOX = std::numeric_limits<uint16_t>::max(); // px, as a sprite's rectangle
constexpr const char* BOX_SECTION = "BoundingBox";
constexpr const char* EXIT_BEHAVIOUR = "exit";
constexpr const char* KIND_EXTENSION = ".ini";
const std::string OBJECT_PREFIX = "object";
const std::string BYTE_ORDER_MARK = "\xEF\xBB\xBF";

std::string numbered(size_t index, const char* pSuffix = "") {
    return OBJECT_PREFIX + std::to_string(index) + pSuffix;
}

// objectAmount, objectN, objectNx and objectNy, for any N.
bool isObjectKey(const std::string& key) {
    if (key == AMOUNT_KEY) {
        return true;
    }
    if (!key.starts_with(OBJECT_PREFIX)) {
        return false;
    }
    size_t end = key.find_first_not_of("0123456789", OBJECT_PREFIX.size());
    if (end == OBJECT_PREFIX.size()) {
        return false;
    }
    std::string rest = end == std::string::npos ? "" : key.substr(end);
    return rest.empty() || rest == "x" || rest == "y";
}

std::string trimmed(const std::string& text, const char* pSpaces = " ") {
    size_t start = text.find_first_not_of(pSpaces);
    if (start == std::string::npos) {
        return "";
    }
    return text.substr(start, text.find_last_not_of(pSpaces) - start + 1);
}

// A line of the file and the end that followed it (none after the last).
struct Line {
    std::string text;
    std::string end;
};

// Lines as TextLines cuts them (CR LF, LF or a lone CR), their ends kept.
std::vector<Line> linesOf(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        size_t next = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        lines.push_back({text.substr(start, end - start), text.substr(end, next - end)});
        start = next;
    }
    return lines;
}

// What IniDictionary makes of a line: a section's name, a key, or nothing.
struct LineMeaning {
    enum class Kind { NONE, SECTION, KEY };
    Kind kind = Kind::NONE;
    std::string name;
};

LineMeaning meaningOf(std::string line) {
    if (line.starts_with(BYTE_ORDER_MARK)) {
        line.erase(0, BYTE_ORDER_MARK.size());
    }
    if (line.empty() || line[0] == ';') {
        return {};
    }
    line = trimmed(line);
    if (line.empty()) {
        return {};
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        return {LineMeaning::Kind::SECTION, line.substr(1, line.size() - 2)};
    }
    return {LineMeaning::Kind::KEY, trimmed(line.substr(0, line.find('=')))};
}

// The kind as a file name: "walker" means walker.ini.
std::string kindFile(const std::string& mapName, const TiledObject& object) {
    std::string kind = trimmed(object.kind, " \t");
    if (kind.empty()) {
        throw DataError(mapName, TiledMap::objectPlace(object) +
                                     ": no kind; set its class to a kind file, as walker.ini, or "
                                     "give it a string property \"kind\"");
    }
    for (char c : kind) {
        if (static_cast<unsigned char>(c) < ' ') {
            throw DataError(mapName, TiledMap::objectPlace(object) + ": the kind " +
                                         TiledMap::quoted(kind) + " is not a file name");
        }
    }
    if (std::filesystem::path(kind).extension().empty()) {
        kind += KIND_EXTENSION;
    }
    return kind;
}

} // namespace

std::vector<LevelObject> read(const IniDictionary& levels, const std::string& levelsName,
                              const std::string& section) {
    auto amount = static_cast<size_t>(
        levels.getInt(AMOUNT_KEY, section, 0, 0, static_cast<int32_t>(TiledMap::MAX_OBJECTS)));
    std::vector<LevelObject> objects(amount);
    for (size_t i = 0; i < amount; ++i) {
        objects[i].kind = levels.getString(numbered(i), section, "");
        if (objects[i].kind.empty()) {
            throw DataError(levelsName, format("[%s] %s is missing; name the kind file of object "
                                               "%zu, as walker.ini",
                                               excerpt(section).c_str(), numbered(i).c_str(), i));
        }
        objects[i].x = levels.getInt(numbered(i, "x"), section, 0);
        objects[i].y = levels.getInt(numbered(i, "y"), section, 0);
    }
    return objects;
}

std::string keys(const std::vector<LevelObject>& objects) {
    std::string text = joined(AMOUNT_KEY, "=", std::to_string(objects.size()), "\n");
    for (size_t i = 0; i < objects.size(); ++i) {
        text += joined(numbered(i), "=", objects[i].kind, "\n", numbered(i, "x"), "=",
                       std::to_string(objects[i].x), "\n", numbered(i, "y"), "=",
                       std::to_string(objects[i].y), "\n");
    }
    return text;
}

std::string rewrite(const std::string& text, const std::string& section,
                    const std::vector<LevelObject>& objects) {
    std::vector<Line> lines = linesOf(text);
    std::string lineEnd = "\n";
    for (const Line& line : lines) {
        if (!line.end.empty()) {
            lineEnd = line.end;
            break;
        }
    }
    std::vector<bool> dropped(lines.size(), false);
    size_t insertAt = lines.size();
    std::optional<size_t> lastKept; // the section's last line that stays
    bool inSection = false;
    bool hadAmount = false;
    bool replacing = false; // the keys go where the first object key was
    for (size_t i = 0; i < lines.size(); ++i) {
        LineMeaning meaning = meaningOf(lines[i].text);
        if (meaning.kind == LineMeaning::Kind::SECTION) {
            inSection = meaning.name == section;
            if (inSection && !lastKept) {
                lastKept = i;
            }
        } else if (inSection && meaning.kind == LineMeaning::Kind::KEY) {
            if (!isObjectKey(meaning.name)) {
                lastKept = i;
                continue;
            }
            dropped[i] = true;
            hadAmount = hadAmount || meaning.name == AMOUNT_KEY;
            if (!replacing) {
                insertAt = i;
                replacing = true;
            }
        }
    }
    if (!replacing && lastKept) {
        insertAt = *lastKept + 1;
    }
    std::string block = objects.empty() && !hadAmount ? "" : keys(objects);
    if (!lastKept) {
        // No such section: it is added at the end.
        block = "[" + section + "]\n" + block;
    }
    std::string ended; // the block in the file's line ends
    for (const Line& line : linesOf(block)) {
        ended += line.text + lineEnd;
    }
    if (insertAt == lines.size() && !lines.empty() && lines.back().end.empty() && !ended.empty()) {
        lines.back().end = lineEnd;
    }
    std::string result;
    for (size_t i = 0; i <= lines.size(); ++i) {
        if (i == insertAt) {
            result += ended;
        }
        if (i < lines.size() && !dropped[i]) {
            result += lines[i].text + lines[i].end;
        }
    }
    return result;
}

std::vector<LevelObject> fromTiled(FileRegistry& files, const std::string& mapName,
                                   const std::vector<TiledObject>& objects, int widthPx,
                                   int heightPx, const std::optional<std::string>& levelsName) {
    std::vector<LevelObject> result;
    for (const TiledObject& object : objects) {
        std::string place = TiledMap::objectPlace(object);
        LevelObject levelObject{kindFile(mapName, object),
                                static_cast<int32_t>(std::lround(object.x)),
                                static_cast<int32_t>(std::lround(object.y))};
        if (levelObject.x < 0 || levelObject.x >= widthPx || levelObject.y < 0 ||
            levelObject.y >= heightPx) {
            throw DataError(mapName,
                            format("%s at (%d, %d) px lies outside the map (%d x %d px); "
                                   "move it onto the map",
                                   place.c_str(), levelObject.x, levelObject.y, widthPx, heightPx));
        }
        if (levelsName) {
            std::filesystem::path path =
                std::filesystem::path(*levelsName).parent_path() / levelObject.kind;
            std::error_code error;
            if (!std::filesystem::is_regular_file(path, error)) {
                throw DataError(mapName, place + ": no kind file " +
                                             TiledMap::quoted(levelObject.kind) + " beside " +
                                             excerpt(*levelsName, MAX_QUOTED_PATH) +
                                             "; write it there or correct the object's class");
            }
            if (!IniDictionary(files, path.string()).hasSection(OBJECT_SECTION)) {
                throw DataError(mapName, place + ": " + TiledMap::quoted(levelObject.kind) +
                                             " is not a kind file: it has no [" + OBJECT_SECTION +
                                             "] section");
            }
        }
        result.push_back(std::move(levelObject));
    }
    return result;
}

KindLook look(FileRegistry& files, const std::string& folder, const std::string& kind) {
    IniDictionary ini(files, (std::filesystem::path(folder) / kind).string());
    KindLook look;
    look.width = ini.getInt("width", BOX_SECTION, look.width, 1, MAX_BOX);
    look.height = ini.getInt("height", BOX_SECTION, look.height, 1, MAX_BOX);
    look.exit = ini.getString("behaviour", OBJECT_SECTION, "") == EXIT_BEHAVIOUR;
    std::string sheet = ini.getString("spritesheet0", "Spritesheets", "");
    if (sheet.empty() || ini.getInt("amount", "Animations", 0) < 1) {
        return look;
    }
    look.sheet = (std::filesystem::path(folder) / sheet).string();
    int32_t index = ini.getInt("frame0SpriteIndex", "Animation0", 0);
    look.spriteY = ini.getInt("sprite" + std::to_string(index) + "YPos", "Sprites", 0);
    look.spriteWidth = ini.getInt("width", "Sprites", 0);
    look.spriteHeight = ini.getInt("height", "Sprites", 0);
    look.xOffset = ini.getInt("xOffset", "Sprites", 0);
    look.yOffset = ini.getInt("yOffset", "Sprites", 0);
    return look;
}

} // namespace LevelObjects
