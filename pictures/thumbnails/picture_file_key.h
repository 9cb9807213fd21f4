#pragma once

// What identifies a picture file's content without reading it: its name, size, modification
// time (in nanoseconds) and inode. A file that differs in any of these is taken for another.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

struct PictureFileKey {
    std::string name;  // within the picture folder, at most 255 bytes
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const PictureFileKey&) const = default;
};

// A name a key can carry: not empty, at most 255 bytes, no "/" or NUL, not "." or "..".
bool UsablePictureName(const std::string& name);

// The key of the file `name` in `folder` as it is now; nothing when it is not a regular file
// that can be examined, or its name is not usable.
std::optional<PictureFileKey> PictureFileKeyOf(const std::string& folder, const std::string& name);

// The key of a file named `name` from what stat() said of it; nothing unless a regular file.
std::optional<PictureFileKey> PictureFileKeyOfStat(const std::string& name,
                                                   const struct stat& info);

std::int64_t ModifiedNs(const struct stat& info);
