// Rectangles in pixels or dialog units, as the window's layout arithmetic needs them.
#pragma once

namespace qzx {

/// Left, top, width and height.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect& a, const Rect& b) {
        return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
    }
    friend bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }
};

}  // namespace qzx
