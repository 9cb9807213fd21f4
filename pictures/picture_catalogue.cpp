#include "pictures/picture_catalogue.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include "pictures/picture_numbering.h"
#include "pictures/picture_scan.h"
#include "pictures/thumbnail_loader.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "platform/diagnostic_log.h"

namespace {

constexpr std::size_t kPathBytes = PATH_MAX + 32;

bool PoolAttached(const PictureList& list) {
    return list.m_thumbs[0].pPixels != nullptr && list.m_workBuffers != nullptr;
}

// Whether the picture's file can still be opened for reading (nothing is created).
bool PictureFileOpens(const std::string& folder, int number) {
    char path[kPathBytes];
    if (!FormatPicturePath(path, sizeof path, folder, number)) {
        return false;
    }
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

}  // namespace

bool FindFileInDocument(PictureList& list, const std::optional<std::string>& folder,
                        const EnvironmentLookup& getenv, TaskPoster& tasks,
                        std::function<void()> thumbnailsWaiting) {
    list.m_nThumbCount = 0;
    list.m_scan.reset();
    list.m_cache.reset();
    if (!folder || !PoolAttached(list)) {
        WriteLog("Error in FindFileInDocument");
        return false;
    }
    list.m_szPictureDir = *folder;
    list.m_cache = std::make_unique<CachedThumbnails>(
        list.m_szPictureDir, ThumbnailCacheFolder(getenv, list.m_szPictureDir));
    std::vector<PictureName> names = ListPictureFiles(list.m_szPictureDir);
    if (!names.empty()) {
        list.m_scan = std::make_unique<PictureScan>(list, std::move(names), tasks,
                                                    std::move(thumbnailsWaiting));
    }
    return true;
}

bool SweepMissingPictures(PictureList& list) {
    bool changed = false;
    for (int index = 0; index < list.m_nThumbCount;) {
        if (PictureFileOpens(list.m_szPictureDir, list.m_thumbs[index].nNumber)) {
            ++index;
            continue;
        }
        RemoveThumbnail(list, index);  // the next record moved into this place: examine it again
        changed = true;
    }
    return changed;
}

void RemoveThumbnail(PictureList& list, int index) {
    if (index < 0 || index >= list.m_nThumbCount) {
        return;
    }
    RemoveRecord(list.m_thumbs, list.m_nThumbCount, index);
    for (int* kept : {&list.m_nAnchorThumb, &list.m_nClickedThumb}) {
        if (*kept == index) {
            *kept = -1;
        } else if (*kept > index) {
            --*kept;
        }
    }
    if (list.m_scan) {
        list.m_scan->RecordRemoved(index);
    }
}

void RemoveSelectedPictures(PictureList& list) {
    for (int i = 0; i < list.m_nThumbCount;) {
        const ThumbnailRecord& record = list.m_thumbs[i];
        if (record.nNumber == 0) {
            list.m_nThumbCount = i;  // the list ends at its first empty record
            break;
        }
        if (!record.bSelected) {
            ++i;
            continue;
        }
        const std::string path = PicturePath(list, record.nNumber);
        if (!path.empty()) {
            unlink(path.c_str());
        }
        RemoveThumbnail(list, i);  // the next record moved into this place: examine it again
    }
}

std::string PicturePath(const PictureList& list, int number) {
    char path[kPathBytes];
    if (!FormatPicturePath(path, sizeof path, list.m_szPictureDir, number)) {
        return {};
    }
    return path;
}
