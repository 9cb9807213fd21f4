#include "ui/resolution_menu.h"

#include <algorithm>
#include <optional>

#include "platform/control.h"
#include "platform/dialog_window.h"
#include "resources/dialog_layout.h"
#include "ui/button_faces.h"
#include "ui/window_timers.h"

namespace {

constexpr Color kMenuOutline = Rgb(0, 0, 0);
constexpr Color kMenuFill = Rgb(187, 197, 199);
// The row the keys are on, in the strip's selection colour.
constexpr Color kMenuHighlight = Rgb(0, 203, 233);
constexpr int kMenuRowHeight = 25;
constexpr int kMenuFirstBaseline = 17;  // below the button's bottom edge
constexpr Point kLabelBaselineCentre{36, 20};
constexpr Rect kLivePictureArea{0, 0, 640, 480};
constexpr int kRelabelDelayMs = 50;

int MenuRows(bool highResRefused) {
    return highResRefused ? 2 : 3;
}

void PrepareText(DrawingSurface& surface) {
    surface.SetTextAlign(TA_BASELINE | TA_CENTER);
    surface.SetBkMode(TRANSPARENT);
    surface.SetTextColor(Rgb(0, 0, 0));
}

}  // namespace

void ShowResolutionMenu(SkinState& skin, DialogWindow& window, bool highResRefused) {
    if (Control* button = window.GetDlgItem(IDC_BUTTON_FIRST + 2)) {
        const Rect face = button->ClientRect();
        const int rows = MenuRows(highResRefused);
        DrawingSurface surface = button->GetDC();
        surface.SelectPen(kMenuOutline);
        surface.SelectBrush(kMenuFill);
        const int top = face.bottom + 1;
        const int bottom = top + kMenuRowHeight * rows;
        surface.Rectangle(0, top, face.right, bottom);
        if (skin.m_nMenuRow >= 0 && skin.m_nMenuRow < rows) {
            // Inside the outline, which the first and the last row share.
            const int rowTop = top + kMenuRowHeight * skin.m_nMenuRow;
            surface.SelectPen(std::nullopt);
            surface.SelectBrush(kMenuHighlight);
            surface.Rectangle(1, std::max(rowTop, top + 1), face.right - 1,
                              std::min(rowTop + kMenuRowHeight, bottom - 1));
        }
        PrepareText(surface);
        for (int row = 0; row < rows; ++row) {
            surface.TextOut(face.right / 2, face.bottom + kMenuFirstBaseline + kMenuRowHeight * row,
                            kResolutionLabels[row]);
        }
    }
    skin.m_bResMenuOpen = true;
}

Rect MenuRowsArea(const SkinState& skin, bool highResRefused) {
    const Rect& button = skin.m_rcButton[2];
    return Rect{button.left, button.bottom + 1, button.right,
                button.bottom + 1 + kMenuRowHeight * MenuRows(highResRefused)};
}

Rect MenuAndButtonArea(const SkinState& skin, bool highResRefused) {
    Rect area = MenuRowsArea(skin, highResRefused);
    area.top = skin.m_rcButton[2].top;
    return area;
}

int MenuRowAt(const SkinState& skin, Point point, bool highResRefused) {
    const int depth = point.y - MenuRowsArea(skin, highResRefused).top;
    if (depth > 2 * kMenuRowHeight && !highResRefused) {
        return 2;
    }
    return depth > kMenuRowHeight ? 1 : 0;
}

void ShowResolutionChange(DialogWindow& window, int resolution) {
    if (resolution == 0) {
        window.InvalidateRect(&kLivePictureArea, false);
    }
    window.SetTimer(TIMER_RESOLUTION_BUTTON, kRelabelDelayMs);
}

void RefreshResolutionButton(SkinState& skin, DialogWindow& window, int resolution) {
    SetButtonFace(skin, 2, skin.m_hbmButton[2][skin.m_nHoverButton == 2 ? 1 : 0].get());
    Control* button = window.GetDlgItem(IDC_BUTTON_FIRST + 2);
    if (static_cast<unsigned>(resolution) >= 3 || button == nullptr) {
        return;
    }
    DrawingSurface surface = button->GetDC();
    PrepareText(surface);
    surface.TextOut(kLabelBaselineCentre.x, kLabelBaselineCentre.y, kResolutionLabels[resolution]);
    window.KillTimer(TIMER_RESOLUTION_BUTTON);
}
