#pragma once

// The skinned interface's part of the main window's record: where the buttons and the thumbnail
// frames are, the button faces, the button under the pointer, the resolution menu, the
// selection's anchor and click, and the drag band. CWebcamDlg is made of this part and those of
// capture/ and pictures/; the functions of ui/ work on this part and draw the pictures' list.

#include <array>
#include <memory>

#include "platform/gdi.h"
#include "platform/geometry.h"

class Control;

struct SkinState {
    bool m_bResMenuOpen = false;  // the resolution menu is shown
    bool m_bAnySelected = false;  // at least one picture is selected
    int m_nClickedThumb = 0;      // record that took the last plain click, -1 none
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
    int m_nAnchorThumb = 0;                  // anchor of a range selection, -1 none
    // The button faces: [b][0] normal and [b][1] hover for the four buttons, [4][0] the delete
    // button's disabled face and [4][1] a further face.
    std::unique_ptr<Bitmap> m_hbmButton[5][2];
};

struct PictureList;
class DialogWindow;

// What the pointer handling and the strip drawing work on: the interface's state, the list of
// pictures the strip shows, and the window they draw in.
struct SkinnedWindow {
    SkinState& skin;
    PictureList& pictures;
    DialogWindow& window;
};
