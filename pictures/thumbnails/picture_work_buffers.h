#pragma once

// The working buffers of the snapshot and of thumbnail loading, reserved once with the window
// and reused, so that no heap memory is allocated per snapshot or per loaded picture.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pictures/thumbnails/mapped_region.h"

// The largest accepted picture: bytes per pixel x width x height may not exceed this.
constexpr std::int64_t kMaxPictureBytes = 3932161;
// The snapshot's converted frame, 24 bits per pixel at the largest capture size.
constexpr std::size_t kSnapshotBufferBytes = 1280 * 1024 * 3;
// A loaded picture is copied with its rows padded to a multiple of 4 bytes, so its copy can be
// larger than the size test counts: an 8-bit picture one pixel wide and 3932161 rows high passes
// the test and takes 4 bytes per row.
constexpr std::size_t kLoaderBufferBytes = 4 * static_cast<std::size_t>(kMaxPictureBytes);

struct PictureWorkBuffers {
    MappedRegion snapshot;
    // One per scanning thread; the first also serves single loads on the user-interface thread.
    std::vector<MappedRegion> loaders;

    std::span<std::uint8_t> Snapshot() const { return {snapshot.Data(), snapshot.Size()}; }
    std::span<std::uint8_t> Loader(std::size_t index) const {
        return {loaders[index].Data(), loaders[index].Size()};
    }
};

// Reserves the snapshot buffer and one loading buffer per processor core (at least one), or
// null when the system refuses. Call once when the window starts.
std::unique_ptr<PictureWorkBuffers> AllocatePictureWorkBuffers();
// The same with a chosen number of loading buffers (at least one).
std::unique_ptr<PictureWorkBuffers> AllocatePictureWorkBuffers(unsigned loaderCount);
