// Moving the strip through the list with the scroll bar.

#include <gtest/gtest.h>

#include "platform/scroll_bar.h"
#include "ui_fixture.h"

namespace ui_test {
namespace {

struct ScrollCase {
    int count;
    int code;
    int thumbPosition;
    int startFirst, startPosition;  // where the strip stands before the message
    int first, position;            // where it stands after
};

std::ostream& operator<<(std::ostream& out, const ScrollCase& c) {
    return out << c.count << " pictures, code " << c.code << " (" << c.thumbPosition
               << ") from F=" << c.startFirst << " P=" << c.startPosition;
}

// Line steps move one picture; pages and the thumb map position P to the page ending at
// record count - 6 * (M - P) - 1, and position 0 to the first six.
const ScrollCase kCases[] = {
    // 14 pictures: M = 2; position 1 shows records 2 to 7, position 2 records 8 to 13.
    {14, SB_LINELEFT, 0, 8, 2, 7, 2},
    {14, SB_LINELEFT, 0, 7, 2, 6, 1},
    {14, SB_LINELEFT, 0, 0, 0, 0, 0},
    {14, SB_LINERIGHT, 0, 0, 0, 1, 1},
    {14, SB_LINERIGHT, 0, 1, 1, 2, 1},
    {14, SB_LINERIGHT, 0, 8, 2, 8, 2},
    {14, SB_PAGELEFT, 0, 8, 2, 2, 1},
    {14, SB_PAGELEFT, 0, 2, 1, 0, 0},
    {14, SB_PAGELEFT, 0, 0, 0, 0, 0},
    {14, SB_PAGERIGHT, 0, 0, 0, 2, 1},
    {14, SB_PAGERIGHT, 0, 2, 1, 8, 2},
    {14, SB_PAGERIGHT, 0, 8, 2, 8, 2},
    {14, SB_THUMBPOSITION, 0, 8, 2, 0, 0},
    {14, SB_THUMBPOSITION, 1, 8, 2, 2, 1},
    {14, SB_THUMBTRACK, 2, 0, 0, 8, 2},
    {14, SB_LEFT, 0, 8, 2, 0, 0},
    {14, SB_RIGHT, 0, 0, 0, 8, 2},
    {14, SB_ENDSCROLL, 0, 7, 2, 7, 2},
    // 12 pictures: M = 2; position 1 shows records 0 to 5, the same as position 0.
    {12, SB_THUMBPOSITION, 1, 6, 2, 0, 1},
    {12, SB_THUMBTRACK, 0, 6, 2, 0, 0},
    {12, SB_PAGELEFT, 0, 6, 2, 0, 1},
    {12, SB_PAGERIGHT, 0, 0, 1, 6, 2},
    {12, SB_LINELEFT, 0, 6, 2, 5, 1},
    {12, SB_LINERIGHT, 0, 5, 1, 6, 1},
    {12, SB_LINERIGHT, 0, 6, 2, 6, 2},
    {12, SB_LEFT, 0, 6, 2, 0, 0},
    {12, SB_RIGHT, 0, 0, 0, 6, 2},
    {12, SB_ENDSCROLL, 0, 0, 1, 0, 1},
    // 18 pictures: M = 3; positions 1, 2 and 3 show from records 0, 6 and 12.
    {18, SB_THUMBPOSITION, 2, 12, 3, 6, 2},
    {18, SB_THUMBTRACK, 1, 12, 3, 0, 1},
    {18, SB_PAGELEFT, 0, 12, 3, 6, 2},
    {18, SB_PAGELEFT, 0, 6, 2, 0, 1},
    {18, SB_PAGERIGHT, 0, 0, 0, 0, 1},
    {18, SB_PAGERIGHT, 0, 0, 1, 6, 2},
    {18, SB_LINELEFT, 0, 12, 3, 11, 2},
    {18, SB_LINELEFT, 0, 11, 2, 10, 2},
    {18, SB_LINERIGHT, 0, 6, 1, 7, 2},
    {18, SB_LINERIGHT, 0, 12, 3, 12, 3},
    {18, SB_LEFT, 0, 12, 3, 0, 0},
    {18, SB_RIGHT, 0, 6, 2, 12, 3},
    {18, SB_ENDSCROLL, 0, 6, 2, 6, 2},
};

class StripScrollTest : public StartedWindow, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(StripScrollTest, MovesStripAndBarAndRepaintsTheStrip) {
    const ScrollCase& c = GetParam();
    AddPictures(c.count);
    EXPECT_EQ(Dlg().m_nScrollMax, c.count / 6);
    Dlg().m_nFirstThumb = c.startFirst;
    Dlg().m_nScrollPos = c.startPosition;
    Win().SetScrollPos(c.startPosition, true);

    Dlg().OnHScroll(c.code, c.thumbPosition);
    EXPECT_EQ(Dlg().m_nFirstThumb, c.first);
    EXPECT_EQ(Dlg().m_nScrollPos, c.position);
    EXPECT_EQ(Win().ScrollBar().position, c.position);
    Rect covered;
    UnionRect(&covered, Win().DirtyBounds(), Dlg().m_rcStrip);
    EXPECT_EQ(covered, Win().DirtyBounds()) << "the strip is repainted";

    // Frame 0 then shows the first record of the new place.
    harness.Advance(10);
    EXPECT_EQ(FramePixel(0, 5, 5), PatternColour(c.first + 1, 0, 0));
    EXPECT_EQ(FramePixel(5, 5, 5), PatternColour(c.first + 6, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(ScrollCodes, StripScrollTest, ::testing::ValuesIn(kCases));

using ShortListScrollTest = StartedWindow;

TEST_F(ShortListScrollTest, SixOrFewerPicturesIgnoreEveryScrollMessage) {
    for (const int count : {0, 3, 6}) {
        AddPictures(count);
        const ScrollBarState bar = Win().ScrollBar();
        for (int code = SB_LINELEFT; code <= SB_ENDSCROLL; ++code) {
            Dlg().OnHScroll(code, 1);
            EXPECT_EQ(Dlg().m_nFirstThumb, 0) << count << " " << code;
            EXPECT_EQ(Dlg().m_nScrollPos, bar.position) << count << " " << code;
            EXPECT_EQ(Win().ScrollBar().position, bar.position) << count << " " << code;
            EXPECT_FALSE(Win().HasDirtyArea()) << count << " " << code;
        }
        EXPECT_FALSE(Win().ScrollBar().enabled);
    }
}

}  // namespace
}  // namespace ui_test
