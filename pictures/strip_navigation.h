#pragma once

// The strip's place in the picture list and its scroll bar: after every change of the list the
// strip shows the last six pictures; the scroll bar moves it through the list.

#include "pictures/picture_list.h"
#include "platform/geometry.h"

class DialogWindow;

// Recomputes the next picture number, puts the strip and the window's scroll bar (when there is
// a window) at the end of the list, and invalidates `strip` when the list's length changed since
// the last time.
void UpdateThumbScroll(PictureList& list, DialogWindow* window, const Rect& strip);

// Moves the strip by one of the scroll codes (SB_LINELEFT ... SB_RIGHT); `position` is the
// thumb's position for SB_THUMBPOSITION and SB_THUMBTRACK. False when the list is too short to
// scroll (six pictures or fewer), in which case nothing changes.
bool ScrollStrip(PictureList& list, int code, int position);
