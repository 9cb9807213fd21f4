#pragma once

// Client-area rectangles and points with the desktop rules the window logic relies on:
// right and bottom edges are exclusive, a point is inside when left <= x < right and
// top <= y < bottom, and a rectangle is empty when right <= left or bottom <= top.

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

bool PtInRect(const Rect& rect, Point point);
bool IsRectEmpty(const Rect& rect);
void SetRectEmpty(Rect* rect);
void CopyRect(Rect* destination, const Rect& source);
// Moves the left and right edges out by dx and the top and bottom edges out by dy (in for
// negatives).
void InflateRect(Rect* rect, int dx, int dy);
// The overlap of a and b; an empty (all zero) rectangle and false when they do not overlap.
bool IntersectRect(Rect* destination, const Rect& a, const Rect& b);
// The smallest rectangle holding a and b; empty operands are ignored. False when both are empty.
bool UnionRect(Rect* destination, const Rect& a, const Rect& b);
