#include "app/webcam_dlg.h"

#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_pool.h"
#include "platform/diagnostic_log.h"
#include "platform/media_framework.h"
#include "platform/power_notices.h"
#include "resources/dialog_layout.h"

namespace {

constexpr int kIconResource = 128;

}  // namespace

CWebcamDlg::CWebcamDlg(WebcamEnvironment& environment)
    : DialogBase(MainDialogLayout(), environment.platform), m_env(environment) {
    m_strStatic.clear();
    m_iconBitmap = Bitmap::LoadIcon(kIconResource, Rgb(99, 99, 99));
    m_hIcon = m_iconBitmap.get();
    StartLogging();
}

// The capture interfaces go in the reverse of their declaration order: grabber, capture
// filter, graph. In the normal course OnDestroy has released them already.
CWebcamDlg::~CWebcamDlg() = default;

bool CWebcamDlg::PreTranslateMessage(const KeyMessage& message) {
    const bool keyMessage = message.message == WM_KEYDOWN || message.message == WM_KEYUP;
    // Neither Escape nor Enter may end the window: it has no OK or Cancel button.
    return keyMessage && (message.key == VK_ESCAPE || message.key == VK_RETURN);
}
