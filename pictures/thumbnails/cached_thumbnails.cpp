#include "pictures/thumbnails/cached_thumbnails.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

#include "pictures/thumbnails/mapped_region.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_block.h"

namespace {

// Pictures taken in a row are saved together once none has come for this long.
constexpr std::chrono::seconds kTakenSaveDelay{2};
// Thumbnails decoded while the cache is read wait for it in memory, up to this many; more
// wait with their worker.
constexpr std::size_t kMaxEarlyThumbnails = 512;

}  // namespace

CachedThumbnails::CachedThumbnails(std::string picturesFolder,
                                   std::optional<std::string> cacheFolder)
    : m_picturesFolder(std::move(picturesFolder)),
      m_cacheFile(cacheFolder ? std::optional<std::string>(
                                    ThumbnailCacheFile(*cacheFolder, m_picturesFolder))
                              : std::nullopt) {}

// The thread stops first (its member is the last one): a read under way ends early, a planned
// save is dropped, one under way ends whole.
CachedThumbnails::~CachedThumbnails() = default;

std::optional<PictureFileKey> CachedThumbnails::KeyOf(const std::string& name) const {
    if (!m_cacheFile) {
        return std::nullopt;
    }
    return PictureFileKeyOf(m_picturesFolder, name);
}

// The first ask starts the thread that reads the cache.
bool CachedThumbnails::IsRead() {
    {
        std::lock_guard lock(m_readMutex);
        if (m_read) {
            return true;
        }
    }
    StartThread();
    return false;
}

// False when the thread cannot be started: then the cache is never read nor saved.
bool CachedThumbnails::StartThread() {
    std::lock_guard lock(m_planMutex);
    if (!m_saver.joinable()) {
        try {
            m_saver = std::jthread([this](std::stop_token stop) { SaveLoop(stop); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    return true;
}

void CachedThumbnails::ReadCache(std::stop_token stop) {
    ThumbnailCache cache = ThumbnailCache::Load(*m_cacheFile, m_picturesFolder, stop);
    std::lock_guard read(m_readMutex);
    {
        std::unique_lock lock(m_cacheMutex);
        m_cache.emplace(std::move(cache));
        for (const Decoded& decoded : m_early) {
            m_cache->Insert(decoded.key, decoded.pixels.data());
        }
    }
    m_early = {};
    m_read = true;
    m_readDone.notify_all();
}

bool CachedThumbnails::Find(const PictureFileKey& key, std::uint8_t* pixels) {
    if (!m_cacheFile || !IsRead()) {
        return false;
    }
    std::shared_lock lock(m_cacheMutex);
    return m_cache->Find(key, pixels);
}

void CachedThumbnails::Insert(const PictureFileKey& key, const std::uint8_t* pixels) {
    if (!m_cacheFile) {
        return;
    }
    {
        std::unique_lock lock(m_readMutex);
        if (!m_read) {
            const bool setAside = m_early.size() < kMaxEarlyThumbnails;
            if (setAside) {
                m_early.push_back(
                    Decoded{key, std::vector<std::uint8_t>(pixels, pixels + kThumbBlockBytes)});
            }
            lock.unlock();
            if (!StartThread() || setAside) {
                return;
            }
            lock.lock();
            m_readDone.wait(lock, [this] { return m_read; });
        }
    }
    std::unique_lock lock(m_cacheMutex);
    m_cache->Insert(key, pixels);
}

void CachedThumbnails::Save() {
    PlanSave(true);
}

void CachedThumbnails::AddTaken(const std::string& name) {
    if (!m_cacheFile) {
        return;
    }
    {
        std::lock_guard lock(m_planMutex);
        m_taken.push_back(name);
    }
    PlanSave(false);
}

void CachedThumbnails::PlanSave(bool atOnce) {
    if (!m_cacheFile) {
        return;
    }
    {
        std::lock_guard lock(m_planMutex);
        m_savePlanned = true;
        m_saveAtOnce = m_saveAtOnce || atOnce;
    }
    StartThread();
    m_planChanged.notify_all();
}

void CachedThumbnails::Flush() {
    if (!m_cacheFile || !StartThread()) {
        return;
    }
    {
        std::unique_lock lock(m_readMutex);
        m_readDone.wait(lock, [this] { return m_read; });
    }
    std::unique_lock lock(m_planMutex);
    m_saveAtOnce = true;
    m_planChanged.notify_all();
    m_planChanged.wait(lock, [this] { return !m_savePlanned && !m_saving; });
}

void CachedThumbnails::SaveLoop(std::stop_token stop) {
    pthread_setname_np(pthread_self(), kSaverName);
    ReadCache(stop);
    std::unique_lock lock(m_planMutex);
    for (;;) {
        if (!m_planChanged.wait(lock, stop, [this] { return m_savePlanned; })) {
            return;
        }
        // Pictures taken in a row: wait until they stop coming (or a save is wanted at once).
        while (!m_saveAtOnce) {
            const std::size_t taken = m_taken.size();
            m_planChanged.wait_for(lock, stop, kTakenSaveDelay,
                                   [&] { return m_saveAtOnce || m_taken.size() != taken; });
            if (stop.stop_requested()) {
                return;
            }
            if (m_taken.size() == taken) {
                break;
            }
        }
        const std::vector<std::string> taken = std::move(m_taken);
        m_taken.clear();
        m_savePlanned = false;
        m_saveAtOnce = false;
        m_saving = true;
        lock.unlock();
        AddTakenPictures(taken);
        SaveCache();
        lock.lock();
        m_saving = false;
        m_planChanged.notify_all();
    }
}

// Each picture taken is decoded from its file: the cache keeps what a later load gives, which
// the lossy JPEG makes differ from the thumbnail sampled at capture.
void CachedThumbnails::AddTakenPictures(const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    std::optional<MappedRegion> buffer = MappedRegion::Reserve(kLoaderBufferBytes);
    if (!buffer) {
        return;
    }
    std::vector<std::uint8_t> pixels(kThumbBlockBytes);
    for (const std::string& name : names) {
        const std::optional<PictureFileKey> key = KeyOf(name);
        const std::string path = m_picturesFolder + "/" + name;
        if (key &&
            LoadPictureThumbnail(path.c_str(), {buffer->Data(), buffer->Size()}, pixels.data()) ==
                LoadStatus::Loaded &&
            KeyOf(name) == key) {
            Insert(*key, pixels.data());
        }
    }
}

// Only the plan and its end hold the cache; the workers go on finding and inserting while the
// file is written. The plan goes last, outside the lock, and with it the memory of every
// thumbnail the file now holds.
void CachedThumbnails::SaveCache() {
    ThumbnailCache::SavePlan plan = [this] {
        std::shared_lock lock(m_cacheMutex);
        return m_cache->PlanSave();
    }();
    plan.Write(*m_cacheFile);
    std::unique_lock lock(m_cacheMutex);
    m_cache->FinishSave(plan);
}
