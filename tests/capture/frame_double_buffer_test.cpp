// BufferCB and the double buffer: the gate, the two blocks, growth and allocation failure.

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "capture_test_support.h"

namespace {

std::vector<std::uint8_t> Frame(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> frame(length);
    std::iota(frame.begin(), frame.end(), seed);
    return frame;
}

int g_allocationsBeforeFailure = 0;

std::uint8_t* FailingAllocator(std::size_t size) {
    if (g_allocationsBeforeFailure-- <= 0) {
        return nullptr;
    }
    return static_cast<std::uint8_t*>(std::malloc(size));
}

class BufferCallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = &fixture.Create();
        g_frameGrabberCallback.m_pDialog.store(dialog);
        dialog->m_bAcceptFrames.store(true);
        fixture.NewMessages();
    }
    void TearDown() override { g_allocateFrameBlock = m_allocator; }

    std::int32_t Deliver(std::vector<std::uint8_t>& frame) {
        return g_frameGrabberCallback.BufferCB(0.0, frame.data(),
                                               static_cast<std::int32_t>(frame.size()));
    }

    CaptureFixture fixture;
    CWebcamDlg* dialog = nullptr;
    FrameDoubleBuffer& frames = g_frameDoubleBuffer;

private:
    FrameBlockAllocator m_allocator = g_allocateFrameBlock;
};

TEST_F(BufferCallbackTest, NullFrameIsRefusedAndLoggedEvenWithTheGateClosed) {
    dialog->m_bAcceptFrames.store(false);
    EXPECT_EQ(g_frameGrabberCallback.BufferCB(0.0, nullptr, 100), E_POINTER_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"BufferCB(E_POINTER)"});
    EXPECT_EQ(frames.m_nAllocSize, 0);
}

TEST_F(BufferCallbackTest, EmptyFrameIsOnlyAnErrorWhileTheGateIsOpen) {
    std::vector<std::uint8_t> empty(1);
    dialog->m_bAcceptFrames.store(false);
    EXPECT_EQ(g_frameGrabberCallback.BufferCB(0.0, empty.data(), 0), S_OK_RESULT);
    EXPECT_TRUE(fixture.NewMessages().empty());

    dialog->m_bAcceptFrames.store(true);
    EXPECT_EQ(g_frameGrabberCallback.BufferCB(0.0, empty.data(), 0), E_ABORT_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"BufferCB(E_ABORT)"});
}

TEST_F(BufferCallbackTest, NegativeLengthIsRefusedLikeAnEmptyFrame) {
    std::vector<std::uint8_t> frame = Frame(16, 1);
    EXPECT_EQ(g_frameGrabberCallback.BufferCB(0.0, frame.data(), -16), E_ABORT_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 0);
    EXPECT_EQ(frames.m_pBuffer[0].get(), nullptr);
}

TEST_F(BufferCallbackTest, FramesAreDroppedWithoutADialogOrWithTheGateClosed) {
    std::vector<std::uint8_t> frame = Frame(64, 3);
    g_frameGrabberCallback.m_pDialog.store(nullptr);
    EXPECT_EQ(Deliver(frame), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 0);

    g_frameGrabberCallback.m_pDialog.store(dialog);
    dialog->m_bAcceptFrames.store(false);
    EXPECT_EQ(Deliver(frame), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 0);
    EXPECT_EQ(frames.m_pLatest.load(), nullptr);
    EXPECT_TRUE(fixture.NewMessages().empty());
}

TEST_F(BufferCallbackTest, FramesAlternateBetweenTheTwoBlocks) {
    std::vector<std::uint8_t> first = Frame(300, 0);
    std::vector<std::uint8_t> second = Frame(300, 100);
    ASSERT_EQ(Deliver(first), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 300);
    EXPECT_EQ(frames.m_pLatest.load(), frames.m_pBuffer[0].get());
    EXPECT_EQ(frames.m_nLatestLength.load(), 300);
    EXPECT_EQ(frames.m_nWriteIndex, 1u);
    EXPECT_EQ(std::memcmp(frames.m_pBuffer[0].get(), first.data(), first.size()), 0);

    ASSERT_EQ(Deliver(second), S_OK_RESULT);
    EXPECT_EQ(frames.m_pLatest.load(), frames.m_pBuffer[1].get());
    EXPECT_EQ(frames.m_nWriteIndex, 0u);
    EXPECT_EQ(std::memcmp(frames.m_pBuffer[1].get(), second.data(), second.size()), 0);
    // The first frame is still intact in the other block.
    EXPECT_EQ(std::memcmp(frames.m_pBuffer[0].get(), first.data(), first.size()), 0);
}

TEST_F(BufferCallbackTest, ShorterFrameReusesTheBlocksAndPublishesItsOwnLength) {
    std::vector<std::uint8_t> large = Frame(400, 0);
    std::vector<std::uint8_t> small = Frame(100, 50);
    Deliver(large);
    std::uint8_t* const blocks[2] = {frames.m_pBuffer[0].get(), frames.m_pBuffer[1].get()};
    ASSERT_EQ(Deliver(small), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 400);
    EXPECT_EQ(frames.m_pBuffer[0].get(), blocks[0]);
    EXPECT_EQ(frames.m_pBuffer[1].get(), blocks[1]);
    EXPECT_EQ(frames.m_pLatest.load(), blocks[1]);
    EXPECT_EQ(frames.m_nLatestLength.load(), 100);
}

TEST_F(BufferCallbackTest, LongerFrameGrowsBothBlocksAndKeepsTheWriteIndex) {
    std::vector<std::uint8_t> small = Frame(100, 0);
    std::vector<std::uint8_t> large = Frame(1000, 7);
    Deliver(small);  // block 0, write index now 1
    ASSERT_EQ(Deliver(large), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 1000);
    EXPECT_EQ(frames.m_pLatest.load(), frames.m_pBuffer[1].get());
    EXPECT_EQ(frames.m_nLatestLength.load(), 1000);
    EXPECT_EQ(frames.m_nWriteIndex, 0u);
    EXPECT_EQ(std::memcmp(frames.m_pBuffer[1].get(), large.data(), large.size()), 0);
}

TEST_F(BufferCallbackTest, FailedSecondAllocationHoldsNothingAndTheNextFrameTriesAgain) {
    g_allocationsBeforeFailure = 1;
    g_allocateFrameBlock = FailingAllocator;
    std::vector<std::uint8_t> frame = Frame(200, 9);
    EXPECT_EQ(Deliver(frame), E_OUTOFMEMORY_RESULT);
    EXPECT_EQ(fixture.NewMessages(), std::vector<std::string>{"BufferCB(E_OUTOFMEMORY)"});
    EXPECT_EQ(frames.m_nAllocSize, 0);
    EXPECT_EQ(frames.m_pBuffer[0].get(), nullptr);
    EXPECT_EQ(frames.m_pBuffer[1].get(), nullptr);
    EXPECT_EQ(frames.m_pLatest.load(), nullptr);

    g_allocationsBeforeFailure = 2;
    EXPECT_EQ(Deliver(frame), S_OK_RESULT);
    EXPECT_EQ(frames.m_nAllocSize, 200);
}

TEST_F(BufferCallbackTest, FailedGrowthUnpublishesTheOldFrame) {
    std::vector<std::uint8_t> small = Frame(100, 0);
    std::vector<std::uint8_t> large = Frame(1000, 0);
    Deliver(small);
    g_allocationsBeforeFailure = 0;
    g_allocateFrameBlock = FailingAllocator;
    EXPECT_EQ(Deliver(large), E_OUTOFMEMORY_RESULT);
    EXPECT_EQ(frames.m_pLatest.load(), nullptr);
    EXPECT_EQ(frames.m_nLatestLength.load(), 0);
}

TEST_F(BufferCallbackTest, ReaderSeesTheLatestFrameAndReopensTheGate) {
    std::vector<std::uint8_t> frame = Frame(120, 5);
    Deliver(frame);
    {
        FrameGateReader reader(*dialog);
        EXPECT_FALSE(dialog->m_bAcceptFrames.load());
        const FrameView view = reader.Latest();
        ASSERT_NE(view.data, nullptr);
        EXPECT_EQ(view.length, 120);
        EXPECT_EQ(std::memcmp(view.data, frame.data(), frame.size()), 0);
        // While the reader holds the frame, new frames are not copied.
        std::vector<std::uint8_t> other = Frame(120, 200);
        Deliver(other);
        EXPECT_EQ(std::memcmp(view.data, frame.data(), frame.size()), 0);
        EXPECT_EQ(reader.Latest().data, view.data);
    }
    EXPECT_TRUE(dialog->m_bAcceptFrames.load());
}

TEST(FrameGrabberCallbackTest, AnswersOnlyForItsTwoInterfacesWithoutCounting) {
    FrameGrabberCallback& callback = g_frameGrabberCallback;
    void* object = &callback + 1;  // any marker value
    void* const untouched = object;
    EXPECT_EQ(callback.QueryInterface("IID_IBaseFilter", &object), E_NOINTERFACE_RESULT);
    EXPECT_EQ(object, untouched);
    EXPECT_EQ(callback.QueryInterface("{0579154A-2B53-4994-B0D0-E773148EFF85}", &object),
              S_OK_RESULT);
    EXPECT_EQ(object, &callback);
    object = nullptr;
    EXPECT_EQ(callback.QueryInterface("IID_IUnknown", &object), S_OK_RESULT);
    EXPECT_EQ(object, &callback);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(callback.AddRef(), 2u);
        EXPECT_EQ(callback.Release(), 1u);
    }
    EXPECT_EQ(callback.SampleCB(0.0, nullptr), S_OK_RESULT);
}

}  // namespace
