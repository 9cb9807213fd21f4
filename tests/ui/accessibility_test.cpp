// What the window tells assistive technology: its parts with their roles, names in the user's
// language and states, the strip's pictures named by their files, the press actions, and the
// announcement of a taken picture.

#include <gtest/gtest.h>

#include <cerrno>

#include "app/user_messages.h"
#include "capture/capture_test_support.h"
#include "ui/accessible_skin.h"
#include "ui_fixture.h"

namespace ui_test {
namespace {

class AccessibilityTest : public StartedWindow {
protected:
    void SetUp() override {
        ResetFrameDoubleBuffer();
        StartedWindow::SetUp();
        Win().SetAnnouncementListener(
            [this](const std::string& text) { announcements.push_back(text); });
    }
    void TearDown() override { ResetFrameDoubleBuffer(); }

    AccessibleContent& Content() { return *Win().Accessible(); }
    AccessibleNode Part(int part) { return Content().Part(part); }
    AccessibleNode Picture(int index) { return Content().Item(kPartStrip, index); }
    void DeliverFrame() {
        std::vector<std::uint8_t> frame(640 * 480 * 2, 0x80);
        ASSERT_EQ(media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())), 0);
    }

    std::vector<std::string> announcements;
};

struct PartRow {
    int part;
    AccessibleRole role;
    const char* english;
    const char* chinese;
};

TEST_F(AccessibilityTest, PartsHaveRolesAndNamesInTheUsersLanguage) {
    const PartRow rows[] = {
        {kPartLivePicture, AccessibleRole::Image, "Live picture", "即時影像"},
        {kPartFirstButton, AccessibleRole::PushButton, "Take a picture", "拍照"},
        {kPartFirstButton + 1, AccessibleRole::PushButton, "Delete the selected pictures",
         "刪除選取的相片"},
        {kPartFirstButton + 2, AccessibleRole::PushButton, "Resolution: 640x480",
         "解析度: 640x480"},
        {kPartFirstButton + 3, AccessibleRole::PushButton, "Camera settings", "網路攝影機設定"},
        {kPartStrip, AccessibleRole::List, "Pictures", "相片"},
        {kPartMenu, AccessibleRole::PopupMenu, "Resolution", "解析度"},
    };
    ASSERT_EQ(Content().PartCount(), 7);
    for (const bool chinese : {false, true}) {
        Dlg().m_bChinese = chinese;
        for (const PartRow& row : rows) {
            const AccessibleNode node = Part(row.part);
            EXPECT_EQ(node.role, row.role) << row.english;
            EXPECT_EQ(node.name, chinese ? row.chinese : row.english);
            EXPECT_EQ(node.pressable, node.role == AccessibleRole::PushButton) << row.english;
        }
        EXPECT_EQ(Content().ScrollBarName(), chinese ? "相片" : "Pictures");
    }
    EXPECT_EQ(Part(kPartFirstButton + 1).rect, Dlg().m_rcButton[1]);
    EXPECT_FALSE(Part(kPartMenu).visible);
    EXPECT_EQ(Content().ItemCount(kPartMenu), 0);
}

TEST_F(AccessibilityTest, StatesFollowTheSelectionTheFocusAndTheCamera) {
    AddPictures(8);
    EXPECT_FALSE(Part(kPartFirstButton + 1).enabled) << "delete, with nothing selected";
    EXPECT_EQ(Content().Focus(), (AccessibleFocus{kPartFirstButton, -1}));
    EXPECT_TRUE(Part(kPartFirstButton).focused);

    harness.Key(VK_TAB, MK_SHIFT);
    EXPECT_EQ(Content().Focus(), (AccessibleFocus{kPartStrip, -1}));
    EXPECT_TRUE(Part(kPartStrip).focused);
    harness.Key(VK_LEFT);
    EXPECT_EQ(Content().Focus(), (AccessibleFocus{kPartStrip, 7}));
    EXPECT_TRUE(Part(kPartFirstButton + 1).enabled);

    ASSERT_EQ(Content().ItemCount(kPartStrip), 8);
    const AccessibleNode last = Picture(7);
    EXPECT_EQ(last.role, AccessibleRole::ListItem);
    EXPECT_EQ(last.name, "Picture0008.jpg");
    EXPECT_EQ(last.key, 8);
    EXPECT_TRUE(last.selected && last.focused && last.visible);
    EXPECT_EQ(last.rect, Frame(5));
    EXPECT_FALSE(Picture(0).visible) << "scrolled out of the strip";
    EXPECT_FALSE(Picture(0).selected || Picture(0).focused);
    EXPECT_EQ(Content().ItemIndexOfKey(kPartStrip, 8), 7);
    std::vector<AccessibleItemState> states;
    Content().ItemStates(kPartStrip, states);
    ASSERT_EQ(states.size(), 8u);
    EXPECT_EQ(states[7], (AccessibleItemState{8, true}));
    EXPECT_EQ(states[0], (AccessibleItemState{1, false}));

    // The camera goes away: the live picture says so, and what needs a camera does nothing.
    ASSERT_TRUE(media.EndStream(ENODEV));
    harness.Pump();
    EXPECT_EQ(Part(kPartLivePicture).description, kCameraDisconnectedEnglish);
    EXPECT_FALSE(Part(kPartFirstButton + 2).enabled);
    EXPECT_FALSE(Part(kPartFirstButton + 3).enabled);
    EXPECT_TRUE(Part(kPartFirstButton).enabled);
}

TEST_F(AccessibilityTest, PressingTakeTakesAPictureAndAnnouncesIt) {
    for (const bool chinese : {false, true}) {
        Dlg().m_bChinese = chinese;
        DeliverFrame();
        Content().Press(kPartFirstButton, -1);
        harness.Pump();
    }
    EXPECT_EQ(ListedNumbers(), (std::vector<int>{1, 2}));
    EXPECT_EQ(announcements,
              (std::vector<std::string>{"Picture0001.jpg taken", "已拍攝 Picture0002.jpg"}));
    EXPECT_EQ(Content().Item(kPartStrip, 1).name, "Picture0002.jpg");
}

TEST_F(AccessibilityTest, TheResolutionMenuIsPressedOpenAndItsRowsPicked) {
    Content().Press(kPartFirstButton + 2, -1);
    harness.Pump();
    ASSERT_TRUE(Dlg().m_bResMenuOpen);
    EXPECT_TRUE(Part(kPartMenu).visible);
    ASSERT_EQ(Content().ItemCount(kPartMenu), 3);
    EXPECT_EQ(Content().Focus(), (AccessibleFocus{kPartMenu, 1}));
    const AccessibleNode row = Content().Item(kPartMenu, 0);
    EXPECT_EQ(row.role, AccessibleRole::MenuItem);
    EXPECT_EQ(row.name, "320x240");
    EXPECT_FALSE(row.checked);
    EXPECT_TRUE(Content().Item(kPartMenu, 1).checked && Content().Item(kPartMenu, 1).focused);

    Content().Press(kPartMenu, 0);
    harness.Advance(60);
    EXPECT_FALSE(Dlg().m_bResMenuOpen);
    EXPECT_EQ(Dlg().m_nResolution, 0);
    EXPECT_EQ(Part(kPartFirstButton + 2).name, "Resolution: 320x240");
}

}  // namespace
}  // namespace ui_test
