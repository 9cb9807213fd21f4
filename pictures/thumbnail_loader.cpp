#include "pictures/thumbnail_loader.h"

#include <limits.h>
#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <unordered_set>

#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "platform/services.h"

namespace {

// Results the user-interface thread has not taken yet hold the workers back beyond this, so a
// busy window never lets decoded thumbnails pile up in memory.
constexpr std::size_t kMaxWaitingResults = 64;
constexpr std::size_t kPathBytes = PATH_MAX + 32;

}  // namespace

struct ThumbnailLoader::Shared {
    Shared(std::string folderPath, const PictureWorkBuffers& workBuffers, CachedThumbnails* kept,
           TaskPoster& poster, std::function<void()> onResults)
        : folder(std::move(folderPath)),
          buffers(workBuffers),
          cache(kept),
          tasks(poster),
          resultsWaiting(std::move(onResults)) {}

    const std::string folder;
    const PictureWorkBuffers& buffers;
    CachedThumbnails* const cache;
    TaskPoster& tasks;
    const std::function<void()> resultsWaiting;

    mutable std::mutex mutex;                 // guards everything below
    std::condition_variable_any workWaiting;  // a number was queued
    std::condition_variable_any roomLeft;     // results were taken
    std::deque<int> queue;                    // numbers waiting, the next first
    std::unordered_set<int> asked;            // every number ever queued
    int decoding = 0;                         // workers decoding a picture now
    std::vector<LoadedThumbnail> results;
    bool notificationPosted = false;  // a resultsWaiting call is on its way
};

// From the cache when it knows the file unchanged, else decoded (and then kept in the cache,
// unless the file changed while it was decoded).
LoadStatus ThumbnailLoader::Load(const Shared& shared, int number, const char* path,
                                 std::span<std::uint8_t> buffer, std::uint8_t* pixels) {
    CachedThumbnails* const cache = shared.cache;
    const std::string name = PictureFileName(number);
    const std::optional<PictureFileKey> key = cache != nullptr ? cache->KeyOf(name) : std::nullopt;
    if (key && cache->Find(*key, pixels)) {
        return LoadStatus::Loaded;
    }
    const LoadStatus status = LoadPictureThumbnail(path, buffer, pixels);
    if (status == LoadStatus::Loaded && key && cache->KeyOf(name) == key) {
        cache->Insert(*key, pixels);
    }
    return status;
}

ThumbnailLoader::ThumbnailLoader(std::string folder, const PictureWorkBuffers& buffers,
                                 CachedThumbnails* cache, TaskPoster& tasks,
                                 std::function<void()> resultsWaiting)
    : m_shared(std::make_shared<Shared>(std::move(folder), buffers, cache, tasks,
                                        std::move(resultsWaiting))) {
    for (std::size_t i = 0; i < buffers.loaders.size(); ++i) {
        try {
            m_workers.emplace_back([this, i](std::stop_token stop) { Work(stop, i); });
        } catch (const std::system_error&) {
            break;  // fewer workers only make the loading slower
        }
    }
}

// The workers go first (their destructors ask them to stop and join them), while the state they
// share still exists; a notification already posted finds the state gone or unused.
ThumbnailLoader::~ThumbnailLoader() {
    for (std::jthread& worker : m_workers) {
        worker.request_stop();
    }
    m_workers.clear();
}

void ThumbnailLoader::Load(std::span<const int> numbers) {
    std::lock_guard lock(m_shared->mutex);
    for (const int number : numbers) {
        if (m_shared->asked.insert(number).second) {
            m_shared->queue.push_back(number);
        }
    }
    m_shared->workWaiting.notify_all();
}

void ThumbnailLoader::LoadFirst(std::span<const int> numbers) {
    std::lock_guard lock(m_shared->mutex);
    std::deque<int>& queue = m_shared->queue;
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
        const int number = *it;
        if (m_shared->asked.insert(number).second) {
            queue.push_front(number);
            continue;
        }
        // Still waiting: it moves to the front. Loaded or being loaded: nothing to do.
        const auto waiting = std::find(queue.begin(), queue.end(), number);
        if (waiting != queue.end()) {
            queue.erase(waiting);
            queue.push_front(number);
        }
    }
    m_shared->workWaiting.notify_all();
}

std::vector<LoadedThumbnail> ThumbnailLoader::TakeResults() {
    std::vector<LoadedThumbnail> taken;
    {
        std::lock_guard lock(m_shared->mutex);
        taken.swap(m_shared->results);
        m_shared->results.reserve(kMaxWaitingResults);
    }
    m_shared->roomLeft.notify_all();
    return taken;
}

bool ThumbnailLoader::Idle() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->queue.empty() && m_shared->decoding == 0 && m_shared->results.empty();
}

void ThumbnailLoader::Work(std::stop_token stop, std::size_t bufferIndex) {
    pthread_setname_np(pthread_self(), kWorkerName);
    Shared& shared = *m_shared;
    const std::span<std::uint8_t> buffer = shared.buffers.Loader(bufferIndex);
    char path[kPathBytes];
    for (;;) {
        LoadedThumbnail result;
        {
            std::unique_lock lock(shared.mutex);
            if (!shared.workWaiting.wait(lock, stop, [&] { return !shared.queue.empty(); })) {
                return;
            }
            result.number = shared.queue.front();
            shared.queue.pop_front();
            ++shared.decoding;
        }
        if (FormatPicturePath(path, sizeof path, shared.folder, result.number)) {
            result.path = path;
            result.status = Load(shared, result.number, path, buffer, result.pixels.data());
        }
        std::unique_lock lock(shared.mutex);
        --shared.decoding;
        if (!shared.roomLeft.wait(lock, stop,
                                  [&] { return shared.results.size() < kMaxWaitingResults; })) {
            return;
        }
        shared.results.push_back(std::move(result));
        if (!shared.notificationPosted) {
            shared.notificationPosted = true;
            shared.tasks.Post([weak = std::weak_ptr<Shared>(m_shared)] {
                const std::shared_ptr<Shared> alive = weak.lock();
                if (!alive) {
                    return;
                }
                {
                    std::lock_guard notified(alive->mutex);
                    alive->notificationPosted = false;
                }
                alive->resultsWaiting();
            });
        }
    }
}
