// The enemy's construction from "enemy.ini", its animation and its contact.
#include "world/enemy/Enemy.h"

#include "config/IniDictionary.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"
#include "graphics/Sprite.h"
#include "world/player/Kalvorn.h"

namespace {

// The enemy steps and draws animation 0 on sheet 0 and nothing else.
constexpr int REQUIRED_SHEETS = 1;
constexpr int REQUIRED_ANIMATIONS = 1;
constexpr int32_t DRAWN_SHEET = 0;

} // namespace

Enemy::Enemy() {
    // The dictionary is needed only while the sprite is built.
    IniDictionary dictionary(gEngine->files(), ENEMY_FILE);
    m_pSprite =
        std::make_unique<Sprite>(dictionary, ENEMY_FILE, REQUIRED_SHEETS, REQUIRED_ANIMATIONS);
}

// Defined here, where Sprite is complete, for the unique_ptr's deleter.
Enemy::~Enemy() = default;

void Enemy::update() {
    m_pSprite->step();
}

void Enemy::draw() {
    m_pSprite->draw(m_box.x, m_box.y, DRAWN_SHEET);
}

void Enemy::touch(Kalvorn& player) {
    player.takeHit();
}
