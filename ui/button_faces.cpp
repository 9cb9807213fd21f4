// The button faces and the self-drawn resolution menu.

#include "app/user_messages.h"
#include "app/webcam_dlg.h"
#include "platform/control.h"
#include "platform/dialog_window.h"

namespace {

constexpr Color kMenuOutline = Rgb(0, 0, 0);
constexpr Color kMenuFill = Rgb(187, 197, 199);
constexpr int kMenuRowHeight = 25;
constexpr int kMenuFirstBaseline = 17;  // below the button's bottom edge

}  // namespace

// The controls only borrow the face; the window keeps owning every face it loaded. A face that
// was never loaded leaves the control showing what it showed.
void CWebcamDlg::SetButtonFace(int button, const Bitmap* face) {
    if (face == nullptr || button < 0 || button >= static_cast<int>(m_hwndButton.size())) {
        return;
    }
    if (Control* control = m_hwndButton[button]) {
        control->SetImage(face);
    }
}

// The menu is drawn straight over the strip below the resolution button: it is no window and
// stays until its area is repainted, which the pointer handling asks for when it closes it.
void CWebcamDlg::ShowResolutionMenu() {
    if (Control* button = Window().GetDlgItem(IDC_BUTTON_FIRST + 2)) {
        const Rect face = button->ClientRect();
        const int rows = m_bHighResRefused ? 2 : 3;
        DrawingSurface surface = button->GetDC();
        surface.SelectPen(kMenuOutline);
        surface.SelectBrush(kMenuFill);
        surface.Rectangle(0, face.bottom + 1, face.right, face.bottom + 1 + kMenuRowHeight * rows);
        surface.SetTextAlign(TA_BASELINE | TA_CENTER);
        surface.SetBkMode(TRANSPARENT);
        surface.SetTextColor(Rgb(0, 0, 0));
        for (int row = 0; row < rows; ++row) {
            surface.TextOut(face.right / 2, face.bottom + kMenuFirstBaseline + kMenuRowHeight * row,
                            kResolutionLabels[row]);
        }
    }
    m_bResMenuOpen = true;
}
