// Streaming from vivid through the real streaming thread into BufferCB: frames arrive at the
// negotiated size, stop joins the thread, a larger size grows the double buffer, and starting
// and stopping again and again leaves nothing behind.

#include <gtest/gtest.h>

#include <set>

#include "vivid_support.h"

namespace vivid {
namespace {

using StreamingTest = VividTest;

// vivid's test pattern is colour bars: a real picture has many different luma values.
std::size_t DistinctLuma(const std::uint8_t* frame, std::int32_t length) {
    std::set<std::uint8_t> values;
    for (std::int32_t i = 0; i < length; i += 2) {
        values.insert(frame[i]);
    }
    return values.size();
}

TEST_F(StreamingTest, FramesReachBufferCBAtTheNegotiatedSizeUntilStopJoinsTheThread) {
    Window window;
    const std::size_t threadsBefore = CountProcessResources().threads;
    const ResourceLeakCheck device({.threads = false, .file = kNode});
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    EXPECT_EQ(g_frameDoubleBuffer.m_nAllocSize, kBytes640x480);
    const std::size_t threadsRunning = CountProcessResources().threads;
    EXPECT_GT(threadsRunning, threadsBefore);
    // The frames are the driver's buffers, mapped from the node.
    EXPECT_GT(CountProcessResources(kNode).mappings, 0u);
    {
        FrameGateReader reader(dialog);
        const FrameView frame = reader.Latest();
        ASSERT_NE(frame.data, nullptr);
        EXPECT_GT(DistinctLuma(frame.data, frame.length), 4u);
    }

    dialog.ReleaseStillGraph();
    std::uint8_t* const last = g_frameDoubleBuffer.m_pLatest.load();
    EXPECT_TRUE(WaitUntil([&] { return CountProcessResources().threads == threadsRunning - 1; },
                          ResourceLeakCheck::kThreadExitLimit))
        << CountProcessResources();
    // The thread that copies frames has ended, so no frame can come after the stop.
    EXPECT_EQ(g_frameDoubleBuffer.m_pLatest.load(), last) << "a frame arrived after the stop";
    EXPECT_TRUE(device.NothingLeftBehind());
    EXPECT_EQ(dialog.m_pGraph, nullptr);
}

TEST_F(StreamingTest, RestartAtALargerSizeGrowsTheDoubleBuffer) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    dialog.ReleaseStillGraph();
    ResetFrameDoubleBuffer();  // as at process start: no blocks yet

    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(WaitForFrame(kBytes320x180));
    dialog.ReleaseStillGraph();
    EXPECT_EQ(g_frameDoubleBuffer.m_nAllocSize, kBytes320x180);

    dialog.m_nResolution = 1;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    ASSERT_TRUE(WaitForFrame(kBytes640x480));  // both blocks written at the new size
    dialog.ReleaseStillGraph();
    EXPECT_EQ(g_frameDoubleBuffer.m_nAllocSize, kBytes640x480);

    // Smaller frames after that reuse the larger blocks.
    dialog.m_nResolution = 0;
    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    ASSERT_TRUE(WaitForFrame(kBytes320x180));
    dialog.ReleaseStillGraph();
    EXPECT_EQ(g_frameDoubleBuffer.m_nAllocSize, kBytes640x480);
}

TEST_F(StreamingTest, AHundredStartsAndStopsLeaveNoDescriptorMappingOrThread) {
    Window window;
    ASSERT_TRUE(window.Start());
    CWebcamDlg& dialog = *window.dialog;
    ASSERT_TRUE(WaitForFrame(kBytes640x480));
    // A few rounds first, so that what the libraries set up once is in place.
    for (int round = 0; round < 3; ++round) {
        dialog.ReleaseStillGraph();
        ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
        ASSERT_TRUE(WaitForFrame(kBytes640x480));
    }
    dialog.ReleaseStillGraph();
    const ResourceLeakCheck check;

    for (int cycle = 0; cycle < 100; ++cycle) {
        ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT) << "cycle " << cycle;
        if (cycle % 20 == 0) {
            ASSERT_TRUE(WaitForFrame(kBytes640x480)) << "cycle " << cycle;
        }
        dialog.ReleaseStillGraph();
    }
    EXPECT_TRUE(check.NothingLeftBehind());

    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    EXPECT_TRUE(WaitForFrame(kBytes640x480));
}

}  // namespace
}  // namespace vivid
