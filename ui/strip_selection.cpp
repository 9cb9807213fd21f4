#include "ui/strip_selection.h"

#include <algorithm>

#include "pictures/picture_list.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "ui/keyboard.h"
#include "ui/strip_painting.h"

namespace {

// The area repainted round a frame whose look changed: its selection border and a little skin.
constexpr int kRepaintMarginX = 6;
constexpr int kRepaintMarginY = 5;
// A click this close to a frame's edge does not count as a click on the picture.
constexpr int kClickMargin = 6;

Rect Normalised(Point a, Point b) {
    return Rect{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool HasSelectionKey(unsigned flags) {
    return (flags & (MK_SHIFT | MK_CONTROL)) != 0;
}

void AddToArea(Rect* area, Rect part) {
    if (area != nullptr) {
        UnionRect(area, *area, part);
    }
}

void AddFrame(const SkinState& skin, int frame, Rect* area) {
    Rect grown = skin.m_rcThumbFrame[frame];
    InflateRect(&grown, kRepaintMarginX, kRepaintMarginY);
    AddToArea(area, grown);
}

// Adds the frame of a record if the strip shows it now.
void AddRecordInView(SkinnedWindow strip, int index, Rect* area) {
    const int frame = index - strip.pictures.m_nFirstThumb;
    if (frame >= 0 && frame < 6) {
        AddFrame(strip.skin, frame, area);
    }
}

void ClearSelection(PictureList& pictures) {
    for (int j = 0; j < pictures.m_nThumbCount; ++j) {
        pictures.m_thumbs[j].bSelected = false;
    }
}

// Every listed frame the band touches is selected; the last one becomes the anchor.
void SelectFramesUnderBand(SkinnedWindow strip, const Rect& band, Rect* area) {
    PictureList& pictures = strip.pictures;
    for (int i = 0; i < 6 && i < pictures.m_nThumbCount; ++i) {
        Rect overlap;
        if (!IntersectRect(&overlap, band, strip.skin.m_rcThumbFrame[i])) {
            continue;
        }
        const int index = pictures.m_nFirstThumb + i;
        pictures.m_thumbs[index].bSelected = true;
        strip.pictures.m_nAnchorThumb = index;
        strip.skin.m_nCaretThumb = index;
        AddFrame(strip.skin, i, area);
    }
}

void ExtendSelection(SkinnedWindow strip, int clicked, Rect* area) {
    int& anchor = strip.pictures.m_nAnchorThumb;
    if (anchor < 0) {
        return;
    }
    const int lo = std::min(anchor, clicked);
    const int hi = std::max(anchor, clicked);
    for (int j = lo; j <= hi; ++j) {
        strip.pictures.m_thumbs[j].bSelected = true;
        AddRecordInView(strip, j, area);
    }
    anchor = hi;
}

void SelectOnly(SkinnedWindow strip, int clicked, Rect* area) {
    PictureList& pictures = strip.pictures;
    for (int j = 0; j < pictures.m_nThumbCount; ++j) {
        ThumbnailRecord& record = pictures.m_thumbs[j];
        if (record.bSelected != (j == clicked)) {
            record.bSelected = false;
            AddRecordInView(strip, j, area);
        }
    }
    strip.pictures.m_nAnchorThumb = clicked;
    pictures.m_thumbs[clicked].bSelected = true;
}

void ClickOnRecord(SkinnedWindow strip, unsigned flags, int clicked, Rect* area) {
    if ((flags & MK_CONTROL) != 0) {
        strip.pictures.m_thumbs[clicked].bSelected = true;
        strip.pictures.m_nAnchorThumb = clicked;
    } else if ((flags & MK_SHIFT) != 0) {
        ExtendSelection(strip, clicked, area);
    } else {
        SelectOnly(strip, clicked, area);
    }
}

}  // namespace

bool DragInProgress(const SkinState& skin) {
    return skin.m_rcDrag.Width() > 2 && skin.m_rcDrag.Height() > 2;
}

void ClearDragState(SkinState& skin) {
    skin.m_ptDragStart = Point{};
    skin.m_ptDragCur = Point{};
    skin.m_rcDragNorm = Rect{};
    skin.m_rcDrag = Rect{};
    skin.m_rcBand = Rect{};
    skin.m_rcBandPrev = Rect{};
    skin.m_rcBandDirty = Rect{};
}

void StepDrag(SkinnedWindow strip, Point point) {
    SkinState& skin = strip.skin;
    if (skin.m_ptDragStart == Point{}) {
        skin.m_ptDragStart = point;
    }
    skin.m_ptDragCur = point;
    skin.m_rcDragNorm = Normalised(skin.m_ptDragStart, point);
    skin.m_rcDrag = skin.m_rcDragNorm;
    if (!DragInProgress(skin)) {
        return;
    }
    skin.m_rcBand = skin.m_rcDragNorm;
    InflateRect(&skin.m_rcBand, 1, 1);
    UnionRect(&skin.m_rcBandDirty, skin.m_rcBand, skin.m_rcBandPrev);
    InflateRect(&skin.m_rcBandDirty, 1, 1);
    DrawThumbnailStrip(strip);
    skin.m_rcBandPrev = skin.m_rcBand;
}

void FinishDrag(SkinnedWindow strip, unsigned flags, Point point) {
    SkinState& skin = strip.skin;
    skin.m_ptDragCur = point;
    skin.m_rcDragNorm = Normalised(skin.m_ptDragStart, point);
    skin.m_rcBand = skin.m_rcDrag = skin.m_rcDragNorm;
    Rect area = skin.m_rcDragNorm;
    if (!HasSelectionKey(flags)) {
        ClearSelection(strip.pictures);
        area = skin.m_rcStrip;
    }
    // The band last drawn reaches one pixel past its rectangle and may lie elsewhere than the
    // final one: its whole wiping area goes too, so no piece of its outline is left behind.
    AddToArea(&area, skin.m_rcBandDirty);
    SelectFramesUnderBand(strip, skin.m_rcBand, &area);
    ClearDragState(skin);
    strip.window.InvalidateRect(&area, false);
}

void FinishUnseenDrag(SkinnedWindow strip, unsigned flags) {
    SkinState& skin = strip.skin;
    if (!HasSelectionKey(flags)) {
        ClearSelection(strip.pictures);
    }
    SelectFramesUnderBand(strip, skin.m_rcBand, nullptr);
    // The last band and the whole area wiped for it: the wipe's flat grey covers the skin's
    // shading there until it is repainted.
    Rect area;
    UnionRect(&area, skin.m_rcBandPrev, skin.m_rcBandDirty);
    skin.m_rcBandDirty = skin.m_rcBandPrev;
    strip.window.InvalidateRect(&area, false);
    ClearDragState(skin);
}

void SelectByClick(SkinnedWindow strip, unsigned flags, Point point) {
    SkinState& skin = strip.skin;
    ClearDragState(skin);
    Rect area;
    for (int frame = 0; frame < 6; ++frame) {
        Rect inner = skin.m_rcThumbFrame[frame];
        InflateRect(&inner, -kClickMargin, -kClickMargin);
        if (!PtInRect(inner, point)) {
            continue;
        }
        const int clicked = strip.pictures.m_nFirstThumb + frame;
        strip.pictures.m_nClickedThumb = clicked;
        // The clicked picture becomes the current one, for the keys that follow; a focus ring
        // shown in the strip moves to it.
        if (StripShowsFocus(skin)) {
            AddToArea(&area, skin.m_rcStrip);
        }
        skin.m_nCaretThumb = clicked;
        AddFrame(skin, frame, &area);
        ClickOnRecord(strip, flags, clicked, &area);
        break;
    }
    if (!IsRectEmpty(area)) {
        strip.window.InvalidateRect(&area, false);
    }
}

void SelectRecord(SkinnedWindow strip, unsigned flags, int index, Rect* area) {
    ClickOnRecord(strip, flags, index, area);
}

void SelectAllRecords(SkinnedWindow strip) {
    PictureList& pictures = strip.pictures;
    for (int j = 0; j < pictures.m_nThumbCount; ++j) {
        pictures.m_thumbs[j].bSelected = true;
    }
}

void AddShownRecord(SkinnedWindow strip, int index, Rect* area) {
    AddRecordInView(strip, index, area);
}
