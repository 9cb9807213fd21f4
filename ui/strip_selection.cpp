#include "ui/strip_selection.h"

#include <algorithm>

#include "app/webcam_dlg.h"
#include "platform/dialog_window.h"

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

void AddFrame(const CWebcamDlg& dialog, int frame, Rect* area) {
    Rect grown = dialog.m_rcThumbFrame[frame];
    InflateRect(&grown, kRepaintMarginX, kRepaintMarginY);
    AddToArea(area, grown);
}

// Adds the frame of a record if the strip shows it now.
void AddRecordInView(const CWebcamDlg& dialog, int index, Rect* area) {
    const int frame = index - dialog.m_nFirstThumb;
    if (frame >= 0 && frame < 6) {
        AddFrame(dialog, frame, area);
    }
}

void ClearSelection(CWebcamDlg& dialog) {
    for (int j = 0; j < dialog.m_nThumbCount; ++j) {
        dialog.m_thumbs[j].bSelected = false;
    }
}

// Every listed frame the band touches is selected; the last one becomes the anchor.
void SelectFramesUnderBand(CWebcamDlg& dialog, const Rect& band, Rect* area) {
    for (int i = 0; i < 6 && i < dialog.m_nThumbCount; ++i) {
        Rect overlap;
        if (!IntersectRect(&overlap, band, dialog.m_rcThumbFrame[i])) {
            continue;
        }
        const int index = dialog.m_nFirstThumb + i;
        dialog.m_thumbs[index].bSelected = true;
        dialog.m_nAnchorThumb = index;
        AddFrame(dialog, i, area);
    }
}

void ExtendSelection(CWebcamDlg& dialog, int clicked, Rect* area) {
    if (dialog.m_nAnchorThumb < 0) {
        return;
    }
    const int lo = std::min(dialog.m_nAnchorThumb, clicked);
    const int hi = std::max(dialog.m_nAnchorThumb, clicked);
    for (int j = lo; j <= hi; ++j) {
        dialog.m_thumbs[j].bSelected = true;
        AddRecordInView(dialog, j, area);
    }
    dialog.m_nAnchorThumb = hi;
}

void SelectOnly(CWebcamDlg& dialog, int clicked, Rect* area) {
    for (int j = 0; j < dialog.m_nThumbCount; ++j) {
        ThumbnailRecord& record = dialog.m_thumbs[j];
        if (record.bSelected != (j == clicked)) {
            record.bSelected = false;
            AddRecordInView(dialog, j, area);
        }
    }
    dialog.m_nAnchorThumb = clicked;
    dialog.m_thumbs[clicked].bSelected = true;
}

void ClickOnRecord(CWebcamDlg& dialog, unsigned flags, int clicked, Rect* area) {
    if ((flags & MK_CONTROL) != 0) {
        dialog.m_thumbs[clicked].bSelected = true;
        dialog.m_nAnchorThumb = clicked;
    } else if ((flags & MK_SHIFT) != 0) {
        ExtendSelection(dialog, clicked, area);
    } else {
        SelectOnly(dialog, clicked, area);
    }
}

}  // namespace

bool DragInProgress(const CWebcamDlg& dialog) {
    return dialog.m_rcDrag.Width() > 2 && dialog.m_rcDrag.Height() > 2;
}

void ClearDragState(CWebcamDlg& dialog) {
    dialog.m_ptDragStart = Point{};
    dialog.m_ptDragCur = Point{};
    dialog.m_rcDragNorm = Rect{};
    dialog.m_rcDrag = Rect{};
    dialog.m_rcBand = Rect{};
    dialog.m_rcBandPrev = Rect{};
    dialog.m_rcBandDirty = Rect{};
}

void StepDrag(CWebcamDlg& dialog, Point point) {
    if (dialog.m_ptDragStart == Point{}) {
        dialog.m_ptDragStart = point;
    }
    dialog.m_ptDragCur = point;
    dialog.m_rcDragNorm = Normalised(dialog.m_ptDragStart, point);
    dialog.m_rcDrag = dialog.m_rcDragNorm;
    if (!DragInProgress(dialog)) {
        return;
    }
    dialog.m_rcBand = dialog.m_rcDragNorm;
    InflateRect(&dialog.m_rcBand, 1, 1);
    UnionRect(&dialog.m_rcBandDirty, dialog.m_rcBand, dialog.m_rcBandPrev);
    InflateRect(&dialog.m_rcBandDirty, 1, 1);
    dialog.DrawThumbnailStrip();
    dialog.m_rcBandPrev = dialog.m_rcBand;
}

void FinishDrag(CWebcamDlg& dialog, unsigned flags, Point point) {
    dialog.m_ptDragCur = point;
    dialog.m_rcDragNorm = Normalised(dialog.m_ptDragStart, point);
    dialog.m_rcBand = dialog.m_rcDrag = dialog.m_rcDragNorm;
    Rect area = dialog.m_rcDragNorm;
    if (!HasSelectionKey(flags)) {
        ClearSelection(dialog);
        area = dialog.m_rcStrip;
    }
    // The band last drawn reaches one pixel past its rectangle and may lie elsewhere than the
    // final one: its whole wiping area goes too, so no piece of its outline is left behind.
    AddToArea(&area, dialog.m_rcBandDirty);
    SelectFramesUnderBand(dialog, dialog.m_rcBand, &area);
    ClearDragState(dialog);
    dialog.Window().InvalidateRect(&area, false);
}

void FinishUnseenDrag(CWebcamDlg& dialog, unsigned flags) {
    if (!HasSelectionKey(flags)) {
        ClearSelection(dialog);
    }
    SelectFramesUnderBand(dialog, dialog.m_rcBand, nullptr);
    // The last band and the whole area wiped for it: the wipe's flat grey covers the skin's
    // shading there until it is repainted.
    Rect area;
    UnionRect(&area, dialog.m_rcBandPrev, dialog.m_rcBandDirty);
    dialog.m_rcBandDirty = dialog.m_rcBandPrev;
    dialog.Window().InvalidateRect(&area, false);
    ClearDragState(dialog);
}

void SelectByClick(CWebcamDlg& dialog, unsigned flags, Point point) {
    ClearDragState(dialog);
    Rect area;
    for (int frame = 0; frame < 6; ++frame) {
        Rect inner = dialog.m_rcThumbFrame[frame];
        InflateRect(&inner, -kClickMargin, -kClickMargin);
        if (!PtInRect(inner, point)) {
            continue;
        }
        const int clicked = dialog.m_nFirstThumb + frame;
        dialog.m_nClickedThumb = clicked;
        AddFrame(dialog, frame, &area);
        ClickOnRecord(dialog, flags, clicked, &area);
        break;
    }
    if (!IsRectEmpty(area)) {
        dialog.Window().InvalidateRect(&area, false);
    }
}
