#include "pictures/picture_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "pictures/file_list.h"
#include "pictures/picture_catalogue.h"
#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "platform/diagnostic_log.h"

namespace {

constexpr int kFramesShown = 6;

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

bool IsRegularFile(DIR* directory, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) {
        return false;
    }
    struct stat info {};
    return fstatat(dirfd(directory), entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Among names of one number, the canonical one comes first and is the one kept.
bool ComesFirst(const PictureName& a, const PictureName& b) {
    if (a.number != b.number) {
        return a.number < b.number;
    }
    const bool aCanonical = a.name == PictureFileName(a.number);
    const bool bCanonical = b.name == PictureFileName(b.number);
    if (aCanonical != bCanonical) {
        return aCanonical;
    }
    return a.name < b.name;
}

}  // namespace

std::vector<PictureName> ListPictureFiles(const std::string& folder) {
    std::vector<PictureName> names;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.c_str()));
    if (!directory) {
        return names;
    }
    while (const dirent* entry = readdir(directory.get())) {
        const auto number = ParsePictureNumber(entry->d_name);
        if (number && IsRegularFile(directory.get(), *entry)) {
            names.push_back(PictureName{*number, entry->d_name});
        }
    }
    std::sort(names.begin(), names.end(), ComesFirst);
    names.erase(std::unique(names.begin(), names.end(),
                            [](const PictureName& a, const PictureName& b) {
                                return a.number == b.number;
                            }),
                names.end());
    return names;
}

PictureScan::PictureScan(PictureList& list, std::vector<PictureName> names, TaskPoster& tasks,
                         std::function<void()> thumbnailsWaiting, int room)
    : m_names(std::move(names)),
      m_room(std::clamp(room, 0, kThumbnailCapacity)),
      m_loader(list.m_szPictureDir, *list.m_workBuffers, list.m_cache.get(), tasks,
               std::move(thumbnailsWaiting)) {
    m_listed = std::min(m_names.size(), static_cast<std::size_t>(m_room));
    std::vector<int> newestFirst;
    newestFirst.reserve(m_listed);
    for (std::size_t i = 0; i < m_listed; ++i) {
        ThumbnailRecord& record = list.m_thumbs[i];
        record.nNumber = m_names[i].number;
        record.bSelected = false;
        record.pixelsReady = false;
        newestFirst.push_back(m_names[m_listed - 1 - i].number);
    }
    list.m_nThumbCount = static_cast<int>(m_listed);
    m_scanRecords = list.m_nThumbCount;
    m_unchecked = list.m_nThumbCount;
    m_loader.Load(newestFirst);
}

PictureScan::~PictureScan() = default;

ScanDelivery PictureScan::Deliver(PictureList& list) {
    ScanDelivery delivery;
    for (LoadedThumbnail& loaded : m_loader.TakeResults()) {
        --m_unchecked;
        const int index = WaitingRecord(list, loaded.number);
        if (loaded.status == LoadStatus::Loaded) {
            ++m_loaded;
            if (index >= 0) {
                ThumbnailRecord& record = list.m_thumbs[index];
                std::memcpy(record.pPixels, loaded.pixels.data(), kThumbBlockBytes);
                record.pixelsReady = true;
                delivery.arrived.push_back(index);
            }
            continue;
        }
        LogLoadFailure(loaded.status, loaded.path.c_str());
        if (index >= 0) {
            RemoveThumbnail(list, index);  // also moves this scan's own records
            delivery.listChanged = true;
        }
        TakePlaceOfFailed(list);
    }
    if (delivery.listChanged) {
        delivery.arrived.clear();  // indices after a gap moved: the whole strip is drawn anew
    }
    delivery.finished = Finished();
    if (delivery.finished) {
        WriteFileList(list);
        if (list.m_cache) {
            list.m_cache->Save();
        }
    }
    return delivery;
}

// The next picture the list had no room for joins it after the scan's other records (and before
// any picture taken meanwhile), as it would have been listed had the failed one never been.
void PictureScan::TakePlaceOfFailed(PictureList& list) {
    if (m_listed >= m_names.size() || m_scanRecords >= m_room ||
        list.m_nThumbCount >= kThumbnailCapacity) {
        return;
    }
    const int number = m_names[m_listed++].number;
    InsertRecord(list.m_thumbs, list.m_nThumbCount, m_scanRecords, number);
    ++m_scanRecords;
    ++m_unchecked;
    m_loader.LoadFirst(std::span(&number, 1));
}

void PictureScan::ShowFirst(const PictureList& list) {
    std::vector<int> shown;
    for (int i = list.m_nFirstThumb; i < list.m_nFirstThumb + kFramesShown; ++i) {
        if (i >= 0 && i < list.m_nThumbCount && !list.m_thumbs[i].pixelsReady) {
            shown.push_back(list.m_thumbs[i].nNumber);
        }
    }
    m_loader.LoadFirst(shown);
}

// Only the scan's own records can wait, and they stand first in the list in number order (a
// removal keeps the order, a picture that takes a failed one's place has the highest number so
// far): a binary search finds the record. One that was removed meanwhile, or whose number a
// snapshot has taken since (its thumbnail is ready), gets nothing.
int PictureScan::WaitingRecord(const PictureList& list, int number) const {
    const auto first = list.m_thumbs.begin();
    const auto last = first + std::min(m_scanRecords, list.m_nThumbCount);
    const auto found = std::lower_bound(
        first, last, number,
        [](const ThumbnailRecord& record, int wanted) { return record.nNumber < wanted; });
    if (found == last || found->nNumber != number || found->pixelsReady) {
        return -1;
    }
    return static_cast<int>(found - first);
}

void PictureScan::RecordRemoved(int index) {
    if (index < m_scanRecords) {
        --m_scanRecords;
    }
}

// Every name examined, in number order, and when the names ran out with room left in the list,
// the number of pictures listed.
void PictureScan::WriteFileList(const PictureList& list) const {
    FileListWriter listing(g_bLogEnabled, list.m_szPictureDir);
    for (std::size_t i = 0; i < m_listed; ++i) {
        listing.Name(m_names[i].name);
    }
    if (m_listed == m_names.size() && m_loaded < m_room) {
        listing.Summary(m_loaded);
    }
}
