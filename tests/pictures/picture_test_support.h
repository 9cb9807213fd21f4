#pragma once

// Helpers of the picture tests: a working directory for the log, and JPEG
// files made with the image library.

#include <FreeImage.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/diagnostic_log.h"
#include "support/temp_dir.h"

namespace picture_test {

// Runs the test inside its own folder with the log on, so "Message" and "FileList.txt" land
// there and never in the checkout.
class LoggingInScratch {
public:
    explicit LoggingInScratch(bool logging = true) : m_wasEnabled(g_bLogEnabled) {
        g_bLogEnabled = logging;
    }
    ~LoggingInScratch() { g_bLogEnabled = m_wasEnabled; }

    std::string Read(const std::string& name) const { return ReadWholeFile(m_folder / name); }
    std::string Log() const { return Read("Message"); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(m_folder / name); }

private:
    TempDir m_folder;
    CurrentDirectoryGuard m_cwd{m_folder.Path()};
    bool m_wasEnabled = false;
};

struct Bgr {
    std::uint8_t b = 0, g = 0, r = 0;
};

using PixelAt = std::function<Bgr(int x, int y)>;  // y counts from the top row

struct ImageDeleter {
    void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using Image = std::unique_ptr<FIBITMAP, ImageDeleter>;

// A 24-bit image (or 8-bit greyscale, taking the blue byte) with the given pixels.
inline Image MakeImage(int width, int height, const PixelAt& pixel, unsigned bpp = 24) {
    Image image(FreeImage_Allocate(width, height, bpp));
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(image.get());
        for (int i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    for (int y = 0; y < height; ++y) {
        // The library's scan line 0 is the bottom row.
        BYTE* line = FreeImage_GetScanLine(image.get(), height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const Bgr p = pixel(x, y);
            if (bpp == 8) {
                line[x] = p.b;
            } else {
                line[3 * x + FI_RGBA_BLUE] = p.b;
                line[3 * x + FI_RGBA_GREEN] = p.g;
                line[3 * x + FI_RGBA_RED] = p.r;
            }
        }
    }
    return image;
}

inline bool WriteJpeg(const std::string& path, int width, int height, const PixelAt& pixel,
                      unsigned bpp = 24, int flags = JPEG_QUALITYSUPERB) {
    const Image image = MakeImage(width, height, pixel, bpp);
    return FreeImage_Save(FIF_JPEG, image.get(), path.c_str(), flags);
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline Bgr Solid(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return Bgr{b, g, r};
}

inline bool Near(int a, int b, int tolerance) {
    return a - b <= tolerance && b - a <= tolerance;
}

}  // namespace picture_test
