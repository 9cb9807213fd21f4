#include "capture/frame_double_buffer.h"

#include <strings.h>
#include <cstring>
#include <thread>

#include "platform/diagnostic_log.h"

FrameDoubleBuffer g_frameDoubleBuffer;
FrameGrabberCallback g_frameGrabberCallback;

namespace {

std::uint8_t* AllocateWithMalloc(std::size_t size) {
    return static_cast<std::uint8_t*>(std::malloc(size));
}

void FreeBlocks(FrameDoubleBuffer& frames) {
    for (FrameBlock& block : frames.m_pBuffer) {
        block.reset();
    }
    frames.m_nAllocSize = 0;
}

// Clears the busy flag on every way out of BufferCB once it has been raised.
class CopyingFlag {
public:
    explicit CopyingFlag(std::atomic<bool>& flag) : m_flag(flag) { m_flag.store(true); }
    ~CopyingFlag() { m_flag.store(false); }
    CopyingFlag(const CopyingFlag&) = delete;
    CopyingFlag& operator=(const CopyingFlag&) = delete;

private:
    std::atomic<bool>& m_flag;
};

// Unpublishes the latest frame before its block goes, so no reader can pick up a freed block.
void DropBlocksForGrowth(FrameDoubleBuffer& frames) {
    frames.m_pLatest.store(nullptr);
    frames.m_nLatestLength.store(0);
    FreeBlocks(frames);
}

bool AllocateBlocks(FrameDoubleBuffer& frames, std::int32_t length) {
    const auto size = static_cast<std::size_t>(length);
    frames.m_pBuffer[0].reset(g_allocateFrameBlock(size));
    frames.m_pBuffer[1].reset(g_allocateFrameBlock(size));
    if (frames.m_pBuffer[0] == nullptr || frames.m_pBuffer[1] == nullptr) {
        FreeBlocks(frames);
        return false;
    }
    frames.m_nAllocSize = length;
    return true;
}

// The length goes out before the block: a reader that sees the new block also sees its length.
void Publish(FrameDoubleBuffer& frames, std::int32_t length) {
    std::uint8_t* block = frames.m_pBuffer[frames.m_nWriteIndex].get();
    frames.m_nLatestLength.store(length);
    frames.m_pLatest.store(block);
    frames.m_nWriteIndex = frames.m_nWriteIndex == 0 ? 1 : 0;
}

bool NamesCallbackInterface(const char* name) {
    static constexpr const char* kNames[] = {
        "IID_ISampleGrabberCB",
        "{0579154A-2B53-4994-B0D0-E773148EFF85}",
        "IID_IUnknown",
        "{00000000-0000-0000-C000-000000000046}",
    };
    for (const char* known : kNames) {
        if (strcasecmp(name, known) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

FrameBlockAllocator g_allocateFrameBlock = AllocateWithMalloc;

void FrameDoubleBuffer::Reset() {
    m_pLatest.store(nullptr);
    m_nLatestLength.store(0);
    FreeBlocks(*this);
    m_nWriteIndex = 0;
}

HResult FrameGrabberCallback::QueryInterface(const char* interfaceName, void** object) {
    if (interfaceName == nullptr || object == nullptr || !NamesCallbackInterface(interfaceName)) {
        return E_NOINTERFACE_RESULT;
    }
    *object = this;
    return S_OK_RESULT;
}

HResult FrameGrabberCallback::BufferCB(double sampleTime, std::uint8_t* buffer,
                                       std::int32_t length) {
    (void)sampleTime;
    if (buffer == nullptr) {
        WriteLog("BufferCB(E_POINTER)");
        return E_POINTER_RESULT;
    }
    CaptureState* capture = m_pDialog.load();
    if (capture == nullptr) {
        return S_OK_RESULT;
    }
    FrameDoubleBuffer& frames = g_frameDoubleBuffer;
    // Raised before the gate is read: a reader that closes the gate and then sees the flag down
    // knows that no copy can start or still be running (both sides are sequentially consistent).
    CopyingFlag copying(frames.m_bCopying);
    if (!capture->m_bAcceptFrames.load()) {
        return S_OK_RESULT;
    }
    // A negative length is as unusable as an empty frame; refusing it keeps the size arithmetic
    // below from turning it into a huge allocation.
    if (length <= 0) {
        WriteLog("BufferCB(E_ABORT)");
        return E_ABORT_RESULT;
    }
    if (frames.m_nAllocSize < length) {
        DropBlocksForGrowth(frames);
    }
    if (frames.m_nAllocSize == 0 && !AllocateBlocks(frames, length)) {
        WriteLog("BufferCB(E_OUTOFMEMORY)");
        return E_OUTOFMEMORY_RESULT;
    }
    std::memcpy(frames.m_pBuffer[frames.m_nWriteIndex].get(), buffer,
                static_cast<std::size_t>(length));
    Publish(frames, length);
    return S_OK_RESULT;
}

FrameGateReader::FrameGateReader(CaptureState& capture) : m_capture(capture) {
    m_capture.m_bAcceptFrames.store(false);
    // A copy that passed the gate before it closed finishes within one frame copy.
    while (g_frameDoubleBuffer.m_bCopying.load()) {
        std::this_thread::yield();
    }
}

FrameGateReader::~FrameGateReader() {
    m_capture.m_bAcceptFrames.store(true);
}

// The block first, then its length (see Publish).
FrameView FrameGateReader::Latest() const {
    FrameView view;
    view.data = g_frameDoubleBuffer.m_pLatest.load();
    view.length = view.data != nullptr ? g_frameDoubleBuffer.m_nLatestLength.load() : 0;
    return view;
}

void DetachFrameCallback(CaptureState& capture) {
    CaptureState* attached = &capture;
    g_frameGrabberCallback.m_pDialog.compare_exchange_strong(attached, nullptr);
}

void ForgetLatestFrame() {
    g_frameDoubleBuffer.m_pLatest.store(nullptr);
    g_frameDoubleBuffer.m_nLatestLength.store(0);
}
