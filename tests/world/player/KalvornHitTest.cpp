// Hits and the recoil: the pending action, invincibility against repeated
// contacts, the knock-back and its end.
#include "world/player/PlayerWorld.h"

namespace player_test {
namespace {

class KalvornHit : public PlayerTest {
protected:
    void arriveWithInvincible(const std::string& invincible) {
        load(flatScreen(), {{0, 0, 256}}, {{"Durations", "invincible", invincible}});
        arrive();
    }

    // Contacts before each of two consecutive updates, as the level reports
    // them after its own updates.
    void touchTwice() {
        m_pPlayer->takeHit();
        step();
        m_pPlayer->takeHit();
        step();
    }
};

TEST_F(KalvornHit, TheRecoilStartsAtTheNextUpdateAndKnocksThePlayerBack) {
    arriveWithInvincible("20");
    m_pPlayer->takeHit();
    std::string t = trace();
    EXPECT_EQ(field(t, "state"), "Standing") << "nothing moves before the next update";
    EXPECT_EQ(fields(t, {"invincible", "animation"}), "20 6");
    step();
    t = trace();
    EXPECT_EQ(fields(t, {"state", "mode", "response", "facing", "xSpeed"}),
              "Reeling IN_AIR STOP LEFT 160");
    EXPECT_EQ(number(t, "x"), 128 * PX - 160);
    EXPECT_EQ(number(t, "y"), 195 * PX) << "up by the reeling speed of 1";
    EXPECT_EQ(number(t, "invincible"), 19);
    // "reeling" 8: the handler, first run with a state time of 0, ends the
    // recoil when it sees 8, in the ninth update.
    step(7);
    EXPECT_EQ(text("state"), "Reeling");
    step();
    t = trace();
    // The recoil ends standing while still above the floor, so the same
    // update's movement finds space below and starts a fall.
    EXPECT_EQ(fields(t, {"state", "facing", "xSpeed"}), "Airborne RIGHT 0");
    EXPECT_EQ(number(t, "x"), 128 * PX - 8 * 160);
    ASSERT_NE(stepUntil("Standing"), -1);
    EXPECT_EQ(num("y"), 196 * PX);
}

TEST_F(KalvornHit, InvincibleTwoStartsOneRecoilForTwoContacts) {
    arriveWithInvincible("2");
    touchTwice();
    std::string t = trace();
    EXPECT_EQ(fields(t, {"state", "stateTime", "facing", "invincible"}), "Reeling 2 LEFT 0");
}

TEST_F(KalvornHit, InvincibleZeroOrOneRestartsTheRecoilAtEveryContact) {
    for (const char* invincible : {"0", "1"}) {
        arriveWithInvincible(invincible);
        touchTwice();
        std::string t = trace();
        EXPECT_EQ(field(t, "state"), "Reeling") << invincible;
        EXPECT_EQ(number(t, "stateTime"), 1) << invincible;
        EXPECT_EQ(field(t, "facing"), "RIGHT") << "turned by each recoil; " << invincible;
    }
}

TEST_F(KalvornHit, AHitAbandonsTheTeleportDescent) {
    load(flatScreen(), {{0, 0, 256}}, {}, 180);
    step(3);
    m_pPlayer->takeHit();
    step();
    std::string t = trace();
    EXPECT_EQ(fields(t, {"state", "mode"}), "Reeling IN_AIR");
    // The box stayed at the start during the descent; now it follows.
    EXPECT_EQ(field(t, "box"), "[" + std::to_string((128 * PX - 160) / PX - 8) + "," +
                                   std::to_string(number(t, "y") / PX - 12) + ",15,23]");
}

} // namespace
} // namespace player_test
