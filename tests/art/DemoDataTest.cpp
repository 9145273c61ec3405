// The built demo data is complete and consistent: every file an INI file
// names exists and loads in the screen's format, every sprite rectangle fits
// its sheets, and the characters keep the rules the map queries depend on.
#include "config/IniDictionary.h"
#include "engine/GameEngine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::string DATA = KCS_DEMO_DATA;

constexpr int TILE_SIZE = 16;           // px
constexpr int LADDER_IMAGE = 4;         // tile image of map code 5
constexpr int MIN_TILE_IMAGES = 5;      // sky, ground top, fill, wall, ladder
constexpr int PLAYER_SHEETS = 4;        // right, left, right and left shooting
constexpr int PLAYER_ANIMATIONS = 9;    // standing ... teleport landing
constexpr int LADDER_FEET_REACH = 11;   // box "yOffset" + "height", px
constexpr int CLEARANCE_REACH = 16;     // px per update the map can check
constexpr int FIRST_BOUNDARY_Y = 1920;  // px, where the camera starts
constexpr int BOUNDARY_BOTTOM_ZONE = 7; // px from the bottom edge zone to the next strip
constexpr int BOUNDARY_TOP_ZONE = 5;    // px from the top edge zone past the strip's top

std::string inData(const std::string& name) {
    return DATA + "/" + name;
}

IniDictionary loadIni(const std::string& name) {
    EXPECT_TRUE(std::filesystem::exists(inData(name))) << name;
    return IniDictionary(inData(name));
}

// Loads a bitmap the game names, checking it exists and has the screen's
// pixel format; returns a null surface when it cannot.
Surface loadChecked(const std::string& name) {
    std::string path = inData(name);
    if (!std::filesystem::exists(path)) {
        ADD_FAILURE() << "missing " << name;
        return Surface();
    }
    Surface surface = gEngine->loadBitmap(path);
    const SDL_PixelFormat* pScreen = gEngine->getScreen()->format;
    EXPECT_EQ(surface->format->BitsPerPixel, pScreen->BitsPerPixel) << name;
    EXPECT_EQ(surface->format->Rmask, pScreen->Rmask) << name;
    EXPECT_EQ(surface->format->Gmask, pScreen->Gmask) << name;
    EXPECT_EQ(surface->format->Bmask, pScreen->Bmask) << name;
    return surface;
}

// A raw fixed-point speed from a key pair, as the player builds it.
int32_t speed(const IniDictionary& ini, const std::string& section, const std::string& name) {
    int32_t whole = ini.getInt(name + "Int", section, 0);
    int32_t fraction = ini.getInt(name + "Fraction", section, 0);
    EXPECT_GE(fraction, 0) << section << " " << name;
    EXPECT_LE(fraction, 255) << section << " " << name;
    return static_cast<int32_t>(static_cast<uint32_t>(whole) << 8) | fraction;
}

// Checks the sprite sections: sheets load, rectangles fit every sheet,
// animations name existing rectangles.
void checkSprite(const IniDictionary& ini, const std::string& owner, int sheets, int animations) {
    SCOPED_TRACE(owner);
    ASSERT_EQ(ini.getInt("amount", "Spritesheets", 0), sheets);
    int count = ini.getInt("amount", "Sprites", 0);
    int width = ini.getInt("width", "Sprites", 0);
    int height = ini.getInt("height", "Sprites", 0);
    ASSERT_GT(count, 0);
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    for (int s = 0; s < sheets; ++s) {
        std::string name = ini.getString("spritesheet" + std::to_string(s), "Spritesheets", "");
        Surface sheet = loadChecked(name);
        if (!sheet) {
            continue;
        }
        for (int i = 0; i < count; ++i) {
            int y = ini.getInt("sprite" + std::to_string(i) + "YPos", "Sprites", -1);
            EXPECT_GE(y, 0) << name << " sprite " << i;
            EXPECT_LE(width, sheet->w) << name;
            EXPECT_LE(y + height, sheet->h) << name << " sprite " << i;
        }
    }
    ASSERT_EQ(ini.getInt("amount", "Animations", 0), animations);
    for (int a = 0; a < animations; ++a) {
        std::string section = "Animation" + std::to_string(a);
        int frames = ini.getInt("nFrames", section, 0);
        EXPECT_GE(frames, 1) << section;
        for (int f = 0; f < frames; ++f) {
            std::string frame = "frame" + std::to_string(f);
            int index = ini.getInt(frame + "SpriteIndex", section, -1);
            EXPECT_GE(index, 0) << section << " " << frame;
            EXPECT_LT(index, count) << section << " " << frame;
            EXPECT_GE(ini.getInt(frame + "Duration", section, 0), 1) << section << " " << frame;
        }
    }
}

std::vector<std::string> listed(const IniDictionary& ini, const std::string& section,
                                const std::string& prefix) {
    std::vector<std::string> names;
    int amount = ini.getInt("amount", section, 0);
    for (int i = 0; i < amount; ++i) {
        names.push_back(ini.getString(prefix + std::to_string(i), section, "empty"));
    }
    return names;
}

} // namespace

TEST(ArtDemoData, FontCoversDigitsLettersAndPunctuation) {
    IniDictionary font = loadIni("font.ini");
    Surface sheet = loadChecked(font.getString("sheet", "Properties", "empty"));
    ASSERT_TRUE(sheet);
    int cellWidth = font.getInt("characterWidth", "Properties", 0);
    int cellHeight = font.getInt("characterHeight", "Properties", 0);
    EXPECT_EQ(cellWidth, 8);
    EXPECT_EQ(cellHeight, 8);
    EXPECT_EQ(sheet->w, cellWidth);
    EXPECT_GE(sheet->h, 10 * cellHeight) << "digits fill the first ten cells";
    EXPECT_EQ(font.getInt("A", "Characters", -1), 80);

    std::vector<std::string> keys = {"space", "-", ".", ",", "!", "?", ":", "'", "/", "(", ")"};
    for (char c = 'A'; c <= 'Z'; ++c) {
        keys.push_back(std::string(1, c));
        std::string lower(1, static_cast<char>(c - 'A' + 'a'));
        EXPECT_EQ(font.getInt(lower, "Characters", -1),
                  font.getInt(std::string(1, c), "Characters", -2))
            << lower;
    }
    for (const std::string& key : keys) {
        int y = font.getInt(key, "Characters", -1);
        EXPECT_GE(y, 10 * cellHeight) << key << " must not reuse a digit's cell";
        EXPECT_EQ(y % cellHeight, 0) << key;
        EXPECT_LE(y + cellHeight, sheet->h) << key;
    }
}

TEST(ArtDemoData, StageSelectNamesLevelsCharactersAndSelector) {
    loadChecked("selector.bmp");
    IniDictionary menu = loadIni("stageselect.ini");
    IniDictionary levels = loadIni("levels.ini");
    EXPECT_NE(levels.getString("readyMessage", "Common", "empty"), "empty");

    std::vector<std::string> levelNames = listed(menu, "Levels", "level");
    ASSERT_EQ(levelNames.size(), 2u);
    for (const std::string& level : levelNames) {
        SCOPED_TRACE(level);
        ASSERT_TRUE(levels.hasSection(level));
        Surface tiles = loadChecked(levels.getString("tileSheet", level, "empty"));
        ASSERT_TRUE(tiles);
        EXPECT_EQ(tiles->w, TILE_SIZE);
        EXPECT_EQ(tiles->h % TILE_SIZE, 0);
        EXPECT_GE(tiles->h / TILE_SIZE, MIN_TILE_IMAGES)
            << "image " << LADDER_IMAGE << " is the ladder";
        EXPECT_NE(levels.getString("tileMap", level, "empty"), "empty");
        EXPECT_GE(levels.getInt("boundaries", level, 0), 1);
        EXPECT_EQ(levels.getInt("boundary0x", level, -1), 0);
        EXPECT_EQ(levels.getInt("boundary0y", level, -1), FIRST_BOUNDARY_Y);
        int stop = levels.getInt("teleportStopPosY", level, -1);
        EXPECT_GE(stop, 4);
        EXPECT_EQ((stop - 4) % TILE_SIZE, 0) << "the descent moves 16 px per update from 4";
        int fraction = levels.getInt("teleportStartYSpeedFraction", level, -1);
        EXPECT_GE(fraction, 0);
        EXPECT_LE(fraction, 255);
    }

    std::vector<std::string> characters = listed(menu, "Kalvorns", "kalvorn");
    ASSERT_EQ(characters.size(), 2u);
    for (size_t i = 0; i < characters.size(); ++i) {
        EXPECT_TRUE(std::filesystem::exists(inData(characters[i]))) << characters[i];
        EXPECT_NE(menu.getString("kalvorn" + std::to_string(i) + "title", "Kalvorns", "empty"),
                  "empty");
    }
}

TEST(ArtDemoData, CharactersHaveSheetsShotAndPlayableValues) {
    IniDictionary menu = loadIni("stageselect.ini");
    for (const std::string& name : listed(menu, "Kalvorns", "kalvorn")) {
        SCOPED_TRACE(name);
        IniDictionary hero = loadIni(name);
        checkSprite(hero, name, PLAYER_SHEETS, PLAYER_ANIMATIONS);
        loadChecked(hero.getString("spritesheet", "Bullet", "empty"));

        EXPECT_EQ(hero.getInt("yOffset", "BoundingBox", 0) +
                      hero.getInt("height", "BoundingBox", 0),
                  LADDER_FEET_REACH);
        EXPECT_EQ(hero.getInt("width", "BoundingBox", 0), 15) << "stays inside a ladder column";
        EXPECT_GT(hero.getInt("heightHalf", "BoundingBox", 0), 0);

        for (const char* key : {"accelerating", "decelerating", "jumpAccelerating", "jumping",
                                "reeling", "running"}) {
            int32_t raw = speed(hero, "XSpeed", key);
            EXPECT_GE(raw, 0) << key;
            EXPECT_LT(raw, CLEARANCE_REACH * 256) << key;
        }
        for (const char* key :
             {"climbingDown", "climbingUp", "collision", "falling", "gravity", "jumping",
              "jumpReleased", "jumpReleasedMax", "min", "scrolling", "reeling"}) {
            int32_t raw = speed(hero, "YSpeed", key);
            EXPECT_LT(raw, CLEARANCE_REACH * 256) << key;
            EXPECT_GT(raw, -CLEARANCE_REACH * 256) << key;
        }
        EXPECT_LT(speed(hero, "YSpeed", "min"), 0);
        EXPECT_GT(speed(hero, "YSpeed", "gravity"), 0);
        EXPECT_LE(speed(hero, "YSpeed", "jumpReleased"), speed(hero, "YSpeed", "jumpReleasedMax"));

        int scrolling = hero.getInt("scrolling", "Durations", 0);
        EXPECT_EQ(scrolling, 60) << "one screen at 4 px per update";
        int32_t travelled = speed(hero, "YSpeed", "scrolling") * scrolling; // 1/256 px
        EXPECT_GE(travelled, BOUNDARY_BOTTOM_ZONE * 256);
        EXPECT_GE(travelled, BOUNDARY_TOP_ZONE * 256);
        for (const char* key :
             {"accelerating", "decelerating", "invincible", "reeling", "shooting"}) {
            EXPECT_GT(hero.getInt(key, "Durations", 0), 0) << key;
        }
    }
}

TEST(ArtDemoData, EnemyPictureSitsOnItsBox) {
    IniDictionary enemy = loadIni("enemy.ini");
    checkSprite(enemy, "enemy.ini", 1, 1);
    constexpr int BOX_HEIGHT = 8; // px, fixed by the enemy
    EXPECT_EQ(enemy.getInt("yOffset", "Sprites", 0) + enemy.getInt("height", "Sprites", 0),
              BOX_HEIGHT)
        << "the picture's bottom row is the box's bottom row";
}
