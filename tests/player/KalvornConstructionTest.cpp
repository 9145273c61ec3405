// The player built from its character file on real levels: start point,
// box, camera bounds, the ladder probe before any update, the teleport
// arrival, respawn, and refused files.
#include "player/PlayerWorld.h"

#include "engine/DataError.h"

#include <fstream>
#include <iterator>

namespace player_test {
namespace {

using KalvornConstruction = PlayerTest;

TEST_F(KalvornConstruction, StartsAtFirstBoundaryWithBoxFromOffsets) {
    load(flatScreen(), {{0, 0, 256}},
         {{"BoundingBox", "width", "16"}, {"BoundingBox", "height", "24"}});
    std::string t = trace();
    EXPECT_EQ(number(t, "x"), 32768);
    EXPECT_EQ(number(t, "y"), 1272);
    EXPECT_EQ(number(t, "ySpeed"), 0);
    EXPECT_EQ(field(t, "state"), "Teleporting");
    EXPECT_EQ(field(t, "mode"), "TELEPORTING");
    EXPECT_EQ(field(t, "response"), "STOP");
    EXPECT_EQ(field(t, "facing"), "RIGHT");
    // The fraction 248/256 of y does not move the box.
    EXPECT_EQ(field(t, "box"), "[120,-8,16,24]");
    EXPECT_EQ(field(t, "camera").substr(field(t, "camera").find(',')), ",0]");
    EXPECT_EQ(number(t, "animation"), 7);
    EXPECT_EQ(field(t, "shots"),
              "[[0,0,\"NONE\",false],[0,0,\"NONE\",false],[0,0,\"NONE\",false]]");
}

TEST_F(KalvornConstruction, LaterFirstBoundarySetsStartCameraTopAndLadderFlags) {
    // Screen (1, 1) holds a ladder column under the start point x 384.
    std::vector<std::string> rows(45, std::string(48, '.'));
    for (size_t row = 15; row < 30; ++row) {
        rows[row][24] = 'H';
    }
    load(rows, {{256, 240, 256}, {0, 0, 768}});
    std::string t = trace();
    EXPECT_EQ(number(t, "x"), 384 * PX);
    EXPECT_EQ(number(t, "y"), 244 * PX + 248);
    EXPECT_EQ(number(t, "boundary"), 0);
    EXPECT_EQ(field(t, "camera").substr(field(t, "camera").find(',')), ",240]");
    // Feet (y + 11) and body (y - 4) are on the ladder, the head (y - 12) is
    // not; a speed of 0 counts as rising here, so aboveNext is probed.
    EXPECT_EQ(number(t, "ladder"), 2 + 4);
}

TEST_F(KalvornConstruction, TeleportDescendsLeavingTheBoxBehindThenLandsUnderGravity) {
    load(flatScreen(), {{0, 0, 256}}, {}, 180);
    for (int n = 1; n <= 11; ++n) {
        step();
        ASSERT_EQ(text("state"), "Teleporting");
        EXPECT_EQ(num("y"), (4 + 16 * n) * PX + 248);
        EXPECT_EQ(text("box"), "[120,-8,15,23]");
    }
    step();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "TeleportLanded");
    EXPECT_EQ(field(t, "mode"), "IN_AIR");
    EXPECT_EQ(field(t, "response"), "LAND");
    EXPECT_EQ(number(t, "animation"), 8);
    EXPECT_EQ(number(t, "y"), 180 * PX + 248);
    EXPECT_EQ(field(t, "box"), "[120,168,15,23]");
    EXPECT_EQ(number(t, "ySpeed"), -64);
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("y"), 196 * PX);
    EXPECT_EQ(text("box"), "[120,184,15,23]");
    EXPECT_EQ(num("animation"), 0);
}

TEST_F(KalvornConstruction, RefusesFilesItCannotUse) {
    m_pMap = makeMap(flatScreen());
    writeCharacter("noscroll.ini", {{"Durations", "scrolling", "0"}});
    try {
        Kalvorn player("noscroll.ini", m_pMap.get());
        FAIL() << "a scrolling count of 0 was accepted";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "noscroll.ini");
        EXPECT_NE(std::string(error.what()).find("[Durations] scrolling"), std::string::npos);
    }
    writeCharacter("backscroll.ini", {{"Durations", "scrolling", "-3"}});
    EXPECT_THROW(Kalvorn("backscroll.ini", m_pMap.get()), DataError);
    EXPECT_THROW(Kalvorn("no-such-character.ini", m_pMap.get()), DataError);
    writeCharacter("onescroll.ini", {{"Durations", "scrolling", "1"}});
    EXPECT_NO_THROW(Kalvorn("onescroll.ini", m_pMap.get()));
}

TEST_F(KalvornConstruction, AShotSheetLeftUnnamedIsBlamedOnTheCharacterFile) {
    m_pMap = makeMap(flatScreen());
    // [Bullet] without "spritesheet": the default name "empty" is tried,
    // which no data folder holds.
    writeCharacter("noshot.ini");
    std::ifstream in("noshot.ini", std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    text.replace(text.find("spritesheet=shot.bmp"), std::string("spritesheet").size(), "shotsheet");
    testing_support::writeFile("noshot.ini", text);
    try {
        Kalvorn player("noshot.ini", m_pMap.get());
        FAIL() << "a character without a shot sheet was accepted";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "noshot.ini");
        EXPECT_EQ(std::string(error.what())
                      .rfind("noshot.ini: [Bullet] spritesheet is not given, and the default "
                             "\"empty\" cannot be loaded (empty",
                             0),
                  0u)
            << error.what();
    }
    // A named sheet that is missing still names the sheet.
    writeCharacter("lostshot.ini", {{"Bullet", "spritesheet", "lost.bmp"}});
    try {
        Kalvorn player("lostshot.ini", m_pMap.get());
        FAIL() << "a missing shot sheet was accepted";
    } catch (const DataError& error) {
        EXPECT_EQ(error.file(), "lost.bmp");
    }
}

} // namespace
} // namespace player_test
