// The demo data keeps the design rules the loaders cannot check: bitmaps in
// the screen's pixel format (blits never convert), a font whose text glyphs
// never reuse the digits' cells, characters whose box and speeds fit the map
// queries, and pictures that sit on their boxes. That every file loads is
// kcs --check's job (GoldenDemoData).
#include "config/IniDictionary.h"
#include "engine/GameEngine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const std::string DATA = KCS_DEMO_DATA;

constexpr int LADDER_FEET_REACH = 11;   // box "yOffset" + "height", px
constexpr int LADDER_COLUMN_BOX = 15;   // px: a box this wide stays inside a ladder column
constexpr int CLEARANCE_REACH = 16;     // px per update the map's queries look ahead
constexpr int BOUNDARY_BOTTOM_ZONE = 7; // px a transition must carry the player
constexpr int ENEMY_BOX_HEIGHT = 8;     // px, fixed by the enemy

IniDictionary dataIni(const std::string& name) {
    return IniDictionary(gEngine->files(), DATA + "/" + name);
}

// A raw fixed-point speed (1/256 px per update) from a key pair.
int32_t speed(const IniDictionary& ini, const std::string& section, const std::string& name) {
    int32_t fraction = ini.getInt(name + "Fraction", section, 0);
    EXPECT_TRUE(fraction >= 0 && fraction <= 255) << section << " " << name;
    return static_cast<int32_t>(static_cast<uint32_t>(ini.getInt(name + "Int", section, 0)) << 8) |
           fraction;
}

} // namespace

TEST(ArtDemoData, EveryBitmapHasTheScreensPixelFormat) {
    const SDL_PixelFormat* pScreen = gEngine->getScreen()->format;
    int bitmaps = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DATA)) {
        if (entry.path().extension() != ".bmp") {
            continue;
        }
        ++bitmaps;
        Surface surface = gEngine->loadBitmap(entry.path().string());
        const SDL_PixelFormat* pFormat = surface->format;
        EXPECT_TRUE(pFormat->BitsPerPixel == pScreen->BitsPerPixel &&
                    pFormat->Rmask == pScreen->Rmask && pFormat->Gmask == pScreen->Gmask &&
                    pFormat->Bmask == pScreen->Bmask)
            << entry.path().filename();
    }
    EXPECT_GE(bitmaps, 12);
}

TEST(ArtDemoData, TextGlyphsHaveTheirOwnCellsAndDigitsInTextUseTheDigitCells) {
    IniDictionary font = dataIni("font.ini");
    int cell = font.getInt("characterHeight", "Properties", 0);
    ASSERT_GT(cell, 0);
    for (char c = 'A'; c <= 'Z'; ++c) {
        std::string upper(1, c);
        std::string lower(1, static_cast<char>(c - 'A' + 'a'));
        EXPECT_GE(font.getInt(upper, "Characters", -1), 10 * cell) << upper;
        EXPECT_EQ(font.getInt(lower, "Characters", -1), font.getInt(upper, "Characters", -2));
    }
    for (const char* key : {"space", "-", ".", ",", "!", "?", ":", "'", "/", "(", ")"}) {
        EXPECT_GE(font.getInt(key, "Characters", -1), 10 * cell) << key;
    }
    for (int digit = 0; digit <= 9; ++digit) {
        EXPECT_EQ(font.getInt(std::to_string(digit), "Characters", -1), digit * cell);
    }
}

TEST(ArtDemoData, CharactersFitTheMapQueries) {
    IniDictionary menu = dataIni("stageselect.ini");
    int count = menu.getInt("amount", "Kalvorns", 0);
    ASSERT_GE(count, 2);
    for (int i = 0; i < count; ++i) {
        std::string name = menu.getString("kalvorn" + std::to_string(i), "Kalvorns", "empty");
        SCOPED_TRACE(name);
        IniDictionary hero = dataIni(name);
        EXPECT_EQ(hero.getInt("yOffset", "BoundingBox", 0) +
                      hero.getInt("height", "BoundingBox", 0),
                  LADDER_FEET_REACH);
        EXPECT_EQ(hero.getInt("width", "BoundingBox", 0), LADDER_COLUMN_BOX);
        for (const char* key : {"accelerating", "decelerating", "jumpAccelerating", "jumping",
                                "reeling", "running"}) {
            int32_t raw = speed(hero, "XSpeed", key);
            EXPECT_TRUE(raw >= 0 && raw < CLEARANCE_REACH * 256) << key;
        }
        for (const char* key :
             {"climbingDown", "climbingUp", "collision", "falling", "gravity", "jumping",
              "jumpReleased", "jumpReleasedMax", "min", "scrolling", "reeling"}) {
            int32_t raw = speed(hero, "YSpeed", key);
            EXPECT_TRUE(raw > -CLEARANCE_REACH * 256 && raw < CLEARANCE_REACH * 256) << key;
        }
        int32_t travelled = speed(hero, "YSpeed", "scrolling") *
                            hero.getInt("scrolling", "Durations", 0); // 1/256 px
        EXPECT_GE(travelled, BOUNDARY_BOTTOM_ZONE * 256);
    }
}

TEST(ArtDemoData, TheEnemysPictureStandsOnItsBox) {
    IniDictionary enemy = dataIni("enemy.ini");
    EXPECT_EQ(enemy.getInt("yOffset", "Sprites", 0) + enemy.getInt("height", "Sprites", 0),
              ENEMY_BOX_HEIGHT);
}
