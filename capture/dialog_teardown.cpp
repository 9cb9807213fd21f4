// The window's destroy handling: everything that lives as long as the window goes here.

#include "app/webcam_dlg.h"
#include "capture/frame_double_buffer.h"
#include "capture/power_events.h"
#include "pictures/thumbnail_pool.h"
#include "platform/media_framework.h"

void CWebcamDlg::OnDestroy() {
    // The graph goes first: its streaming thread has ended once this returns, so nothing runs
    // on another thread that could still reach this dialog.
    ReleaseStillGraph();
    // The camera is closed now; the machine may sleep without waiting for us.
    StopWatchingPower(*this);
    CWebcamDlg* self = this;
    g_frameGrabberCallback.m_pDialog.compare_exchange_strong(self, nullptr);

    for (auto& pair : m_hbmButton) {
        for (std::unique_ptr<Bitmap>& face : pair) {
            face.reset();
        }
    }
    for (ThumbnailRecord& record : m_thumbs) {
        record.pPixels = nullptr;
    }
    m_thumbPool.reset();
    DialogBase::OnDestroy();
}
