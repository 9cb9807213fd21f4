// Drawing the six thumbnail frames and the drag band over the window.

#include "app/webcam_dlg.h"

#include "platform/control.h"
#include "platform/dialog_window.h"

namespace {

constexpr Color kGrey = Rgb(99, 99, 99);
constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kSelection = Rgb(0, 203, 233);
constexpr Color kBandOutline = Rgb(255, 0, 0);
// The frame's top rows darken towards the skin's shadow line above the strip.
constexpr int kRamp[8] = {73, 78, 83, 87, 90, 93, 97, 99};
constexpr int kSelectionBorder = 5;
constexpr int kRampBorder = 4;  // the white border lies this far inside the frame

// Counts the selected pictures, cutting the list at its first empty record.
int CountSelection(CWebcamDlg& dialog) {
    int selected = 0;
    for (int i = 0; i < dialog.m_nThumbCount; ++i) {
        if (dialog.m_thumbs[i].nNumber == 0) {
            dialog.m_nThumbCount = i;
            break;
        }
        if (dialog.m_thumbs[i].bSelected) {
            ++selected;
        }
    }
    return selected;
}

// The cyan look of a selected frame; returns where the picture goes.
Rect ComposeSelected(DrawingSurface& surface, Rect area) {
    surface.SelectPen(kSelection);
    surface.SelectBrush(kSelection);
    surface.Rectangle(area);
    InflateRect(&area, -kSelectionBorder, -kSelectionBorder);
    return area;
}

// Grey with the shadow ramp on top and a thin white border round the picture.
Rect ComposeUnselected(DrawingSurface& surface, Rect area) {
    surface.SelectPen(kGrey);
    surface.SelectBrush(kGrey);
    surface.Rectangle(area);
    for (int k = 0; k < 8; ++k) {
        surface.SelectPen(Rgb(kRamp[k], kRamp[k], kRamp[k]));
        surface.MoveTo(area.left, area.top + k);
        surface.LineTo(area.right, area.top + k);
    }
    InflateRect(&area, -kRampBorder, -kRampBorder);
    surface.SelectPen(kWhite);
    surface.SelectBrush(kGrey);
    surface.Rectangle(area);
    InflateRect(&area, -1, -1);
    return area;
}

bool FrameWanted(CWebcamDlg& dialog, DrawingSurface& windowSurface, const Rect& frame) {
    if (!IsRectEmpty(dialog.m_rcBandDirty)) {
        Rect overlap;
        return IntersectRect(&overlap, frame, dialog.m_rcBandDirty);
    }
    return windowSurface.RectVisible(frame);
}

// A record past the list's end shows nothing, even when it still holds a picture: the list
// may have been cut short at an empty record.
const ThumbnailRecord* ShownRecord(const CWebcamDlg& dialog, int frame) {
    const int index = dialog.m_nFirstThumb + frame;
    if (index < 0 || index >= dialog.m_nThumbCount || index >= kThumbnailCapacity) {
        return nullptr;
    }
    const ThumbnailRecord& record = dialog.m_thumbs[index];
    return record.nNumber != 0 ? &record : nullptr;
}

// Composes one frame off screen and shows it in one copy, so its layers never show one by one.
void DrawFrame(CWebcamDlg& dialog, Control& control, const ThumbnailRecord& record) {
    Rect area = control.ClientRect();
    if (IsRectEmpty(area)) {
        return;
    }
    DrawingSurface target = control.GetDC();
    Bitmap composed(area.Width(), area.Height());
    DrawingSurface surface(composed);
    area = record.bSelected ? ComposeSelected(surface, area) : ComposeUnselected(surface, area);
    if (record.pPixels != nullptr) {
        surface.StretchDIBits(area.left, area.top, area.Width(), area.Height(), 0, 0, kThumbWidth,
                              kThumbHeight, record.pPixels, dialog.m_bmiThumb);
    }
    InflateRect(&area, kSelectionBorder, kSelectionBorder);
    control.Show(true);
    target.BitBlt(area.left, area.top, area.Width(), area.Height(), composed, 0, 0);
}

void DrawBandOutline(DrawingSurface& windowSurface, Rect band) {
    if (band.Width() <= 2 || band.Height() <= 2) {
        return;
    }
    InflateRect(&band, -1, -1);
    if (!windowSurface.RectVisible(band)) {
        return;
    }
    const Point outline[5] = {{band.left, band.top},
                              {band.right, band.top},
                              {band.right, band.bottom},
                              {band.left, band.bottom},
                              {band.left, band.top}};
    windowSurface.SelectPen(kBandOutline);
    windowSurface.Polyline(outline, 5);
}

}  // namespace

void CWebcamDlg::DrawThumbnailStrip() {
    m_bAnySelected = CountSelection(*this) > 0;
    // The normal face even under the pointer: the hover face returns at the next entry.
    SetButtonFace(1, m_bAnySelected ? m_hbmButton[1][0].get() : m_hbmButton[4][0].get());

    // The window's surface covers the frames too, so the band lies over them.
    DrawingSurface windowSurface = Window().GetDC();
    if (!IsRectEmpty(m_rcBandDirty)) {
        windowSurface.SelectPen(kGrey);
        windowSurface.SelectBrush(kGrey);
        windowSurface.Rectangle(m_rcBandDirty);
    }
    for (int i = 0; i < 6; ++i) {
        if (!FrameWanted(*this, windowSurface, m_rcThumbFrame[i])) {
            continue;
        }
        Control* control = Window().GetDlgItem(IDC_THUMB_FRAME_FIRST + i);
        if (control == nullptr) {
            continue;
        }
        if (const ThumbnailRecord* record = ShownRecord(*this, i)) {
            DrawFrame(*this, *control, *record);
        } else {
            control->Show(false);
        }
    }
    DrawBandOutline(windowSurface, m_rcBand);
}
