#include "ui/window_layout.h"

#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "resources/dialog_layout.h"

namespace {

constexpr int kFrameLeft = 8;
constexpr int kFrameSpacing = 106;
constexpr int kFrameTop = 519;
constexpr int kFrameWidth = 90;
constexpr int kFrameHeight = 70;
constexpr int kButtonTop = 483;
constexpr int kStripMargin = 2;  // the strip reaches this far round the frames

// From frame 0's top-left corner to frame 5's bottom-right corner, grown by the margin; empty
// while frame 0 has no place.
void SetStripAroundFrames(SkinState& skin) {
    const Rect& first = skin.m_rcThumbFrame[0];
    const Rect& last = skin.m_rcThumbFrame[5];
    if (!IsRectEmpty(first)) {
        skin.m_rcStrip = Rect{first.left - kStripMargin, first.top - kStripMargin,
                              last.right + kStripMargin, last.bottom + kStripMargin};
    }
}

}  // namespace

void LayOutThumbnailFrames(SkinState& skin, DialogWindow& window) {
    skin.m_rcThumbFrame.fill(Rect{});
    skin.m_rcButton.fill(Rect{});
    SetRectEmpty(&skin.m_rcStrip);
    for (int i = 0; i < 6; ++i) {
        Control* frame = window.GetDlgItem(IDC_THUMB_FRAME_FIRST + i);
        if (!frame) {
            WriteLog("get small pic rect error 0");
            continue;
        }
        frame->MoveAndSize(kFrameLeft + kFrameSpacing * i, kFrameTop, kFrameWidth, kFrameHeight);
        skin.m_rcThumbFrame[i] = frame->WindowRect();
    }
    SetStripAroundFrames(skin);
}

void LayOutButtons(SkinState& skin, DialogWindow& window) {
    for (int i = 0; i < 4; ++i) {
        Control* button = window.GetDlgItem(IDC_BUTTON_FIRST + i);
        if (!button) {
            WriteLog("get function rect error 0");
            continue;
        }
        button->Move(button->WindowRect().left, kButtonTop);
        skin.m_rcButton[i] = button->WindowRect();
        skin.m_hwndButton[i] = button;
    }
}

void ReadControlPlaces(SkinState& skin, DialogWindow& window) {
    skin.m_rcThumbFrame.fill(Rect{});
    skin.m_rcButton.fill(Rect{});
    SetRectEmpty(&skin.m_rcStrip);
    for (int i = 0; i < 6; ++i) {
        const Control* frame = window.GetDlgItem(IDC_THUMB_FRAME_FIRST + i);
        if (frame == nullptr) {
            WriteLog("get small pic rect error 1");
            return;
        }
        skin.m_rcThumbFrame[i] = frame->WindowRect();
    }
    SetStripAroundFrames(skin);
    for (int j = 0; j < 4; ++j) {
        Control* button = window.GetDlgItem(IDC_BUTTON_FIRST + j);
        if (button == nullptr) {
            WriteLog("get function rect error 1");
            return;
        }
        skin.m_rcButton[j] = button->WindowRect();
        skin.m_hwndButton[j] = button;
    }
}
