#pragma once

// Helpers of the picture tests: scratch folders, a working directory for the log, and JPEG
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

namespace picture_test {

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictures-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs the test inside its own folder with the log on, so "Message" and "FileList.txt" land
// there and never in the checkout.
class LoggingInScratch {
public:
    explicit LoggingInScratch(bool logging = true) : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(m_folder.Path());
        m_wasEnabled = g_bLogEnabled;
        g_bLogEnabled = logging;
    }
    ~LoggingInScratch() {
        g_bLogEnabled = m_wasEnabled;
        std::filesystem::current_path(m_previous);
    }

    std::string Read(const std::string& name) const {
        std::ifstream file(m_folder / name, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string Log() const { return Read("Message"); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(m_folder / name); }

private:
    ScratchFolder m_folder;
    std::filesystem::path m_previous;
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
