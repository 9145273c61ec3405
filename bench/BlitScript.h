// The drawing of a whole game session as the engine did it: which surfaces it
// loaded or created and, frame by frame, every blit, fill and present, so
// bare SDL can repeat exactly that work.
#pragma once

#include "engine/GameEngine.h"
#include "program/Game.h"

#include <SDL.h>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct BlitScript {
    // Surface 0 is the screen; the others are loaded from a BMP file (an
    // absolute path) or created empty, in the order the engine made them.
    struct SurfaceSource {
        std::string path; // empty: created
        int width = 0;    // px, created surfaces only
        int height = 0;   // px
    };
    enum class OpKind { BLIT, FILL, FLIP };
    struct Op {
        OpKind kind = OpKind::BLIT;
        int source = 0; // surface index, blits only
        int target = 0; // surface index, blits and fills
        bool wholeSource = true;
        SDL_Rect sourceRect{0, 0, 0, 0};
        Sint16 x = 0; // px, destination on the target
        Sint16 y = 0;
        Uint32 colour = 0;       // fills, in the target's format
        bool wholeTarget = true; // fills
        SDL_Rect fillRect{0, 0, 0, 0};
    };

    std::vector<SurfaceSource> surfaces{SurfaceSource{}};
    std::vector<Op> ops;
    // ops[frameStarts[f]] is the first op of frame f; ops before frame 0 are
    // the start-up's.
    std::vector<size_t> frameStarts;
    // The first frame that loaded or created a surface: where the menu gave
    // way to the level. frameCount() when no frame did.
    size_t firstLoadingFrame = 0;

    size_t frameCount() const { return frameStarts.size(); }
    size_t frameEnd(size_t frame) const {
        return frame + 1 < frameStarts.size() ? frameStarts[frame + 1] : ops.size();
    }
};

// Writes a BlitScript while the real game runs with it hooked into the loop.
class BlitRecorder : public BlitObserver, public FrameObserver {
public:
    const BlitScript& script() const { return m_script; }

    void bitmapLoaded(const SDL_Surface* pSurface, const std::string& path) override;
    void surfaceCreated(const SDL_Surface* pSurface, int width, int height) override;
    void blitted(const SDL_Surface* pSource, const SDL_Rect* pSourceRect,
                 const SDL_Surface* pTarget, Sint16 x, Sint16 y) override;
    void filled(const SDL_Surface* pTarget, const SDL_Rect* pRect, Uint32 colour) override;
    void flipped() override;
    void reached(FramePoint point, int64_t frame) override;

private:
    // Every surface but the screen reaches the engine through loading or
    // creation, so a pointer never announced is the screen's.
    int indexOf(const SDL_Surface* pSurface) const;
    int addSurface(const SDL_Surface* pSurface, BlitScript::SurfaceSource source);

    void noteLoading();

    BlitScript m_script;
    bool m_loadedInFrame = false;
    // A freed surface's address can come back for a new one; the newest wins.
    std::map<const SDL_Surface*, int> m_indices;
};
