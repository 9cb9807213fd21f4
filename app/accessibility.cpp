// What assistive technology is told about the window, in the user's language, and the press
// actions it may take: ui/accessible_skin describes the parts, and a press runs the command a
// click runs.

#include <string>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "pictures/picture_numbering.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "ui/accessible_skin.h"
#include "ui/keyboard.h"
#include "ui/resolution_menu.h"

namespace {

constexpr Rect kPictureArea{0, 0, 640, 480};

// "%s" in a message replaced by `value`.
std::string Filled(const char* format, const std::string& value) {
    std::string text = format;
    const std::size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, value);
}

}  // namespace

int CWebcamDlg::PartCount() const {
    return kPartCount;
}

AccessibleNode CWebcamDlg::Part(int part) const {
    switch (part) {
        case kPartLivePicture: {
            AccessibleNode node;
            node.role = AccessibleRole::Image;
            node.name = Text(kLivePictureEnglish, kLivePictureChinese);
            node.rect = kPictureArea;
            // The state the picture area shows in place of the live picture, if any (a camera
            // that went away), in the window's language.
            node.description = HasWindow() ? Window().Preview().Notice() : std::string();
            return node;
        }
        case kPartStrip:
            return DescribeStrip(*this, *this, Text(kPictureStripEnglish, kPictureStripChinese));
        case kPartMenu:
            return DescribeMenu(*this, Text(kResolutionEnglish, kResolutionChinese),
                                m_bHighResRefused);
        default:
            break;
    }
    const int button = ButtonOfPart(part);
    switch (button) {
        case 0:
            return DescribeButton(*this, 0, Text(kTakePictureEnglish, kTakePictureChinese), true);
        case 1:
            return DescribeButton(*this, 1, Text(kDeletePicturesEnglish, kDeletePicturesChinese),
                                  m_bAnySelected);
        case 2: {
            std::string name = Text(kResolutionEnglish, kResolutionChinese);
            if (m_nResolution >= 0 && m_nResolution < 3) {
                name += std::string(": ") + kResolutionLabels[m_nResolution];
            }
            return DescribeButton(*this, 2, name, !m_bCameraLost);
        }
        case 3:
            return DescribeButton(*this, 3, Text(kCameraSettingsEnglish, kCameraSettingsChinese),
                                  !m_bCameraLost);
        default:
            return AccessibleNode{};
    }
}

int CWebcamDlg::ItemCount(int part) const {
    if (part == kPartStrip) {
        return m_nThumbCount;
    }
    return part == kPartMenu ? MenuItemCount(*this, m_bHighResRefused) : 0;
}

AccessibleNode CWebcamDlg::Item(int part, int item) const {
    if (item < 0 || item >= ItemCount(part)) {
        return AccessibleNode{};
    }
    if (part == kPartStrip) {
        return DescribePicture(*this, *this, item);
    }
    return DescribeMenuRow(*this, item, m_nResolution, m_bHighResRefused);
}

int CWebcamDlg::ItemIndexOfKey(int part, int key) const {
    if (part == kPartStrip) {
        return PictureIndexOfNumber(*this, key);
    }
    return key >= 0 && key < ItemCount(part) ? key : -1;
}

void CWebcamDlg::ItemStates(int part, std::vector<AccessibleItemState>& states) const {
    const int count = ItemCount(part);
    states.resize(count);
    for (int i = 0; i < count; ++i) {
        states[i] = part == kPartStrip
                        ? AccessibleItemState{m_thumbs[i].nNumber, m_thumbs[i].bSelected}
                        : AccessibleItemState{i, false};
    }
}

AccessibleFocus CWebcamDlg::Focus() const {
    return KeyboardFocus(*this, *this);
}

std::string CWebcamDlg::ScrollBarName() const {
    return Text(kPictureStripEnglish, kPictureStripChinese);
}

// A press does what a click does: on a button its command, on a row of the open menu the
// resolution change.
void CWebcamDlg::Press(int part, int item) {
    if (!HasWindow()) {
        return;
    }
    const MenuFacts menu{m_nResolution, m_bHighResRefused};
    if (const int button = ButtonOfPart(part); button >= 0) {
        RunKeyCommand(PressButton(Skin(), button, menu));
    } else if (part == kPartMenu && m_bResMenuOpen) {
        RunKeyCommand(ChooseMenuRow(Skin(), item, m_bHighResRefused));
    }
}

void CWebcamDlg::AnnounceTakenPicture(int number) {
    if (HasWindow()) {
        Window().Announce(
            Filled(Text(kPictureTakenEnglish, kPictureTakenChinese), PictureFileName(number)));
    }
}
