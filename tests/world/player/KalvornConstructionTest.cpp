// The player built from its character file on real levels: start point,
// box, camera bounds, the ladder probe before any update, the teleport
// arrival, respawn, and refused files.
#include "world/player/PlayerWorld.h"

#include "engine/DataError.h"

namespace player_test {
namespace {

using KalvornConstruction = PlayerTest;

TEST_F(KalvornConstruction, StartsAtFirstBoundaryWithBoxFromOffsets) {
    load(flatScreen(), {{0, 0, 256}},
         {{"BoundingBox", "width", "16"}, {"BoundingBox", "height", "24"}});
    // fromParts(128, 0) and (4 + 248/256) px: the fraction does not move the box.
    EXPECT_EQ(
        texts({"x", "y", "ySpeed", "state", "mode", "response", "facing", "box", "animation"}),
        "32768 1272 0 Teleporting TELEPORTING STOP RIGHT [120,-8,16,24] 7");
    EXPECT_EQ(text("camera").substr(text("camera").find(',')), ",0]");
    EXPECT_EQ(text("shots"), "[[0,0,\"NONE\",false],[0,0,\"NONE\",false],[0,0,\"NONE\",false]]");
}

TEST_F(KalvornConstruction, LaterFirstBoundarySetsStartCameraTopAndLadderFlags) {
    // Screen (1, 1) holds a ladder column under the start point x 384.
    std::vector<std::string> rows(45, std::string(48, '.'));
    for (size_t row = 15; row < 30; ++row) {
        rows[row][24] = 'H';
    }
    load(rows, {{256, 240, 256}, {0, 0, 768}});
    EXPECT_EQ(num("x"), 384 * PX);
    EXPECT_EQ(num("y"), 244 * PX + 248);
    EXPECT_EQ(num("boundary"), 0);
    EXPECT_EQ(text("camera").substr(text("camera").find(',')), ",240]");
    // Feet (y + 11) and body (y - 4) are on the ladder, the head (y - 12) is
    // not; a speed of 0 counts as rising here, so aboveNext is probed.
    EXPECT_EQ(num("ladder"), 2 + 4);
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
    EXPECT_EQ(texts({"state", "mode", "response", "animation", "box", "ySpeed"}),
              "TeleportLanded IN_AIR LAND 8 [120,168,15,23] -64");
    EXPECT_EQ(num("y"), 180 * PX + 248);
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("y"), 196 * PX);
    EXPECT_EQ(texts({"box", "animation"}), "[120,184,15,23] 0");
}

// The file each refusal blames, and the start of its message ("" to skip).
TEST_F(KalvornConstruction, RefusesFilesItCannotUse) {
    m_pMap = makeMap(flatScreen());
    struct Case {
        std::vector<Change> changes;
        std::string blamed;
        std::string message;
    };
    const Case cases[] = {
        {{{"Durations", "scrolling", "0"}}, "bad.ini", "bad.ini: [Durations] scrolling"},
        {{{"Durations", "scrolling", "-3"}}, "bad.ini", ""},
        // Without "spritesheet" the default name "empty" is tried, which no
        // data folder holds; a named sheet that is missing is named itself.
        {{{"Bullet", "spritesheet", "empty"}},
         "bad.ini",
         "bad.ini: [Bullet] spritesheet is not given, and the default \"empty\" cannot be "
         "loaded (empty"},
        {{{"Bullet", "spritesheet", "lost.bmp"}}, "lost.bmp", ""},
        // An empty name has no file to blame but the character's (a fuzz find).
        {{{"Bullet", "spritesheet", ""}}, "bad.ini", "bad.ini: [Bullet] spritesheet is empty"},
    };
    for (const Case& c : cases) {
        writeCharacter("bad.ini", c.changes);
        if (c.changes[0].value == "empty") {
            std::string text = testing_support::readFile("bad.ini");
            text.replace(text.find("spritesheet=empty"), 17, "");
            testing_support::writeFile("bad.ini", text);
        }
        try {
            Kalvorn player("bad.ini", m_pMap.get());
            ADD_FAILURE() << "accepted " << c.changes[0].key << "=" << c.changes[0].value;
        } catch (const DataError& error) {
            EXPECT_EQ(error.file(), c.blamed);
            EXPECT_EQ(std::string(error.what()).rfind(c.message, 0), 0u) << error.what();
        }
    }
    EXPECT_THROW(Kalvorn("no-such-character.ini", m_pMap.get()), DataError);
    writeCharacter("onescroll.ini", {{"Durations", "scrolling", "1"}});
    EXPECT_NO_THROW(Kalvorn("onescroll.ini", m_pMap.get()));
}

} // namespace
} // namespace player_test
