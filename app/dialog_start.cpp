// OnInitDialog: the window's start-up, in order.

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "ui/button_faces.h"
#include "ui/window_layout.h"

bool CWebcamDlg::OnInitDialog() {
    ExchangeDialogData();
    Window().SetAccessibleContent(this);
    WatchPower();
    ResetWorkingState();
    ChooseLanguage();
    LayOutThumbnailFrames(*this, Window());
    LayOutButtons(*this, Window());
    FillThumbnailHeader(*this);
    if (!PrepareThumbnailPool(*this, m_env.allocatePool)) {
        WriteLog(" new 14400 NULL");
        return false;
    }
    FindFileInDocument();
    m_nHoverButton = -1;
    if (!LoadButtonFaces(*this)) {
        return false;
    }
    m_nResolution = 2;  // 1280 x 1024 is asked for first: the start-up probe
    m_bHighResRefused = false;
    if (!StartCamera()) {
        return false;
    }
    Window().SetTimer(TIMER_SWEEP, kSweepPeriodMs);
    return true;
}

// The only data exchange: the hidden text control gets the (empty) static text.
void CWebcamDlg::ExchangeDialogData() {
    if (Control* text = Window().GetDlgItem(IDC_STATIC_TEXT)) {
        text->SetText(m_strStatic);
    }
}

void CWebcamDlg::ResetWorkingState() {
    m_bChinese = false;
    m_bResMenuOpen = false;
    m_bAnySelected = false;
    m_nClickedThumb = 0;
    m_nScrollMax = 0;
    m_nScrollPos = 0;
    m_nFirstThumb = 0;
    SetRectEmpty(&m_rcStrip);
    m_ptDragStart = Point{};
    m_ptDragCur = Point{};
    m_rcDragNorm = Rect{};
    m_rcDrag = Rect{};
    m_rcBand = Rect{};
    m_rcBandPrev = Rect{};
    m_rcBandDirty = Rect{};
    m_nAnchorThumb = -1;
    // The keyboard starts on the take-a-picture button, its ring hidden until a key is used.
    m_nFocus = 0;
    m_bFocusCues = false;
    m_nCaretThumb = -1;
    m_nMenuRow = -1;
}

// One retry after a failure other than a missing camera; a camera that still will not start is
// reported as busy, whatever the second answer.
bool CWebcamDlg::StartCamera() {
    HResult result = InitStillGraph();
    if (result == S_OK_RESULT) {
        return true;
    }
    WriteLog("InitStillGraph  Error");
    if (result == E_NO_MAKER_CAMERA) {
        m_nResolution = 3;
        ShowUserMessage(kCameraNotFoundEnglish, kCameraNotFoundChinese, MB_ICONEXCLAMATION);
        EndDialog(1);
        return false;
    }
    WriteLog("Try again");
    ReleaseStillGraph();
    result = InitStillGraph();
    if (result != S_OK_RESULT) {
        m_nResolution = 3;
        ShowUserMessage(kCameraBusyEnglish, kCameraBusyChinese, MB_ICONEXCLAMATION);
        EndDialog(1);
        return false;
    }
    return true;
}
