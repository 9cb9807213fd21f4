#include "pictures/thumbnails/cache_file_format.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace cache_file {

void Put(std::uint8_t* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint64_t Get(const std::uint8_t* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= std::uint64_t{at[i]} << (8 * i);
    }
    return value;
}

bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t count = ::pread(fd, bytes, size, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
        offset += static_cast<std::uint64_t>(count);
    }
    return true;
}

bool WriteFully(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t count = ::write(fd, bytes, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

std::array<std::uint8_t, kHeaderBytes> Header(std::size_t entries, std::size_t folderBytes) {
    std::array<std::uint8_t, kHeaderBytes> header{};
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    Put(header.data() + 8, kVersion, 4);
    Put(header.data() + 12, kEntryBytes, 4);
    Put(header.data() + 16, entries, 4);
    Put(header.data() + 20, folderBytes, 4);
    return header;
}

PictureFileKey KeyOfEntry(const std::uint8_t* entry) {
    const std::size_t nameBytes = static_cast<std::size_t>(Get(entry + 24, 2));
    return PictureFileKey{std::string(reinterpret_cast<const char*>(entry + kNameOffset),
                                      std::min(nameBytes, kMaxNameBytes + 1)),
                          Get(entry, 8), static_cast<std::int64_t>(Get(entry + 8, 8)),
                          Get(entry + 16, 8)};
}

void WriteEntryKey(std::uint8_t* entry, const PictureFileKey& key) {
    std::memset(entry, 0, kPixelsOffset);
    Put(entry, key.size, 8);
    Put(entry + 8, static_cast<std::uint64_t>(key.mtimeNs), 8);
    Put(entry + 16, key.inode, 8);
    Put(entry + 24, key.name.size(), 2);
    std::memcpy(entry + kNameOffset, key.name.data(), key.name.size());
}

bool EnsureFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path path(folder);
    std::filesystem::path partial;
    for (const auto& part : path) {
        partial /= part;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return std::filesystem::is_directory(path, error);
}

FileIdentity IdentityOf(const struct stat& info) {
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, ModifiedNs(info)};
}

Checksum::Checksum() : m_state(XXH3_createState()) {
    if (m_state) {
        XXH3_64bits_reset(m_state.get());
    }
}

void Checksum::Add(const void* data, std::size_t size) {
    XXH3_64bits_update(m_state.get(), data, size);
}

bool Checksum::Write(int fd, const void* data, std::size_t size) {
    Add(data, size);
    return WriteFully(fd, data, size);
}

std::uint64_t Checksum::Digest() const {
    return XXH3_64bits_digest(m_state.get());
}

TemporaryFile::~TemporaryFile() {
    if (!m_kept) {
        unlink(m_path.c_str());
    }
}

bool TemporaryFile::RenameTo(const std::string& path) {
    m_kept = rename(m_path.c_str(), path.c_str()) == 0;
    return m_kept;
}

}  // namespace cache_file
