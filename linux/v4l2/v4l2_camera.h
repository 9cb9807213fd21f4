#pragma once

// One opened V4L2 capture device: its identity, format, settings and memory-mapped streaming.
// The destructor stops streaming, unmaps the buffers and closes the device.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "linux/v4l2/v4l2_device_io.h"
#include "platform/media_framework.h"

struct CameraFormat {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t pixelFormat = 0;  // V4L2 four-character code
    std::uint32_t bytesPerLine = 0;
    std::uint32_t sizeImage = 0;
};

struct CameraIdentity {
    std::string card;
    std::string driver;
    std::string busInfo;
    bool capturesVideo = false;  // a video capture node that streams
};

// The frame of one dequeued buffer, valid during the sink call only.
struct CameraFrame {
    std::uint8_t* data = nullptr;
    std::uint32_t bytesUsed = 0;
    double time = 0.0;  // seconds
};

using FrameSink = std::function<void(const CameraFrame&)>;
using StreamEndSink = std::function<void(int error)>;

// What the streaming thread calls.
struct CameraSinks {
    // Every good frame: not flagged as damaged by the driver, and as long as the negotiated
    // format says (for YUYV).
    FrameSink onFrame;
    // Once, when the device fails or vanishes (-errno; -ENODEV for a device that has gone,
    // whichever error the driver answered first); the thread then ends.
    StreamEndSink onEnded;
    // true with the first good frame and the first after a silence; false once no good frame
    // has come for silenceLimit (not watched when zero or when there is no sink).
    std::function<void(bool flowing)> onActivity;
    std::chrono::milliseconds silenceLimit{0};
};

class V4l2Camera {
public:
    // Opens the node; null with *error set to -errno when it cannot.
    static std::unique_ptr<V4l2Camera> Open(std::shared_ptr<DeviceIo> io, const std::string& node,
                                            int* error);
    ~V4l2Camera();
    V4l2Camera(const V4l2Camera&) = delete;
    V4l2Camera& operator=(const V4l2Camera&) = delete;

    const std::string& Node() const { return m_node; }
    int QueryIdentity(CameraIdentity* identity);
    int GetFormat(CameraFormat* format);
    // Asks for the size and format; *granted is what the driver chose instead or as asked.
    int SetFormat(std::uint32_t width, std::uint32_t height, std::uint32_t pixelFormat,
                  CameraFormat* granted);

    // The settings worth showing: 64-bit, string and compound controls and disabled ones are
    // left out, as are menus without a single readable item.
    std::vector<DeviceControl> QueryControls();
    int GetControl(std::uint32_t id, std::int32_t* value);
    int SetControl(std::uint32_t id, std::int32_t value);

    // The time per frame the driver states (VIDIOC_G_PARM), as a fraction of a second; -errno
    // when it states none.
    int GetFrameInterval(std::uint32_t* numerator, std::uint32_t* denominator);
    // Closes the device and opens its node again; only while not streaming. On failure
    // (-errno) the camera stays closed and every request fails.
    int Reopen();
    // The sysfs folder of the camera's USB interface (empty: none), before streaming starts.
    // When the device goes, the stream's end is reported once the folder has gone too (for at
    // most two seconds): uvcvideo tears an unplugged camera down after its nodes have failed,
    // and on some kernels (6.1) a descriptor closed meanwhile meets a race in the teardown that
    // crashes the kernel's side of the close and kills the process.
    void AwaitRemovalOf(std::string folder) { m_removalFolder = std::move(folder); }

    // Maps the buffers, starts the device and a streaming thread that calls the sinks. Frames
    // the driver flags as damaged, or of the wrong length, are counted in the diagnostic log at
    // most once a second and go back to the driver.
    int StartStreaming(CameraSinks sinks);
    // Joins the streaming thread before it stops the device: no sink call runs afterwards.
    void StopStreaming();
    bool IsStreaming() const { return m_thread.joinable(); }
    const CameraFormat& StreamFormat() const { return m_streamFormat; }

private:
    V4l2Camera(std::shared_ptr<DeviceIo> io, std::string node, int fd);
    int Ioctl(unsigned long request, void* argument);
    int MapBuffers();
    int QueueAllBuffers();
    void ReleaseBuffers();
    void StreamLoop(const CameraSinks& sinks);
    // The outcome of one dequeue.
    enum class Dequeued { Nothing, Good, Damaged, Failed };
    Dequeued DeliverOneFrame(const CameraSinks& sinks, int* error, bool* flagged);
    int EndError(int error);
    void AwaitRemoval();
    bool ReadControl(std::uint32_t* nextId, DeviceControl* control, bool* usable);
    void ReadMenu(DeviceControl* control);

    std::shared_ptr<DeviceIo> m_ioOwner;  // outlives the descriptor and the mappings below
    DeviceIo& m_io;
    std::string m_node;
    UniqueFd m_fd;
    // Written by StartStreaming before the thread starts, read-only while it runs.
    std::vector<MappedBuffer> m_buffers;
    CameraFormat m_streamFormat;
    std::thread m_thread;
    // Set by StopStreaming; the streaming thread checks it between frames.
    std::atomic<bool> m_stop{false};
    std::string m_removalFolder;  // written before the streaming thread starts
};
