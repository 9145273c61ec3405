// The player's shots and drawing, read back from real pixels: the three-slot
// limit, the shooting pose's sheets, blinking while invincible and the
// diagnostic readout's digits.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

using testing_support::cellOfColour;
using testing_support::pixelAt;

constexpr uint32_t BLACK = 0x000000;
constexpr int MINUS_CELL = 13;

class KalvornDraw : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        load(flatScreen());
        arrive();
    }

    void tapShoot() {
        press(SDLK_b);
        step();
        release(SDLK_b);
    }

    // A fresh frame with only the player drawn on it.
    void drawFrame() {
        gEngine->clearScreen();
        m_pPlayer->draw();
    }

    // The screen pixel at the middle of the player's 16 x 16 picture.
    uint32_t playerPixel() const {
        std::string camera = text("camera");
        int cameraX = std::stoi(camera.substr(1));
        int cameraY = std::stoi(camera.substr(camera.find(',') + 1));
        int x = static_cast<int>(num("x") / PX) + SPRITE_X_OFFSET + SPRITE_SIZE / 2 - cameraX;
        int y = static_cast<int>(num("y") / PX) + SPRITE_Y_OFFSET + SPRITE_SIZE / 2 - cameraY;
        return pixelAt(gEngine->getScreen(), x, y);
    }

    // The glyph cells of one readout number: sign cell and digits.
    static std::vector<int> cells(int x, int y, int count) {
        std::vector<int> found;
        for (int i = 0; i < count; ++i) {
            int cellX = x + i * testing_support::TEST_GLYPH_SIZE + 1;
            found.push_back(cellOfColour(pixelAt(gEngine->getScreen(), cellX, y + 1)));
        }
        return found;
    }
};

TEST_F(KalvornDraw, AFourthShotIsRefusedButAHeldDirectionStillTurnsThePlayer) {
    tapShoot();
    EXPECT_EQ(text("shots"), "[[140,192,\"RIGHT\",true],[0,0,\"NONE\",false],"
                             "[0,0,\"NONE\",false]]")
        << "from x + 8 and y - 4, moved once before it is drawn";
    step();
    tapShoot();
    step();
    tapShoot();
    ASSERT_EQ(num("shotTime"), 1);
    press(SDLK_LEFT);
    press(SDLK_b);
    step();
    std::string t = trace();
    EXPECT_EQ(fields(t, {"facing", "shooting"}), "LEFT true");
    EXPECT_EQ(number(t, "shotTime"), 2) << "not restarted by a refused shot";
    EXPECT_EQ(field(t, "shots"), "[[160,192,\"RIGHT\",true],[152,192,\"RIGHT\",true],"
                                 "[144,192,\"RIGHT\",true]]");
}

TEST_F(KalvornDraw, TheShootingPoseLastsItsCountOfFramesOnTheFacingsSheet) {
    drawFrame();
    EXPECT_EQ(playerPixel(), SHEET_COLOURS[0]);
    press(SDLK_b);
    for (int frame = 1; frame <= 8; ++frame) {
        step();
        drawFrame();
        ASSERT_EQ(playerPixel(), SHEET_COLOURS[2]) << "frame " << frame;
    }
    EXPECT_EQ(text("shots"), "[[168,192,\"RIGHT\",true],[0,0,\"NONE\",false],"
                             "[0,0,\"NONE\",false]]")
        << "held b fires once";
    step();
    drawFrame();
    EXPECT_EQ(playerPixel(), SHEET_COLOURS[0]);
    // The shot itself, 4 px further on each update.
    EXPECT_EQ(pixelAt(gEngine->getScreen(), 136 + 4 * 9, 192), SHOT_COLOUR);

    release(SDLK_b);
    step();
    press(SDLK_LEFT);
    press(SDLK_b);
    step();
    drawFrame();
    EXPECT_EQ(playerPixel(), SHEET_COLOURS[3]);
    release(SDLK_LEFT);
    release(SDLK_b);
    step(8);
    drawFrame();
    EXPECT_EQ(playerPixel(), SHEET_COLOURS[1]);
}

TEST_F(KalvornDraw, ShootingZeroNeverShowsThePose) {
    load(flatScreen(), {{0, 0, 256}}, {{"Durations", "shooting", "0"}});
    arrive();
    tapShoot();
    std::string t = trace();
    EXPECT_EQ(field(t, "shooting"), "false");
    const std::string firstShot = "[[140,192,\"RIGHT\",true],";
    EXPECT_EQ(field(t, "shots").substr(0, firstShot.size()), firstShot);
    drawFrame();
    EXPECT_EQ(playerPixel(), SHEET_COLOURS[0]);
}

TEST_F(KalvornDraw, InvincibilityBlinksTwoFramesHiddenTwoShown) {
    load(flatScreen(), {{0, 0, 256}}, {{"Durations", "invincible", "6"}});
    arrive();
    m_pPlayer->takeHit();
    ASSERT_EQ(num("invincible"), 6);
    drawFrame();
    EXPECT_EQ(playerPixel(), BLACK) << "count 6";
    // The recoil has turned the player: shown frames use the left sheet.
    const uint32_t expected[] = {BLACK, SHEET_COLOURS[1], SHEET_COLOURS[1], BLACK,
                                 BLACK, SHEET_COLOURS[1], SHEET_COLOURS[1]};
    for (int count = 5; count >= -1; --count) {
        step();
        drawFrame();
        ASSERT_EQ(num("invincible"), count < 0 ? 0 : count);
        EXPECT_EQ(playerPixel(), expected[5 - count]) << "count " << count;
    }
}

TEST_F(KalvornDraw, TheReadoutShowsPositionSpeedsAndLadderFlags) {
    std::vector<std::string> rows = flatScreen();
    rows[13][8] = 'H'; // a ladder top under the start point: belowNext
    load(rows);
    arrive();
    step();
    ASSERT_EQ(num("ySpeed"), -64);
    drawFrame();
    const int none = -1;
    EXPECT_EQ(cells(8, 8, 4), (std::vector<int>{none, 1, 2, 8})) << "x 128";
    EXPECT_EQ(cells(40, 8, 4), (std::vector<int>{none, 0, 0, 0}));
    EXPECT_EQ(cells(8, 16, 4), (std::vector<int>{none, 1, 9, 6})) << "y 196";
    EXPECT_EQ(cells(40, 16, 4), (std::vector<int>{none, 0, 0, 0}));
    EXPECT_EQ(cells(16, 24, 3), (std::vector<int>{none, 0, 0})) << "x speed 0";
    EXPECT_EQ(cells(40, 24, 4), (std::vector<int>{none, 0, 0, 0}));
    // -64 / 256: whole part -1, low byte 192.
    EXPECT_EQ(cells(16, 32, 3), (std::vector<int>{MINUS_CELL, 0, 1})) << "y speed";
    EXPECT_EQ(cells(40, 32, 4), (std::vector<int>{none, 1, 9, 2}));
    EXPECT_EQ(cells(16, 48, 3), (std::vector<int>{none, 0, 1})) << "ladder flags";
}

} // namespace
} // namespace player_test
