#include "platform/geometry.h"

#include <algorithm>

bool PtInRect(const Rect& rect, Point point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
           point.y < rect.bottom;
}

bool IsRectEmpty(const Rect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

void SetRectEmpty(Rect* rect) {
    *rect = Rect{};
}

void CopyRect(Rect* destination, const Rect& source) {
    *destination = source;
}

void InflateRect(Rect* rect, int dx, int dy) {
    rect->left -= dx;
    rect->right += dx;
    rect->top -= dy;
    rect->bottom += dy;
}

bool IntersectRect(Rect* destination, const Rect& a, const Rect& b) {
    Rect overlap{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (IsRectEmpty(overlap)) {
        SetRectEmpty(destination);
        return false;
    }
    *destination = overlap;
    return true;
}

bool UnionRect(Rect* destination, const Rect& a, const Rect& b) {
    const bool aEmpty = IsRectEmpty(a);
    const bool bEmpty = IsRectEmpty(b);
    if (aEmpty && bEmpty) {
        SetRectEmpty(destination);
        return false;
    }
    if (aEmpty) {
        *destination = b;
    } else if (bEmpty) {
        *destination = a;
    } else {
        *destination = Rect{std::min(a.left, b.left), std::min(a.top, b.top),
                            std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
    }
    return true;
}
