#include "linux/v4l2/v4l2_device_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

class Kernel : public DeviceIo {
public:
    int Open(const std::string& path, int flags) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }
    int Close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        int result;
        do {
            result = ::ioctl(fd, request, argument);
        } while (result < 0 && errno == EINTR);
        return result >= 0 ? result : -errno;
    }
    void* Mmap(std::size_t length, int fd, off_t offset, int* error) override {
        void* address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        if (address == MAP_FAILED) {
            *error = errno;
            return nullptr;
        }
        return address;
    }
    int Munmap(void* address, std::size_t length) override {
        return ::munmap(address, length) == 0 ? 0 : -errno;
    }
    int Poll(int fd, short events, short* revents, int timeoutMs) override {
        pollfd entry{fd, events, 0};
        const int result = ::poll(&entry, 1, timeoutMs);
        if (result < 0) {
            return errno == EINTR ? 0 : -errno;
        }
        *revents = entry.revents;
        return result;
    }
};

}  // namespace

std::shared_ptr<DeviceIo> KernelDeviceIo() {
    static const std::shared_ptr<DeviceIo> kernel = std::make_shared<Kernel>();
    return kernel;
}

UniqueFd::UniqueFd(UniqueFd&& other) noexcept
    : m_io(other.m_io), m_fd(std::exchange(other.m_fd, -1)) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        m_io = other.m_io;
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void UniqueFd::Reset() {
    if (m_fd >= 0) {
        m_io->Close(m_fd);
        m_fd = -1;
    }
}

MappedBuffer::MappedBuffer(MappedBuffer&& other) noexcept
    : m_io(other.m_io),
      m_address(std::exchange(other.m_address, nullptr)),
      m_length(std::exchange(other.m_length, 0)) {}

MappedBuffer& MappedBuffer::operator=(MappedBuffer&& other) noexcept {
    if (this != &other) {
        Reset();
        m_io = other.m_io;
        m_address = std::exchange(other.m_address, nullptr);
        m_length = std::exchange(other.m_length, 0);
    }
    return *this;
}

void MappedBuffer::Reset() {
    if (m_address != nullptr) {
        m_io->Munmap(m_address, m_length);
        m_address = nullptr;
        m_length = 0;
    }
}
