#include "pictures/thumbnails/thumbnail_sampling.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "pictures/thumbnails/thumbnail_block.h"

namespace {

constexpr std::size_t kSampleBytes = 3;

// The stride steps of a loaded picture (every (w / 80)th pixel of every (h / 60)th row, counting
// a row as width x bytes per pixel), when all of its reads lie inside the copy.
std::optional<CaptureGeometry> StrideSteps(const PictureCopyLayout& layout) {
    if (layout.width < kThumbWidth || layout.height < kThumbHeight || layout.bytesPerPixel < 1) {
        return std::nullopt;
    }
    const std::size_t bytesPerPixel = static_cast<std::size_t>(layout.bytesPerPixel);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * bytesPerPixel;
    CaptureGeometry steps;
    steps.columnStep = static_cast<std::size_t>(layout.width / kThumbWidth) * bytesPerPixel;
    steps.rowSkip = static_cast<std::size_t>(layout.height / kThumbHeight - 1) * rowBytes;
    const std::size_t outputRow = kThumbWidth * steps.columnStep + steps.rowSkip;
    const std::size_t lastRead =
        (kThumbHeight - 1) * outputRow + (kThumbWidth - 1) * steps.columnStep + kSampleBytes;
    if (lastRead > layout.Bytes()) {
        return std::nullopt;  // a greyscale picture whose last three-byte read would overrun
    }
    return steps;
}

// The offsets of the stepped rule: three consecutive bytes at every step.
void StrideOffsets(const CaptureGeometry& steps, std::span<std::uint32_t> offsets) {
    std::size_t source = 0;
    std::size_t out = 0;
    for (int r = 0; r < kThumbHeight; ++r) {
        for (int c = 0; c < kThumbWidth; ++c) {
            for (std::size_t i = 0; i < kSampleBytes; ++i) {
                offsets[out++] = static_cast<std::uint32_t>(source + i);
            }
            source += steps.columnStep;
        }
        source += steps.rowSkip;
    }
}

// Three bytes from the pixel at (c x w / 80, r x h / 60), never past its row's last pixel byte.
void InsidePictureOffsets(const PictureCopyLayout& layout, std::span<std::uint32_t> offsets) {
    const std::size_t bytesPerPixel = static_cast<std::size_t>(layout.bytesPerPixel);
    const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * bytesPerPixel;
    std::size_t out = 0;
    for (int r = 0; r < kThumbHeight; ++r) {
        const std::size_t y = static_cast<std::size_t>(r) * layout.height / kThumbHeight;
        const std::size_t row = y * static_cast<std::size_t>(layout.pitch);
        for (int c = 0; c < kThumbWidth; ++c) {
            const std::size_t x = static_cast<std::size_t>(c) * layout.width / kThumbWidth;
            for (std::size_t i = 0; i < kSampleBytes; ++i) {
                offsets[out++] =
                    static_cast<std::uint32_t>(row + std::min(x * bytesPerPixel + i, rowBytes - 1));
            }
        }
    }
}

}  // namespace

std::optional<CaptureGeometry> CaptureGeometryFor(int resolution) {
    switch (resolution) {
        case 0:
            return CaptureGeometry{320, 240, 12, 2880};
        case 1:
            return CaptureGeometry{640, 480, 24, 13440};
        case 2:
            return CaptureGeometry{1280, 1024, 48, 57600};
        default:
            return std::nullopt;
    }
}

void SampleThumbnail(const std::uint8_t* source, std::size_t columnStep, std::size_t rowSkip,
                     std::uint8_t* thumbnail) {
    for (int r = 0; r < kThumbHeight; ++r) {
        for (int c = 0; c < kThumbWidth; ++c) {
            std::memcpy(thumbnail, source, kSampleBytes);
            thumbnail += kSampleBytes;
            source += columnStep;
        }
        source += rowSkip;
    }
}

void SampleLoadedThumbnail(const std::uint8_t* copy, const PictureCopyLayout& layout,
                           std::uint8_t* thumbnail) {
    if (layout.width < 1 || layout.height < 1 || layout.bytesPerPixel < 1) {
        std::memset(thumbnail, 0, kThumbBlockBytes);
        return;
    }
    std::array<std::uint32_t, kThumbBlockBytes> offsets;
    LoadedSampleOffsets(layout, offsets);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        thumbnail[i] = copy[offsets[i]];
    }
}

void LoadedSampleOffsets(const PictureCopyLayout& layout, std::span<std::uint32_t> offsets) {
    if (const auto steps = StrideSteps(layout)) {
        StrideOffsets(*steps, offsets);
    } else {
        InsidePictureOffsets(layout, offsets);
    }
}
