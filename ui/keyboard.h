#pragma once

// The window driven from the keyboard. The focus goes round the four buttons and the strip with
// Tab and Shift+Tab; Space presses the focused button; in the strip Left and Right move the
// selection by one picture, Home and End to the ends, Shift extends the selection from its
// anchor as a Shift-click does, Ctrl moves the current picture alone (Space then adds it, as a
// Ctrl-click does), Ctrl+A selects every picture and Ctrl+O opens the current one; Delete
// deletes the selection from anywhere. The resolution menu answers Up, Down, Space and Escape.
//
// Like the pointer handling, the keys change the interface's state and drawing here and ask the
// window for the commands they mean, which run exactly as the pointer's do. The focus ring shows
// once the keyboard has been used in the window, and only while the window has the keyboard
// focus: until then nothing is drawn differently from a window worked with the pointer alone.

#include "platform/geometry.h"
#include "ui/skin_state.h"

// What a key asks of the window beyond the interface's own reaction.
struct KeyCommand {
    enum class Kind {
        None,
        Button,      // run the command of button `value` (0 to 3), as its click does
        Resolution,  // restart the camera at resolution `value` (0 to 2) if it differs
        Scroll,      // scroll the strip with code `value`, `repeat` times, as the scroll bar does
        Open,        // open the picture m_nClickedThumb names, as a double click does
    };
    Kind kind = Kind::None;
    int value = 0;
    int repeat = 1;
};

// The camera's side of the resolution menu: the resolution chosen now and whether the camera
// refused 1280 x 1024 (the menu then has two rows).
struct MenuFacts {
    int resolution = 0;
    bool highResRefused = false;
};

// A key that the keyboard filter let through (flags: MK_SHIFT, MK_CONTROL).
KeyCommand KeyDown(SkinnedWindow strip, unsigned flags, int key, MenuFacts menu);

// Presses button 0 to 3 from the keyboard (or for assistive technology): the button takes the
// focus, and the command is its click's, with the selection counted at once for the delete
// button and the chosen resolution's row under the keys in the menu the resolution button opens.
KeyCommand PressButton(SkinnedWindow strip, int button, MenuFacts menu);

// Escape reached the keyboard filter: it closes the resolution menu when it is open, and does
// nothing else (the window never closes on a key).
void EscapePressed(SkinnedWindow strip, bool highResRefused);

// Picks row `row` of the open resolution menu, as a click on the row does: the menu closes, and
// the command restarts the camera at that resolution.
KeyCommand ChooseMenuRow(SkinnedWindow strip, int row, bool highResRefused);

// Moves the keyboard focus to control `focus` (0 to 3 a button, kFocusStrip the strip).
void MoveFocus(SkinnedWindow strip, int focus);
// The window gained or lost the keyboard focus.
void WindowFocusChanged(SkinnedWindow strip, bool focused);
// Takes every focus ring away for good (the window's end); the state is kept.
void HideKeyboardFocus(SkinnedWindow strip);
// Whether the strip shows the focus ring now (on the current picture's frame when it is in
// view, else round the whole strip).
bool StripShowsFocus(const SkinState& skin);

// Sets m_bAnySelected from the list at once, for a command that acts on the selection before the
// strip's next drawing would have counted it. True when a picture is selected.
bool NoteSelection(SkinnedWindow strip);

// The current picture of the strip: the one the keys or the last click moved to when it is
// still listed, else the anchor, else the first selected picture; -1 when there is none.
int CurrentPicture(const SkinState& skin, const PictureList& pictures);
