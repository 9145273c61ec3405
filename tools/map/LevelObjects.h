// A level's objects as kcs-map carries them between levels.ini and Tiled:
// the keys objectAmount, objectN (the kind file), objectNx and objectNy of
// the level's section, read, printed and rewritten in place.
#pragma once

#include "TiledMap.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class FileRegistry;
class IniDictionary;

struct LevelObject {
    std::string kind; // the kind file, as levels.ini names it
    int32_t x = 0;    // world px of the box's top-left corner
    int32_t y = 0;
};

// A kind file's box and the first picture of its sprite, as far as they
// can be read.
struct KindLook {
    // px: a tile's size stands for the box when the kind file gives none.
    static constexpr int UNKNOWN_BOX = 16;

    int width = UNKNOWN_BOX; // px
    int height = UNKNOWN_BOX;
    std::string sheet; // the sprite's sheet 0, beside levels.ini; empty: none
    int spriteY = 0;   // px: the rectangle of animation 0's first frame
    int spriteWidth = 0;
    int spriteHeight = 0;
    int xOffset = 0; // px from the box's top-left, as the game draws it
    int yOffset = 0;
    bool exit = false;
};

namespace LevelObjects {

constexpr const char* AMOUNT_KEY = "objectAmount";
constexpr const char* OBJECT_SECTION = "Object"; // what makes an INI file a kind file

// The section's objects; a DataError naming levelsName, the section and the
// key when the list is broken.
std::vector<LevelObject> read(const IniDictionary& levels, const std::string& levelsName,
                              const std::string& section);
// The keys of the list, a line each.
std::string keys(const std::vector<LevelObject>& objects);
// levels.ini's text with the section's object keys replaced by those of the
// list, where the first of them stood (else after the section's last key),
// in the file's own line ends; every other line stays as it was. An empty
// list leaves no keys, unless the section gave objectAmount already.
std::string rewrite(const std::string& text, const std::string& section,
                    const std::vector<LevelObject>& objects);
// The objects of a Tiled map of widthPx x heightPx, with each kind a file
// name ("walker" is walker.ini). Given levels.ini's name, each kind must be
// a kind file beside it. A DataError names mapName and the object.
std::vector<LevelObject> fromTiled(FileRegistry& files, const std::string& mapName,
                                   const std::vector<TiledObject>& objects, int widthPx,
                                   int heightPx, const std::optional<std::string>& levelsName);
// What the kind file `kind` in `folder` shows, its sheet's name taken from
// the folder too; a DataError names the kind file.
KindLook look(FileRegistry& files, const std::string& folder, const std::string& kind);

} // namespace LevelObjects
