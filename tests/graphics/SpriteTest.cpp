// Sprite stepping rules, key names, drawing on real pixels and refused data.
#include "graphics/Sprite.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/GameEngine.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using testing_support::CameraAt;
using testing_support::pixelAt;
using testing_support::writeBmp;

namespace {

const std::string FILE_NAME = "test.ini";
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

void writeSheet(const std::string& path, uint32_t sheet, int width = SHEET_WIDTH,
                int height = SHEET_HEIGHT) {
    writeBmp(path, width, height, [sheet](int x, int y) { return sheetPixel(sheet, x, y); });
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
            text += "frame" + std::to_string(f) +
                    "SpriteIndex=" + std::to_string(animations[a][f].first) + "\n";
            text += "frame" + std::to_string(f) +
                    "Duration=" + std::to_string(animations[a][f].second) + "\n";
        }
    }
    return text;
}

Sprite makeSprite(const std::string& text, int requiredSheets = 0, int requiredAnimations = 0) {
    return Sprite(IniDictionary::fromText(text, FILE_NAME), FILE_NAME, requiredSheets,
                  requiredAnimations);
}

// The frame after each of count steps.
std::vector<int32_t> framesAfterSteps(Sprite& sprite, int count) {
    std::vector<int32_t> frames;
    for (int i = 0; i < count; ++i) {
        sprite.step();
        frames.push_back(sprite.currentFrame());
    }
    return frames;
}

// The refusal message of the data, or "" when the sprite loads.
std::string refusal(const std::string& text, int requiredSheets = 0, int requiredAnimations = 0) {
    try {
        Sprite sprite(IniDictionary::fromText(text, FILE_NAME), FILE_NAME, requiredSheets,
                      requiredAnimations);
    } catch (const DataError& error) {
        return error.what();
    }
    return "";
}

} // namespace

// --- Stepping -------------------------------------------------------------

// The frames shown step by step: loop (3, 2) wraps, ping-pong (2, 2, 2) holds
// the end frames twice at each turn, one frame never changes, and a duration
// 0 right after setAnimation is left at the first step.
TEST(SpriteStepTest, LoopPingPongOneFrameAndDurationZeroSequences) {
    struct Case {
        std::vector<Frames> animations;
        bool pingPong;
        std::vector<int32_t> frames;
    };
    const Case cases[] = {
        {{{{0, 1}}, {{0, 3}, {1, 2}}}, false, {0, 0, 0, 1, 1, 0, 0, 0, 1, 1}},
        {{{{0, 1}}, {{0, 2}, {1, 2}, {2, 2}}}, true, {0, 0, 1, 1, 2, 2, 2, 2, 1, 1, 0, 0, 0, 0, 1}},
        {{{{0, 1}}, {{2, 1}}}, false, {0, 0, 0, 0, 0}},
        {{{{0, 1}}, {{2, 1}}}, true, {0, 0, 0, 0, 0}},
        {{{{0, 1}}, {{0, 0}, {1, 2}}}, false, {1, 1, 0}},
    };
    for (const Case& c : cases) {
        Sprite sprite = makeSprite(animationsText(c.animations));
        sprite.setAnimation(1);
        if (c.pingPong) {
            sprite.setPingPong();
        }
        EXPECT_EQ(framesAfterSteps(sprite, static_cast<int>(c.frames.size())), c.frames);
    }
}

TEST(SpriteStepTest, DurationZeroReachedByAdvancingHoldsUntilTheFrameTimeIsReset) {
    Sprite sprite = makeSprite(animationsText({{{0, 1}, {1, 0}, {2, 1}}}));
    EXPECT_EQ(framesAfterSteps(sprite, 2), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(framesAfterSteps(sprite, 100), std::vector<int32_t>(100, 1));
    sprite.resetFrameTime();
    EXPECT_EQ(framesAfterSteps(sprite, 1), (std::vector<int32_t>{2}));
}

TEST(SpriteStepTest, SetAnimationWithTheCurrentNumberInPingPongChangesNothing) {
    const std::string text = animationsText({{{0, 1}}, {{0, 2}, {1, 2}, {2, 2}}});
    Sprite untouched = makeSprite(text);
    Sprite touched = makeSprite(text);
    for (Sprite* pSprite : {&untouched, &touched}) {
        pSprite->setAnimation(1);
        pSprite->setPingPong();
        framesAfterSteps(*pSprite, 7);
    }
    touched.setAnimation(1);
    EXPECT_EQ(framesAfterSteps(touched, 12), framesAfterSteps(untouched, 12));
}

TEST(SpriteStepTest, SetAnimationWithAnotherNumberReturnsToLoopFromFrameZero) {
    Sprite sprite = makeSprite(animationsText({{{0, 1}}, {{0, 1}, {1, 1}, {2, 1}}}));
    sprite.setAnimation(1);
    sprite.setPingPong();
    framesAfterSteps(sprite, 4); // 0, 1, 2, 2: now running backwards
    sprite.setAnimation(0);
    sprite.setAnimation(1);
    EXPECT_EQ(framesAfterSteps(sprite, 6), (std::vector<int32_t>{0, 1, 2, 0, 1, 2}));
}

TEST(SpriteStepTest, NewPingPongRunKeepsTheDirectionOfThePreviousOne) {
    Sprite sprite = makeSprite(animationsText({{{0, 1}}, {{0, 2}, {1, 2}}}));
    sprite.setAnimation(1);
    sprite.setPingPong();
    framesAfterSteps(sprite, 6); // 0, 0, 1, 1, 1, 1: turned backwards
    sprite.setAnimation(0);
    sprite.setAnimation(1);
    sprite.setPingPong();
    // At frame 0 going backwards the first expiry only turns the direction.
    EXPECT_EQ(framesAfterSteps(sprite, 5), (std::vector<int32_t>{0, 0, 0, 0, 1}));
}

TEST(SpriteStepTest, ResetFrameTimeEveryStepHoldsTheFrame) {
    Sprite sprite = makeSprite(animationsText({{{0, 1}, {1, 1}}}));
    sprite.step();
    sprite.step();
    ASSERT_EQ(sprite.currentFrame(), 1);
    for (int i = 0; i < 50; ++i) {
        sprite.resetFrameTime();
        sprite.step();
        EXPECT_EQ(sprite.currentFrame(), 1);
    }
}

// Out-of-range numbers are ignored, so the sprite keeps stepping its
// current animation as if nothing had been asked.
TEST(SpriteStepTest, SetAnimationOutsideTheAnimationsIsIgnored) {
    const std::string text = animationsText({{{0, 1}}, {{0, 1}, {1, 1}, {2, 1}}});
    Sprite asked = makeSprite(text);
    Sprite reference = makeSprite(text);
    for (Sprite* pSprite : {&asked, &reference}) {
        pSprite->setAnimation(1);
        pSprite->step();
        pSprite->step();
    }
    asked.setAnimation(2);
    asked.setAnimation(-1);
    asked.setAnimation(INT32_MAX);
    EXPECT_EQ(asked.currentAnimation(), 1);
    EXPECT_EQ(framesAfterSteps(asked, 5), framesAfterSteps(reference, 5));
    asked.draw(0, 0, 0);
}

TEST(SpriteStepTest, SpriteWithoutSectionsStepsAndDrawsNothing) {
    Sprite sprite = makeSprite("");
    sprite.setAnimation(3);
    framesAfterSteps(sprite, 3);
    sprite.setPingPong();
    framesAfterSteps(sprite, 3);
    sprite.draw(0, 0, 0);
    EXPECT_EQ(sprite.currentFrame(), 0);
}

// --- Drawing --------------------------------------------------------------

class SpriteDrawTest : public ::testing::Test {
protected:
    static constexpr int WIDTH = 8;   // px
    static constexpr int HEIGHT = 12; // px
    static constexpr int Y0 = 4;      // px, top of rectangle 0 in the sheets
    static constexpr int Y1 = 30;     // px, top of rectangle 1 in the sheets

    void SetUp() override {
        writeSheet("sheet_a.bmp", SHEET_A);
        writeSheet("sheet_b.bmp", SHEET_B);
        gEngine->clearScreen();
    }

    static std::string text(int xOffset, int yOffset) {
        return "[Spritesheets]\namount=2\nspritesheet0=sheet_a.bmp\nspritesheet1=sheet_b.bmp\n"
               "[Sprites]\namount=2\nwidth=" +
               std::to_string(WIDTH) + "\nheight=" + std::to_string(HEIGHT) +
               "\nxOffset=" + std::to_string(xOffset) + "\nyOffset=" + std::to_string(yOffset) +
               "\nsprite0YPos=" + std::to_string(Y0) + "\nsprite1YPos=" + std::to_string(Y1) +
               "\n[Animations]\namount=1\n[Animation0]\nnFrames=2\nframe0SpriteIndex=0\n"
               "frame0Duration=1\nframe1SpriteIndex=1\nframe1Duration=1\n";
    }

    // Checks that the rectangle at sheetY of the sheet covers exactly the
    // screen area with the top-left corner (x, y).
    static void expectRectangleAt(int x, int y, uint32_t sheet, int sheetY) {
        SDL_Surface* pScreen = gEngine->getScreen();
        EXPECT_EQ(pixelAt(pScreen, x, y), sheetPixel(sheet, 0, sheetY));
        EXPECT_EQ(pixelAt(pScreen, x + WIDTH - 1, y + HEIGHT - 1),
                  sheetPixel(sheet, WIDTH - 1, sheetY + HEIGHT - 1));
        EXPECT_EQ(pixelAt(pScreen, x - 1, y), BLACK);
        EXPECT_EQ(pixelAt(pScreen, x, y - 1), BLACK);
        EXPECT_EQ(pixelAt(pScreen, x + WIDTH, y + HEIGHT - 1), BLACK);
        EXPECT_EQ(pixelAt(pScreen, x + WIDTH - 1, y + HEIGHT), BLACK);
    }
};

// The current frame's rectangle from the chosen sheet, at the world position
// plus the offsets, less the camera.
TEST_F(SpriteDrawTest, DrawsTheCurrentRectangleShiftedByOffsetsAndCamera) {
    {
        CameraAt camera(0, 1920);
        makeSprite(text(0, 0), 2, 1).draw(40, 1970, 0);
        expectRectangleAt(40, 50, SHEET_A, Y0);
    }
    {
        CameraAt camera(100, 300);
        gEngine->clearScreen();
        makeSprite(text(-3, 7), 2, 1).draw(150, 320, 0);
        expectRectangleAt(150 - 3 - 100, 320 + 7 - 300, SHEET_A, Y0);
    }
    CameraAt camera(0, 0);
    gEngine->clearScreen();
    Sprite sprite = makeSprite(text(0, 0), 2, 1);
    sprite.step();
    sprite.step();
    ASSERT_EQ(sprite.currentFrame(), 1);
    sprite.draw(20, 30, 1);
    expectRectangleAt(20, 30, SHEET_B, Y1);
}

TEST_F(SpriteDrawTest, SheetIndexOutsideTheSheetsDrawsNothing) {
    CameraAt camera(0, 0);
    Sprite sprite = makeSprite(text(0, 0), 2, 1);
    sprite.draw(20, 30, 2);
    sprite.draw(20, 30, -1);
    sprite.draw(20, 30, INT32_MAX);
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 20, 30), BLACK);
}

// --- Key names ------------------------------------------------------------

TEST_F(SpriteDrawTest, SheetTenIsReadFromSpritesheet10) {
    CameraAt camera(0, 0);
    std::string sheets = "[Spritesheets]\namount=11\n";
    for (int i = 0; i < 10; ++i) {
        sheets += "spritesheet" + std::to_string(i) + "=sheet_a.bmp\n";
    }
    sheets += "spritesheet10=sheet_b.bmp\n";
    Sprite sprite = makeSprite(sheets + "[Sprites]\namount=1\nwidth=8\nheight=8\n"
                                        "[Animations]\namount=1\n[Animation0]\nnFrames=1\n",
                               11, 1);
    sprite.draw(10, 10, 10);
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 10, 10), sheetPixel(SHEET_B, 0, 0));
}

TEST_F(SpriteDrawTest, AnimationTwelveIsASection) {
    CameraAt camera(0, 0);
    std::string text = "[Spritesheets]\namount=1\nspritesheet0=sheet_a.bmp\n"
                       "[Sprites]\namount=2\nwidth=8\nheight=8\nsprite0YPos=0\nsprite1YPos=40\n"
                       "[Animations]\namount=13\n";
    for (int a = 0; a < 13; ++a) {
        text += "[Animation" + std::to_string(a) + "]\nnFrames=1\n";
    }
    text += "frame0SpriteIndex=1\n"; // belongs to the last section, Animation12
    Sprite sprite = makeSprite(text, 1, 13);
    sprite.setAnimation(12);
    sprite.draw(10, 10, 0);
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 10, 10), sheetPixel(SHEET_A, 0, 40));
}

// --- Refused data ---------------------------------------------------------

class SpriteDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSheet("tall.bmp", SHEET_A, SHEET_WIDTH, SHEET_HEIGHT);
        writeSheet("short.bmp", SHEET_B, SHEET_WIDTH, SHEET_HEIGHT / 2);
    }

    // Two sheets, the second half as tall as the first, and six 8 by 8
    // rectangles, the last of which ends at the bottom of the short sheet.
    static std::string sheetsAndSprites(const std::string& extraSprites = "") {
        return "[Spritesheets]\namount=2\nspritesheet0=tall.bmp\nspritesheet1=short.bmp\n"
               "[Sprites]\n" +
               extraSprites +
               "amount=6\nwidth=8\nheight=8\nsprite1YPos=4\nsprite2YPos=8\n"
               "sprite3YPos=12\nsprite4YPos=16\nsprite5YPos=24\n";
    }

    static std::string oneAnimation(const std::string& frames) {
        return "[Animations]\namount=1\n[Animation0]\n" + frames;
    }
};

TEST_F(SpriteDataTest, DataAtTheLimitsLoads) {
    // sprite6YPos lies beyond the rectangle count and is never read.
    EXPECT_EQ(refusal(sheetsAndSprites("sprite6YPos=99\n") +
                      oneAnimation("nFrames=2\nframe0SpriteIndex=5\nframe1Duration=0\n")),
              "");
}

// Each refusal names the file, the section and the key: {data, sheets and
// animations required, message after "test.ini: "}.
TEST_F(SpriteDataTest, EveryRefusalNamesSectionAndKey) {
    std::string fourAnimations = sheetsAndSprites() + "[Animations]\namount=4\n";
    for (int a = 0; a < 4; ++a) {
        fourAnimations += "[Animation" + std::to_string(a) + "]\nnFrames=3\n";
    }
    const std::string tall =
        "[Spritesheets]\namount=1\nspritesheet0=tall.bmp\n[Sprites]\namount=1\n";
    struct Case {
        std::string text;
        int sheets;
        int animations;
        std::string message;
    };
    const Case cases[] = {
        // One row per kind of range; the ranged getter's form is tested with it.
        {animationsText({{{0, 1}}, {}}), 0, 0, "[Animation1] nFrames is 0; give 1 to 4096"},
        {fourAnimations + "frame2SpriteIndex=7\n", 0, 0,
         "[Animation3] frame2SpriteIndex is 7; give 0 to 5"},
        {"[Animations]\namount=1\n[Animation0]\nnFrames=1\n", 0, 0,
         "[Animation0] frame0SpriteIndex names a sprite rectangle, but there are none in "
         "[Sprites]"},
        {animationsText({{{0, 1}, {1, -2}}}), 0, 0,
         "[Animation0] frame1Duration is -2; give 0 or more"},
        // Absurd counts are refused before anything is allocated.
        {"[Sprites]\namount=99999999999\n", 0, 0,
         "[Sprites] amount is 99999999999; give 0 to 4096"},
        {"[Sprites]\nwidth=65536\n", 0, 0, "[Sprites] width is 65536; give 0 to 65535"},
        // Fits the tall first sheet but not the short second one.
        {"[Spritesheets]\namount=2\nspritesheet0=tall.bmp\nspritesheet1=short.bmp\n[Sprites]\n"
         "amount=2\nwidth=8\nheight=8\nsprite1YPos=25\n",
         0, 0,
         "[Sprites] sprite1YPos 25 with height 8 reaches below the 32 px of [Spritesheets] "
         "spritesheet1 (short.bmp)"},
        {tall + "width=17\nheight=8\n", 0, 0,
         "[Sprites] width 17 is wider than the 16 px of [Spritesheets] spritesheet0 (tall.bmp)"},
        {tall + "width=8\nheight=8\nsprite0YPos=-1\n", 0, 0,
         "[Sprites] sprite0YPos is -1; give 0 to 32767"},
        {sheetsAndSprites() + oneAnimation("nFrames=1\n"), 2, 9,
         "[Animations] amount is 1; give 9 to 4096"},
        {"", 1, 1, "[Spritesheets] amount is not given; give 1 to 4096"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(refusal(c.text, c.sheets, c.animations), "test.ini: " + c.message);
    }
    std::string message = refusal("[Spritesheets]\namount=2\nspritesheet0=tall.bmp\n");
    EXPECT_EQ(
        message.rfind("test.ini: [Spritesheets] spritesheet1 \"empty\" cannot be loaded (empty", 0),
        0U)
        << message;
}
