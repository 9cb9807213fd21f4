#pragma once

// A thumbnail: 80 x 60 pixels of 3 bytes (blue, green, red), rows of 240 bytes without
// padding, the bottom row first: 14400 bytes.

constexpr int kThumbWidth = 80;
constexpr int kThumbHeight = 60;
constexpr int kThumbRowBytes = kThumbWidth * 3;
constexpr int kThumbBlockBytes = kThumbRowBytes * kThumbHeight;  // 14400
