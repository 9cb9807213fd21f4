#pragma once

// The frame hand-over between the camera's streaming thread and the user-interface thread.
//
// BufferCB (streaming thread) copies each accepted frame into one of two blocks and publishes
// the block and the frame's byte length as the latest frame. The frame gate m_bAcceptFrames of
// the dialog decides whether frames are accepted. A reader (the snapshot, on the user-interface
// thread) follows this protocol:
//
//     FrameGateReader reader(dialog);        // closes the gate and waits for a copy in progress
//     FrameView frame = reader.Latest();     // read once; valid until the reader is destroyed
//     ...use frame.data, frame.length...
//                                            // destructor reopens the gate
//
// While the gate is closed and no copy is in progress, no block is written or freed, so the
// frame a reader holds can neither be overwritten nor freed by a growth.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/media_framework.h"

class CWebcamDlg;

struct FrameView {
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
};

// The two frame blocks and the latest-frame publication. Process-wide (g_frameDoubleBuffer).
struct FrameDoubleBuffer {
    std::uint8_t* m_pBuffer[2] = {nullptr, nullptr};  // owned; freed on growth and at exit
    std::int32_t m_nAllocSize = 0;                    // streaming thread only
    std::uint32_t m_nWriteIndex = 0;                  // streaming thread only
    // The latest complete frame and its byte length, published together (seq_cst).
    std::atomic<std::uint8_t*> m_pLatest{nullptr};
    std::atomic<std::int32_t> m_nLatestLength{0};
    // Held by BufferCB from its gate test until its publication, so a reader that closed the
    // gate can wait until no copy is running.
    std::atomic<bool> m_bCopying{false};

    ~FrameDoubleBuffer();
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

    std::atomic<CWebcamDlg*> m_pDialog{nullptr};
};

extern FrameGrabberCallback g_frameGrabberCallback;

// The reader side of the protocol above (user-interface thread).
class FrameGateReader {
public:
    explicit FrameGateReader(CWebcamDlg& dialog);
    ~FrameGateReader();
    FrameGateReader(const FrameGateReader&) = delete;
    FrameGateReader& operator=(const FrameGateReader&) = delete;

    FrameView Latest() const;

private:
    CWebcamDlg& m_dialog;
};
