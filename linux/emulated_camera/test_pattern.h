#pragma once

// The emulated camera's moving test pattern, drawn into a YUYV picture: the eight classic colour
// bars, moving sideways by 4 pixels a frame, and a grey block moving down by 3 rows a frame. A
// pure function of the picture's layout, the frame number and the settings that shape the
// picture.

#include <cstdint>

// What the pattern depends on besides the frame number.
struct PatternSettings {
    int brightness = 128;  // 0..255, 128 neutral: added to the luma
    int contrast = 128;    // 0..255, 128 neutral: scales the luma around its middle
    bool mirrored = false;
};

// Draws the pattern of one frame into a width x height YUYV picture whose rows are stride bytes
// apart; bytes between a row's last pixel and the next row are left as they are. False, with
// nothing drawn, when the layout is not a YUYV picture (no pixels, an odd width, or rows that
// overlap).
bool DrawTestPattern(std::uint8_t* yuyv, int width, int height, int stride, std::uint64_t frame,
                     const PatternSettings& settings);
