// Sprite stepping rules, key names, drawing on real pixels and refused data.
#include "graphics/Sprite.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

using testing_support::CameraAt;
using testing_support::pixelAt;

namespace {

constexpr uint32_t BLACK = 0x000000;
// Sheet pixels encode the sheet and their own position, so a pixel read back
// from the screen tells which sheet and which sheet pixel was drawn.
constexpr uint32_t SHEET_A = 0x20;
constexpr uint32_t SHEET_B = 0x40;
constexpr int SHEET_WIDTH = 16;  // px
constexpr int SHEET_HEIGHT = 64; // px

uint32_t sheetPixel(uint32_t sheet, int x, int y) {
    return sheet << 16 | static_cast<uint32_t>(y) << 8 | static_cast<uint32_t>(x);
}

void writeSheet(const std::string& path, uint32_t sheet, int height) {
    testing_support::writeBmp(path, SHEET_WIDTH, height,
                              [sheet](int x, int y) { return sheetPixel(sheet, x, y); });
}

using Frames = std::vector<std::pair<int, int>>; // (sprite index, duration in steps)

// Sprite sections with no sheets, four rectangles and the given animations.
std::string animationsText(const std::vector<Frames>& animations) {
    std::string text =
        "[Sprites]\namount=4\n[Animations]\namount=" + std::to_string(animations.size()) + "\n";
    for (size_t a = 0; a < animations.size(); ++a) {
        text += "[Animation" + std::to_string(a) +
                "]\nnFrames=" + std::to_string(animations[a].size()) + "\n";
        for (size_t f = 0; f < animations[a].size(); ++f) {
            std::string frame = "frame" + std::to_string(f);
            text += frame + "SpriteIndex=" + std::to_string(animations[a][f].first) + "\n" + frame +
                    "Duration=" + std::to_string(animations[a][f].second) + "\n";
        }
    }
    return text;
}

Sprite makeSprite(const std::string& text, int requiredSheets = 0, int requiredAnimations = 0) {
    return Sprite(IniDictionary::fromText(text, "test.ini"), "test.ini", requiredSheets,
                  requiredAnimations);
}

// Plays a script on a sprite of the given text and tells what it showed.
// Words: "aN" sets animation N, "p" turns ping-pong on, "r" resets the frame
// time, and a number steps that many times, showing the frame after each
// step.
std::string play(const std::string& text, const std::string& script) {
    Sprite sprite = makeSprite(text);
    std::istringstream words(script);
    std::string word;
    std::string shown;
    while (words >> word) {
        if (word[0] == 'a') {
            sprite.setAnimation(std::stoi(word.substr(1)));
        } else if (word == "p") {
            sprite.setPingPong();
        } else if (word == "r") {
            sprite.resetFrameTime();
        } else {
            for (int i = 0; i < std::stoi(word); ++i) {
                sprite.step();
                shown += " " + std::to_string(sprite.currentFrame());
            }
        }
    }
    return shown.empty() ? shown : shown.substr(1);
}

// The refusal message of the data, or "" when the sprite loads.
std::string refusal(const std::string& text, int requiredSheets = 0, int requiredAnimations = 0) {
    try {
        makeSprite(text, requiredSheets, requiredAnimations);
    } catch (const DataError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(SpriteStepTest, ScriptsShowTheFramesOfLoopsPingPongsAndHolds) {
    const std::string loop = animationsText({{{0, 1}}, {{0, 3}, {1, 2}}});
    const std::string pingPong = animationsText({{{0, 1}}, {{0, 2}, {1, 2}, {2, 2}}});
    struct Case {
        std::string text;
        const char* script;
        const char* shown;
    };
    const Case cases[] = {
        {loop, "a1 10", "0 0 0 1 1 0 0 0 1 1"},
        // Ping-pong holds the end frames twice at each turn.
        {pingPong, "a1 p 15", "0 0 1 1 2 2 2 2 1 1 0 0 0 0 1"},
        // A duration 0 right after setAnimation is left at the first step; one
        // reached by advancing holds until the frame time is reset.
        {animationsText({{{0, 1}}, {{0, 0}, {1, 2}}}), "a1 3", "1 1 0"},
        {animationsText({{{0, 1}, {1, 0}, {2, 1}}}), "2 10 r 1", "0 1 1 1 1 1 1 1 1 1 1 1 2"},
        // A new ping-pong run keeps the direction of the last: at frame 0
        // going backwards the first expiry only turns it.
        {animationsText({{{0, 1}}, {{0, 2}, {1, 2}}}), "a1 p 6 a0 a1 p 5", "0 0 1 1 1 1 0 0 0 0 1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(play(c.text, c.script), c.shown) << c.script;
    }
}

// Two sheets, the second half as tall as the first.
class SpriteOnSheets : public ::testing::Test {
protected:
    static constexpr int SIZE = 8; // px, of every rectangle

    void SetUp() override {
        writeSheet("tall.bmp", SHEET_A, SHEET_HEIGHT);
        writeSheet("short.bmp", SHEET_B, SHEET_HEIGHT / 2);
        gEngine->clearScreen();
    }

    // Checks that the rectangle at sheetY of the sheet covers exactly the
    // screen area with the top-left corner (x, y).
    static void expectRectangleAt(int x, int y, uint32_t sheet, int sheetY) {
        SDL_Surface* pScreen = gEngine->getScreen();
        EXPECT_EQ(pixelAt(pScreen, x, y), sheetPixel(sheet, 0, sheetY));
        EXPECT_EQ(pixelAt(pScreen, x + SIZE - 1, y + SIZE - 1),
                  sheetPixel(sheet, SIZE - 1, sheetY + SIZE - 1));
        EXPECT_EQ(pixelAt(pScreen, x - 1, y - 1), BLACK);
        EXPECT_EQ(pixelAt(pScreen, x + SIZE, y + SIZE), BLACK);
    }

    // Six 8 by 8 rectangles, the last of which ends at the bottom of the
    // short sheet; [Sprites] is the last section.
    static std::string sheetsAndSprites() {
        return "[Spritesheets]\namount=2\nspritesheet0=tall.bmp\nspritesheet1=short.bmp\n"
               "[Sprites]\namount=6\nwidth=8\nheight=8\nsprite1YPos=4\nsprite2YPos=8\n"
               "sprite3YPos=12\nsprite4YPos=16\nsprite5YPos=24\n";
    }
};

// The current frame's rectangle from the chosen sheet, at the world position
// plus the offsets, less the camera.
TEST_F(SpriteOnSheets, DrawsTheCurrentRectangleShiftedByOffsetsAndCamera) {
    const std::string firstAndLast = "[Animations]\namount=1\n[Animation0]\nnFrames=2\n"
                                     "frame0Duration=1\nframe1SpriteIndex=5\nframe1Duration=1\n";
    CameraAt camera(100, 1920);
    Sprite sprite = makeSprite(sheetsAndSprites() + "xOffset=-3\nyOffset=7\n" + firstAndLast, 2, 1);
    sprite.step();
    sprite.step();
    sprite.draw(150, 1970, 1);
    expectRectangleAt(150 - 3 - 100, 1970 + 7 - 1920, SHEET_B, 24);
    // A sheet outside the sheets draws nothing.
    for (int32_t sheet : {2, -1, INT32_MAX}) {
        sprite.draw(200, 2000, sheet);
    }
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 200 - 3 - 100, 2000 + 7 - 1920), BLACK);
}

// Data at the limits loads; each refusal names the file, the section and the
// key: {data, message after "test.ini: "}. The ranges take the one form
// IniDictionaryTest checks; here, that each key is read with its own bounds.
TEST_F(SpriteOnSheets, DataAtTheLimitsLoadsAndEveryRefusalNamesSectionAndKey) {
    // sprite6YPos lies beyond the rectangle count and is never read.
    EXPECT_EQ(refusal(sheetsAndSprites() + "sprite6YPos=99\n[Animations]\namount=1\n[Animation0]\n"
                                           "nFrames=2\nframe0SpriteIndex=5\nframe1Duration=0\n",
                      2, 1),
              "");
    const std::pair<std::string, std::string> cases[] = {
        {animationsText({{{0, 1}}, {}}), "[Animation1] nFrames is 0; give 1 to 4096"},
        {animationsText({{{0, 1}, {4, 1}}}), "[Animation0] frame1SpriteIndex is 4; give 0 to 3"},
        {"[Animations]\namount=1\n[Animation0]\nnFrames=1\n",
         "[Animation0] frame0SpriteIndex names a sprite rectangle, but there are none in "
         "[Sprites]"},
        // Fits the tall first sheet but not the short second one.
        {sheetsAndSprites() + "sprite0YPos=25\n",
         "[Sprites] sprite0YPos 25 with height 8 reaches below the 32 px of [Spritesheets] "
         "spritesheet1 (short.bmp)"},
        {"[Spritesheets]\namount=2\nspritesheet0=tall.bmp\n",
         "[Spritesheets] spritesheet1 \"empty\" cannot be loaded (empty"},
    };
    for (const auto& [text, message] : cases) {
        std::string refused = refusal(text);
        EXPECT_EQ(refused.rfind("test.ini: " + message, 0), 0u) << refused;
    }
}
