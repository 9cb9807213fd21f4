#include "ui/window_painting.h"

#include "platform/dialog_window.h"
#include "ui/window_timers.h"

namespace {

constexpr int kStripDelayMs = 1;
constexpr int kResolutionButtonDelayMs = 2;

}  // namespace

void PaintWindow(DialogWindow& window, const Bitmap* icon) {
    if (window.IsIconic()) {
        if (icon != nullptr) {
            const int x = (window.ClientWidth() - icon->Width() + 1) / 2;
            const int y = (window.ClientHeight() - icon->Height() + 1) / 2;
            window.GetDC().DrawBitmap(*icon, x, y);
        }
        return;
    }
    window.SetTimer(TIMER_DRAW_STRIP, kStripDelayMs);
    window.SetTimer(TIMER_RESOLUTION_BUTTON, kResolutionButtonDelayMs);
}
