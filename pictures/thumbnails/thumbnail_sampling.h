#pragma once

// Making an 80 x 60 thumbnail by sampling a 24-bit picture held in memory: output pixel c of
// output row r is the three bytes at r x (80 x columnStep + rowSkip) + c x columnStep, taken as
// blue, green, red. The thumbnail is filled front to back, 240 bytes per row.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// A capture resolution: its frame size and its sampling steps over the converted frame.
struct CaptureGeometry {
    int width = 0;
    int height = 0;
    std::size_t columnStep = 0;  // bytes
    std::size_t rowSkip = 0;     // bytes, after each output row
    std::size_t FrameBytes() const { return static_cast<std::size_t>(width) * height * 2; }
    std::size_t ConvertedBytes() const { return static_cast<std::size_t>(width) * height * 3; }
};

// The geometry of m_nResolution 0 (320 x 240), 1 (640 x 480) or 2 (1280 x 1024); nothing for
// any other value.
std::optional<CaptureGeometry> CaptureGeometryFor(int resolution);

// Samples the thumbnail with fixed steps; every read must lie inside `source`.
void SampleThumbnail(const std::uint8_t* source, std::size_t columnStep, std::size_t rowSkip,
                     std::uint8_t* thumbnail);

// A picture copied out of the image library: rows `pitch` bytes apart.
struct PictureCopyLayout {
    int width = 0;
    int height = 0;
    int pitch = 0;
    int bytesPerPixel = 0;
    std::size_t Bytes() const { return static_cast<std::size_t>(pitch) * height; }
};

// Samples a loaded picture. Pictures of at least 80 x 60 use the steps w / 80 pixels and
// h / 60 rows, counting a row as width x bytes-per-pixel. Smaller pictures, and any whose
// last read would pass the end of the copy, are sampled at pixel (c x w / 80, r x h / 60)
// instead, so that every read stays inside the picture.
void SampleLoadedThumbnail(const std::uint8_t* copy, const PictureCopyLayout& layout,
                           std::uint8_t* thumbnail);

// The same rule as offsets: offsets[i] is the byte of the copy that SampleLoadedThumbnail
// takes as thumbnail byte i. Every offset lies inside the copy (below layout.Bytes(), which
// must be under 4 GiB). For a picture of at least one pixel of at least one byte.
void LoadedSampleOffsets(const PictureCopyLayout& layout, std::span<std::uint32_t> offsets);
