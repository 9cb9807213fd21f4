#pragma once

// The seam between the V4L2 code and a video device. The real implementation is the kernel;
// the emulated camera (linux/emulated_camera/virtual_camera.h) answers the same calls, so the same
// V4L2 code runs for both. Every call reports failure as -errno and never logs: the caller knows
// the context and logs once.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // A descriptor, or -errno.
    virtual int Open(const std::string& path, int flags) = 0;
    virtual int Close(int fd) = 0;
    // The request's result (not negative), or -errno. Interrupted calls are repeated.
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    // The mapping, or null with *error set to the errno.
    virtual void* Mmap(std::size_t length, int fd, off_t offset, int* error) = 0;
    virtual int Munmap(void* address, std::size_t length) = 0;
    // Waits up to timeoutMs for the events; 1 with *revents set, 0 on timeout, or -errno.
    virtual int Poll(int fd, short events, short* revents, int timeoutMs) = 0;
    // The clock a stream's watch reads (how long since the last frame); the emulated camera
    // lets a test move it on instead of waiting.
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
};

// A camera answered in this process instead of by the kernel: the device list probes it at its
// node and lists it under its own path text.
class InProcessCamera : public DeviceIo {
public:
    virtual std::string Node() const = 0;      // where it is opened now
    virtual std::string PathText() const = 0;  // the device path text it is listed under
};

// The kernel's device calls (one process-wide object).
std::shared_ptr<DeviceIo> KernelDeviceIo();

// A descriptor of a DeviceIo, closed when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    UniqueFd(DeviceIo& io, int fd) : m_io(&io), m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    void Reset();

private:
    DeviceIo* m_io = nullptr;
    int m_fd = -1;
};

// A memory mapping of a device buffer, unmapped when it goes.
class MappedBuffer {
public:
    MappedBuffer() = default;
    MappedBuffer(DeviceIo& io, void* address, std::size_t length)
        : m_io(&io), m_address(address), m_length(length) {}
    ~MappedBuffer() { Reset(); }
    MappedBuffer(MappedBuffer&& other) noexcept;
    MappedBuffer& operator=(MappedBuffer&& other) noexcept;
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;

    std::uint8_t* Data() const { return static_cast<std::uint8_t*>(m_address); }
    std::size_t Length() const { return m_length; }
    void Reset();

private:
    DeviceIo* m_io = nullptr;
    void* m_address = nullptr;
    std::size_t m_length = 0;
};
