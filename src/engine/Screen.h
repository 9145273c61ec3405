// The screen's size: the window, the camera, a map's screens, the readout and
// the benchmark's bare drawing all measure by it, so it is written once here.
#pragma once

inline constexpr int SCREEN_WIDTH = 256;                   // px
inline constexpr int SCREEN_HEIGHT = 240;                  // px
inline constexpr int HALF_SCREEN_WIDTH = SCREEN_WIDTH / 2; // px
