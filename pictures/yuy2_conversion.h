#pragma once

// The snapshot's colour conversion: a YUY2 camera frame (pairs of pixels as Y0 U Y1 V, rows
// from the top, width x 2 bytes each) into 24-bit blue-green-red pixels, rows of width x 3
// bytes stored bottom-up (the camera's last row first).
//
// Every channel is computed in single precision, in this order and without fused
// multiply-add, so that the bytes are the same on every build:
//     y = 1.164 (Y - 16), u = U - 128, v = V - 128
//     blue = y + 2.018 u, green = y - 0.813 v - 0.391 u, red = y + 1.596 v
// and turned into a byte by: below 0.4 gives 0, above 255 gives 255, otherwise truncation.

#include <cstdint>

enum class Yuy2Kernel {
    Scalar,  // the straightforward loop, the reference for the others
    Ssse3,   // 16 pixels per step with 128-bit vectors
    Avx2,    // 16 pixels per step with 256-bit arithmetic
};

// The byte rule for one computed channel value.
std::uint8_t Yuy2ChannelToByte(float value);

// Converts one pixel pair (4 bytes Y0 U Y1 V) into 6 bytes: blue, green, red of each pixel.
void ConvertYuy2Pair(const std::uint8_t* pair, std::uint8_t* bgr);

// Whether this processor can run the kernel.
bool Yuy2KernelSupported(Yuy2Kernel kernel);

// Converts a frame with the given kernel (which must be supported). `width` must be even.
void ConvertYuy2FrameWith(Yuy2Kernel kernel, const std::uint8_t* yuy2, int width, int height,
                          std::uint8_t* bgr);

// Converts a frame with the fastest supported kernel; all kernels give the same bytes.
void ConvertYuy2Frame(const std::uint8_t* yuy2, int width, int height, std::uint8_t* bgr);
