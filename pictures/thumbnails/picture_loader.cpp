#include "pictures/thumbnails/picture_loader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#include "pictures/thumbnails/file_descriptor.h"
#include "pictures/thumbnails/jpeg_file_source.h"
#include "pictures/thumbnails/jpeg_thumbnail_decoder.h"
#include "platform/diagnostic_log.h"

namespace {

// The picture's file when it is a regular file within the size bound. Opening does not wait
// for a writer when the name is a pipe, and a device or a folder is never read.
FileDescriptor OpenPictureFile(const char* path) {
    FileDescriptor file(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file || fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxPictureFileBytes) {
        return FileDescriptor();
    }
    return file;
}

}  // namespace

LoadStatus LoadPictureThumbnail(const char* path, std::span<std::uint8_t> buffer,
                                std::uint8_t* thumbnail) {
    const FileDescriptor file = OpenPictureFile(path);
    if (!file) {
        return LoadStatus::LoadFailed;
    }
    return DecodeJpegThumbnail(file.Get(), buffer, thumbnail);
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
