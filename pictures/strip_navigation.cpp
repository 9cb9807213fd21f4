// The strip's scroll bar and its two actions on pictures: deleting the selected ones and opening
// the clicked one in the desktop's viewer.

#include <unistd.h>

#include <algorithm>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "platform/scroll_bar.h"
#include "platform/shell.h"

namespace {

constexpr int kFramesShown = 6;
constexpr int kShellFileNotFound = 2;
constexpr int kShellPathNotFound = 3;

struct StripPlace {
    int first;     // record shown in frame 0
    int position;  // scroll-bar position
};

// Pages are aligned to the end of the list, so position 1 may overlap position 0.
int FirstThumbOfPage(int count, int scrollMax, int position) {
    return position == 0 ? 0 : count + kFramesShown * (position - scrollMax - 1);
}

StripPlace Scrolled(int code, int thumbPosition, int count, int scrollMax, StripPlace place) {
    int& first = place.first;
    int& position = place.position;
    switch (code) {
        case SB_LINELEFT:
            // The position follows a line step only roughly: once the strip has left its page.
            if (first > 0) {
                --first;
            }
            if (kFramesShown * position > first + 5) {
                --position;
            }
            break;
        case SB_LINERIGHT:
            if (first < count - kFramesShown) {
                ++first;
            }
            if (kFramesShown * position < first) {
                ++position;
            }
            break;
        case SB_PAGELEFT:
            position = std::max(position - 1, 0);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_PAGERIGHT:
            position = std::min(position + 1, scrollMax);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            // The bar keeps its thumb within the range; a position from elsewhere is held to it.
            position = std::clamp(thumbPosition, 0, scrollMax);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_LEFT:
            position = 0;
            first = 0;
            break;
        case SB_RIGHT:
            position = scrollMax;
            first = count - kFramesShown;
            break;
        default:
            break;
    }
    return place;
}

// Removes the selected records, deleting their files; a file that cannot be deleted stays in
// the folder and comes back at the next start, and the snapshot never writes over it meanwhile.
void RemoveSelectedPictures(CWebcamDlg& dialog) {
    for (int i = 0; i < dialog.m_nThumbCount;) {
        const ThumbnailRecord& record = dialog.m_thumbs[i];
        if (record.nNumber == 0) {
            dialog.m_nThumbCount = i;  // the list ends at its first empty record
            break;
        }
        if (!record.bSelected) {
            ++i;
            continue;
        }
        const std::string path = dialog.PicturePath(record.nNumber);
        if (!path.empty()) {
            unlink(path.c_str());
        }
        dialog.RemoveThumbnail(i);  // the next record moved into this place: examine it again
    }
}

}  // namespace

void CWebcamDlg::OnHScroll(int code, int position) {
    if (m_nThumbCount < kFramesShown + 1) {
        return;
    }
    const StripPlace place = Scrolled(code, position, m_nThumbCount, m_nScrollMax,
                                      StripPlace{m_nFirstThumb, m_nScrollPos});
    m_nFirstThumb = place.first;
    m_nScrollPos = place.position;
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
