// The camera driver's settings dialog and the reaction to power broadcasts.

#include <cstdio>

#include "app/webcam_dlg.h"
#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"
#include "platform/media_framework.h"

namespace {

constexpr const char* kPropertiesCaption = "Video Capture";
constexpr const char* kPropertiesTitleEnglish = "Video Capture Properties";
constexpr const char* kPropertiesTitleChinese = "Video Capture 內容";

constexpr std::uintptr_t PBT_APMQUERYSUSPEND = 0;
constexpr std::uintptr_t PBT_APMSUSPEND = 4;
constexpr int kSuspendResult = 4;

const char* PropertiesTitle(bool chinese) {
    return chinese ? kPropertiesTitleChinese : kPropertiesTitleEnglish;
}

}  // namespace

void CWebcamDlg::ShowDeviceProperties() {
    if (Control* button = m_hwndButton[3]) {
        button->SetImage(m_hbmButton[3][0].get());
    }
    m_pSpecifyPages = nullptr;
    if (!m_pCapture) {
        return;
    }
    std::unique_ptr<PropertyPages> pages;
    if (m_pCapture->QuerySpecifyPropertyPages(&pages) != S_OK_RESULT || !pages) {
        return;
    }
    // Non-null exactly while the dialog is open: the power handling reads it from inside the
    // dialog's own modal loop.
    m_pSpecifyPages = pages.get();
    PropertyFrameRequest request;
    request.ownerTitle = HasWindow() ? Window().Title() : std::string();
    request.position = Point{30, 30};
    request.caption = kPropertiesCaption;
    request.title = PropertiesTitle(m_bChinese);
    request.chinese = m_bChinese;
    Environment().media.ShowPropertyFrame(request, *pages);
    m_pSpecifyPages = nullptr;
}

std::intptr_t CWebcamDlg::WindowProc(unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    if (message == WM_POWERBROADCAST) {
        char line[64];
        std::snprintf(line, sizeof line, "WM_POWERBROADCAST %08X %08X", message,
                      static_cast<unsigned>(wParam));
        WriteLog(line);
        if (wParam == PBT_APMQUERYSUSPEND || wParam == PBT_APMSUSPEND) {
            if (m_pSpecifyPages != nullptr) {
                WindowFinder& finder = Services().windowFinder;
                if (std::optional<WindowRef> frame = finder.Find(PropertiesTitle(m_bChinese))) {
                    finder.Close(*frame);
                }
            }
            EndDialog(kSuspendResult);
        }
    }
    return DialogBase::WindowProc(message, wParam, lParam);
}
