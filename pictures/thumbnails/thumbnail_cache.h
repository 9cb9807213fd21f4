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
// The cache holds no copy of the thumbnails it has in a file. Loading checks the whole file and
// keeps of each entry its key, where its pixels lie and a hash of them; the file stays open, and
// a lookup reads the pixels back and hands them out only when they still hash as they did. A
// file truncated or overwritten in place by someone else therefore gives misses, never wrong
// pixels, and never a fault (it is read, not mapped); one replaced by a rename is still read
// through the open descriptor. Thumbnails inserted are held in memory until a save has written
// them; the cache then reads them back from the file it wrote.
//
// Use: Load once at start; Find per picture before decoding it, Insert what was decoded and
// each picture taken; Save when the list has settled. Find may run on several threads at once;
// everything else needs the cache to itself. A cache shared between threads saves in three
// steps (PlanSave, SavePlan::Write, FinishSave), so that only the first and the last need it,
// and not the slow writing.

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "pictures/thumbnails/file_descriptor.h"
#include "pictures/thumbnails/picture_file_key.h"
#include "platform/pictures_folder.h"

// The folder for the caches: $XDG_CACHE_HOME/lumisight-webcam when that variable is an
// absolute path, else $HOME/.cache/lumisight-webcam. Nothing when there is no home to use, or
// when that folder would lie inside the picture folder (which holds pictures only).
std::optional<std::string> ThumbnailCacheFolder(const EnvironmentLookup& getenv,
                                                const std::string& picturesFolder);

// The cache file of `picturesFolder` within `cacheFolder`.
std::string ThumbnailCacheFile(const std::string& cacheFolder, const std::string& picturesFolder);

namespace cache_file {
class Checksum;
}

class ThumbnailCache {
    struct Entry;
    struct OpenFile;
    struct PixelSlab;

public:
    // How the cache came to be: a new, empty one; read from its file; or empty because its
    // file could not be trusted.
    enum class Origin { New, Read, Rejected };

    static constexpr int kMaxEntries = 10000;

    explicit ThumbnailCache(std::string picturesFolder);
    ~ThumbnailCache();
    ThumbnailCache(ThumbnailCache&&) noexcept;
    ThumbnailCache& operator=(ThumbnailCache&&) noexcept;

    // The cache of `picturesFolder` kept in `cacheFile`. Reads at most the size that 10000
    // entries take, and ends early, with an empty cache, when `stop` is requested; never fails.
    static ThumbnailCache Load(const std::string& cacheFile, const std::string& picturesFolder,
                               std::stop_token stop = {});

    Origin GetOrigin() const { return m_origin; }
    std::size_t Size() const { return m_index.size(); }
    // How many of the entries hold their thumbnail in memory (inserted, not saved yet).
    std::size_t HeldInMemory() const;
    const std::string& PicturesFolder() const { return m_picturesFolder; }

    // Copies the 14400 thumbnail bytes kept for exactly this file into `pixels`. False, with
    // `pixels` untouched, when nothing is kept for it or the kept bytes can no longer be read
    // back as they were kept.
    bool Find(const PictureFileKey& key, std::uint8_t* pixels) const;

    // Keeps `pixels` (14400 bytes) for the file, replacing what was kept under its name. Past
    // kMaxEntries pictures, new names are not kept. False when nothing was kept.
    bool Insert(const PictureFileKey& key, const std::uint8_t* pixels);

    // Writes the cache to `cacheFile` (creating its folder), leaving out every entry whose
    // picture has gone or changed since it was kept, and drops those entries. A file that holds
    // exactly what would be written is left as it is. True when the file holds the cache
    // afterwards; then no thumbnail is held in memory any more. False when the file could not
    // be written, in which case the previous file is left as it was.
    bool Save(const std::string& cacheFile);

    // One save: what the cache holds when it is planned, written without the cache, then
    // handed back to it. The cache may change meanwhile; what changed is not touched by the
    // save's end.
    class SavePlan {
    public:
        ~SavePlan();
        SavePlan(SavePlan&&) noexcept;
        SavePlan& operator=(SavePlan&&) noexcept;

        // Writes the planned entries as Save does. Uses nothing of the cache it came from.
        bool Write(const std::string& cacheFile);

    private:
        friend class ThumbnailCache;
        enum class Fate : std::uint8_t { Unwritten, Written, Dropped };
        enum class Outcome { Written, Unreadable, Failed };

        SavePlan();
        void DropChangedPictures();
        bool FileUnchanged(const std::string& cacheFile) const;
        Outcome WriteFile(const std::string& cacheFile);
        Outcome WriteEntries(int fd, const std::vector<std::size_t>& kept,
                             cache_file::Checksum& sum);

        std::string m_picturesFolder;
        std::vector<Entry> m_entries;  // copies: the keys, and shares of where the pixels are
        std::vector<Fate> m_fates;     // per entry
        std::shared_ptr<const OpenFile> m_file;  // the file the cache reads; the written one after
        bool m_saved = false;                    // the file holds the planned entries
    };

    // The save of what the cache holds now.
    SavePlan PlanSave() const;
    // Takes the outcome of a plan's Write: the entries written are read from the new file from
    // now on (their memory goes when the plan goes), those left out leave the cache.
    void FinishSave(SavePlan& plan);

private:
    std::string m_picturesFolder;
    Origin m_origin = Origin::New;
    std::vector<Entry> m_entries;                          // in the order they were kept
    std::unordered_map<std::string, std::size_t> m_index;  // name -> place in m_entries
    std::shared_ptr<const OpenFile> m_file;                // the file read or last written
    std::shared_ptr<PixelSlab> m_slab;                     // where the next insert goes
    std::size_t m_slabUsed = 0;                            // its blocks written so far
    std::uint64_t m_nextSerial = 1;

    static std::shared_ptr<const OpenFile> ReadHeader(FileDescriptor fd,
                                                      const std::string& picturesFolder,
                                                      cache_file::Checksum& sum);
    bool ReadEntries(const std::shared_ptr<const OpenFile>& file, cache_file::Checksum& sum,
                     std::stop_token stop);
    void Reindex();
};
