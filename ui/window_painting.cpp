// The paint and move handlers and the window's three timers.

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"

namespace {

constexpr int kStripDelayMs = 1;
constexpr int kResolutionButtonDelayMs = 2;
constexpr int kSweepPeriodMs = 3000;
constexpr Point kLabelBaselineCentre{36, 20};

}  // namespace

// The platform has repainted the skin and the controls before this runs; what the window draws
// itself goes on top a moment later, from the two one-shot timers.
void CWebcamDlg::OnPaint() {
    if (Window().IsIconic()) {
        if (m_hIcon != nullptr) {
            const int x = (Window().ClientWidth() - m_hIcon->Width() + 1) / 2;
            const int y = (Window().ClientHeight() - m_hIcon->Height() + 1) / 2;
            Window().GetDC().DrawBitmap(*m_hIcon, x, y);
        }
        return;
    }
    Window().SetTimer(TIMER_DRAW_STRIP, kStripDelayMs);
    Window().SetTimer(TIMER_RESOLUTION_BUTTON, kResolutionButtonDelayMs);
}

// Until the label could be drawn the timer stays armed and the face is set again next time.
void CWebcamDlg::RefreshResolutionButton() {
    SetButtonFace(2, m_hbmButton[2][m_nHoverButton == 2 ? 1 : 0].get());
    Control* button = Window().GetDlgItem(IDC_BUTTON_FIRST + 2);
    if (static_cast<unsigned>(m_nResolution) >= 3 || button == nullptr) {
        return;
    }
    DrawingSurface surface = button->GetDC();
    surface.SetTextAlign(TA_BASELINE | TA_CENTER);
    surface.SetBkMode(TRANSPARENT);
    surface.SetTextColor(Rgb(0, 0, 0));
    surface.TextOut(kLabelBaselineCentre.x, kLabelBaselineCentre.y,
                    kResolutionLabels[m_nResolution]);
    Window().KillTimer(TIMER_RESOLUTION_BUTTON);
}

void CWebcamDlg::OnTimer(int id) {
    switch (id) {
        case TIMER_DRAW_STRIP:
            DrawThumbnailStrip();
            Window().KillTimer(TIMER_DRAW_STRIP);
            break;
        case TIMER_RESOLUTION_BUTTON:
            RefreshResolutionButton();
            break;
        case TIMER_SWEEP:
            // Counted from the end of the sweep, so that sweeps never overlap however long one
            // takes.
            Window().KillTimer(TIMER_SWEEP);
            SweepMissingPictures();
            Window().SetTimer(TIMER_SWEEP, kSweepPeriodMs);
            break;
        default:
            break;
    }
}

// Moving the window does not move the controls within it; the rectangles are read again all
// the same, as the pointer handling and the strip drawing rely on them.
void CWebcamDlg::OnMove(int /*x*/, int /*y*/) {
    m_rcThumbFrame.fill(Rect{});
    m_rcButton.fill(Rect{});
    SetRectEmpty(&m_rcStrip);
    for (int i = 0; i < 6; ++i) {
        const Control* frame = Window().GetDlgItem(IDC_THUMB_FRAME_FIRST + i);
        if (frame == nullptr) {
            WriteLog("get small pic rect error 1");
            return;
        }
        m_rcThumbFrame[i] = frame->WindowRect();
    }
    if (!IsRectEmpty(m_rcThumbFrame[0])) {
        m_rcStrip = Rect{m_rcThumbFrame[0].left - 2, m_rcThumbFrame[0].top - 2,
                         m_rcThumbFrame[5].right + 2, m_rcThumbFrame[5].bottom + 2};
    }
    for (int j = 0; j < 4; ++j) {
        Control* button = Window().GetDlgItem(IDC_BUTTON_FIRST + j);
        if (button == nullptr) {
            WriteLog("get function rect error 1");
            return;
        }
        m_rcButton[j] = button->WindowRect();
        m_hwndButton[j] = button;
    }
}

void CWebcamDlg::OnShowWindow(bool /*show*/, int /*status*/) {}
