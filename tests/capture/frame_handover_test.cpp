// The hand-over between a streaming thread and a reader that closes the gate, reads the latest
// frame and reopens the gate, while frames change size (so the blocks grow under load). Every
// frame the reader sees must be whole: each carries its counter and length in its first bytes
// and a pattern derived from them in the rest. Built to run under ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stop_token>
#include <thread>
#include <vector>

#include "capture_test_support.h"

namespace {

constexpr std::size_t kHeaderBytes = 8;

std::uint8_t PatternByte(std::uint32_t counter, std::size_t offset) {
    return static_cast<std::uint8_t>(counter * 31u + offset * 7u + (offset >> 8));
}

void FillFrame(std::vector<std::uint8_t>& frame, std::uint32_t counter) {
    const auto length = static_cast<std::int32_t>(frame.size());
    std::memcpy(frame.data(), &counter, 4);
    std::memcpy(frame.data() + 4, &length, 4);
    for (std::size_t i = kHeaderBytes; i < frame.size(); ++i) {
        frame[i] = PatternByte(counter, i);
    }
}

// True when the view holds one complete frame as FillFrame wrote it.
bool FrameIsWhole(const FrameView& view, std::uint32_t* counter) {
    if (view.length < static_cast<std::int32_t>(kHeaderBytes)) {
        return false;
    }
    std::int32_t length = 0;
    std::memcpy(counter, view.data, 4);
    std::memcpy(&length, view.data + 4, 4);
    if (length != view.length) {
        return false;
    }
    for (std::size_t i = kHeaderBytes; i < static_cast<std::size_t>(length); ++i) {
        if (view.data[i] != PatternByte(*counter, i)) {
            return false;
        }
    }
    return true;
}

TEST(FrameHandoverTest, ReaderAlwaysSeesWholeFramesWhileSizesChange) {
    CaptureFixture fixture;
    CWebcamDlg& dialog = fixture.Create();
    g_frameGrabberCallback.m_pDialog.store(&dialog);
    dialog.m_bAcceptFrames.store(true);

    // Sizes rise and fall so that the blocks grow several times during the run.
    const std::vector<std::size_t> sizes = {4096, 1024, 16384, 2048, 65536, 8192, 153600, 512};
    constexpr std::uint32_t kFrames = 4000;
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};

    // A failed assertion below returns from the test: the thread is then stopped and joined
    // before the dialog it delivers to goes.
    std::jthread streaming([&](std::stop_token stop) {
        std::vector<std::uint8_t> frame;
        for (std::uint32_t counter = 1; counter <= kFrames && !stop.stop_requested(); ++counter) {
            // Each size is kept for a while, as after a resolution change.
            frame.resize(sizes[(counter / 300) % sizes.size()] + counter % 3);
            FillFrame(frame, counter);
            const std::int32_t result = g_frameGrabberCallback.BufferCB(
                0.0, frame.data(), static_cast<std::int32_t>(frame.size()));
            if (result != S_OK_RESULT) {
                failures.fetch_add(1);
            }
        }
        done.store(true);
    });

    int reads = 0;
    int wholeFrames = 0;
    std::uint32_t lastCounter = 0;
    while (!done.load() || reads == 0) {
        FrameGateReader reader(dialog);
        const FrameView view = reader.Latest();
        ++reads;
        if (view.data == nullptr) {
            continue;
        }
        std::uint32_t counter = 0;
        ASSERT_TRUE(FrameIsWhole(view, &counter)) << "torn frame at read " << reads;
        // The latest frame never goes back in time.
        ASSERT_GE(counter, lastCounter);
        lastCounter = counter;
        ++wholeFrames;
    }
    streaming.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(wholeFrames, 0);
    EXPECT_TRUE(dialog.m_bAcceptFrames.load());
}

// A reader that closes the gate while a copy is running waits for it: once the reader holds the
// frame, the blocks no longer change.
TEST(FrameHandoverTest, BlocksDoNotChangeWhileTheGateIsClosed) {
    CaptureFixture fixture;
    CWebcamDlg& dialog = fixture.Create();
    g_frameGrabberCallback.m_pDialog.store(&dialog);
    dialog.m_bAcceptFrames.store(true);

    std::jthread streaming([&](std::stop_token stop) {
        std::vector<std::uint8_t> frame;
        for (std::uint32_t counter = 1; !stop.stop_requested(); ++counter) {
            frame.resize(counter % 2 == 0 ? 2048 : 70000 + counter % 1000);
            FillFrame(frame, counter);
            g_frameGrabberCallback.BufferCB(0.0, frame.data(),
                                            static_cast<std::int32_t>(frame.size()));
        }
    });

    for (int round = 0; round < 200; ++round) {
        FrameGateReader reader(dialog);
        const FrameView first = reader.Latest();
        if (first.data == nullptr) {
            continue;
        }
        std::vector<std::uint8_t> copy(first.data, first.data + first.length);
        std::this_thread::yield();
        const FrameView again = reader.Latest();
        ASSERT_EQ(again.data, first.data);
        ASSERT_EQ(again.length, first.length);
        ASSERT_EQ(std::memcmp(again.data, copy.data(), copy.size()), 0);
    }
    streaming.request_stop();
    streaming.join();
}

}  // namespace
