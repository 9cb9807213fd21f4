// The picture list of the main window: the start-up scan of the picture folder, the sweep of
// pictures whose file has gone, the strip's position after every change, and the numbering.

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include "app/webcam_dlg.h"
#include "pictures/file_list.h"
#include "pictures/picture_loader.h"
#include "pictures/picture_numbering.h"
#include "pictures/picture_scan.h"
#include "pictures/picture_work_buffers.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "platform/pictures_folder.h"

namespace {

constexpr std::size_t kPathBytes = PATH_MAX + 32;

bool PoolAttached(const CWebcamDlg& dialog) {
    return dialog.m_thumbs[0].pPixels != nullptr;
}

// Loads the found pictures into the list, writing the listing and the log as it goes.
void LoadFoundPictures(CWebcamDlg& dialog, const std::vector<PictureName>& names) {
    FileListWriter listing(g_bLogEnabled, dialog.m_szPictureDir);
    const ScanResult result =
        ScanPictures(dialog.m_szPictureDir, names, dialog.m_thumbs, *dialog.m_workBuffers,
                     [&listing](const PictureName& name, LoadStatus status, const char* path) {
                         listing.Name(name.name);
                         LogLoadFailure(status, path);
                     });
    dialog.m_nThumbCount = result.count;
    if (result.namesRanOut) {
        listing.Summary(result.count);
    }
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

void CWebcamDlg::FindFileInDocument() {
    m_nThumbCount = 0;
    const auto folder = FindPicturesFolder(m_env.getenv, m_env.picturesDirOverride);
    if (!folder || !PoolAttached(*this) || !m_workBuffers) {
        WriteLog("Error in FindFileInDocument");
        return;
    }
    m_szPictureDir = *folder;
    const std::vector<PictureName> names = ListPictureFiles(m_szPictureDir);
    if (!names.empty()) {
        LoadFoundPictures(*this, names);
    }
    UpdateThumbScroll();
}

bool CWebcamDlg::ReadInSmallPic(int index, int number) {
    ThumbnailRecord& record = m_thumbs[index];
    record.nNumber = number;
    record.bSelected = false;
    char path[kPathBytes] = "";
    LoadStatus status = LoadStatus::LoadFailed;
    if (m_workBuffers && record.pPixels &&
        FormatPicturePath(path, sizeof path, m_szPictureDir, number)) {
        status = LoadPictureThumbnail(path, m_workBuffers->Loader(0), record.pPixels);
    }
    if (status != LoadStatus::Loaded) {
        LogLoadFailure(status, path);
        record.nNumber = 0;
        return false;
    }
    return true;
}

bool CWebcamDlg::SweepMissingPictures() {
    if (m_nThumbCount < 1) {
        return false;
    }
    bool changed = false;
    for (int index = 0; index < m_nThumbCount;) {
        if (PictureFileOpens(m_szPictureDir, m_thumbs[index].nNumber)) {
            ++index;
            continue;
        }
        RemoveThumbnail(index);  // the next record moved into this place: examine it again
        changed = true;
    }
    if (changed) {
        UpdateThumbScroll();
    }
    return changed;
}

void CWebcamDlg::UpdateThumbScroll() {
    m_nNextPictureNumber =
        NextPictureNumber(std::span<const ThumbnailRecord>(m_thumbs.data(), m_nThumbCount));
    const ThumbScroll scroll = ComputeThumbScroll(
        m_nThumbCount, ThumbScroll{false, m_nFirstThumb, m_nScrollMax, m_nScrollPos});
    m_nFirstThumb = scroll.firstThumb;
    m_nScrollMax = scroll.scrollMax;
    m_nScrollPos = scroll.scrollPos;
    if (!HasWindow()) {
        return;
    }
    Window().EnableScrollBar(scroll.enabled);
    if (scroll.enabled) {
        Window().SetScrollRange(0, m_nScrollMax, false);
        Window().SetScrollPos(m_nScrollPos, true);
    }
    if (m_nThumbCount != m_nLastStripLength) {
        m_nLastStripLength = m_nThumbCount;
        Window().InvalidateRect(&m_rcStrip, false);
    }
}

void CWebcamDlg::RemoveThumbnail(int index) {
    RemoveRecord(m_thumbs, m_nThumbCount, index);
}

std::string CWebcamDlg::PicturePath(int number) const {
    char path[kPathBytes];
    if (!FormatPicturePath(path, sizeof path, m_szPictureDir, number)) {
        return {};
    }
    return path;
}
