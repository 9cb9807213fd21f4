// The keyboard's handlers: the filter keeps Escape and Enter from ending the window, ui/keyboard
// decides what the other keys did, and the commands they ask for run here exactly as the
// pointer's do.

#include "app/webcam_dlg.h"
#include "ui/keyboard.h"

bool CWebcamDlg::PreTranslateMessage(const KeyMessage& message) {
    const bool keyMessage = message.message == WM_KEYDOWN || message.message == WM_KEYUP;
    // Neither Escape nor Enter may end the window: it has no OK or Cancel button. Escape only
    // closes the resolution menu.
    if (!keyMessage || (message.key != VK_ESCAPE && message.key != VK_RETURN)) {
        return false;
    }
    if (message.message == WM_KEYDOWN && message.key == VK_ESCAPE && HasWindow()) {
        EscapePressed(Skin(), m_bHighResRefused);
    }
    return true;
}

void CWebcamDlg::OnKeyDown(unsigned flags, int key) {
    if (!HasWindow()) {
        return;
    }
    RunKeyCommand(KeyDown(Skin(), flags, key, MenuFacts{m_nResolution, m_bHighResRefused}));
}

void CWebcamDlg::RunKeyCommand(const KeyCommand& command) {
    switch (command.kind) {
        case KeyCommand::Kind::Button:
            RunButtonCommand(command.value);
            break;
        case KeyCommand::Kind::Resolution:
            ChangeResolution(command.value);
            break;
        case KeyCommand::Kind::Scroll:
            for (int step = 0; step < command.repeat; ++step) {
                OnHScroll(command.value, 0);
            }
            break;
        case KeyCommand::Kind::Open:
            OnLButtonDblClk(0, Point{});
            break;
        case KeyCommand::Kind::None:
            break;
    }
}

void CWebcamDlg::OnSetFocus() {
    if (HasWindow()) {
        WindowFocusChanged(Skin(), true);
    }
}

void CWebcamDlg::OnKillFocus() {
    if (HasWindow()) {
        WindowFocusChanged(Skin(), false);
    }
}
