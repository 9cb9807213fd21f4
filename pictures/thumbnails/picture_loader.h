#pragma once

// Loading a picture file's thumbnail. The result is the thumbnail that sampling the image
// library's copy of the picture gives (bottom row first, the row order in which snapshots are
// stored, so the loaded thumbnail stands the same way as the one made at capture), but the
// picture is decoded by libjpeg directly, with a bounded cost: see jpeg_thumbnail_decoder.h.

#include <cstdint>
#include <span>

enum class LoadStatus {
    Loaded,
    LoadFailed,  // missing, unreadable, damaged, not a JPEG, or past the decoder's bounds
    TooLarge,    // more than 1280 x 1024 x 3 bytes of pixels
};

// Fills the 14400-byte `thumbnail` from the picture at `path`, using `buffer` as working memory
// for the decoding. Thread-safe as long as every thread has its own buffer. The thumbnail is
// only written when the result is Loaded. libjpeg allocates its decoding state (at most
// kMaxJpegDecoderBytes); only regular files of at most kMaxPictureFileBytes are read.
LoadStatus LoadPictureThumbnail(const char* path, std::span<std::uint8_t> buffer,
                                std::uint8_t* thumbnail);

// Writes the log entry for a failed load of `path`.
void LogLoadFailure(LoadStatus status, const char* path);
