// One entry of the stage-select menu: a caption at a fixed screen position
// and the name a confirmed choice hands on.
#pragma once

#include <string>

class MenuItem {
public:
    MenuItem() = default;
    MenuItem(const std::string& caption, const std::string& value, int x, int y)
        : m_x(x), m_y(y), m_caption(caption), m_value(value) {}

    void draw() const;
    std::string getValue() const { return m_value; }
    int getX() const { return m_x; }
    int getY() const { return m_y; }

private:
    int m_x = 0; // screen px of the caption's left edge
    int m_y = 0; // screen px of the caption's top edge
    std::string m_caption;
    std::string m_value;
};
