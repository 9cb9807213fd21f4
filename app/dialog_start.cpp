// OnInitDialog: the window's start-up, step by step.
#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_pool.h"
#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"

namespace {

constexpr int kOuterWidth = 646;
constexpr int kOuterHeight = 634;  // no taller client rectangle is measured on this platform
constexpr int kFrameLeft = 8;
constexpr int kFrameSpacing = 106;
constexpr int kFrameTop = 519;
constexpr int kFrameWidth = 90;
constexpr int kFrameHeight = 70;
constexpr int kButtonTop = 483;
constexpr std::int32_t kCameraNotFound = -5;
constexpr int kSweepPeriodMs = 3000;

}  // namespace

bool CWebcamDlg::OnInitDialog() {
    ExchangeDialogData();
    ResetWorkingState();
    ChooseLanguage();
    Window().SetOuterSize(kOuterWidth, kOuterHeight);
    LayOutThumbnailFrames();
    LayOutButtons();
    FillThumbnailHeader();
    if (!PrepareThumbnailPool()) {
        return false;
    }
    FindFileInDocument();
    m_nHoverButton = -1;
    if (!LoadButtonFaces()) {
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
}

void CWebcamDlg::LayOutThumbnailFrames() {
    m_rcThumbFrame.fill(Rect{});
    m_rcButton.fill(Rect{});
    SetRectEmpty(&m_rcStrip);
    for (int i = 0; i < 6; ++i) {
        Control* frame = Window().GetDlgItem(IDC_THUMB_FRAME_FIRST + i);
        if (!frame) {
            WriteLog("get small pic rect error 0");
            continue;
        }
        frame->MoveAndSize(kFrameLeft + kFrameSpacing * i, kFrameTop, kFrameWidth, kFrameHeight);
        m_rcThumbFrame[i] = frame->WindowRect();
    }
    if (!IsRectEmpty(m_rcThumbFrame[0])) {
        m_rcStrip = Rect{m_rcThumbFrame[0].left - 2, m_rcThumbFrame[0].top - 2,
                         m_rcThumbFrame[5].right + 2, m_rcThumbFrame[5].bottom + 2};
    }
}

// Each button keeps its horizontal place and moves down into the white band.
void CWebcamDlg::LayOutButtons() {
    for (int i = 0; i < 4; ++i) {
        Control* button = Window().GetDlgItem(IDC_BUTTON_FIRST + i);
        if (!button) {
            WriteLog("get function rect error 0");
            continue;
        }
        button->Move(button->WindowRect().left, kButtonTop);
        m_rcButton[i] = button->WindowRect();
        m_hwndButton[i] = button;
    }
}

void CWebcamDlg::FillThumbnailHeader() {
    m_bmiThumb = BitmapInfo{};
    m_bmiThumb.bmiHeader.biSize = 40;
    m_bmiThumb.bmiHeader.biWidth = kThumbWidth;
    m_bmiThumb.bmiHeader.biHeight = kThumbHeight;
    m_bmiThumb.bmiHeader.biPlanes = 1;
    m_bmiThumb.bmiHeader.biBitCount = 24;
    m_bmiThumb.bmiHeader.biCompression = BI_RGB;
    m_bmiThumb.bmiHeader.biSizeImage = kThumbBlockBytes;
}

// The pool is one reservation whose pages the system commits only when a thumbnail is written,
// so an idle start does not hold 144 MB. Without it (or the working buffers) the window stays
// open without a camera.
bool CWebcamDlg::PrepareThumbnailPool() {
    m_thumbs.fill(ThumbnailRecord{});
    m_thumbPool = m_env.allocatePool ? m_env.allocatePool() : AllocateThumbnailPool();
    m_workBuffers = m_thumbPool ? AllocatePictureWorkBuffers() : nullptr;
    if (!m_thumbPool || !m_workBuffers) {
        WriteLog(" new 14400 NULL");
        return false;
    }
    AttachThumbnailPool(*m_thumbPool, m_thumbs);
    return true;
}

bool CWebcamDlg::LoadButtonFaces() {
    for (auto& pair : m_hbmButton) {
        pair[0].reset();
        pair[1].reset();
    }
    for (int p = 0; p < 4; ++p) {
        m_hbmButton[p][0] = Bitmap::LoadResource(130 + 2 * p);
        m_hbmButton[p][1] = Bitmap::LoadResource(131 + 2 * p);
        if (!m_hbmButton[p][0] || !m_hbmButton[p][1]) {
            WriteLog("function bmp error");
            return false;
        }
    }
    m_hbmButton[4][0] = Bitmap::LoadResource(154);
    m_hbmButton[4][1] = Bitmap::LoadResource(172);
    if (!m_hbmButton[4][0] || !m_hbmButton[4][1]) {
        WriteLog("function bmp error 1");
        return false;
    }
    return true;
}

// One retry after a failure other than a missing camera; a camera that still will not start is
// reported as busy, whatever the second answer.
bool CWebcamDlg::StartCamera() {
    std::int32_t result = InitStillGraph();
    if (result == 0) {
        return true;
    }
    WriteLog("InitStillGraph  Error");
    if (result == kCameraNotFound) {
        m_nResolution = 3;
        ShowUserMessage(kCameraNotFoundEnglish, kCameraNotFoundChinese, MB_ICONEXCLAMATION);
        EndDialog(1);
        return false;
    }
    WriteLog("Try again");
    ReleaseStillGraph();
    result = InitStillGraph();
    if (result != 0) {
        m_nResolution = 3;
        ShowUserMessage(kCameraBusyEnglish, kCameraBusyChinese, MB_ICONEXCLAMATION);
        EndDialog(1);
        return false;
    }
    return true;
}
