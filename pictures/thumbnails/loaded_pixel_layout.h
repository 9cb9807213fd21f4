#pragma once

// How the image library's JPEG loader lays out a decoded pixel, for each kind of JPEG: the
// bytes per pixel of the loaded picture and the bytes themselves, computed from the pixel's
// component samples as libjpeg delivers them before any colour conversion. Colour pictures
// come out as blue, green, red; CMYK pictures are converted to those three bytes by the
// loader's own rule (each of C, M, Y scaled by K / 255) rather than kept with four.

#include <cstdint>

enum class LoadedPixelKind {
    Grey,         // one component, kept as it is
    TwoChannels,  // two components of no known colour space, kept as they are
    YCbCr,        // three components converted to blue, green, red
    Rgb,          // three components that already are red, green, blue
    Cmyk,         // four components, converted to blue, green, red
    Ycck,         // four components: YCbCr and K, converted like CMYK
};

// 1, 2 or 3.
int LoadedBytesPerPixel(LoadedPixelKind kind);

// Writes the LoadedBytesPerPixel(kind) bytes of a pixel whose components are `samples`.
void LayOutLoadedPixel(LoadedPixelKind kind, const std::uint8_t* samples, std::uint8_t* pixel);
