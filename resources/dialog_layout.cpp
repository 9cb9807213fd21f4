#include "resources/dialog_layout.h"

namespace {

// Template order matters: the repaint draws the controls in this order, skin first.
constexpr LayoutControl kControls[] = {
    {1012, LayoutControlKind::Bitmap, 129, "", 0, 0, 428, 433, true},
    {1007, LayoutControlKind::Bitmap, 130, "", 0, 297, 27, 22, true},
    {1008, LayoutControlKind::Bitmap, 154, "", 31, 297, 27, 22, true},
    {1009, LayoutControlKind::Bitmap, 134, "", 62, 297, 57, 22, true},
    {1010, LayoutControlKind::Bitmap, 136, "", 123, 297, 27, 22, true},
    {1013, LayoutControlKind::Text, 0, "Static", 293, 298, 13, 11, false},
    {1014, LayoutControlKind::BlackFrame, 0, "", 8, 322, 55, 38, false},
    {1015, LayoutControlKind::BlackFrame, 0, "", 77, 322, 55, 38, false},
    {1016, LayoutControlKind::BlackFrame, 0, "", 146, 322, 55, 38, false},
    {1017, LayoutControlKind::BlackFrame, 0, "", 215, 322, 55, 38, false},
    {1018, LayoutControlKind::BlackFrame, 0, "", 284, 322, 55, 38, false},
    {1019, LayoutControlKind::BlackFrame, 0, "", 353, 322, 55, 38, false},
};

constexpr DialogLayout kMainDialog = {"Vantor Lumisight webcam", 428, 455, kControls,
                                      static_cast<int>(sizeof(kControls) / sizeof(kControls[0]))};

}  // namespace

const DialogLayout& MainDialogLayout() {
    return kMainDialog;
}
