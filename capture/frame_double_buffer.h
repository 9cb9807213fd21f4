#pragma once

// The frame hand-over between the camera's streaming thread and the user-interface thread.
//
// BufferCB (streaming thread) copies each accepted frame into one of two blocks and publishes
// the block and the frame's byte length as the latest frame. The frame gate m_bAcceptFrames of
// the window's capture state decides whether frames are accepted. A reader (the snapshot, on the
// user-interface thread) follows this protocol:
//
//     FrameGateReader reader(capture);       // closes the gate and waits for a copy in progress
//     FrameView frame = reader.Latest();     // read once; valid until the reader is destroyed
//     ...use frame.data, frame.length...
//                                            // destructor reopens the gate
//
// While the gate is closed and no copy is in progress, no block is written or freed, so the
// frame a reader holds can neither be overwritten nor freed by a growth.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "capture/capture_state.h"
#include "platform/media_framework.h"

struct FrameView {
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
};

// A frame block, allocated by g_allocateFrameBlock (malloc) and freed with free.
struct FreeFrameBlock {
    void operator()(std::uint8_t* block) const { std::free(block); }
};
using FrameBlock = std::unique_ptr<std::uint8_t, FreeFrameBlock>;

// The two frame blocks and the latest-frame publication. Process-wide (g_frameDoubleBuffer).
struct FrameDoubleBuffer {
    FrameBlock m_pBuffer[2];          // both of m_nAllocSize bytes, or both null
    std::int32_t m_nAllocSize = 0;    // streaming thread only
    std::uint32_t m_nWriteIndex = 0;  // streaming thread only
    // The latest complete frame and its byte length. The length is stored before the block
    // (both sequentially consistent), so a reader that loads the block first and then the
    // length gets the length of that block's frame.
    std::atomic<std::uint8_t*> m_pLatest{nullptr};
    std::atomic<std::int32_t> m_nLatestLength{0};
    // Held by BufferCB from its gate test until its publication, so a reader that closed the
    // gate can wait until no copy is running.
    std::atomic<bool> m_bCopying{false};

    // Unpublishes the latest frame, frees both blocks and starts writing at block 0 again, as at
    // process start. Only while no BufferCB call can run.
    void Reset();
    ~FrameDoubleBuffer() { Reset(); }
};

extern FrameDoubleBuffer g_frameDoubleBuffer;

// Allocates one frame block (freed with std::free); null means the allocation failed. Tests
// replace it to make an allocation fail; it is only called on the streaming thread.
using FrameBlockAllocator = std::uint8_t* (*)(std::size_t size);
extern FrameBlockAllocator g_allocateFrameBlock;

// The frame callback object: one per process, no reference count.
class FrameGrabberCallback final : public SampleGrabberCallback {
public:
    HResult QueryInterface(const char* interfaceName, void** object) override;
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    HResult SampleCB(double /*sampleTime*/, void* /*sample*/) override { return S_OK_RESULT; }
    // Streaming thread: copies an accepted frame into the double buffer and publishes it.
    HResult BufferCB(double sampleTime, std::uint8_t* buffer, std::int32_t length) override;

    // The capture state of the window whose gate decides; null until a graph build installs
    // the callback, and again once that window has let its graph go.
    std::atomic<CaptureState*> m_pDialog{nullptr};
};

extern FrameGrabberCallback g_frameGrabberCallback;

// The reader side of the protocol above (user-interface thread).
class FrameGateReader {
public:
    explicit FrameGateReader(CaptureState& capture);
    ~FrameGateReader();
    FrameGateReader(const FrameGateReader&) = delete;
    FrameGateReader& operator=(const FrameGateReader&) = delete;

    FrameView Latest() const;

private:
    CaptureState& m_capture;
};

// After the window's graph is gone: the callback no longer points at that window's state.
void DetachFrameCallback(CaptureState& capture);

// Unpublishes the latest frame (the blocks stay), so that no reader takes it for a picture of
// the present: the frame of a run that has ended, or the last one before the camera fell
// silent. Only while no BufferCB call can publish: with no stream running, or inside a
// FrameGateReader's life.
void ForgetLatestFrame();
