#include "pictures/thumbnails/loaded_pixel_layout.h"

#include <array>

namespace {

// libjpeg's YCbCr to RGB conversion in 16-bit fixed point, with the same tables and rounding
// as its own converters (plain and SIMD give the same bytes), so that converting a single
// pixel here gives exactly the byte that converting the whole picture there would give.
constexpr int kScaleBits = 16;
constexpr std::int32_t kOneHalf = std::int32_t{1} << (kScaleBits - 1);

constexpr std::int32_t Fix(double x) {
    return static_cast<std::int32_t>(x * (std::int32_t{1} << kScaleBits) + 0.5);
}

struct YccTables {
    std::array<int, 256> crToRed{};
    std::array<int, 256> cbToBlue{};
    std::array<std::int32_t, 256> crToGreen{};
    std::array<std::int32_t, 256> cbToGreen{};
};

constexpr YccTables MakeYccTables() {
    YccTables tables;
    for (int i = 0; i < 256; ++i) {
        const std::int32_t x = i - 128;
        tables.crToRed[i] = static_cast<int>((Fix(1.40200) * x + kOneHalf) >> kScaleBits);
        tables.cbToBlue[i] = static_cast<int>((Fix(1.77200) * x + kOneHalf) >> kScaleBits);
        tables.crToGreen[i] = -Fix(0.71414) * x;
        tables.cbToGreen[i] = -Fix(0.34414) * x + kOneHalf;
    }
    return tables;
}

constexpr YccTables kYcc = MakeYccTables();

constexpr std::uint8_t Clamp(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

struct Rgb {
    int r, g, b;  // before clamping
};

Rgb FromYcc(int y, int cb, int cr) {
    return Rgb{y + kYcc.crToRed[cr],
               y + static_cast<int>((kYcc.cbToGreen[cb] + kYcc.crToGreen[cr]) >> kScaleBits),
               y + kYcc.cbToBlue[cb]};
}

// The loader's CMYK rule: red = K x C / 255, green = K x M / 255, blue = K x Y / 255.
void CmykToBgr(int c, int m, int y, int k, std::uint8_t* pixel) {
    pixel[0] = static_cast<std::uint8_t>(k * y / 255);
    pixel[1] = static_cast<std::uint8_t>(k * m / 255);
    pixel[2] = static_cast<std::uint8_t>(k * c / 255);
}

}  // namespace

int LoadedBytesPerPixel(LoadedPixelKind kind) {
    switch (kind) {
        case LoadedPixelKind::Grey:
            return 1;
        case LoadedPixelKind::TwoChannels:
            return 2;
        default:
            return 3;
    }
}

void LayOutLoadedPixel(LoadedPixelKind kind, const std::uint8_t* samples, std::uint8_t* pixel) {
    switch (kind) {
        case LoadedPixelKind::Grey:
            pixel[0] = samples[0];
            return;
        case LoadedPixelKind::TwoChannels:
            pixel[0] = samples[0];
            pixel[1] = samples[1];
            return;
        case LoadedPixelKind::YCbCr: {
            const Rgb rgb = FromYcc(samples[0], samples[1], samples[2]);
            pixel[0] = Clamp(rgb.b);
            pixel[1] = Clamp(rgb.g);
            pixel[2] = Clamp(rgb.r);
            return;
        }
        case LoadedPixelKind::Rgb:
            pixel[0] = samples[2];
            pixel[1] = samples[1];
            pixel[2] = samples[0];
            return;
        case LoadedPixelKind::Cmyk:
            CmykToBgr(samples[0], samples[1], samples[2], samples[3], pixel);
            return;
        case LoadedPixelKind::Ycck: {
            // libjpeg turns YCCK into CMYK as the complement of the YCbCr conversion.
            const Rgb rgb = FromYcc(samples[0], samples[1], samples[2]);
            CmykToBgr(Clamp(255 - rgb.r), Clamp(255 - rgb.g), Clamp(255 - rgb.b), samples[3],
                      pixel);
            return;
        }
    }
}
