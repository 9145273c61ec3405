// A screen of the game: the stage-select menu or the level.
#pragma once

#include <string>

class GameState {
public:
    virtual ~GameState() = default;
    virtual void draw() = 0;
    virtual void update() = 0;
    // Appends this screen's trace fields ("screen" first) to a JSON object
    // being written, without braces and without a leading comma.
    virtual void appendTrace(std::string& out) const = 0;
};
