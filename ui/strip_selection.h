#pragma once

// Selecting pictures in the thumbnail strip with the pointer: clicks (plain, Ctrl, Shift) and the
// band dragged over the frames. Used by the window's pointer handling.

#include "platform/geometry.h"
#include "ui/skin_state.h"

// A drag is under way once its rectangle is wider and higher than 2 pixels.
bool DragInProgress(const SkinState& skin);
void ClearDragState(SkinState& skin);

// A move with the left button held inside the strip: starts the drag, or moves its band and
// redraws what the band covered.
void StepDrag(SkinnedWindow strip, Point point);
// The drag ends at a pointer position (release, or a held move leaving the strip): the frames
// under the final band become the selection, or join it with Shift or Ctrl.
void FinishDrag(SkinnedWindow strip, unsigned flags, Point point);
// The drag's release was not seen (it happened outside the window): the last band shown decides.
void FinishUnseenDrag(SkinnedWindow strip, unsigned flags);

// A release that was neither a command nor a drag: selects by the frame under the pointer.
void SelectByClick(SkinnedWindow strip, unsigned flags, Point point);

// Selects record `index` as a click on its frame does with these flags (plain: it alone and it
// becomes the anchor; MK_CONTROL: it joins the selection; MK_SHIFT: the range from the anchor
// joins it), adding the frames whose look changed to `area` (may be null).
void SelectRecord(SkinnedWindow strip, unsigned flags, int index, Rect* area);
// Selects every listed picture.
void SelectAllRecords(SkinnedWindow strip);
// Adds the frame of record `index` to `area` when the strip shows it now.
void AddShownRecord(SkinnedWindow strip, int index, Rect* area);
