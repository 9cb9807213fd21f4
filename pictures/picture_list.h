#pragma once

// The pictures' part of the main window's record: the thumbnail records (the list is records 0
// to m_nThumbCount - 1, in display order), the strip's place in the list and its scroll bar, the
// two record indices the selection keeps, the picture folder and the number of the next
// picture. CWebcamDlg is made of this part and those of capture/ and ui/; the functions of
// pictures/ work on this part.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "pictures/thumbnail_record.h"
#include "platform/gdi.h"

class CachedThumbnails;
class PictureScan;
class ThumbnailPool;
struct PictureWorkBuffers;

struct PictureList {
    std::array<ThumbnailRecord, kThumbnailCapacity> m_thumbs{};
    int m_nClickedThumb = 0;  // record that took the last plain click, -1 none
    int m_nScrollMax = 0;     // upper end of the strip's scroll range
    int m_nScrollPos = 0;     // scroll-bar position, 0 to m_nScrollMax
    int m_nFirstThumb = 0;    // record shown in the first of the six frames
    BitmapInfo m_bmiThumb{};  // the pixel format of every thumbnail block
    int m_nNextPictureNumber = 0;
    int m_nThumbCount = 0;
    std::string m_szPictureDir;  // empty when no Pictures folder could be determined
    int m_nAnchorThumb = 0;      // anchor of a range selection, -1 none
    int m_nLastStripLength = 0;  // list length at the last strip repaint request
    std::unique_ptr<ThumbnailPool> m_thumbPool;         // the pixel blocks of m_thumbs
    std::unique_ptr<PictureWorkBuffers> m_workBuffers;  // snapshot and loading buffers
    // The thumbnails kept between runs for the folder (pictures/cached_thumbnails.h).
    std::unique_ptr<CachedThumbnails> m_cache;
    // The start-up check of the listed pictures while it runs (pictures/picture_scan.h).
    std::unique_ptr<PictureScan> m_scan;

    PictureList();
    ~PictureList();
    PictureList(const PictureList&) = delete;
    PictureList& operator=(const PictureList&) = delete;
};

// Describes the 80 x 60 24-bit bottom-up thumbnail blocks in m_bmiThumb.
void FillThumbnailHeader(PictureList& list);

// Reserves the pool of pixel blocks (from `allocate` when given, for tests) and the working
// buffers, and gives every record its block; false when either cannot be had.
bool PrepareThumbnailPool(PictureList& list,
                          const std::function<std::unique_ptr<ThumbnailPool>()>& allocate);
// Stops the start-up scan's loading and the cache's reading and saving, then drops every
// record's block, the pool and the buffers (the window's end).
void ReleaseThumbnailPool(PictureList& list);
