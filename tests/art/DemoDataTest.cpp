// The demo data keeps the design rules neither the loaders nor the design
// warnings check: a font whose text glyphs never reuse the digits' cells, and
// the objects' pictures on their boxes. That every file loads is kcs --check's job
// (GoldenDemoData), that the characters' boxes and speeds fit the map's
// queries is its --strict design warnings' (DesignerLoop), and that the
// bitmaps have the screen's pixel format is kcs-art's, which draws them all
// (ArtTool).
#include "config/IniDictionary.h"
#include "engine/GameEngine.h"

#include <gtest/gtest.h>

#include <string>

TEST(ArtDemoData, FontCellsAndTheObjectsBoxes) {
    // Text glyphs have their own cells, and digits in text use the digits'.
    IniDictionary font(gEngine->files(), std::string(KCS_DEMO_DATA) + "/font.ini");
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

    // The pictures of the kinds that stand on a floor stand on their boxes.
    for (const char* name :
         {"thornbug.ini", "walker.ini", "hopper.ini", "turret.ini", "exit.ini"}) {
        IniDictionary kind(gEngine->files(), std::string(KCS_DEMO_DATA) + "/" + name);
        EXPECT_EQ(kind.getInt("yOffset", "Sprites", 0) + kind.getInt("height", "Sprites", 0),
                  kind.getInt("height", "BoundingBox", 0))
            << name;
    }
}
