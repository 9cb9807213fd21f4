#pragma once

// Decoding a JPEG just far enough for its thumbnail, with a bounded cost. libjpeg reads the
// header first, and the size limit is applied before any pixel is decoded; a file with more
// than kMaxJpegScans scans is stopped as a damaged one; libjpeg's memory is capped. The
// picture is decoded without its colour conversion, and only the bytes that the loaded-picture
// sampling rule reads are converted, from the decoded components, into the layout in which the
// image library would have held the picture (see loaded_pixel_layout.h). The thumbnail so has
// the same bytes as one sampled from that library's copy of the picture, bottom row first,
// whose row padding is zero.

#include <cstdint>
#include <span>

#include "pictures/thumbnails/picture_loader.h"

// More scans than a progressive picture needs (they have about ten): each scan may pass over
// the whole picture again, so their number bounds the cost of a picture.
constexpr int kMaxJpegScans = 100;
// libjpeg's memory for one picture: the largest picture within the size limit needs about
// 17 MB (a progressive CMYK picture one pixel wide), an ordinary one a few.
constexpr long kMaxJpegDecoderBytes = 32L * 1024 * 1024;

// Decodes the JPEG read from `fd` (at its start) into the 14400-byte `thumbnail`, which is left
// as it was unless the result is Loaded. `buffer` holds the decoder's working rows; a buffer too
// small for them counts as a picture too large. Any file, however damaged or hostile, costs at
// most the size limit's worth of decoding, kMaxJpegScans passes and kMaxJpegDecoderBytes.
LoadStatus DecodeJpegThumbnail(int fd, std::span<std::uint8_t> buffer, std::uint8_t* thumbnail);
