#include "linux/v4l2/v4l2_camera.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/diagnostic_log.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBufferCount = 4;
// Stop is noticed within this time even when the device delivers nothing; so is a silence.
constexpr int kPollTimeoutMs = 50;

std::string FixedText(const std::uint8_t* text, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(text),
                       strnlen(reinterpret_cast<const char*>(text), size));
}

v4l2_buffer MmapBuffer(std::uint32_t index) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = index;
    return buffer;
}

CameraFormat FromPixFormat(const v4l2_pix_format& pix) {
    CameraFormat format;
    format.width = pix.width;
    format.height = pix.height;
    format.pixelFormat = pix.pixelformat;
    format.bytesPerLine = pix.bytesperline;
    format.sizeImage = pix.sizeimage;
    return format;
}

bool ShownType(std::uint32_t type, DeviceControlType* shown) {
    switch (type) {
        case V4L2_CTRL_TYPE_INTEGER:
            *shown = DeviceControlType::Integer;
            return true;
        case V4L2_CTRL_TYPE_BOOLEAN:
            *shown = DeviceControlType::Boolean;
            return true;
        case V4L2_CTRL_TYPE_MENU:
        case V4L2_CTRL_TYPE_INTEGER_MENU:
            *shown = DeviceControlType::Menu;
            return true;
        case V4L2_CTRL_TYPE_BUTTON:
            *shown = DeviceControlType::Button;
            return true;
        default:  // 64-bit, string, bitmask, class headings and compound types
            return false;
    }
}

// The length a frame of this format has; 0 when it varies (a compressed format).
std::uint32_t ExpectedFrameBytes(const CameraFormat& format) {
    if (format.pixelFormat != V4L2_PIX_FMT_YUYV) {
        return 0;
    }
    return format.sizeImage != 0 ? format.sizeImage : format.bytesPerLine * format.height;
}

// Streaming thread: the damaged frames of one stream, written to the diagnostic log at most
// once a second (a camera can send thirty a second for as long as it runs), and what remains
// when the stream ends.
class DamagedFrameTally {
public:
    void Count(bool flagged, Clock::time_point now) {
        ++(flagged ? m_flagged : m_wrongLength);
        Report(now, false);
    }
    void Report(Clock::time_point now, bool final) {
        if (m_flagged + m_wrongLength == 0 ||
            (!final && m_lastLine && now - *m_lastLine < std::chrono::seconds(1))) {
            return;
        }
        const unsigned total = m_flagged + m_wrongLength;
        char line[128];
        std::snprintf(line, sizeof line,
                      "Camera sent %u damaged frame%s (%u flagged by the driver, %u of the wrong "
                      "length)",
                      total, total == 1 ? "" : "s", m_flagged, m_wrongLength);
        WriteLog(line);
        m_flagged = 0;
        m_wrongLength = 0;
        m_lastLine = now;
    }

private:
    unsigned m_flagged = 0;
    unsigned m_wrongLength = 0;
    std::optional<Clock::time_point> m_lastLine;
};

// Streaming thread: tells whether good frames come. A stream that has not yet delivered its
// first frame counts from its start.
class ActivityWatch {
public:
    ActivityWatch(const CameraSinks& sinks, Clock::time_point start)
        : m_sink(sinks.onActivity),
          m_limit(sinks.onActivity ? sinks.silenceLimit : std::chrono::milliseconds(0)),
          m_lastFrame(start) {}
    void Frame(Clock::time_point now) {
        m_lastFrame = now;
        if (m_limit.count() > 0 && !m_flowing) {
            m_flowing = true;
            m_silent = false;
            m_sink(true);
        }
    }
    void Check(Clock::time_point now) {
        if (m_limit.count() > 0 && !m_silent && now - m_lastFrame >= m_limit) {
            m_silent = true;
            m_flowing = false;
            m_sink(false);
        }
    }

private:
    const std::function<void(bool)>& m_sink;
    std::chrono::milliseconds m_limit;
    Clock::time_point m_lastFrame;
    bool m_flowing = false;
    bool m_silent = false;
};

}  // namespace

std::unique_ptr<V4l2Camera> V4l2Camera::Open(std::shared_ptr<DeviceIo> io, const std::string& node,
                                             int* error) {
    const int fd = io->Open(node, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        *error = fd;
        return nullptr;
    }
    *error = 0;
    return std::unique_ptr<V4l2Camera>(new V4l2Camera(std::move(io), node, fd));
}

V4l2Camera::V4l2Camera(std::shared_ptr<DeviceIo> io, std::string node, int fd)
    : m_ioOwner(std::move(io)), m_io(*m_ioOwner), m_node(std::move(node)), m_fd(m_io, fd) {}

V4l2Camera::~V4l2Camera() {
    StopStreaming();
}

int V4l2Camera::Ioctl(unsigned long request, void* argument) {
    return m_io.Ioctl(m_fd.Get(), request, argument);
}

int V4l2Camera::QueryIdentity(CameraIdentity* identity) {
    v4l2_capability cap{};
    if (const int result = Ioctl(VIDIOC_QUERYCAP, &cap); result < 0) {
        return result;
    }
    identity->card = FixedText(cap.card, sizeof cap.card);
    identity->driver = FixedText(cap.driver, sizeof cap.driver);
    identity->busInfo = FixedText(cap.bus_info, sizeof cap.bus_info);
    // A node of a multi-node device reports its own abilities in device_caps.
    const std::uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    const std::uint32_t needed = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    identity->capturesVideo = (caps & needed) == needed;
    return 0;
}

int V4l2Camera::GetFormat(CameraFormat* format) {
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int result = Ioctl(VIDIOC_G_FMT, &request); result < 0) {
        return result;
    }
    *format = FromPixFormat(request.fmt.pix);
    return 0;
}

int V4l2Camera::SetFormat(std::uint32_t width, std::uint32_t height, std::uint32_t pixelFormat,
                          CameraFormat* granted) {
    v4l2_format request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.fmt.pix.width = width;
    request.fmt.pix.height = height;
    request.fmt.pix.pixelformat = pixelFormat;
    request.fmt.pix.field = V4L2_FIELD_NONE;
    if (const int result = Ioctl(VIDIOC_S_FMT, &request); result < 0) {
        return result;
    }
    *granted = FromPixFormat(request.fmt.pix);
    return 0;
}

// Reads the control after *nextId into *control; false at the end of the list.
bool V4l2Camera::ReadControl(std::uint32_t* nextId, DeviceControl* control, bool* usable) {
    v4l2_query_ext_ctrl query{};
    query.id = *nextId | V4L2_CTRL_FLAG_NEXT_CTRL;
    if (Ioctl(VIDIOC_QUERY_EXT_CTRL, &query) < 0) {
        return false;
    }
    *nextId = query.id;
    *usable = !(query.flags & V4L2_CTRL_FLAG_DISABLED) && ShownType(query.type, &control->type);
    control->id = query.id;
    control->name = std::string(query.name, strnlen(query.name, sizeof query.name));
    control->minimum = static_cast<std::int32_t>(query.minimum);
    control->maximum = static_cast<std::int32_t>(query.maximum);
    control->step = static_cast<std::int32_t>(query.step == 0 ? 1 : query.step);
    control->defaultValue = static_cast<std::int32_t>(query.default_value);
    control->readOnly = (query.flags & V4L2_CTRL_FLAG_READ_ONLY) != 0;
    control->inactive = (query.flags & (V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED)) != 0;
    control->menuItems.clear();
    if (*usable && control->type == DeviceControlType::Menu) {
        ReadMenu(control);
        *usable = !control->menuItems.empty();
    }
    return true;
}

// Menus may have holes: an index the driver does not answer is not offered.
void V4l2Camera::ReadMenu(DeviceControl* control) {
    for (std::int32_t index = control->minimum; index <= control->maximum; ++index) {
        v4l2_querymenu item{};
        item.id = control->id;
        item.index = static_cast<std::uint32_t>(index);
        if (Ioctl(VIDIOC_QUERYMENU, &item) < 0) {
            continue;
        }
        const bool named = item.name[0] != 0;
        std::string label = named ? FixedText(item.name, sizeof item.name)
                                  : std::to_string(static_cast<long long>(item.value));
        control->menuItems.emplace_back(index, std::move(label));
    }
}

std::vector<DeviceControl> V4l2Camera::QueryControls() {
    std::vector<DeviceControl> controls;
    std::uint32_t nextId = 0;
    DeviceControl control;
    bool usable = false;
    while (ReadControl(&nextId, &control, &usable)) {
        if (usable) {
            controls.push_back(control);
        }
    }
    return controls;
}

int V4l2Camera::GetControl(std::uint32_t id, std::int32_t* value) {
    v4l2_control control{};
    control.id = id;
    if (const int result = Ioctl(VIDIOC_G_CTRL, &control); result < 0) {
        return result;
    }
    *value = control.value;
    return 0;
}

int V4l2Camera::SetControl(std::uint32_t id, std::int32_t value) {
    v4l2_control control{};
    control.id = id;
    control.value = value;
    return Ioctl(VIDIOC_S_CTRL, &control);
}

int V4l2Camera::GetFrameInterval(std::uint32_t* numerator, std::uint32_t* denominator) {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int result = Ioctl(VIDIOC_G_PARM, &parameters); result < 0) {
        return result;
    }
    const v4l2_captureparm& capture = parameters.parm.capture;
    if (!(capture.capability & V4L2_CAP_TIMEPERFRAME) || capture.timeperframe.numerator == 0 ||
        capture.timeperframe.denominator == 0) {
        return -ENOTTY;
    }
    *numerator = capture.timeperframe.numerator;
    *denominator = capture.timeperframe.denominator;
    return 0;
}

int V4l2Camera::Reopen() {
    if (IsStreaming()) {
        return -EBUSY;
    }
    m_fd.Reset();
    const int fd = m_io.Open(m_node, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        return fd;
    }
    m_fd = UniqueFd(m_io, fd);
    return 0;
}

int V4l2Camera::MapBuffers() {
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int result = Ioctl(VIDIOC_REQBUFS, &request); result < 0) {
        return result;
    }
    if (request.count == 0) {
        return -ENOMEM;
    }
    for (std::uint32_t index = 0; index < request.count; ++index) {
        v4l2_buffer buffer = MmapBuffer(index);
        if (const int result = Ioctl(VIDIOC_QUERYBUF, &buffer); result < 0) {
            return result;
        }
        int error = 0;
        void* address = m_io.Mmap(buffer.length, m_fd.Get(), buffer.m.offset, &error);
        if (address == nullptr) {
            return -error;
        }
        m_buffers.emplace_back(m_io, address, buffer.length);
    }
    return 0;
}

int V4l2Camera::QueueAllBuffers() {
    for (std::uint32_t index = 0; index < m_buffers.size(); ++index) {
        v4l2_buffer buffer = MmapBuffer(index);
        if (const int result = Ioctl(VIDIOC_QBUF, &buffer); result < 0) {
            return result;
        }
    }
    return 0;
}

void V4l2Camera::ReleaseBuffers() {
    m_buffers.clear();
    v4l2_requestbuffers request{};
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    Ioctl(VIDIOC_REQBUFS, &request);
}

int V4l2Camera::StartStreaming(CameraSinks sinks) {
    if (IsStreaming()) {
        return -EBUSY;
    }
    int result = GetFormat(&m_streamFormat);
    if (result >= 0) {
        result = MapBuffers();
    }
    if (result >= 0) {
        result = QueueAllBuffers();
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (result >= 0) {
        result = Ioctl(VIDIOC_STREAMON, &type);
    }
    if (result < 0) {
        ReleaseBuffers();
        return result;
    }
    m_stop.store(false);
    m_thread = std::thread([this, sinks = std::move(sinks)] { StreamLoop(sinks); });
    return 0;
}

void V4l2Camera::StopStreaming() {
    if (!m_thread.joinable()) {
        return;
    }
    m_stop.store(true);
    m_thread.join();
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    Ioctl(VIDIOC_STREAMOFF, &type);
    ReleaseBuffers();
}

// Streaming thread.
void V4l2Camera::StreamLoop(const CameraSinks& sinks) {
    DamagedFrameTally damaged;
    ActivityWatch activity(sinks, m_io.Now());
    while (!m_stop.load()) {
        short revents = 0;
        // An error condition is read from the dequeue itself: it tells a vanished device
        // (ENODEV) from one that merely has nothing yet.
        int error = m_io.Poll(m_fd.Get(), POLLIN, &revents, kPollTimeoutMs);
        bool flagged = false;
        const Dequeued outcome = error > 0 ? DeliverOneFrame(sinks, &error, &flagged)
                                           : (error == 0 ? Dequeued::Nothing : Dequeued::Failed);
        const Clock::time_point now = m_io.Now();
        if (outcome == Dequeued::Failed) {
            damaged.Report(now, true);
            error = EndError(error);
            if (error == -ENODEV) {
                AwaitRemoval();
            }
            sinks.onEnded(error);
            return;
        }
        if (outcome == Dequeued::Good) {
            activity.Frame(now);
        } else if (outcome == Dequeued::Damaged) {
            damaged.Count(flagged, now);
        }
        activity.Check(now);
        damaged.Report(now, false);
    }
    damaged.Report(m_io.Now(), true);
}

// Streaming thread: until the device's USB interface has left sysfs, which it does once the
// driver has torn the device down; a stop ends the wait.
void V4l2Camera::AwaitRemoval() {
    const auto deadline = m_io.Now() + std::chrono::seconds(2);
    std::error_code error;
    while (!m_removalFolder.empty() && std::filesystem::exists(m_removalFolder, error) &&
           !m_stop.load() && m_io.Now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The error a reader meets when the device goes depends on where it waits: one blocked in
// DQBUF is answered EINVAL as the driver releases the queue under it, one that polls ENODEV.
// A device that no longer answers for its identity has gone, whatever it answered first.
int V4l2Camera::EndError(int error) {
    if (error == -ENODEV) {
        return error;
    }
    v4l2_capability cap{};
    return Ioctl(VIDIOC_QUERYCAP, &cap) == -ENODEV ? -ENODEV : error;
}

// Streaming thread: dequeues one buffer, hands a good frame on and queues the buffer again.
// Failed with *error set when the device failed.
V4l2Camera::Dequeued V4l2Camera::DeliverOneFrame(const CameraSinks& sinks, int* error,
                                                 bool* flagged) {
    v4l2_buffer buffer = MmapBuffer(0);
    int result = Ioctl(VIDIOC_DQBUF, &buffer);
    if (result == -EAGAIN) {
        return Dequeued::Nothing;
    }
    if (result < 0 || buffer.index >= m_buffers.size()) {
        *error = result < 0 ? result : -EINVAL;
        return Dequeued::Failed;
    }
    // A buffer the driver marks as damaged, or a frame cut short or too long for the format,
    // is not a picture: it only goes back to the driver.
    const MappedBuffer& mapped = m_buffers[buffer.index];
    const std::uint32_t expected = ExpectedFrameBytes(m_streamFormat);
    *flagged = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0;
    const bool wrongLength = buffer.bytesused == 0 || buffer.bytesused > mapped.Length() ||
                             (expected != 0 && buffer.bytesused != expected);
    const Dequeued outcome = *flagged || wrongLength ? Dequeued::Damaged : Dequeued::Good;
    if (outcome == Dequeued::Good) {
        CameraFrame frame;
        frame.data = mapped.Data();
        frame.bytesUsed = buffer.bytesused;
        frame.time = static_cast<double>(buffer.timestamp.tv_sec) +
                     static_cast<double>(buffer.timestamp.tv_usec) / 1e6;
        sinks.onFrame(frame);
    }
    result = Ioctl(VIDIOC_QBUF, &buffer);
    if (result < 0) {
        *error = result;
        return Dequeued::Failed;
    }
    return outcome;
}
