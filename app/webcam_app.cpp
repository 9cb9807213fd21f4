#include "app/webcam_app.h"

#include <memory>

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "pictures/image_library.h"

bool CWebcamApp::InitInstance() {
    WindowFinder& finder = m_env.platform.windowFinder;
    // The window title is the single-instance marker: a running copy is brought to the front.
    if (const auto running = finder.Find(kWindowTitle)) {
        finder.BringToFront(*running);
        return false;
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
        dialog->DoModal();  // every way the window ends leads to the same teardown
    }
    return false;
}
