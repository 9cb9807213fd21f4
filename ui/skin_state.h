#pragma once

// The skinned interface's part of the main window's record: where the buttons and the thumbnail
// frames are, the button faces, the button under the pointer, the resolution menu and the drag
// band. CWebcamDlg is made of this part and those of
// capture/ and pictures/; the functions of ui/ work on this part and draw the pictures' list.

#include <array>
#include <memory>

#include "platform/gdi.h"
#include "platform/geometry.h"

class Control;

struct SkinState {
    bool m_bResMenuOpen = false;  // the resolution menu is shown
    bool m_bAnySelected = false;  // at least one picture is selected
    Rect m_rcStrip;               // round the six thumbnail frames
    // The band-selection drag: first and latest pointer positions, the normalised rectangle,
    // the drag in progress (wider and taller than 2), the band shown, the band of the previous
    // step and the area repainted for a step.
    Point m_ptDragStart;
    Point m_ptDragCur;
    Rect m_rcDragNorm;
    Rect m_rcDrag;
    Rect m_rcBand;
    Rect m_rcBandPrev;
    Rect m_rcBandDirty;
    int m_nHoverButton = 0;  // button under the pointer, 0 to 3, -1 none
    std::array<Rect, 4> m_rcButton{};
    std::array<Rect, 6> m_rcThumbFrame{};
    std::array<Control*, 4> m_hwndButton{};  // the button controls, owned by the window
    // The button faces: [b][0] normal and [b][1] hover for the four buttons, [4][0] the delete
    // button's disabled face and [4][1] a further face.
    std::unique_ptr<Bitmap> m_hbmButton[5][2];
    // The keyboard: which control has the focus (0 to 3 the buttons, kFocusStrip the strip),
    // whether the focus ring is shown at all (once the keyboard has been used in the window)
    // and whether the window has the keyboard focus; where the strip's current picture is (a
    // record index, -1 none) and which row of the resolution menu the keys are on (-1 none,
    // as when the pointer opened it). m_bStripRingShown remembers whether the strip's last
    // drawing showed a ring.
    int m_nFocus = 0;
    bool m_bFocusCues = false;
    bool m_bWindowFocused = true;
    int m_nCaretThumb = -1;
    int m_nMenuRow = -1;
    bool m_bStripRingShown = false;
};

// The strip's place in the keyboard's focus order, after the four buttons.
constexpr int kFocusStrip = 4;
constexpr int kFocusStops = 5;

struct PictureList;
class DialogWindow;

// What the pointer handling and the strip drawing work on: the interface's state, the list of
// pictures the strip shows, and the window they draw in.
struct SkinnedWindow {
    SkinState& skin;
    PictureList& pictures;
    DialogWindow& window;
};
