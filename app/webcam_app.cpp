#include "app/webcam_app.h"

#include <memory>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "pictures/image_library.h"
#include "platform/diagnostic_log.h"

bool CWebcamApp::InitInstance() {
    WindowFinder& finder = m_env.platform.windowFinder;
    // A copy that finds the session's name taken has asked the running copy to come forward.
    const InstanceClaimResult claim = ClaimSingleInstance();
    if (claim.outcome == InstanceClaim::Running) {
        return false;
    }
    // Without a session bus the window title is the single-instance marker: a running copy
    // is brought to the front.
    if (claim.outcome == InstanceClaim::NoBus) {
        if (const auto running = finder.Find(kWindowTitle)) {
            finder.BringToFront(*running, {});
            return false;
        }
    }
    if (finder.Find(kAmcapTitle)) {
        m_env.platform.messageBoxes.Show(kCloseAmcap, kMessageBoxCaption, MB_OK);
        return false;
    }
    // Large (its thumbnail table has 10000 records), so the dialog lives on the heap rather than
    // on the main thread's stack. It outlives the image library: by the time the library
    // closes, the window's own teardown (OnDestroy) has released the camera and the thumbnails.
    std::unique_ptr<CWebcamDlg> dialog;
    {
        const ImageLibrary library;
        dialog = std::make_unique<CWebcamDlg>(m_env);
        // Logging is decided by the dialog's constructor, so the claim's trouble is noted now.
        if (claim.outcome == InstanceClaim::Undecided) {
            WriteLog("Session bus: " + claim.detail + "; started alone");
        }
        dialog->DoModal();  // every way the window ends leads to the same teardown
    }
    return false;
}
