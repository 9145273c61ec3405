// The camera's horizontal follow rule and the strict overlap test.
#include "engine/GameEngine.h"

#include <gtest/gtest.h>

TEST(Camera, FollowsTheTargetCentreWithinTheBoundsPreferringTheLowerLimit) {
    SDL_Rect saved = gEngine->getCamera();
    gEngine->setBounds(SDL_Rect{512, 480, 768, 240});
    // Centred at bounds.x + 100: left of the lower limit.
    gEngine->followTarget(SDL_Rect{512 + 92, 500, 16, 24});
    EXPECT_EQ(gEngine->getCamera().x, 512);
    // Far right: the upper limit.
    gEngine->followTarget(SDL_Rect{2000, 500, 16, 24});
    EXPECT_EQ(gEngine->getCamera().x, 512 + 768 - 256);
    // In between: centre - 128, the halving rounding down (15 / 2 = 7).
    gEngine->followTarget(SDL_Rect{800, 500, 15, 24});
    EXPECT_EQ(gEngine->getCamera().x, 800 + 7 - 128);
    EXPECT_EQ(gEngine->getCamera().y, 480);

    // Bounds narrower than the screen: the lower limit wins.
    gEngine->setBounds(SDL_Rect{0, 0, 128, 240});
    gEngine->followTarget(SDL_Rect{200, 0, 16, 16});
    EXPECT_EQ(gEngine->getCamera().x, 128 - 256);

    // Moves wrap in 16 bits.
    gEngine->setBounds(SDL_Rect{0, 32760, 256, 240});
    gEngine->moveCamera(0, 10);
    EXPECT_EQ(gEngine->getCamera().y, -32766);

    // Back to the first screen's bounds, as the other tests expect.
    gEngine->setBounds(SDL_Rect{0, saved.y, 256, 240});
    gEngine->moveCamera(saved.x - gEngine->getCamera().x, 0);
}

TEST(Intersects, SharedEdgesDoNotCollide) {
    SDL_Rect a{100, 100, 16, 16};
    EXPECT_FALSE(GameEngine::intersects(a, SDL_Rect{116, 100, 16, 16}));
    EXPECT_TRUE(GameEngine::intersects(a, SDL_Rect{115, 100, 16, 16}));
    EXPECT_FALSE(GameEngine::intersects(a, SDL_Rect{100, 84, 16, 16}));
    EXPECT_TRUE(GameEngine::intersects(a, SDL_Rect{100, 85, 16, 16}));
    EXPECT_FALSE(GameEngine::intersects(a, SDL_Rect{100, 100, 0, 0}));
}
