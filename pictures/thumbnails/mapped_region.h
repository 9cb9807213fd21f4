#pragma once

// An anonymous private mapping whose pages the system commits only when they are first touched.
// Large fixed buffers (the thumbnail pool, the picture working buffers) are reserved in full
// once, so that no picture operation allocates, while memory is only spent on what is used.

#include <cstddef>
#include <cstdint>
#include <optional>

class MappedRegion {
public:
    // Reserves `bytes` bytes (zero-filled); nothing when the system refuses the mapping.
    static std::optional<MappedRegion> Reserve(std::size_t bytes);

    MappedRegion(MappedRegion&& other) noexcept;
    MappedRegion& operator=(MappedRegion&& other) noexcept;
    MappedRegion(const MappedRegion&) = delete;
    MappedRegion& operator=(const MappedRegion&) = delete;
    ~MappedRegion();

    std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    MappedRegion(std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    void Release();

    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};
