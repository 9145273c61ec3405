// Menu captions are drawn anew every frame with the game's font.
#include "screens/menu/MenuItem.h"

#include "engine/GameEngine.h"
#include "graphics/Font.h"

void MenuItem::draw() const {
    gEngine->getFont().drawText(m_caption, m_x, m_y);
}
