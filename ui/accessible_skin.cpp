#include "ui/accessible_skin.h"

#include <utility>

#include "pictures/picture_list.h"
#include "pictures/picture_numbering.h"
#include "ui/keyboard.h"
#include "ui/resolution_menu.h"

namespace {

constexpr int kFramesShown = 6;
constexpr int kMenuRowHeight = 25;

bool InView(const PictureList& pictures, int index) {
    const int frame = index - pictures.m_nFirstThumb;
    return frame >= 0 && frame < kFramesShown;
}

// The keys are in the open resolution menu, which then holds the focus.
bool MenuHasFocus(const SkinState& skin) {
    return skin.m_bResMenuOpen && skin.m_nMenuRow >= 0;
}

int MenuRows(bool highResRefused) {
    return highResRefused ? 2 : 3;
}

}  // namespace

int ButtonOfPart(int part) {
    const int button = part - kPartFirstButton;
    return button >= 0 && button < 4 ? button : -1;
}

AccessibleNode DescribeButton(const SkinState& skin, int button, std::string name, bool enabled) {
    AccessibleNode node;
    node.role = AccessibleRole::PushButton;
    node.name = std::move(name);
    node.rect = skin.m_rcButton[button];
    node.enabled = enabled;
    node.focusable = true;
    node.focused = !MenuHasFocus(skin) && skin.m_nFocus == button;
    node.pressable = true;
    return node;
}

AccessibleNode DescribeStrip(const SkinState& skin, const PictureList& pictures, std::string name) {
    AccessibleNode node;
    node.role = AccessibleRole::List;
    node.name = std::move(name);
    node.rect = skin.m_rcStrip;
    node.focusable = true;
    node.multiSelectable = true;
    const AccessibleFocus focus = KeyboardFocus(skin, pictures);
    node.focused = focus.part == kPartStrip && focus.item < 0;
    return node;
}

AccessibleNode DescribePicture(const SkinState& skin, const PictureList& pictures, int index) {
    AccessibleNode node;
    node.role = AccessibleRole::ListItem;
    const ThumbnailRecord& record = pictures.m_thumbs[index];
    node.name = PictureFileName(record.nNumber);
    node.key = record.nNumber;
    node.visible = InView(pictures, index);
    if (node.visible) {
        node.rect = skin.m_rcThumbFrame[index - pictures.m_nFirstThumb];
    }
    node.focusable = true;
    node.selectable = true;
    node.selected = record.bSelected;
    const AccessibleFocus focus = KeyboardFocus(skin, pictures);
    node.focused = focus.part == kPartStrip && focus.item == index;
    return node;
}

int PictureIndexOfNumber(const PictureList& pictures, int number) {
    for (int i = 0; i < pictures.m_nThumbCount; ++i) {
        if (pictures.m_thumbs[i].nNumber == number) {
            return i;
        }
    }
    return -1;
}

AccessibleNode DescribeMenu(const SkinState& skin, std::string name, bool highResRefused) {
    AccessibleNode node;
    node.role = AccessibleRole::PopupMenu;
    node.name = std::move(name);
    node.visible = skin.m_bResMenuOpen;
    if (node.visible) {
        node.rect = MenuRowsArea(skin, highResRefused);
    }
    return node;
}

int MenuItemCount(const SkinState& skin, bool highResRefused) {
    return skin.m_bResMenuOpen ? MenuRows(highResRefused) : 0;
}

AccessibleNode DescribeMenuRow(const SkinState& skin, int row, int resolution,
                               bool highResRefused) {
    AccessibleNode node;
    node.role = AccessibleRole::MenuItem;
    node.name = kResolutionLabels[row];
    node.key = row;
    const Rect rows = MenuRowsArea(skin, highResRefused);
    node.rect = Rect{rows.left, rows.top + kMenuRowHeight * row, rows.right,
                     rows.top + kMenuRowHeight * (row + 1)};
    node.focusable = true;
    node.focused = MenuHasFocus(skin) && skin.m_nMenuRow == row;
    node.checkable = true;
    node.checked = row == resolution;
    node.pressable = true;
    return node;
}

AccessibleFocus KeyboardFocus(const SkinState& skin, const PictureList& pictures) {
    if (MenuHasFocus(skin)) {
        return {kPartMenu, skin.m_nMenuRow};
    }
    if (skin.m_nFocus != kFocusStrip) {
        return {kPartFirstButton + skin.m_nFocus, -1};
    }
    return {kPartStrip, CurrentPicture(skin, pictures)};
}
