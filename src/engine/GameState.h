// A screen of the game: the stage-select menu or the level.
#pragma once

class TraceRecord;

class GameState {
public:
    virtual ~GameState() = default;
    virtual void draw() = 0;
    virtual void update() = 0;
    // Adds this screen's members to the frame's trace line, "screen" first.
    virtual void addTraceFields(TraceRecord& record) const = 0;
};
