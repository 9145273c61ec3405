// The floor under the engine's frame cost: a recorded session's blits, fills
// and presents made again with raw SDL calls and nothing else.
#pragma once

#include "BlitScript.h"

#include <SDL.h>
#include <string>
#include <vector>

struct FloorTimes {
    std::vector<double> drawMs;  // per frame: its fills and blits, ms
    std::vector<double> frameMs; // per frame: the same and the present, ms
};

class BlitFloor {
public:
    // Starts SDL on its dummy driver and loads or creates every surface of the
    // script as the engine does (the BMP file, the key colour; created ones in
    // the screen's format, filled with the key colour). Throws
    // std::runtime_error when SDL or a file fails.
    explicit BlitFloor(const BlitScript& script);
    ~BlitFloor();
    BlitFloor(const BlitFloor&) = delete;
    BlitFloor& operator=(const BlitFloor&) = delete;

    FloorTimes run();
    // Loaded bitmaps whose pixel format differs from the screen's; every blit
    // from one of them would convert pixels.
    std::vector<std::string> formatMismatches() const;
    std::string screenFormat() const;

private:
    void release();

    const BlitScript& m_script;
    std::vector<SDL_Surface*> m_surfaces; // [0] is the screen, owned by SDL
};
