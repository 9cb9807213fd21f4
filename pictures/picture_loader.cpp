#include "pictures/picture_loader.h"

#include <cstdio>

#include "pictures/image_handle.h"
#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_sampling.h"
#include "platform/diagnostic_log.h"

namespace {

PictureCopyLayout LayoutOf(FIBITMAP* image) {
    return PictureCopyLayout{
        static_cast<int>(FreeImage_GetWidth(image)), static_cast<int>(FreeImage_GetHeight(image)),
        static_cast<int>(FreeImage_GetPitch(image)), static_cast<int>(FreeImage_GetBPP(image) / 8)};
}

// The size limit counts bytes per pixel x width x height; the copy needs pitch x height, which
// the buffer is sized for, but a picture it would not hold is refused the same way.
bool TooLarge(const PictureCopyLayout& layout, std::size_t bufferBytes) {
    const std::int64_t pixelBytes = static_cast<std::int64_t>(layout.bytesPerPixel) *
                                    layout.height * static_cast<std::int64_t>(layout.width);
    return pixelBytes > kMaxPictureBytes || layout.Bytes() > bufferBytes;
}

}  // namespace

LoadStatus LoadPictureThumbnail(const char* path, std::span<std::uint8_t> buffer,
                                std::uint8_t* thumbnail) {
    ImagePtr image(FreeImage_Load(FIF_JPEG, path, JPEG_DEFAULT));
    if (!image) {
        return LoadStatus::LoadFailed;
    }
    const PictureCopyLayout layout = LayoutOf(image.get());
    if (layout.bytesPerPixel < 1) {
        return LoadStatus::LoadFailed;  // no byte-sized pixels to sample
    }
    if (TooLarge(layout, buffer.size())) {
        return LoadStatus::TooLarge;
    }
    // Bottom row first: the order of the capture's working buffer and of the thumbnail block.
    FreeImage_ConvertToRawBits(buffer.data(), image.get(), layout.pitch,
                               FreeImage_GetBPP(image.get()), 0, 0, 0, FALSE);
    image.reset();
    SampleLoadedThumbnail(buffer.data(), layout, thumbnail);
    return LoadStatus::Loaded;
}

void LogLoadFailure(LoadStatus status, const char* path) {
    if (status == LoadStatus::TooLarge) {
        WriteLog("Image size over 1280x1024");
    } else if (status == LoadStatus::LoadFailed) {
        char message[4200];
        std::snprintf(message, sizeof message, "ReadInSmallPic \n%s\n error, load jpeg failure",
                      path);
        WriteLog(message);
    }
}
