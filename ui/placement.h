// Screen rectangles and points of the window placement arithmetic, which every build runs
// (the real windows give it their rectangles; the tests give it numbers).
#pragma once

// A rectangle in screen pixels: left and top inside, right and bottom just outside.
struct ScreenRect {
    int left;
    int top;
    int right;
    int bottom;
};

struct ScreenPoint {
    int x;
    int y;
};

inline int RectWidth(const ScreenRect &r) { return r.right - r.left; }
inline int RectHeight(const ScreenRect &r) { return r.bottom - r.top; }
