// Bare SDL repeating the engine's drawing, for the engine/floor ratio.
#include "BlitFloor.h"

#include "engine/GameEngine.h"
#include "engine/Screen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string describe(const SDL_PixelFormat* pFormat) {
    char text[96];
    std::snprintf(text, sizeof text, "%d-bit R %08X G %08X B %08X", pFormat->BitsPerPixel,
                  pFormat->Rmask, pFormat->Gmask, pFormat->Bmask);
    return text;
}

} // namespace

BlitFloor::BlitFloor(const BlitScript& script) : m_script(script) {
    // As the game runs headless: the dummy driver, its window not scaled.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL12COMPAT_WINDOW_SCALING", "1", 1);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        throw std::runtime_error(std::string("floor: cannot start SDL: ") + SDL_GetError());
    }
    SDL_Surface* pScreen = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0);
    if (pScreen == nullptr) {
        SDL_Quit();
        throw std::runtime_error(std::string("floor: no video mode: ") + SDL_GetError());
    }
    m_surfaces.push_back(pScreen);
    for (size_t i = 1; i < script.surfaces.size(); ++i) {
        const BlitScript::SurfaceSource& source = script.surfaces[i];
        SDL_Surface* pSurface = nullptr;
        if (!source.path.empty()) {
            pSurface = SDL_LoadBMP(source.path.c_str());
            if (pSurface != nullptr) {
                SDL_SetColorKey(pSurface, SDL_SRCCOLORKEY,
                                SDL_MapRGB(pSurface->format, GameEngine::KEY_RED,
                                           GameEngine::KEY_GREEN, GameEngine::KEY_BLUE));
            }
        } else {
            const SDL_PixelFormat* pFormat = pScreen->format;
            pSurface = SDL_CreateRGBSurface(pScreen->flags, source.width, source.height,
                                            pFormat->BitsPerPixel, pFormat->Rmask, pFormat->Gmask,
                                            pFormat->Bmask, pFormat->Amask);
            if (pSurface != nullptr) {
                Uint32 key = SDL_MapRGB(pSurface->format, GameEngine::KEY_RED,
                                        GameEngine::KEY_GREEN, GameEngine::KEY_BLUE);
                SDL_FillRect(pSurface, nullptr, key);
                SDL_SetColorKey(pSurface, SDL_SRCCOLORKEY, key);
            }
        }
        if (pSurface == nullptr) {
            std::string reason = SDL_GetError();
            release();
            throw std::runtime_error("floor: cannot make surface " + std::to_string(i) + " (" +
                                     source.path + "): " + reason);
        }
        m_surfaces.push_back(pSurface);
    }
}

BlitFloor::~BlitFloor() {
    release();
}

void BlitFloor::release() {
    for (size_t i = 1; i < m_surfaces.size(); ++i) {
        SDL_FreeSurface(m_surfaces[i]);
    }
    m_surfaces.clear();
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        SDL_Quit();
    }
}

FloorTimes BlitFloor::run() {
    const std::vector<BlitScript::Op>& ops = m_script.ops;
    SDL_Surface* const* surfaces = m_surfaces.data();
    FloorTimes times;
    times.drawMs.reserve(m_script.frameCount());
    times.frameMs.reserve(m_script.frameCount());
    size_t first = m_script.frameCount() > 0 ? m_script.frameStarts[0] : ops.size();
    for (size_t i = 0; i < first; ++i) {
        const BlitScript::Op& op = ops[i];
        if (op.kind == BlitScript::OpKind::BLIT) {
            SDL_Rect source = op.sourceRect;
            SDL_Rect destination{op.x, op.y, 0, 0};
            SDL_UpperBlit(surfaces[op.source], op.wholeSource ? nullptr : &source,
                          surfaces[op.target], &destination);
        }
    }
    for (size_t frame = 0; frame < m_script.frameCount(); ++frame) {
        Clock::time_point start = Clock::now();
        Clock::time_point drawn = start;
        for (size_t i = m_script.frameStarts[frame], end = m_script.frameEnd(frame); i < end; ++i) {
            const BlitScript::Op& op = ops[i];
            switch (op.kind) {
            case BlitScript::OpKind::BLIT: {
                // Copies, as the engine's callers hand SDL rectangles it may clip.
                SDL_Rect source = op.sourceRect;
                SDL_Rect destination{op.x, op.y, 0, 0};
                SDL_UpperBlit(surfaces[op.source], op.wholeSource ? nullptr : &source,
                              surfaces[op.target], &destination);
                break;
            }
            case BlitScript::OpKind::FILL: {
                SDL_Rect rect = op.fillRect; // SDL clips it in place
                SDL_FillRect(surfaces[op.target], op.wholeTarget ? nullptr : &rect, op.colour);
                break;
            }
            case BlitScript::OpKind::FLIP:
                drawn = Clock::now();
                SDL_Flip(surfaces[0]);
                break;
            }
        }
        Clock::time_point end = Clock::now();
        times.drawMs.push_back(millisecondsBetween(start, drawn));
        times.frameMs.push_back(millisecondsBetween(start, end));
    }
    return times;
}

std::vector<std::string> BlitFloor::formatMismatches() const {
    std::vector<std::string> mismatches;
    const SDL_PixelFormat* pScreen = m_surfaces[0]->format;
    for (size_t i = 1; i < m_surfaces.size(); ++i) {
        const SDL_PixelFormat* pFormat = m_surfaces[i]->format;
        if (pFormat->BitsPerPixel != pScreen->BitsPerPixel || pFormat->Rmask != pScreen->Rmask ||
            pFormat->Gmask != pScreen->Gmask || pFormat->Bmask != pScreen->Bmask) {
            mismatches.push_back(m_script.surfaces[i].path + " is " + describe(pFormat));
        }
    }
    return mismatches;
}

std::string BlitFloor::screenFormat() const {
    return describe(m_surfaces[0]->format);
}
