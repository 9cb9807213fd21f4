#include "ui/button_faces.h"

#include "platform/control.h"
#include "platform/diagnostic_log.h"
#include "platform/dialog_window.h"

void SetButtonFace(SkinState& skin, int button, const Bitmap* face) {
    if (face == nullptr || button < 0 || button >= static_cast<int>(skin.m_hwndButton.size())) {
        return;
    }
    if (Control* control = skin.m_hwndButton[button]) {
        control->SetImage(face);
    }
}

bool LoadButtonFaces(SkinState& skin) {
    ReleaseButtonFaces(skin);
    for (int p = 0; p < 4; ++p) {
        skin.m_hbmButton[p][0] = Bitmap::LoadResource(130 + 2 * p);
        skin.m_hbmButton[p][1] = Bitmap::LoadResource(131 + 2 * p);
        if (!skin.m_hbmButton[p][0] || !skin.m_hbmButton[p][1]) {
            WriteLog("function bmp error");
            return false;
        }
    }
    skin.m_hbmButton[4][0] = Bitmap::LoadResource(154);
    skin.m_hbmButton[4][1] = Bitmap::LoadResource(172);
    if (!skin.m_hbmButton[4][0] || !skin.m_hbmButton[4][1]) {
        WriteLog("function bmp error 1");
        return false;
    }
    return true;
}

void ReleaseButtonFaces(SkinState& skin) {
    for (auto& pair : skin.m_hbmButton) {
        for (std::unique_ptr<Bitmap>& face : pair) {
            face.reset();
        }
    }
}
