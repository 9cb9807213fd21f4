#pragma once

// The thumbnails of one picture folder kept between runs, so that a start decodes only the
// pictures that are new or have changed. Each entry holds the 80 x 60 thumbnail block exactly
// as loading the picture gives it, under the picture's file name, size, modification time (in
// nanoseconds) and inode: a picture whose file differs in any of these is a miss.
//
// The cache of a folder is one file in the cache folder, named after a hash of the picture
// folder's path, which its header also holds. It is replaced whole and atomically (a temporary
// file in the same folder, flushed, then renamed over it), so a reader sees the old file or the
// new one. A file that is missing, too large, truncated, damaged (it ends with a checksum of
// everything before it), of another version or of another folder is not trusted: the cache
// starts empty and the next save rebuilds it. Nothing here is ever fatal.
//
// Use: Load once at start; Find per picture before decoding it, Insert what was decoded and
// each picture taken; Save (off the window thread, on a copy or a moved cache) when the list
// has settled. A cache is not shared between threads.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/pictures_folder.h"

// What identifies a picture file's content without reading it.
struct PictureFileKey {
    std::string name;  // within the picture folder, at most 255 bytes
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    bool operator==(const PictureFileKey&) const = default;
};

// The key of the file `name` in `folder` as it is now; nothing when it is not a regular file
// that can be examined.
std::optional<PictureFileKey> PictureFileKeyOf(const std::string& folder, const std::string& name);

// The folder for the caches: $XDG_CACHE_HOME/lumisight-webcam when that variable is an
// absolute path, else $HOME/.cache/lumisight-webcam. Nothing when there is no home to use, or
// when that folder would lie inside the picture folder (which holds pictures only).
std::optional<std::string> ThumbnailCacheFolder(const EnvironmentLookup& getenv,
                                                const std::string& picturesFolder);

// The cache file of `picturesFolder` within `cacheFolder`.
std::string ThumbnailCacheFile(const std::string& cacheFolder, const std::string& picturesFolder);

class ThumbnailCache {
public:
    // How the cache came to be: a new, empty one; read from its file; or empty because its
    // file could not be trusted.
    enum class Origin { New, Read, Rejected };

    static constexpr int kMaxEntries = 10000;

    explicit ThumbnailCache(std::string picturesFolder);

    // The cache of `picturesFolder` kept in `cacheFile`. Reads at most the size that 10000
    // entries take; never fails.
    static ThumbnailCache Load(const std::string& cacheFile, const std::string& picturesFolder);

    Origin GetOrigin() const { return m_origin; }
    std::size_t Size() const { return m_index.size(); }
    const std::string& PicturesFolder() const { return m_picturesFolder; }

    // The 14400 thumbnail bytes kept for exactly this file, or null. The bytes belong to the
    // cache: valid until it is changed, moved or destroyed.
    const std::uint8_t* Find(const PictureFileKey& key) const;

    // Keeps `pixels` (14400 bytes) for the file, replacing what was kept under its name. Past
    // kMaxEntries pictures, new names are not kept. False when nothing was kept.
    bool Insert(const PictureFileKey& key, const std::uint8_t* pixels);

    // Writes the cache to `cacheFile` (creating its folder), leaving out every entry whose
    // picture has gone or changed since it was kept. False when the file could not be
    // written, in which case the previous file is left as it was.
    bool Save(const std::string& cacheFile) const;

private:
    struct Entry;

    std::string m_picturesFolder;
    Origin m_origin = Origin::New;
    std::vector<std::uint8_t> m_entries;                   // fixed-size entries, as in the file
    std::unordered_map<std::string, std::size_t> m_index;  // name -> entry number

    std::uint8_t* EntryAt(std::size_t number);
    const std::uint8_t* EntryAt(std::size_t number) const;
};
