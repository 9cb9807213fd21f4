#pragma once

// Process-wide state of the capture graph building.

// True until the first format request for 1280 x 1024 has been answered. While it is true, a
// camera that accepts 1280 x 1024 is switched to 640 x 480 right after: the first start only
// finds out whether the high resolution is available.
extern bool g_bProbeHighRes;

// The frame size of a resolution index (0 = 320 x 240, 1 = 640 x 480, 2 = 1280 x 1024);
// false for any other index.
bool ResolutionSize(int resolution, int* width, int* height);
