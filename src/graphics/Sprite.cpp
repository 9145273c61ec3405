// Sprite loading with its data checks, loop and ping-pong stepping, drawing.
#include "graphics/Sprite.h"

#include "config/IniDictionary.h"
#include "engine/DataError.h"
#include "engine/DataFiles.h"
#include "engine/GameEngine.h"

#include <cstdint>
#include <limits>

namespace {

// No character needs more sheets, rectangles, animations or frames than this;
// a larger count is a broken file, refused before anything is allocated for it.
constexpr int32_t MAX_COUNT = 4096;
constexpr int32_t MAX_RECT_SIZE = std::numeric_limits<Uint16>::max(); // px, SDL_Rect w and h
constexpr int32_t MAX_RECT_Y = std::numeric_limits<Sint16>::max();    // px, SDL_Rect y

const std::string SHEETS_SECTION = "Spritesheets";
const std::string SPRITES_SECTION = "Sprites";
const std::string ANIMATIONS_SECTION = "Animations";
const std::string AMOUNT_KEY = "amount";

std::string numbered(const std::string& prefix, int32_t index, const std::string& suffix = "") {
    return prefix + std::to_string(index) + suffix;
}

std::string where(const std::string& section, const std::string& key) {
    return "[" + section + "] " + key;
}

// A count that sizes an array: never negative and never absurdly large.
int32_t readCount(const IniDictionary& dictionary, const std::string& key,
                  const std::string& section, int32_t required = 0) {
    return dictionary.getInt(key, section, 0, required, MAX_COUNT);
}

} // namespace

Sprite::Sprite(const IniDictionary& dictionary, const std::string& fileName, int requiredSheets,
               int requiredAnimations) {
    // Sheets come first so that every rectangle can be checked against them.
    loadSheets(dictionary, fileName, requiredSheets);
    loadRectangles(dictionary, fileName);
    loadAnimations(dictionary, fileName, requiredAnimations);
}

void Sprite::loadSheets(const IniDictionary& dictionary, const std::string& fileName,
                        int requiredSheets) {
    m_sheetCount = readCount(dictionary, AMOUNT_KEY, SHEETS_SECTION, requiredSheets);
    m_pSheets.reserve(static_cast<size_t>(m_sheetCount));
    for (int32_t i = 0; i < m_sheetCount; ++i) {
        std::string key = numbered("spritesheet", i);
        std::string sheetName = dictionary.getString(key, SHEETS_SECTION, MISSING_FILE_NAME);
        try {
            m_pSheets.push_back(gEngine->loadBitmap(sheetName));
        } catch (const DataError& error) {
            // The bitmap's own message names the image; this one also says
            // which file and key asked for it.
            throw DataError(fileName, where(SHEETS_SECTION, key) + " \"" + excerpt(sheetName) +
                                          "\" cannot be loaded (" + error.what() + ")");
        }
    }
}

void Sprite::loadRectangles(const IniDictionary& dictionary, const std::string& fileName) {
    int32_t count = readCount(dictionary, AMOUNT_KEY, SPRITES_SECTION);
    // Width and height of every rectangle: SDL_Rect's unsigned 16-bit fields.
    int32_t width = dictionary.getInt("width", SPRITES_SECTION, 0, 0, MAX_RECT_SIZE);
    int32_t height = dictionary.getInt("height", SPRITES_SECTION, 0, 0, MAX_RECT_SIZE);
    m_xOffset = dictionary.getInt("xOffset", SPRITES_SECTION, 0);
    m_yOffset = dictionary.getInt("yOffset", SPRITES_SECTION, 0);
    // The sheet by its key and its file, since the image is what is too small.
    auto sheet = [&](int32_t s) {
        std::string key = numbered("spritesheet", s);
        return where(SHEETS_SECTION, key) + " (" +
               excerpt(dictionary.getString(key, SHEETS_SECTION, MISSING_FILE_NAME)) + ")";
    };

    for (int32_t s = 0; s < m_sheetCount; ++s) {
        const SDL_Surface* pSheet = m_pSheets[static_cast<size_t>(s)].get();
        if (count > 0 && width > pSheet->w) {
            throw DataError(fileName, where(SPRITES_SECTION, "width") + " " +
                                          std::to_string(width) + " is wider than the " +
                                          std::to_string(pSheet->w) + " px of " + sheet(s));
        }
    }

    m_pSprites.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        std::string key = numbered("sprite", i, "YPos");
        int32_t y = dictionary.getInt(key, SPRITES_SECTION, 0, 0, MAX_RECT_Y);
        for (int32_t s = 0; s < m_sheetCount; ++s) {
            const SDL_Surface* pSheet = m_pSheets[static_cast<size_t>(s)].get();
            if (y + height > pSheet->h) {
                throw DataError(fileName, where(SPRITES_SECTION, key) + " " + std::to_string(y) +
                                              " with height " + std::to_string(height) +
                                              " reaches below the " + std::to_string(pSheet->h) +
                                              " px of " + sheet(s));
            }
        }
        m_pSprites.push_back(SDL_Rect{0, static_cast<Sint16>(y), static_cast<Uint16>(width),
                                      static_cast<Uint16>(height)});
    }
}

void Sprite::loadAnimations(const IniDictionary& dictionary, const std::string& fileName,
                            int requiredAnimations) {
    m_animationCount = readCount(dictionary, AMOUNT_KEY, ANIMATIONS_SECTION, requiredAnimations);
    const int32_t rectangleCount = static_cast<int32_t>(m_pSprites.size());
    m_pAnimations.resize(static_cast<size_t>(m_animationCount));
    for (int32_t a = 0; a < m_animationCount; ++a) {
        const std::string section = numbered("Animation", a);
        Animation& animation = m_pAnimations[static_cast<size_t>(a)];
        // An animation needs at least one frame.
        animation.nFrames = readCount(dictionary, "nFrames", section, 1);
        animation.frames.resize(static_cast<size_t>(animation.nFrames));
        for (int32_t f = 0; f < animation.nFrames; ++f) {
            Frame& frame = animation.frames[static_cast<size_t>(f)];
            const std::string indexKey = numbered("frame", f, "SpriteIndex");
            const std::string durationKey = numbered("frame", f, "Duration");
            if (rectangleCount == 0) {
                throw DataError(fileName, where(section, indexKey) +
                                              " names a sprite rectangle, but there are none in [" +
                                              SPRITES_SECTION + "]");
            }
            frame.spriteIndex = dictionary.getInt(indexKey, section, 0, 0, rectangleCount - 1);
            frame.duration =
                dictionary.getInt(durationKey, section, 0, 0, std::numeric_limits<int32_t>::max());
        }
    }
}

const Sprite::Animation* Sprite::currentAnimationData() const {
    // Only a sprite loaded with no animations at all has no valid current one:
    // setAnimation never accepts a number outside them.
    if (m_currentAnimation < 0 || m_currentAnimation >= m_animationCount) {
        return nullptr;
    }
    return &m_pAnimations[static_cast<size_t>(m_currentAnimation)];
}

void Sprite::setAnimation(int32_t number) {
    if (number == m_currentAnimation) {
        return;
    }
    // A number outside the animations is ignored: the current animation,
    // frame, counter and mode stay, so stepping and drawing remain in bounds.
    if (number < 0 || number >= m_animationCount) {
        return;
    }
    m_currentAnimation = number;
    m_stepMode = &Sprite::stepLoop;
    m_currentFrame = 0;
    m_frameTicks = 0;
    m_wrapped = false;
}

void Sprite::setPingPong() {
    m_stepMode = &Sprite::stepPingPong;
}

void Sprite::step() {
    (this->*m_stepMode)();
}

void Sprite::resetFrameTime() {
    m_frameTicks = 0;
}

namespace {

// A frame of duration 0 reached by advancing is held, and its counter keeps
// counting; the wrap after 2^32 steps is made explicit rather than undefined.
int32_t nextTick(int32_t ticks) {
    return static_cast<int32_t>(static_cast<uint32_t>(ticks) + 1U);
}

} // namespace

void Sprite::stepLoop() {
    const Animation* pAnimation = currentAnimationData();
    if (pAnimation == nullptr) {
        return;
    }
    if (pAnimation->frames[static_cast<size_t>(m_currentFrame)].duration == m_frameTicks) {
        ++m_currentFrame;
        m_frameTicks = 0;
        if (m_currentFrame == pAnimation->nFrames) {
            m_currentFrame = 0;
            m_wrapped = true;
        }
    }
    m_frameTicks = nextTick(m_frameTicks);
}

void Sprite::stepPingPong() {
    const Animation* pAnimation = currentAnimationData();
    if (pAnimation == nullptr) {
        return;
    }
    if (pAnimation->frames[static_cast<size_t>(m_currentFrame)].duration == m_frameTicks) {
        m_frameTicks = 0;
        if (m_direction == 1 && m_currentFrame == pAnimation->nFrames - 1) {
            m_direction = -1;
        } else if (m_direction == -1 && m_currentFrame == 0) {
            m_direction = 1;
        } else {
            m_currentFrame += m_direction;
        }
    }
    m_frameTicks = nextTick(m_frameTicks);
}

void Sprite::draw(int32_t x, int32_t y, int32_t sheet) {
    const Animation* pAnimation = currentAnimationData();
    if (pAnimation == nullptr || sheet < 0 || sheet >= m_sheetCount) {
        return;
    }
    // Loading guarantees every frame's index is within the rectangles.
    const Frame& frame = pAnimation->frames[static_cast<size_t>(m_currentFrame)];
    SDL_Rect source = m_pSprites[static_cast<size_t>(frame.spriteIndex)];
    // World positions are 16-bit in SDL_Rect; the sum is formed in 64 bits and
    // wraps to 16 bits as the engine's own coordinates do.
    const auto worldX = static_cast<Sint16>(static_cast<int64_t>(x) + m_xOffset);
    const auto worldY = static_cast<Sint16>(static_cast<int64_t>(y) + m_yOffset);
    gEngine->blitToWorld(worldX, worldY, m_pSheets[static_cast<size_t>(sheet)].get(), &source);
}
