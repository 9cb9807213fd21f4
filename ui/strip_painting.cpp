#include "ui/strip_painting.h"

#include "pictures/picture_list.h"
#include "platform/control.h"
#include "platform/dialog_window.h"
#include "resources/dialog_layout.h"
#include "ui/button_faces.h"
#include "ui/keyboard.h"

namespace {

constexpr Color kGrey = Rgb(99, 99, 99);
constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kSelection = Rgb(0, 203, 233);
constexpr Color kBandOutline = Rgb(255, 0, 0);
// Where a picture's thumbnail has not been loaded yet.
constexpr Color kPlaceholder = Rgb(128, 128, 128);
// The frame's top rows darken towards the skin's shadow line above the strip.
constexpr int kRamp[8] = {73, 78, 83, 87, 90, 93, 97, 99};
constexpr int kSelectionBorder = 5;
constexpr int kRampBorder = 4;  // the white border lies this far inside the frame
// The focus ring of the current picture lies in the frame's border, outside the picture.
constexpr int kFocusRingInset = 2;

// Counts the selected pictures, cutting the list at its first empty record.
int CountSelection(PictureList& pictures) {
    int selected = 0;
    for (int i = 0; i < pictures.m_nThumbCount; ++i) {
        if (pictures.m_thumbs[i].nNumber == 0) {
            pictures.m_nThumbCount = i;
            break;
        }
        if (pictures.m_thumbs[i].bSelected) {
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

bool FrameWanted(const SkinState& skin, DrawingSurface& windowSurface, const Rect& frame) {
    if (!IsRectEmpty(skin.m_rcBandDirty)) {
        Rect overlap;
        return IntersectRect(&overlap, frame, skin.m_rcBandDirty);
    }
    return windowSurface.RectVisible(frame);
}

// A record past the list's end shows nothing, even when it still holds a picture: the list
// may have been cut short at an empty record.
const ThumbnailRecord* ShownRecord(const PictureList& pictures, int frame) {
    const int index = pictures.m_nFirstThumb + frame;
    if (index < 0 || index >= pictures.m_nThumbCount || index >= kThumbnailCapacity) {
        return nullptr;
    }
    const ThumbnailRecord& record = pictures.m_thumbs[index];
    return record.nNumber != 0 ? &record : nullptr;
}

// Composes one frame off screen and shows it in one copy, so its layers never show one by one.
void DrawFrame(const PictureList& pictures, Control& control, const ThumbnailRecord& record,
               bool focusRing) {
    Rect area = control.ClientRect();
    if (IsRectEmpty(area)) {
        return;
    }
    DrawingSurface target = control.GetDC();
    Bitmap composed(target, area.Width(), area.Height());
    DrawingSurface surface(composed);
    area = record.bSelected ? ComposeSelected(surface, area) : ComposeUnselected(surface, area);
    if (record.pPixels != nullptr && record.pixelsReady) {
        surface.StretchDIBits(area.left, area.top, area.Width(), area.Height(), 0, 0, kThumbWidth,
                              kThumbHeight, record.pPixels, pictures.m_bmiThumb);
    } else {
        // Never the block's old pixels: they may be those of another picture.
        surface.SelectPen(kPlaceholder);
        surface.SelectBrush(kPlaceholder);
        surface.Rectangle(area);
    }
    InflateRect(&area, kSelectionBorder, kSelectionBorder);
    if (focusRing) {
        Rect ring = area;
        InflateRect(&ring, -kFocusRingInset, -kFocusRingInset);
        surface.DrawFocusRect(ring);
    }
    control.Show(true);
    target.BitBlt(area.left, area.top, area.Width(), area.Height(), composed, 0, 0);
}

// Frame 0 to 5: the record the strip shows there, or nothing (the frame is hidden).
void DrawThumbnailFrame(SkinnedWindow strip, int frame) {
    Control* control = strip.window.GetDlgItem(IDC_THUMB_FRAME_FIRST + frame);
    if (control == nullptr) {
        return;
    }
    if (const ThumbnailRecord* record = ShownRecord(strip.pictures, frame)) {
        const bool current = strip.pictures.m_nFirstThumb + frame == strip.skin.m_nCaretThumb;
        DrawFrame(strip.pictures, *control, *record, current && StripShowsFocus(strip.skin));
    } else {
        control->Show(false);
    }
}

// With the keyboard focus in the strip and no current picture in view, the ring goes round the
// whole strip (not over the resolution menu, which lies across it).
void DrawStripRing(SkinnedWindow strip, DrawingSurface& windowSurface) {
    const SkinState& skin = strip.skin;
    if (!StripShowsFocus(skin) || skin.m_bResMenuOpen) {
        return;
    }
    const int frame = skin.m_nCaretThumb - strip.pictures.m_nFirstThumb;
    if (frame >= 0 && frame < 6 && ShownRecord(strip.pictures, frame) != nullptr) {
        return;
    }
    windowSurface.DrawFocusRect(skin.m_rcStrip);
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

void DrawThumbnailStrip(SkinnedWindow strip) {
    SkinState& skin = strip.skin;
    skin.m_bAnySelected = CountSelection(strip.pictures) > 0;
    // The normal face even under the pointer: the hover face returns at the next entry.
    SetButtonFace(
        skin, 1, skin.m_bAnySelected ? skin.m_hbmButton[1][0].get() : skin.m_hbmButton[4][0].get());

    // The window's surface covers the frames too, so the band lies over them.
    DrawingSurface windowSurface = strip.window.GetDC();
    if (!IsRectEmpty(skin.m_rcBandDirty)) {
        windowSurface.SelectPen(kGrey);
        windowSurface.SelectBrush(kGrey);
        windowSurface.Rectangle(skin.m_rcBandDirty);
    }
    for (int i = 0; i < 6; ++i) {
        if (FrameWanted(skin, windowSurface, skin.m_rcThumbFrame[i])) {
            DrawThumbnailFrame(strip, i);
        }
    }
    DrawStripRing(strip, windowSurface);
    DrawBandOutline(windowSurface, skin.m_rcBand);
}

void ShowArrivedThumbnail(SkinnedWindow strip, int index) {
    const int frame = index - strip.pictures.m_nFirstThumb;
    if (frame < 0 || frame >= 6) {
        return;
    }
    if (IsRectEmpty(strip.skin.m_rcBandDirty)) {
        DrawThumbnailFrame(strip, frame);
    } else {
        strip.window.InvalidateRect(&strip.skin.m_rcThumbFrame[frame], false);
    }
}
