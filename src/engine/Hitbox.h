// A view of a holder's collision rectangle: every copy sees the holder's
// current box, so it must not outlive its holder.
#pragma once

#include <SDL.h>

class Hitbox {
public:
    explicit Hitbox(const SDL_Rect* pRect) : m_pRect(pRect) {}

    // Strict overlap: boxes that only share an edge do not collide.
    bool collidesWith(const Hitbox& other) const;
    const SDL_Rect& rect() const { return *m_pRect; }

private:
    const SDL_Rect* m_pRect;
};
