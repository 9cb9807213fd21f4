#pragma once

// Where the thumbnail frames, the strip and the buttons lie in the window: laid out once when
// the window starts, and read again from the controls whenever the window moves.

#include "ui/skin_state.h"

// Moves the six frames into a row (x = 8 + 106 i, y = 519, 90 x 70) and notes their places and
// the strip round them. A missing frame is logged ("get small pic rect error 0"); its rectangle
// stays empty and the layout goes on.
void LayOutThumbnailFrames(SkinState& skin, DialogWindow& window);

// Moves each button down to y = 483, keeping its horizontal place, and notes its place and
// control. A missing button is logged ("get function rect error 0"); the layout goes on.
void LayOutButtons(SkinState& skin, DialogWindow& window);

// Reads the frames', the strip's and the buttons' rectangles from the controls' present places,
// moving nothing; a missing control is logged ("get small pic rect error 1", "get function rect
// error 1") and ends the reading there.
void ReadControlPlaces(SkinState& skin, DialogWindow& window);
