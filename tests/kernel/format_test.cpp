// Format requests as a real driver answers them: vivid's webcam input offers discrete sizes and
// adjusts any other request to the nearest one, which the capture code must read as a refusal.

#include <gtest/gtest.h>

#include "vivid_support.h"

namespace vivid {
namespace {

using FormatTest = VividTest;

TEST_F(FormatTest, StartUpProbeIsRefusedAndEndsAt640x480) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    // vivid answers 1280 x 1024 with 1280 x 720: not what was asked, so it is a refusal.
    EXPECT_TRUE(dialog.m_bHighResRefused);
    EXPECT_EQ(dialog.m_nResolution, 1);
    EXPECT_FALSE(g_bProbeHighRes);
    EXPECT_FALSE(window.LogHas("Could not set format 640 x 480"));

    SideDoor door;
    const v4l2_pix_format format = door.Format();
    EXPECT_EQ(format.width, 640u);
    EXPECT_EQ(format.height, 480u);
    EXPECT_EQ(format.pixelformat, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV));
    EXPECT_TRUE(WaitForFrame(kBytes640x480));

    // A later request for 1.3 M falls back the same way.
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 2;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    EXPECT_EQ(dialog.m_nResolution, 1);
    EXPECT_EQ(door.Format().height, 480u);
}

TEST_F(FormatTest, AdjustedSmallSizeIsRefusedAndItsFramesAreNotStored) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    EXPECT_TRUE(window.LogHas("Could not set format 320 x 240"));
    SideDoor door;
    EXPECT_EQ(door.Format().width, 320u);
    EXPECT_EQ(door.Format().height, 180u);

    // The camera keeps its 320 x 180: a snapshot must not read that frame as 320 x 240.
    ASSERT_TRUE(WaitForFrame(kBytes320x180));
    dialog.TakeSnapshot();
    EXPECT_TRUE(window.Pictures().empty());
    EXPECT_EQ(dialog.m_nThumbCount, 0);
    EXPECT_TRUE(window.LogHas("TakeSnapshot: the latest frame does not have the selected size"));
    EXPECT_TRUE(dialog.m_bAcceptFrames.load());  // the gate is open again

    // At a size the camera accepts the same window takes the picture.
    dialog.ReleaseStillGraph();
    dialog.m_nResolution = 1;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    dialog.TakeSnapshot();
    EXPECT_EQ(window.Pictures(), std::vector<std::string>{"Picture0001.jpg"});
    EXPECT_EQ(dialog.m_nThumbCount, 1);
}

}  // namespace
}  // namespace vivid
