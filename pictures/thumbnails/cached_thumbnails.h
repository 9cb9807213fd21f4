#pragma once

// The thumbnail cache of the window's picture folder while the window lives: read in the
// background by its own thread once it is first needed (never on the window's thread),
// consulted before a picture is decoded, given every thumbnail decoded and every picture taken,
// and saved in the background by the same thread when the start-up scan has finished or
// pictures were taken. Until the cache has been read every lookup misses, so the first pictures
// are decoded at once instead of waiting for a large cache file. Closing the window never waits
// for a save that was only planned; a save under way ends whole (the file is replaced
// atomically).

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "pictures/thumbnails/thumbnail_cache.h"

class CachedThumbnails {
public:
    // What the saving thread calls itself (in /proc, top, debuggers).
    static constexpr const char* kSaverName = "thumbnail-cache";

    // The cache of `picturesFolder` in `cacheFolder`; without a cache folder nothing is kept.
    CachedThumbnails(std::string picturesFolder, std::optional<std::string> cacheFolder);
    ~CachedThumbnails();
    CachedThumbnails(const CachedThumbnails&) = delete;
    CachedThumbnails& operator=(const CachedThumbnails&) = delete;

    // Any thread. What identifies picture file `name` now; nothing without a cache (or when the
    // file cannot be examined). Taken before a picture is decoded, so that a file changed
    // meanwhile is never kept under its new identity with its old thumbnail.
    std::optional<PictureFileKey> KeyOf(const std::string& name) const;
    // Any thread: copies the thumbnail kept for exactly this file into `pixels` (14400 bytes).
    // Never waits for the cache to be read: false until it has been (the first call has it
    // read).
    bool Find(const PictureFileKey& key, std::uint8_t* pixels);
    // Any thread: keeps a thumbnail just decoded from the file (held aside until the cache has
    // been read).
    void Insert(const PictureFileKey& key, const std::uint8_t* pixels);

    // User-interface thread: the cache is saved in the background now (the start-up scan has
    // finished).
    void Save();
    // User-interface thread: a picture was taken; it joins the cache (decoded from its file, as
    // a later load gives it) in the background, and the cache is saved a little later, once
    // pictures have stopped coming.
    void AddTaken(const std::string& name);

    // Waits until the cache has been read and no save is planned or under way, planned ones
    // done at once (tests).
    void Flush();

private:
    struct Decoded {
        PictureFileKey key;
        std::vector<std::uint8_t> pixels;
    };

    bool IsRead();
    bool StartThread();
    void ReadCache(std::stop_token stop);
    void PlanSave(bool soon);
    void SaveLoop(std::stop_token stop);
    void AddTakenPictures(const std::vector<std::string>& names);
    void SaveCache();

    const std::string m_picturesFolder;
    const std::optional<std::string> m_cacheFile;

    std::mutex m_readMutex;  // guards m_read and m_early
    std::condition_variable m_readDone;
    bool m_read = false;           // m_cache holds the cache read from its file
    std::vector<Decoded> m_early;  // inserted before that, to join it then

    std::shared_mutex m_cacheMutex;  // guards m_cache: shared to find, exclusive to change
    std::optional<ThumbnailCache> m_cache;

    std::mutex m_planMutex;  // guards the plan below, and the start of m_saver
    std::condition_variable_any m_planChanged;
    std::vector<std::string> m_taken;  // pictures taken, not yet in the cache
    bool m_savePlanned = false;
    bool m_saveAtOnce = false;  // no waiting for more pictures
    bool m_saving = false;
    std::jthread m_saver;  // reads, then saves; last: it stops before the rest goes
};
