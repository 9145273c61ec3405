// The contact test between two holders' boxes.
#include "engine/Hitbox.h"

#include "engine/GameEngine.h"

bool Hitbox::collidesWith(const Hitbox& other) const {
    SDL_Rect otherRect = *other.m_pRect;
    return GameEngine::intersects(*m_pRect, otherRect);
}
