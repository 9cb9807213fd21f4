#include "pictures/thumbnails/picture_file_key.h"

bool UsablePictureName(const std::string& name) {
    return !name.empty() && name.size() <= 255 &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos && name != "." &&
           name != "..";
}

std::optional<PictureFileKey> PictureFileKeyOf(const std::string& folder, const std::string& name) {
    struct stat info {};
    if (!UsablePictureName(name) || stat((folder + "/" + name).c_str(), &info) != 0) {
        return std::nullopt;
    }
    return PictureFileKeyOfStat(name, info);
}

std::optional<PictureFileKey> PictureFileKeyOfStat(const std::string& name,
                                                   const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return PictureFileKey{name, static_cast<std::uint64_t>(info.st_size), ModifiedNs(info),
                          static_cast<std::uint64_t>(info.st_ino)};
}

std::int64_t ModifiedNs(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}
