#include "linux/emulated_camera/virtual_camera.h"

#include <linux/videodev2.h>
#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <vector>

#include "linux/emulated_camera/test_pattern.h"
#include "linux/emulated_camera/virtual_camera_controls.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::nanoseconds kFramePeriod{1'000'000'000 / kVirtualCameraFps};
constexpr std::size_t kPageBytes = 4096;
constexpr int kFirstFd = 1000;  // far from the descriptors a test might see from the kernel

struct FrameSize {
    int width;
    int height;
};
constexpr std::array<FrameSize, 3> kSizes = {{{320, 240}, {640, 480}, {1280, 1024}}};

std::size_t PageAligned(std::size_t bytes) {
    return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}

}  // namespace

std::string VirtualCameraPathText(const std::string& node) {
    return std::string("usb#vid_") + LUMISIGHT_VENDOR_ID + "&pid_0001&mi_00#virtual#" + node;
}

struct VirtualCameraIo::State {
    struct Buffer {
        std::vector<std::uint8_t> memory;
        bool queued = false;
        std::uint32_t bytesused = 0;
        std::uint32_t sequence = 0;
        timeval timestamp{};
    };

    explicit State(const VirtualCameraOptions& options)
        : options(options), controls(options.noControls) {}

    // Guards everything below: the streaming thread dequeues while the user-interface thread
    // changes settings.
    mutable std::mutex mutex;
    // Wakes a waiting Poll when a buffer is queued, streaming stops or the device vanishes.
    std::condition_variable changed;
    VirtualCameraOptions options;
    std::string node = kVirtualCameraNode;
    // Every open descriptor with the plug-in it was opened on; one opened before the last
    // unplug belongs to a device that is gone.
    std::map<int, std::uint64_t> openFds;
    std::uint64_t plugIn = 0;
    int nextFd = kFirstFd;
    int mappings = 0;
    // The buffers of a device that was unplugged while a descriptor owned them: its mappings may
    // still point into them, so they live until that descriptor is closed.
    std::map<int, std::vector<Buffer>> retired;
    int width = 640;
    int height = 480;
    VirtualCameraControls controls;
    int bufferOwner = -1;
    std::vector<Buffer> buffers;
    std::deque<std::uint32_t> queue;
    bool streaming = false;
    Clock::time_point nextDue;
    std::uint64_t frames = 0;
    std::uint64_t streamFrames = 0;  // the frames of the current stream, for "every Nth"
    bool vanished = false;
    VirtualCameraFaults faults;
    bool einvalPending = false;  // the next dequeue answers as one the unplug interrupted
    std::minstd_rand noise{20240601};

    bool Dead(int fd) const {
        const auto it = openFds.find(fd);
        return vanished || it == openFds.end() || it->second != plugIn;
    }
    void Vanish() {
        vanished = true;
        einvalPending = streaming && faults.unplugAnswersEinval;
        ++plugIn;
        changed.notify_all();
    }
    Clock::duration FramePeriod() const {
        const Clock::duration slow = faults.slowFps > 0
                                         ? Clock::duration(std::chrono::seconds(1)) / faults.slowFps
                                         : Clock::duration::zero();
        return std::max<Clock::duration>(kFramePeriod, slow);
    }
    static bool Every(int n, std::uint64_t frame) {
        return n > 0 && frame % static_cast<std::uint64_t>(n) == 0;
    }
    void Damage(Buffer& slot, std::uint32_t* flags);
    std::uint32_t ImageBytes() const { return static_cast<std::uint32_t>(width * height * 2); }
    std::size_t BufferStride() const { return PageAligned(ImageBytes()); }
    bool FrameReady() const {
        return streaming && !queue.empty() && !faults.stall &&
               (options.unpaced || Clock::now() >= nextDue);
    }

    int QueryCap(v4l2_capability& cap) const;
    int EnumFormat(v4l2_fmtdesc& desc) const;
    int EnumFrameSizes(v4l2_frmsizeenum& sizes) const;
    void FillFormat(v4l2_format& format, int w, int h) const;
    int GetFormat(v4l2_format& format) const;
    int SetFormat(v4l2_format& format, bool store);
    int RequestBuffers(int fd, v4l2_requestbuffers& request);
    int QueryBuffer(v4l2_buffer& buffer) const;
    int QueueBuffer(int fd, v4l2_buffer& buffer);
    int DequeueBuffer(int fd, v4l2_buffer& buffer);
    int StreamOn(int fd);
    int GetParameters(v4l2_streamparm& parameters) const;
    int StreamOff(int fd);
    void ReleaseBuffers();
};

int VirtualCameraIo::State::QueryCap(v4l2_capability& cap) const {
    cap = v4l2_capability{};
    std::snprintf(reinterpret_cast<char*>(cap.driver), sizeof cap.driver, "lumisight-vcam");
    std::snprintf(reinterpret_cast<char*>(cap.card), sizeof cap.card, "%s", kVirtualCameraCard);
    std::snprintf(reinterpret_cast<char*>(cap.bus_info), sizeof cap.bus_info, "usb-virtual-1");
    cap.version = 0x00010000;
    cap.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    cap.capabilities = cap.device_caps | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int VirtualCameraIo::State::EnumFormat(v4l2_fmtdesc& desc) const {
    if (desc.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc.index != 0) {
        return -EINVAL;
    }
    desc.flags = 0;
    desc.pixelformat = V4L2_PIX_FMT_YUYV;
    std::snprintf(reinterpret_cast<char*>(desc.description), sizeof desc.description, "YUYV 4:2:2");
    return 0;
}

int VirtualCameraIo::State::EnumFrameSizes(v4l2_frmsizeenum& sizes) const {
    const std::size_t offered = options.refuseHighRes ? 2 : 3;
    if (sizes.pixel_format != V4L2_PIX_FMT_YUYV || sizes.index >= offered) {
        return -EINVAL;
    }
    sizes.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    sizes.discrete.width = static_cast<std::uint32_t>(kSizes[sizes.index].width);
    sizes.discrete.height = static_cast<std::uint32_t>(kSizes[sizes.index].height);
    return 0;
}

void VirtualCameraIo::State::FillFormat(v4l2_format& format, int w, int h) const {
    format.fmt.pix = v4l2_pix_format{};
    format.fmt.pix.width = static_cast<std::uint32_t>(w);
    format.fmt.pix.height = static_cast<std::uint32_t>(h);
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    format.fmt.pix.bytesperline = static_cast<std::uint32_t>(w * 2);
    format.fmt.pix.sizeimage = static_cast<std::uint32_t>(w * h * 2);
    format.fmt.pix.colorspace = V4L2_COLORSPACE_SRGB;
}

int VirtualCameraIo::State::GetFormat(v4l2_format& format) const {
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
        return -EINVAL;
    }
    FillFormat(format, width, height);
    return 0;
}

// Like a driver, adjusts the request to the nearest size it offers and to its only format.
int VirtualCameraIo::State::SetFormat(v4l2_format& format, bool store) {
    if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
        return -EINVAL;
    }
    if (store && !buffers.empty()) {
        return -EBUSY;
    }
    const long wantedArea = static_cast<long>(format.fmt.pix.width) * format.fmt.pix.height;
    const std::size_t offered = options.refuseHighRes ? 2 : 3;
    FrameSize best = kSizes[0];
    for (std::size_t i = 0; i < offered; ++i) {
        const long area = static_cast<long>(kSizes[i].width) * kSizes[i].height;
        if (std::labs(area - wantedArea) <
            std::labs(static_cast<long>(best.width) * best.height - wantedArea)) {
            best = kSizes[i];
        }
    }
    FillFormat(format, best.width, best.height);
    if (store) {
        width = best.width;
        height = best.height;
    }
    return 0;
}

int VirtualCameraIo::State::RequestBuffers(int fd, v4l2_requestbuffers& request) {
    if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP) {
        return -EINVAL;
    }
    if (bufferOwner != -1 && bufferOwner != fd) {
        return -EBUSY;
    }
    if (streaming) {
        return -EBUSY;
    }
    ReleaseBuffers();
    if (request.count == 0) {
        return 0;
    }
    request.count = std::clamp<std::uint32_t>(request.count, 2, 8);
    buffers.resize(request.count);
    for (Buffer& buffer : buffers) {
        buffer.memory.assign(BufferStride(), 0);
    }
    bufferOwner = fd;
    return 0;
}

int VirtualCameraIo::State::QueryBuffer(v4l2_buffer& buffer) const {
    if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.index >= buffers.size()) {
        return -EINVAL;
    }
    const Buffer& slot = buffers[buffer.index];
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.length = ImageBytes();
    buffer.m.offset = static_cast<std::uint32_t>(buffer.index * BufferStride());
    buffer.bytesused = slot.bytesused;
    buffer.flags = V4L2_BUF_FLAG_MAPPED | (slot.queued ? V4L2_BUF_FLAG_QUEUED : 0u);
    return 0;
}

int VirtualCameraIo::State::QueueBuffer(int fd, v4l2_buffer& buffer) {
    if (Dead(fd)) {
        return -ENODEV;
    }
    if (fd != bufferOwner || buffer.index >= buffers.size() || buffers[buffer.index].queued) {
        return -EINVAL;
    }
    buffers[buffer.index].queued = true;
    queue.push_back(buffer.index);
    changed.notify_all();
    return 0;
}

// The faults of the frame just drawn into the slot: its flags, length and bytes.
void VirtualCameraIo::State::Damage(Buffer& slot, std::uint32_t* flags) {
    const std::uint64_t n = ++streamFrames;
    if (Every(faults.garbageEvery, n)) {
        for (std::uint8_t& byte : slot.memory) {
            byte = static_cast<std::uint8_t>(noise());
        }
    }
    if (Every(faults.shortEvery, n)) {
        slot.bytesused = ImageBytes() / 2;
    }
    if (Every(faults.flaggedEvery, n)) {
        *flags |= V4L2_BUF_FLAG_ERROR;
    }
}

int VirtualCameraIo::State::DequeueBuffer(int fd, v4l2_buffer& buffer) {
    if (Dead(fd) && einvalPending && fd == bufferOwner) {
        einvalPending = false;
        return -EINVAL;
    }
    if (Dead(fd)) {
        return -ENODEV;
    }
    if (fd != bufferOwner || !streaming) {
        return -EINVAL;
    }
    if (!FrameReady()) {
        return -EAGAIN;
    }
    const std::uint32_t index = queue.front();
    queue.pop_front();
    Buffer& slot = buffers[index];
    DrawTestPattern(slot.memory.data(), width, height, width * 2, frames, controls.Pattern());
    slot.queued = false;
    slot.bytesused = ImageBytes();
    std::uint32_t flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    Damage(slot, &flags);
    slot.sequence = static_cast<std::uint32_t>(frames);
    gettimeofday(&slot.timestamp, nullptr);
    ++frames;
    // A consumer that fell behind gets the next frame one period from now, as a camera drops
    // the frames nobody took.
    const Clock::time_point now = Clock::now();
    const Clock::duration period = FramePeriod();
    nextDue = now - nextDue > period ? now + period : nextDue + period;
    // Once only: a device plugged in again streams on.
    if (options.vanishAfterFrames > 0 &&
        frames >= static_cast<std::uint64_t>(options.vanishAfterFrames)) {
        options.vanishAfterFrames = 0;
        Vanish();
    }
    buffer.index = index;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.bytesused = slot.bytesused;
    buffer.length = ImageBytes();
    buffer.sequence = slot.sequence;
    buffer.timestamp = slot.timestamp;
    buffer.field = V4L2_FIELD_NONE;
    buffer.flags = flags;
    return 0;
}

int VirtualCameraIo::State::StreamOn(int fd) {
    if (Dead(fd)) {
        return -ENODEV;
    }
    if (fd != bufferOwner || buffers.empty()) {
        return -EINVAL;
    }
    if (!streaming) {
        streaming = true;
        streamFrames = 0;
        nextDue = Clock::now() + FramePeriod();
    }
    return 0;
}

// The stated rate stays the nominal one, whatever the slow fault does.
int VirtualCameraIo::State::GetParameters(v4l2_streamparm& parameters) const {
    if (parameters.type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
        return -EINVAL;
    }
    parameters.parm.capture = v4l2_captureparm{};
    parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parameters.parm.capture.timeperframe = v4l2_fract{1, kVirtualCameraFps};
    return 0;
}

int VirtualCameraIo::State::StreamOff(int fd) {
    if (fd != bufferOwner) {
        return -EINVAL;
    }
    streaming = false;
    queue.clear();
    for (Buffer& buffer : buffers) {
        buffer.queued = false;
    }
    changed.notify_all();
    return 0;
}

void VirtualCameraIo::State::ReleaseBuffers() {
    streaming = false;
    queue.clear();
    buffers.clear();
    bufferOwner = -1;
    changed.notify_all();
}

VirtualCameraIo::VirtualCameraIo(const VirtualCameraOptions& options)
    : m_state(std::make_unique<State>(options)), m_manualClock(options.manualClock) {}

VirtualCameraIo::~VirtualCameraIo() = default;

int VirtualCameraIo::Open(const std::string& path, int /*flags*/) {
    std::lock_guard lock(m_state->mutex);
    if (path != m_state->node) {
        return -ENOENT;
    }
    if (m_state->vanished) {
        return -ENODEV;
    }
    const int fd = m_state->nextFd++;
    m_state->openFds[fd] = m_state->plugIn;
    return fd;
}

int VirtualCameraIo::Close(int fd) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->openFds.erase(fd) == 0) {
        return -EBADF;
    }
    m_state->retired.erase(fd);
    if (m_state->bufferOwner == fd) {
        m_state->ReleaseBuffers();
    }
    return 0;
}

int VirtualCameraIo::Ioctl(int fd, unsigned long request, void* argument) {
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    if (s.openFds.count(fd) == 0) {
        return -EBADF;
    }
    const bool dead = s.Dead(fd);
    switch (request) {
        case VIDIOC_QUERYCAP:
            return dead ? -ENODEV : s.QueryCap(*static_cast<v4l2_capability*>(argument));
        case VIDIOC_ENUM_FMT:
            return s.EnumFormat(*static_cast<v4l2_fmtdesc*>(argument));
        case VIDIOC_ENUM_FRAMESIZES:
            return s.EnumFrameSizes(*static_cast<v4l2_frmsizeenum*>(argument));
        case VIDIOC_G_FMT:
            return s.GetFormat(*static_cast<v4l2_format*>(argument));
        case VIDIOC_S_FMT:
            return dead ? -ENODEV : s.SetFormat(*static_cast<v4l2_format*>(argument), true);
        case VIDIOC_TRY_FMT:
            return s.SetFormat(*static_cast<v4l2_format*>(argument), false);
        case VIDIOC_REQBUFS:
            return dead ? -ENODEV
                        : s.RequestBuffers(fd, *static_cast<v4l2_requestbuffers*>(argument));
        case VIDIOC_QUERYBUF:
            return s.QueryBuffer(*static_cast<v4l2_buffer*>(argument));
        case VIDIOC_QBUF:
            return s.QueueBuffer(fd, *static_cast<v4l2_buffer*>(argument));
        case VIDIOC_DQBUF:
            return s.DequeueBuffer(fd, *static_cast<v4l2_buffer*>(argument));
        case VIDIOC_STREAMON:
            return s.StreamOn(fd);
        case VIDIOC_STREAMOFF:
            return dead ? -ENODEV : s.StreamOff(fd);
        case VIDIOC_QUERYCTRL:
            return s.controls.Query(*static_cast<v4l2_queryctrl*>(argument));
        case VIDIOC_QUERY_EXT_CTRL:
            return s.controls.QueryExt(*static_cast<v4l2_query_ext_ctrl*>(argument));
        case VIDIOC_QUERYMENU:
            return s.controls.QueryMenu(*static_cast<v4l2_querymenu*>(argument));
        case VIDIOC_G_CTRL:
            return s.controls.Get(*static_cast<v4l2_control*>(argument));
        case VIDIOC_S_CTRL:
            if (dead) {
                return -ENODEV;
            }
            if (s.faults.refusedControls.count(static_cast<v4l2_control*>(argument)->id) != 0) {
                return -EIO;
            }
            return s.controls.Set(*static_cast<v4l2_control*>(argument));
        case VIDIOC_G_PARM:
            return dead ? -ENODEV : s.GetParameters(*static_cast<v4l2_streamparm*>(argument));
        default:
            return -ENOTTY;
    }
}

void* VirtualCameraIo::Mmap(std::size_t length, int fd, off_t offset, int* error) {
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    const std::size_t stride = s.BufferStride();
    const auto index = static_cast<std::size_t>(offset) / stride;
    if (fd != s.bufferOwner || offset < 0 || static_cast<std::size_t>(offset) % stride != 0 ||
        index >= s.buffers.size() || length > stride) {
        *error = EINVAL;
        return nullptr;
    }
    ++s.mappings;
    return s.buffers[index].memory.data();
}

// The memory stays with the device; only the count of mappings changes.
int VirtualCameraIo::Munmap(void* address, std::size_t /*length*/) {
    std::lock_guard lock(m_state->mutex);
    if (address == nullptr || m_state->mappings == 0) {
        return -EINVAL;
    }
    --m_state->mappings;
    return 0;
}

int VirtualCameraIo::Poll(int fd, short events, short* revents, int timeoutMs) {
    std::unique_lock lock(m_state->mutex);
    State& s = *m_state;
    *revents = 0;
    if (s.openFds.count(fd) == 0) {
        *revents = POLLNVAL;
        return 1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const bool dead = s.Dead(fd);
        if (dead || (fd == s.bufferOwner && !s.streaming)) {
            *revents = static_cast<short>(POLLERR | (dead ? POLLHUP : 0));
            return 1;
        }
        if (fd == s.bufferOwner && s.FrameReady()) {
            *revents = static_cast<short>(events & (POLLIN | POLLRDNORM));
            return 1;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return 0;
        }
        const bool waitingForTime = s.streaming && !s.queue.empty() && !s.faults.stall;
        s.changed.wait_until(lock, waitingForTime ? std::min(deadline, s.nextDue) : deadline);
    }
}

std::chrono::steady_clock::time_point VirtualCameraIo::Now() {
    const Clock::time_point base = m_manualClock ? m_madeAt : Clock::now();
    return base + std::chrono::nanoseconds(m_clockOffsetNs.load());
}

void VirtualCameraIo::SetFaults(const VirtualCameraFaults& faults) {
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    if (s.faults.stall && !faults.stall) {
        s.nextDue = Clock::now() + s.FramePeriod();
    }
    s.faults = faults;
    s.changed.notify_all();
}

void VirtualCameraIo::MoveClockOn(std::chrono::milliseconds time) {
    m_clockOffsetNs.fetch_add(std::chrono::nanoseconds(time).count());
}

void VirtualCameraIo::Unplug() {
    std::lock_guard lock(m_state->mutex);
    m_state->Vanish();
}

void VirtualCameraIo::Replug(const std::string& node) {
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    if (s.bufferOwner != -1) {
        s.retired[s.bufferOwner] = std::move(s.buffers);
    }
    s.ReleaseBuffers();
    s.width = 640;
    s.height = 480;
    s.node = node;
    s.vanished = false;
}

void VirtualCameraIo::SetRefusesHighRes(bool refuse) {
    std::lock_guard lock(m_state->mutex);
    m_state->options.refuseHighRes = refuse;
}

std::string VirtualCameraIo::Node() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->node;
}

std::string VirtualCameraIo::PathText() const {
    return VirtualCameraPathText(Node());
}

int VirtualCameraIo::OpenDescriptors() const {
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->openFds.size());
}

int VirtualCameraIo::OpenMappings() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->mappings;
}

std::uint64_t VirtualCameraIo::FramesDelivered() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->frames;
}
