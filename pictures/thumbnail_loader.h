#pragma once

// Loads the thumbnails of one folder's pictures on worker threads and hands them to the
// user-interface thread. The workers decode each picture into their own working buffer and a
// result of their own: the list's records are never written here, so the user-interface thread
// may move, add and remove records meanwhile and places each result by its picture number.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/picture_loader.h"

class CachedThumbnails;
class TaskPoster;
struct PictureWorkBuffers;

// One picture's thumbnail as a worker made it.
struct LoadedThumbnail {
    int number = 0;
    LoadStatus status = LoadStatus::LoadFailed;
    std::string path;  // the file that was read, for the log
    std::array<std::uint8_t, kThumbBlockBytes> pixels{};
};

class ThumbnailLoader {
public:
    // What each worker calls itself (in /proc, top, debuggers).
    static constexpr const char* kWorkerName = "thumbnails";

    // One worker per loading buffer of `buffers` (which, like `cache`, must outlive the loader).
    // A picture whose file the cache (when given) knows unchanged is not decoded, once the
    // cache has been read (until then every picture is); one decoded joins the cache. Whenever
    // results wait to be taken, `resultsWaiting` runs on the user-interface thread (posted
    // through `tasks`); it never runs once the loader is gone.
    ThumbnailLoader(std::string folder, const PictureWorkBuffers& buffers, CachedThumbnails* cache,
                    TaskPoster& tasks, std::function<void()> resultsWaiting);
    // Stops the workers: each finishes at most the picture it is decoding.
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Asks for the pictures' thumbnails after those already asked for.
    void Load(std::span<const int> numbers);
    // Asks for them before everything else still waiting (the frames the strip shows). A
    // picture already loaded or being loaded is not loaded again.
    void LoadFirst(std::span<const int> numbers);

    // The results that arrived since the last call (user-interface thread).
    std::vector<LoadedThumbnail> TakeResults();
    // Nothing waits to be loaded, is being loaded, or waits to be taken.
    bool Idle() const;

private:
    struct Shared;
    void Work(std::stop_token stop, std::size_t bufferIndex);
    static LoadStatus Load(const Shared& shared, int number, const char* path,
                           std::span<std::uint8_t> buffer, std::uint8_t* pixels);

    std::shared_ptr<Shared> m_shared;
    std::vector<std::jthread> m_workers;
};
