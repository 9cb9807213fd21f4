// The pictures' handlers: each hands its work to pictures/ over the dialog's picture list and
// then shows the strip's new state.

#include <string>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "pictures/picture_catalogue.h"
#include "pictures/picture_scan.h"
#include "pictures/snapshot.h"
#include "pictures/strip_navigation.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "platform/pictures_folder.h"
#include "platform/shell.h"
#include "ui/strip_painting.h"

namespace {

constexpr int kShellFileNotFound = 2;
constexpr int kShellPathNotFound = 3;

}  // namespace

// The pictures are listed at once; their thumbnails follow from the background.
void CWebcamDlg::FindFileInDocument() {
    if (::FindFileInDocument(*this, FindPicturesFolder(m_env.getenv, m_env.picturesDirOverride),
                             m_env.getenv, Services().tasks, [this] { TakeLoadedThumbnails(); })) {
        UpdateThumbScroll();
    }
}

// Thumbnails arrived: each frame that shows one is drawn at once; when pictures left the list,
// the strip is shown anew from the list's end, as after the sweep.
void CWebcamDlg::TakeLoadedThumbnails() {
    if (!m_scan) {
        return;
    }
    const ScanDelivery delivery = m_scan->Deliver(*this);
    if (delivery.listChanged) {
        UpdateThumbScroll();
        if (HasWindow()) {
            Window().InvalidateRect(&m_rcStrip, false);
        }
    } else if (HasWindow()) {
        for (const int index : delivery.arrived) {
            ShowArrivedThumbnail(Skin(), index);
        }
    }
    if (delivery.finished) {
        m_scan.reset();
    }
}

bool CWebcamDlg::SweepMissingPictures() {
    const bool changed = ::SweepMissingPictures(*this);
    if (changed) {
        UpdateThumbScroll();
    }
    return changed;
}

void CWebcamDlg::UpdateThumbScroll() {
    ::UpdateThumbScroll(*this, WindowIfAny(), m_rcStrip);
}

void CWebcamDlg::RemoveThumbnail(int index) {
    ::RemoveThumbnail(*this, index);
}

void CWebcamDlg::TakeSnapshot() {
    if (::TakeSnapshot(*this, *this)) {
        UpdateThumbScroll();
        // The new picture is the list's last.
        AnnounceTakenPicture(m_thumbs[m_nThumbCount - 1].nNumber);
    }
}

std::string CWebcamDlg::PicturePath(int number) const {
    return ::PicturePath(*this, number);
}

void CWebcamDlg::OnHScroll(int code, int position) {
    if (!ScrollStrip(*this, code, position)) {
        return;
    }
    if (m_scan) {
        m_scan->ShowFirst(*this);
    }
    Window().SetScrollPos(m_nScrollPos, true);
    Window().InvalidateRect(&m_rcStrip, false);
}

void CWebcamDlg::DeleteSelectedPictures() {
    if (!m_bAnySelected) {
        return;
    }
    SetButtonFace(1, m_hbmButton[1][0].get());
    const int answer =
        ShowUserMessage(kDeleteQuestionEnglish, kDeleteQuestionChinese, MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) {
        return;
    }
    m_nAnchorThumb = -1;
    SetButtonFace(1, m_hbmButton[4][0].get());
    RemoveSelectedPictures(*this);
    UpdateThumbScroll();
}

// Only a picture still in the list is opened: its record may have gone since the click.
void CWebcamDlg::OnLButtonDblClk(unsigned /*flags*/, Point /*point*/) {
    const int clicked = m_nClickedThumb;
    if (clicked < 0 || clicked >= m_nThumbCount) {
        return;
    }
    const std::string path = PicturePath(m_thumbs[clicked].nNumber);
    const int result = m_env.shell.Open(path);
    if (result > 32) {
        return;
    }
    if (result == kShellFileNotFound || result == kShellPathNotFound) {
        Services().messageBoxes.Show(kPictureNotFound, path, MB_OK);
    }
    WriteLog("Error in ShellExecute");
}
