#pragma once

#include <cstdint>

#include "pictures/thumbnails/thumbnail_block.h"

// One picture of the list: its number (0 marks an empty record), its own 80 x 60 24-bit
// bottom-up thumbnail block of 14400 bytes (fixed for the life of the window; the pool owns the
// memory), whether it is selected in the strip, and whether the block holds the picture's
// thumbnail yet (a picture listed at start is shown before its thumbnail has been loaded).
struct ThumbnailRecord {
    int nNumber = 0;
    std::uint8_t* pPixels = nullptr;
    bool bSelected = false;
    bool pixelsReady = false;
};

constexpr int kThumbnailCapacity = 10000;
