#pragma once

// A dialog's template: its caption, its size and its controls in dialog units of the 8-point UI
// font. The window layer converts units to pixels with base units 6 x 13: x * 6 / 4, y * 13 / 8.

enum class LayoutControlKind { Bitmap, Text, BlackFrame };

struct LayoutControl {
    int id;
    LayoutControlKind kind;
    int bitmapId;  // initial picture of a bitmap control, 0 for none
    const char* text;
    int x, y, width, height;  // dialog units
    bool visible;
};

struct DialogLayout {
    const char* caption;
    int width, height;  // dialog units
    const LayoutControl* controls;
    int controlCount;
};

// MulDiv as the desktop defines it: a * b / c, rounded to the nearest integer.
constexpr int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = (c > 0 ? c : -c) / 2;
    return static_cast<int>(((product >= 0) == (c > 0) ? product + half : product - half) / c);
}
constexpr int DialogUnitsToPixelsX(int x) {
    return MulDiv(x, 6, 4);
}
constexpr int DialogUnitsToPixelsY(int y) {
    return MulDiv(y, 13, 8);
}
