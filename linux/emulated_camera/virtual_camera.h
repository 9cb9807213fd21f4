#pragma once

// The emulated camera behind --virtual-camera: a V4L2 capture device answered in this process
// at the device-I/O boundary, so that the same V4L2 code drives it as a real camera. It offers
// YUYV at 320 x 240, 640 x 480 and 1280 x 1024 with memory-mapped buffers and a moving test
// pattern (linux/emulated_camera/test_pattern.h) at 30 frames per second, four settings
// (brightness, contrast, a mirroring switch and a menu), and test switches to refuse 1280 x 1024,
// to offer no settings, or to vanish mid-stream and come back, as a USB camera that is unplugged
// and plugged in again does, and to misbehave as real cameras do (VirtualCameraFaults).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "linux/v4l2/v4l2_device_io.h"

struct VirtualCameraOptions {
    bool refuseHighRes = false;  // 1280 x 1024 requests are adjusted to 640 x 480
    bool noControls = false;
    int vanishAfterFrames = 0;  // > 0: the device is unplugged after delivering that many frames
    bool unpaced = false;       // frames are ready at once instead of 30 a second (benchmarks)
    // The clock a stream's watch reads stands still until MoveClockOn moves it, so that a test
    // decides when a silence has lasted long enough (tests).
    bool manualClock = false;
};

// Ways the emulated camera misbehaves, as real cameras do. "Every Nth frame" counts the frames
// of each stream from its start (VIDIOC_STREAMON).
struct VirtualCameraFaults {
    bool stall = false;    // no frame comes and nothing fails: a camera whose firmware hangs
    int flaggedEvery = 0;  // every Nth frame carries V4L2_BUF_FLAG_ERROR (its data intact)
    int shortEvery = 0;    // every Nth frame ends after half its bytes, without a flag
    int garbageEvery = 0;  // every Nth frame is random bytes of the full length
    int slowFps = 0;       // > 0: at most this many frames a second; VIDIOC_G_PARM still says 30
    std::set<std::uint32_t> refusedControls;  // VIDIOC_S_CTRL answers EIO and keeps the value
    // An unplug answers the stream's next dequeue with EINVAL, as a driver does to a reader
    // blocked in VIDIOC_DQBUF when it releases the queue under it; later requests get ENODEV.
    bool unplugAnswersEinval = false;
};

constexpr const char* kVirtualCameraNode = "/dev/video-virtual";
constexpr const char* kVirtualCameraCard = "Lumisight Virtual Camera";
constexpr int kVirtualCameraFps = 30;

// The path text under which the emulated camera at that node is listed: a USB path that carries
// the built-in vendor identifier.
std::string VirtualCameraPathText(const std::string& node = kVirtualCameraNode);

class VirtualCameraIo : public InProcessCamera {
public:
    explicit VirtualCameraIo(const VirtualCameraOptions& options);
    ~VirtualCameraIo() override;

    int Open(const std::string& path, int flags) override;
    int Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    void* Mmap(std::size_t length, int fd, off_t offset, int* error) override;
    int Munmap(void* address, std::size_t length) override;
    int Poll(int fd, short events, short* revents, int timeoutMs) override;
    // The real time (or, with manualClock, the time the camera was made), plus what
    // MoveClockOn added.
    std::chrono::steady_clock::time_point Now() override;

    // Switches the faults in force; a stall ends with the next frame due a period later.
    void SetFaults(const VirtualCameraFaults& faults);
    // Moves the clock a stream's watch reads on, as if that much time had passed.
    void MoveClockOn(std::chrono::milliseconds time);

    // Makes the device vanish now, as an unplug would: every descriptor opened so far answers
    // ENODEV from now on (also after the device is back) and new ones cannot be opened.
    void Unplug();
    // Plugs the device in again, as a new device at the node (the kernel may give a camera that
    // comes back another number): it opens again, in its default format, with no buffers.
    void Replug(const std::string& node = kVirtualCameraNode);
    // Changes whether 1280 x 1024 is refused from now on (a camera that comes back may differ).
    void SetRefusesHighRes(bool refuse);
    std::string Node() const override;
    // VirtualCameraPathText of the node.
    std::string PathText() const override;
    int OpenDescriptors() const;
    int OpenMappings() const;
    std::uint64_t FramesDelivered() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
    // Read by the streaming thread, moved on by the test's: its own atomic, outside the lock.
    std::atomic<std::int64_t> m_clockOffsetNs{0};
    std::chrono::steady_clock::time_point m_madeAt = std::chrono::steady_clock::now();
    bool m_manualClock = false;
};
