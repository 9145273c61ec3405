// An owned SDL surface that frees itself through the engine.
#pragma once

#include <SDL.h>
#include <memory>

struct SurfaceDeleter {
    void operator()(SDL_Surface* pSurface) const;
};

using Surface = std::unique_ptr<SDL_Surface, SurfaceDeleter>;
