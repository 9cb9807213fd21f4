#include "ui/keyboard.h"

#include <algorithm>

#include "pictures/picture_list.h"
#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "ui/resolution_menu.h"
#include "ui/strip_selection.h"
#include "ui/window_timers.h"

namespace {

constexpr int kFramesShown = 6;
// The resolution button's label is drawn over its face; a repaint of the face for the focus
// ring takes it away until timer 100 draws it again, as after a hover change.
constexpr int kRelabelDelayMs = 5;

bool Held(unsigned flags, unsigned modifier) {
    return (flags & modifier) != 0;
}

bool IsSelected(const PictureList& pictures, int index) {
    return index >= 0 && index < pictures.m_nThumbCount && pictures.m_thumbs[index].bSelected;
}

int FirstSelected(const PictureList& pictures) {
    for (int i = 0; i < pictures.m_nThumbCount; ++i) {
        if (pictures.m_thumbs[i].bSelected) {
            return i;
        }
    }
    return -1;
}

int MenuRows(bool highResRefused) {
    return highResRefused ? 2 : 3;
}

void CloseMenu(SkinnedWindow strip, bool highResRefused) {
    SkinState& skin = strip.skin;
    skin.m_bResMenuOpen = false;
    skin.m_nMenuRow = -1;
    const Rect rows = MenuRowsArea(skin, highResRefused);
    strip.window.InvalidateRect(&rows, false);
}

// The first key shows the focus ring from then on.
void ShowCues(SkinnedWindow strip) {
    if (!strip.skin.m_bFocusCues) {
        strip.skin.m_bFocusCues = true;
        MoveFocus(strip, strip.skin.m_nFocus);
    }
}

bool RingsShown(const SkinState& skin) {
    return skin.m_bFocusCues && skin.m_bWindowFocused;
}

void ShowRings(SkinnedWindow strip, bool shown) {
    SkinState& skin = strip.skin;
    bool labelLost = false;
    for (int b = 0; b < 4; ++b) {
        Control* button = skin.m_hwndButton[b];
        const bool ring = shown && skin.m_nFocus == b;
        if (button != nullptr && button->HasFocusRing() != ring) {
            button->SetFocusRing(ring);
            labelLost = labelLost || b == 2;
        }
    }
    if (labelLost) {
        strip.window.SetTimer(TIMER_RESOLUTION_BUTTON, kRelabelDelayMs);
    }
    const bool stripRing = shown && skin.m_nFocus == kFocusStrip;
    if (stripRing != skin.m_bStripRingShown) {
        skin.m_bStripRingShown = stripRing;
        strip.window.InvalidateRect(&skin.m_rcStrip, false);
    }
}

// Scrolls the strip by its scroll bar's own steps until record `index` is in view.
KeyCommand ScrollToShow(const PictureList& pictures, int index) {
    const int first = pictures.m_nFirstThumb;
    if (index < first) {
        return {KeyCommand::Kind::Scroll, SB_LINELEFT, first - index};
    }
    if (index >= first + kFramesShown) {
        return {KeyCommand::Kind::Scroll, SB_LINERIGHT, index - (first + kFramesShown - 1)};
    }
    return {};
}

// Where Left, Right, Home and End go from the current picture. With nothing selected (and
// without Ctrl, which moves the current picture alone) Left starts from the end of the list and
// Right from its beginning.
int MoveTarget(const SkinState& skin, const PictureList& pictures, unsigned flags, int key) {
    const int last = pictures.m_nThumbCount - 1;
    const int current = CurrentPicture(skin, pictures);
    const bool fromCurrent =
        current >= 0 && (Held(flags, MK_CONTROL) || FirstSelected(pictures) >= 0);
    switch (key) {
        case VK_HOME:
            return 0;
        case VK_END:
            return last;
        case VK_LEFT:
            return fromCurrent ? std::max(current - 1, 0) : last;
        default:  // VK_RIGHT
            return fromCurrent ? std::min(current + 1, last) : 0;
    }
}

// Selects `target` as a click with these keys does; a Shift without an anchor to extend from
// selects like a plain key, so that the key never does nothing.
void SelectByKey(SkinnedWindow strip, unsigned flags, int target, Rect* area) {
    PictureList& pictures = strip.pictures;
    unsigned clickFlags = flags & (MK_SHIFT | MK_CONTROL);
    if (Held(clickFlags, MK_SHIFT) && pictures.m_nAnchorThumb < 0) {
        clickFlags &= ~MK_SHIFT;
    }
    pictures.m_nClickedThumb = target;
    SelectRecord(strip, clickFlags, target, area);
}

// The current picture moves to `target` and, unless Ctrl is held, the selection follows as a
// click does; the strip then scrolls to show it.
KeyCommand MoveInStrip(SkinnedWindow strip, unsigned flags, int target) {
    SkinState& skin = strip.skin;
    Rect area;
    AddShownRecord(strip, skin.m_nCaretThumb, &area);
    skin.m_nCaretThumb = target;
    AddShownRecord(strip, target, &area);
    if (!Held(flags, MK_CONTROL)) {
        SelectByKey(strip, flags, target, &area);
    }
    NoteSelection(strip);
    if (StripShowsFocus(skin)) {
        UnionRect(&area, area, skin.m_rcStrip);  // the ring may leave the strip's edge
    }
    strip.window.InvalidateRect(&area, false);
    return ScrollToShow(strip.pictures, target);
}

KeyCommand StripKey(SkinnedWindow strip, unsigned flags, int key) {
    PictureList& pictures = strip.pictures;
    if (pictures.m_nThumbCount <= 0) {
        return {};
    }
    const bool ctrl = Held(flags, MK_CONTROL);
    switch (key) {
        case VK_LEFT:
        case VK_RIGHT:
        case VK_HOME:
        case VK_END:
            return MoveInStrip(strip, flags, MoveTarget(strip.skin, pictures, flags, key));
        case VK_SPACE: {
            const int current = CurrentPicture(strip.skin, pictures);
            Rect area;
            SelectByKey(strip, flags, current >= 0 ? current : 0, &area);
            strip.skin.m_nCaretThumb = pictures.m_nClickedThumb;
            NoteSelection(strip);
            UnionRect(&area, area, strip.skin.m_rcStrip);
            strip.window.InvalidateRect(&area, false);
            return ScrollToShow(pictures, pictures.m_nClickedThumb);
        }
        case 'A':
            if (ctrl) {
                SelectAllRecords(strip);
                NoteSelection(strip);
                strip.window.InvalidateRect(&strip.skin.m_rcStrip, false);
            }
            return {};
        case 'O': {
            if (!ctrl) {
                return {};
            }
            const int current = CurrentPicture(strip.skin, pictures);
            const int picture = IsSelected(pictures, current) ? current : FirstSelected(pictures);
            if (picture < 0) {
                return {};
            }
            pictures.m_nClickedThumb = picture;
            return {KeyCommand::Kind::Open, picture};
        }
        default:
            return {};
    }
}

bool IsMenuKey(int key) {
    return key == VK_UP || key == VK_DOWN || key == VK_SPACE;
}

KeyCommand MenuKey(SkinnedWindow strip, int key, MenuFacts menu) {
    SkinState& skin = strip.skin;
    const int rows = MenuRows(menu.highResRefused);
    const int chosen = std::clamp(menu.resolution, 0, rows - 1);
    if (key == VK_SPACE) {
        return ChooseMenuRow(strip, skin.m_nMenuRow < 0 ? chosen : skin.m_nMenuRow,
                             menu.highResRefused);
    }
    // The first arrow in a menu the pointer opened lands on the chosen row.
    const int step = key == VK_UP ? -1 : 1;
    skin.m_nMenuRow =
        skin.m_nMenuRow < 0 ? chosen : std::clamp(skin.m_nMenuRow + step, 0, rows - 1);
    ShowResolutionMenu(skin, strip.window, menu.highResRefused);
    return {};
}

KeyCommand FocusKey(SkinnedWindow strip, unsigned flags, int key, MenuFacts menu) {
    SkinState& skin = strip.skin;
    if (key == VK_TAB) {
        const int step = Held(flags, MK_SHIFT) ? kFocusStops - 1 : 1;
        MoveFocus(strip, (skin.m_nFocus + step) % kFocusStops);
        return {};
    }
    if (key == VK_DELETE) {
        NoteSelection(strip);
        return {KeyCommand::Kind::Button, 1};
    }
    if (skin.m_nFocus == kFocusStrip) {
        return StripKey(strip, flags, key);
    }
    if (key != VK_SPACE) {
        return {};
    }
    return PressButton(strip, skin.m_nFocus, menu);
}

}  // namespace

KeyCommand KeyDown(SkinnedWindow strip, unsigned flags, int key, MenuFacts menu) {
    ShowCues(strip);
    if (strip.skin.m_bResMenuOpen) {
        if (IsMenuKey(key)) {
            return MenuKey(strip, key, menu);
        }
        // Any other key closes the menu, as a click elsewhere does, and then does its work.
        CloseMenu(strip, menu.highResRefused);
    }
    return FocusKey(strip, flags, key, menu);
}

KeyCommand PressButton(SkinnedWindow strip, int button, MenuFacts menu) {
    SkinState& skin = strip.skin;
    MoveFocus(strip, button);
    if (button == 1) {
        NoteSelection(strip);
    }
    if (button == 2) {
        // The menu opens with the chosen resolution's row under the keys.
        skin.m_nMenuRow = std::clamp(menu.resolution, 0, MenuRows(menu.highResRefused) - 1);
    }
    return {KeyCommand::Kind::Button, button};
}

void EscapePressed(SkinnedWindow strip, bool highResRefused) {
    if (strip.skin.m_bResMenuOpen) {
        CloseMenu(strip, highResRefused);
    }
}

KeyCommand ChooseMenuRow(SkinnedWindow strip, int row, bool highResRefused) {
    CloseMenu(strip, highResRefused);
    if (row < 0 || row >= MenuRows(highResRefused)) {
        return {};
    }
    return {KeyCommand::Kind::Resolution, row};
}

void MoveFocus(SkinnedWindow strip, int focus) {
    strip.skin.m_nFocus = std::clamp(focus, 0, kFocusStops - 1);
    ShowRings(strip, RingsShown(strip.skin));
}

void WindowFocusChanged(SkinnedWindow strip, bool focused) {
    strip.skin.m_bWindowFocused = focused;
    ShowRings(strip, RingsShown(strip.skin));
}

void HideKeyboardFocus(SkinnedWindow strip) {
    strip.skin.m_bFocusCues = false;
    ShowRings(strip, false);
}

bool StripShowsFocus(const SkinState& skin) {
    return RingsShown(skin) && skin.m_nFocus == kFocusStrip;
}

bool NoteSelection(SkinnedWindow strip) {
    strip.skin.m_bAnySelected = FirstSelected(strip.pictures) >= 0;
    return strip.skin.m_bAnySelected;
}

int CurrentPicture(const SkinState& skin, const PictureList& pictures) {
    const int count = pictures.m_nThumbCount;
    if (skin.m_nCaretThumb >= 0 && skin.m_nCaretThumb < count) {
        return skin.m_nCaretThumb;
    }
    if (pictures.m_nAnchorThumb >= 0 && pictures.m_nAnchorThumb < count) {
        return pictures.m_nAnchorThumb;
    }
    return FirstSelected(pictures);
}
