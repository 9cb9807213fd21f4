// A camera stream that ends by itself while the graph runs: the graph's report (the fake's,
// delivered as the event loop would) reaches the log through the capture code, once, and the
// window lets the camera go (what follows is in camera_return_test.cpp).

#include "capture/stream_end.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "capture_test_support.h"

namespace {

struct EndRow {
    const char* name;
    int error;
    std::string logLine;
};

void PrintTo(const EndRow& row, std::ostream* out) {
    *out << row.name;
}

class StreamEndTest : public ::testing::TestWithParam<EndRow> {
protected:
    CaptureFixture fixture;
};

TEST_P(StreamEndTest, TheReportIsLoggedOnceAndNoFrameFollows) {
    const EndRow& row = GetParam();
    ASSERT_TRUE(fixture.Start());
    fixture.NewMessages();

    ASSERT_TRUE(fixture.media.EndStream(row.error));
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{row.logLine});
    std::uint8_t frame[4] = {};
    EXPECT_EQ(fixture.media.DeliverFrame(frame, sizeof frame), E_FAIL_RESULT);
    EXPECT_FALSE(fixture.media.EndStream(row.error));  // a run ends once
    EXPECT_TRUE(fixture.NewMessages().empty());
    // The window lets the camera go at once.
    EXPECT_EQ(fixture.dialog->m_pGraph, nullptr);
    EXPECT_EQ(fixture.dialog->m_pCapture, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    WaysToEnd, StreamEndTest,
    ::testing::Values(EndRow{"unplugged", ENODEV, kCameraDisconnectedLog},
                      EndRow{"device_error", EIO,
                             "Camera stream failed (errno 5): frame capture stopped"}),
    [](const ::testing::TestParamInfo<EndRow>& info) { return info.param.name; });

TEST(StreamEndReleaseTest, AReleasedGraphReportsNothingAndARebuiltOneReportsAgain) {
    CaptureFixture fixture;
    ASSERT_TRUE(fixture.Start());
    CWebcamDlg& dialog = *fixture.dialog;
    dialog.ReleaseStillGraph();
    fixture.NewMessages();
    EXPECT_FALSE(fixture.media.EndStream(ENODEV));
    EXPECT_TRUE(fixture.NewMessages().empty());

    ASSERT_EQ(dialog.InitStillGraph(), S_OK_RESULT);
    fixture.NewMessages();
    ASSERT_TRUE(fixture.media.EndStream(ENODEV));
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{kCameraDisconnectedLog});
}

}  // namespace
