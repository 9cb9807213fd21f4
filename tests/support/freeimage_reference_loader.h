#pragma once

// The thumbnail loader the program had before it decoded pictures with libjpeg directly: the
// image library decodes the whole picture, it is copied bottom row first and the copy is
// sampled. The tests and benchmarks compare the bounded decoder with it. Its copy is made into
// a fresh, zeroed buffer, so the row padding the sampling may read is zero (in the program it
// was whatever the reused working buffer last held).

#include <FreeImage.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_sampling.h"

namespace freeimage_reference {

struct Unloader {
    void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};

inline LoadStatus LoadThumbnail(const char* path, std::uint8_t* thumbnail) {
    const std::unique_ptr<FIBITMAP, Unloader> image(FreeImage_Load(FIF_JPEG, path, JPEG_DEFAULT));
    if (!image) {
        return LoadStatus::LoadFailed;
    }
    const PictureCopyLayout layout{static_cast<int>(FreeImage_GetWidth(image.get())),
                                   static_cast<int>(FreeImage_GetHeight(image.get())),
                                   static_cast<int>(FreeImage_GetPitch(image.get())),
                                   static_cast<int>(FreeImage_GetBPP(image.get()) / 8)};
    if (layout.bytesPerPixel < 1) {
        return LoadStatus::LoadFailed;
    }
    const std::int64_t pixelBytes = std::int64_t{layout.bytesPerPixel} * layout.height *
                                    static_cast<std::int64_t>(layout.width);
    if (pixelBytes > kMaxPictureBytes || layout.Bytes() > kLoaderBufferBytes) {
        return LoadStatus::TooLarge;
    }
    std::vector<std::uint8_t> copy(layout.Bytes(), 0);
    FreeImage_ConvertToRawBits(copy.data(), image.get(), layout.pitch,
                               FreeImage_GetBPP(image.get()), 0, 0, 0, FALSE);
    SampleLoadedThumbnail(copy.data(), layout, thumbnail);
    return LoadStatus::Loaded;
}

}  // namespace freeimage_reference
