#include "pictures/picture_list.h"

#include "pictures/picture_scan.h"
#include "pictures/thumbnail_pool.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_work_buffers.h"

PictureList::PictureList() = default;
PictureList::~PictureList() = default;

void FillThumbnailHeader(PictureList& list) {
    list.m_bmiThumb = BitmapInfo{};
    BitmapInfoHeader& header = list.m_bmiThumb.bmiHeader;
    header.biSize = 40;
    header.biWidth = kThumbWidth;
    header.biHeight = kThumbHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = kThumbBlockBytes;
}

// The pool is one reservation whose pages the system commits only when a thumbnail is written,
// so an idle start does not hold 144 MB.
bool PrepareThumbnailPool(PictureList& list,
                          const std::function<std::unique_ptr<ThumbnailPool>()>& allocate) {
    list.m_thumbs.fill(ThumbnailRecord{});
    list.m_thumbPool = allocate ? allocate() : AllocateThumbnailPool();
    list.m_workBuffers = list.m_thumbPool ? AllocatePictureWorkBuffers() : nullptr;
    if (!list.m_thumbPool || !list.m_workBuffers) {
        return false;
    }
    AttachThumbnailPool(*list.m_thumbPool, list.m_thumbs);
    return true;
}

void ReleaseThumbnailPool(PictureList& list) {
    list.m_scan.reset();  // its workers read the loading buffers until they have stopped
    list.m_cache.reset();
    for (ThumbnailRecord& record : list.m_thumbs) {
        record.pPixels = nullptr;
    }
    list.m_thumbPool.reset();
    list.m_workBuffers.reset();
}
