// The window's picture, read back from SDL's own window surface. It needs a
// display: ctest runs it under xvfb-run on a 1024 x 768 screen; on the dummy
// driver it is skipped.
#include "engine/GameEngine.h"
#include "engine/Screen.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

TEST(Display, ThePictureLiesAtTheLargestWholeScaleCentredOnBlack) {
    char driver[32] = "";
    if (std::string(SDL_VideoDriverName(driver, sizeof driver)) == "dummy") {
        GTEST_SKIP() << "needs a display: ctest runs it under xvfb-run";
    }
    constexpr uint32_t COLOUR = 0x2050A0;
    struct Case {
        int resizeWidth, resizeHeight;  // 0: F11 instead
        int width, height, scale, x, y; // the window's, px
    };
    const Case cases[] = {{0, 0, 1024, 768, 3, 128, 24},
                          {0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 1, 0, 0},
                          {1000, 700, 1000, 700, 2, 244, 110}}; // a maximised window
    for (const Case& c : cases) {
        SDL_Event resize{};
        resize.resize = SDL_ResizeEvent{SDL_VIDEORESIZE, c.resizeWidth, c.resizeHeight};
        c.resizeWidth == 0 ? gEngine->toggleFullscreen() : (void)SDL_PushEvent(&resize);
        gEngine->pollEvents();
        // The game's picture: one colour, but black at game pixel (1, 1).
        gEngine->fillScreenRect(SDL_Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, COLOUR);
        gEngine->fillScreenRect(SDL_Rect{1, 1, 1, 1}, 0);
        ASSERT_EQ(gEngine->flip(), 0);
        SDL_Surface* pWindow = SDL_GetVideoSurface();
        ASSERT_EQ(pWindow->w, c.width);
        ASSERT_EQ(pWindow->h, c.height);
        int s = c.scale, right = c.x + SCREEN_WIDTH * s - 1, bottom = c.y + SCREEN_HEIGHT * s - 1;
        const int probes[][3] = {{c.x, c.y, COLOUR},      {c.x + s - 1, c.y + s, COLOUR},
                                 {c.x + s, c.y + s, 0},   {c.x + 2 * s - 1, c.y + 2 * s - 1, 0},
                                 {right, bottom, COLOUR}, {c.x + 2 * s, c.y + 2 * s - 1, COLOUR},
                                 {c.x - 1, c.y, 0},       {right + 1, bottom, 0}};
        for (const auto& [x, y, colour] : probes) {
            if (x >= 0 && x < c.width) {
                EXPECT_EQ(pixelAt(pWindow, x, y), static_cast<uint32_t>(colour))
                    << c.width << "x" << c.height << " at " << x << "," << y;
            }
        }
    }
    // A window larger than the desktop shrinks to the largest scale that fits.
    RunResult run = runProgram(std::string(KCS_BINARY) + " --data " + KCS_DEMO_DATA +
                               " --scale 6 --frames 1 --no-pacing");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "kcs: --scale 6 does not fit the 1024x768 desktop; using 3\n");
}
