// Configured values far outside what a designer would use must not crash the
// game or reach undefined behaviour: every sum wraps as the game defines it.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

using KalvornExtremes = PlayerTest;

TEST_F(KalvornExtremes, HugeSpeedsOffsetsAndDurationsKeepRunning) {
    const std::string huge = "2147483647";
    const std::string hugeNegative = "-2147483648";
    std::vector<Change> changes;
    for (const char* key :
         {"accelerating", "decelerating", "jumpAccelerating", "jumping", "reeling", "running"}) {
        changes.push_back({"XSpeed", std::string(key) + "Int", huge});
        changes.push_back({"XSpeed", std::string(key) + "Fraction", huge});
    }
    for (const char* key :
         {"climbingDown", "climbingUp", "collision", "falling", "gravity", "jumping",
          "jumpReleased", "jumpReleasedMax", "min", "scrolling", "reeling"}) {
        changes.push_back({"YSpeed", std::string(key) + "Int", hugeNegative});
        changes.push_back({"YSpeed", std::string(key) + "Fraction", "-1"});
    }
    for (const char* key : {"heightHalf", "xOffset", "yOffset", "width", "height"}) {
        changes.push_back({"BoundingBox", key, huge});
    }
    for (const char* key : {"xOffsetLeft", "xOffsetRight", "yOffset"}) {
        changes.push_back({"Bullet", key, hugeNegative});
    }
    changes.push_back({"Durations", "invincible", hugeNegative});
    changes.push_back({"Durations", "shooting", hugeNegative});
    std::vector<std::string> rows = flatScreen();
    rows[10][8] = rows[11][8] = rows[12][8] = 'H';
    load(rows, {{0, 0, 256}}, changes);

    const SDLKey keys[] = {SDLK_RIGHT, SDLK_SPACE, SDLK_UP, SDLK_b, SDLK_LEFT, SDLK_DOWN};
    for (int i = 0; i < 600; ++i) {
        SDLKey key = keys[static_cast<size_t>(i / 7) % std::size(keys)];
        press(key);
        step();
        m_pPlayer->takeHit();
        release(key);
        step();
        gEngine->clearScreen();
        m_pPlayer->draw();
        if (m_pPlayer->hasFallenOut()) {
            m_pPlayer->respawn();
        }
    }
    EXPECT_FALSE(trace().empty());
}

} // namespace
} // namespace player_test
