#include "capture/device_properties.h"

#include <memory>

#include "platform/media_framework.h"

namespace {

constexpr const char* kPropertiesCaption = "Video Capture";
constexpr const char* kPropertiesTitleEnglish = "Video Capture Properties";
constexpr const char* kPropertiesTitleChinese = "Video Capture 內容";
constexpr Point kPropertiesPosition{30, 30};

}  // namespace

const char* PropertiesTitle(bool chinese) {
    return chinese ? kPropertiesTitleChinese : kPropertiesTitleEnglish;
}

void ShowDeviceProperties(CaptureState& state, MediaFramework& media, const std::string& ownerTitle,
                          bool chinese) {
    state.m_pSpecifyPages = nullptr;
    if (!state.m_pCapture) {
        return;
    }
    std::unique_ptr<PropertyPages> pages;
    if (state.m_pCapture->QuerySpecifyPropertyPages(&pages) != S_OK_RESULT || !pages) {
        return;
    }
    // Non-null exactly while the dialog is open: the power handling reads it from inside the
    // dialog's own modal loop.
    state.m_pSpecifyPages = pages.get();
    PropertyFrameRequest request;
    request.ownerTitle = ownerTitle;
    request.position = kPropertiesPosition;
    request.caption = kPropertiesCaption;
    request.title = PropertiesTitle(chinese);
    request.chinese = chinese;
    media.ShowPropertyFrame(request, *pages);
    state.m_pSpecifyPages = nullptr;
}
