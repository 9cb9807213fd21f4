#pragma once

// A file descriptor of the system, closed when its owner goes.

#include <unistd.h>

#include <utility>

class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : m_fd(fd) {}
    ~OwnedFd() { Close(); }
    OwnedFd(OwnedFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes now; false when the system reported an error (for a written file: data may be
    // lost). Closing a closed descriptor does nothing and succeeds.
    bool Close() {
        if (m_fd < 0) {
            return true;
        }
        return close(std::exchange(m_fd, -1)) == 0;
    }

private:
    int m_fd = -1;
};
