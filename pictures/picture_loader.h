#pragma once

// Loading a picture file's thumbnail: the JPEG is decoded in full by the image library, copied
// into a working buffer bottom row first (the row order in which snapshots are stored, so the
// loaded thumbnail stands the same way as the one made at capture) and sampled to 80 x 60.

#include <cstdint>
#include <span>

enum class LoadStatus {
    Loaded,
    LoadFailed,  // missing, unreadable, damaged or not a JPEG
    TooLarge,    // more than 1280 x 1024 x 3 bytes of pixels
};

// Fills the 14400-byte `thumbnail` from the picture at `path`, using `buffer` for the copy.
// Thread-safe as long as every thread has its own buffer. Allocates nothing of its own; the
// image library allocates the decoded picture.
LoadStatus LoadPictureThumbnail(const char* path, std::span<std::uint8_t> buffer,
                                std::uint8_t* thumbnail);

// Writes the log entry for a failed load of `path`.
void LogLoadFailure(LoadStatus status, const char* path);
