// An animated picture: sprite sheets, rectangles cut from them, and
// animations of frames that name a rectangle and a duration, stepped in loop
// or ping-pong mode. Built from the sprite sections of an INI dictionary.
#pragma once

#include "engine/Surface.h"

#include <SDL.h>
#include <string>
#include <vector>

class IniDictionary;

class Sprite {
public:
    // Loads sheets, rectangles and animations. Data the sprite could not
    // step or draw within its arrays is refused with a DataError naming
    // fileName and the section and key. The owner states how many sheets and
    // animations it needs.
    Sprite(const IniDictionary& dictionary, const std::string& fileName, int requiredSheets,
           int requiredAnimations);
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    void setAnimation(int32_t number);
    void setPingPong();
    void step();
    void resetFrameTime();
    // Draws the current frame at a world position (px) from the given sheet.
    void draw(int32_t x, int32_t y, int32_t sheet);

    int32_t currentAnimation() const { return m_currentAnimation; }
    int32_t currentFrame() const { return m_currentFrame; }
    int32_t animationCount() const { return m_animationCount; }
    int32_t sheetCount() const { return m_sheetCount; }
    // The animation set last has gone from its last frame back to its first
    // at least once (in loop mode): an animation played once is over.
    bool hasWrapped() const { return m_wrapped; }

private:
    struct Frame {
        int32_t spriteIndex = 0;
        int32_t duration = 0; // steps
    };
    struct Animation {
        int32_t nFrames = 0;
        std::vector<Frame> frames;
    };

    void loadSheets(const IniDictionary& dictionary, const std::string& fileName,
                    int requiredSheets);
    void loadRectangles(const IniDictionary& dictionary, const std::string& fileName);
    void loadAnimations(const IniDictionary& dictionary, const std::string& fileName,
                        int requiredAnimations);
    // The current animation, or null when the sprite has none to step or draw.
    const Animation* currentAnimationData() const;

    void stepLoop();
    void stepPingPong();

    int32_t m_currentAnimation = 0;
    int32_t m_currentFrame = 0;
    int32_t m_frameTicks = 0; // steps on the current frame
    int32_t m_direction = 1;  // ping-pong direction, +1 or -1
    bool m_wrapped = false;
    int32_t m_animationCount = 0;
    int32_t m_sheetCount = 0;
    int32_t m_xOffset = 0; // px
    int32_t m_yOffset = 0; // px
    std::vector<Animation> m_pAnimations;
    void (Sprite::*m_stepMode)() = &Sprite::stepLoop;
    std::vector<Surface> m_pSheets;
    std::vector<SDL_Rect> m_pSprites;
};
