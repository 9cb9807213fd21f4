#include "resources/dialog_layout.h"

namespace {

// Template order matters: the repaint draws the controls in this order, skin first.
constexpr LayoutControl kControls[] = {
    {IDC_SKIN, LayoutControlKind::Bitmap, 129, "", 0, 0, 428, 433, true},
    {IDC_BUTTON_FIRST, LayoutControlKind::Bitmap, 130, "", 0, 297, 27, 22, true},
    {IDC_BUTTON_FIRST + 1, LayoutControlKind::Bitmap, 154, "", 31, 297, 27, 22, true},
    {IDC_BUTTON_FIRST + 2, LayoutControlKind::Bitmap, 134, "", 62, 297, 57, 22, true},
    {IDC_BUTTON_FIRST + 3, LayoutControlKind::Bitmap, 136, "", 123, 297, 27, 22, true},
    {IDC_STATIC_TEXT, LayoutControlKind::Text, 0, "Static", 293, 298, 13, 11, false},
    {IDC_THUMB_FRAME_FIRST, LayoutControlKind::BlackFrame, 0, "", 8, 322, 55, 38, false},
    {IDC_THUMB_FRAME_FIRST + 1, LayoutControlKind::BlackFrame, 0, "", 77, 322, 55, 38, false},
    {IDC_THUMB_FRAME_FIRST + 2, LayoutControlKind::BlackFrame, 0, "", 146, 322, 55, 38, false},
    {IDC_THUMB_FRAME_FIRST + 3, LayoutControlKind::BlackFrame, 0, "", 215, 322, 55, 38, false},
    {IDC_THUMB_FRAME_FIRST + 4, LayoutControlKind::BlackFrame, 0, "", 284, 322, 55, 38, false},
    {IDC_THUMB_FRAME_FIRST + 5, LayoutControlKind::BlackFrame, 0, "", 353, 322, 55, 38, false},
};

constexpr DialogLayout kMainDialog = {"Vantor Lumisight webcam", 428, 455, kControls,
                                      static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))};

}  // namespace

const DialogLayout& MainDialogLayout() {
    return kMainDialog;
}
