#include "pictures/thumbnails/mapped_region.h"

#include <sys/mman.h>

#include <utility>

std::optional<MappedRegion> MappedRegion::Reserve(std::size_t bytes) {
    if (bytes == 0) {
        return std::nullopt;
    }
    void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (data == MAP_FAILED) {
        return std::nullopt;
    }
    return MappedRegion(static_cast<std::uint8_t*>(data), bytes);
}

MappedRegion::MappedRegion(MappedRegion&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MappedRegion& MappedRegion::operator=(MappedRegion&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

MappedRegion::~MappedRegion() {
    Release();
}

void MappedRegion::Release() {
    if (m_data != nullptr) {
        munmap(m_data, m_size);
        m_data = nullptr;
        m_size = 0;
    }
}
