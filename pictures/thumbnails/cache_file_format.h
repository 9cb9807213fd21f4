#pragma once

// The thumbnail cache's file, all numbers little-endian:
//   header   magic "LUMITHMB", version, entry size, entry count, folder path length (4 bytes
//            each after the magic), 8 reserved bytes, then the picture folder's path
//   entries  each kEntryBytes: file size (8), modification time in ns (8), inode (8), name
//            length (2), 6 reserved, the name in 256 bytes, the 14400 thumbnail bytes
//   trailer  the XXH3 64-bit hash of everything before it (8)
// Fixed-size entries put every thumbnail at a known place in the file and bound the file's size.
// Here are the layout and the few file operations the cache is read and written with.

#include <sys/stat.h>
#include <xxhash.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "pictures/thumbnails/picture_file_key.h"
#include "pictures/thumbnails/thumbnail_block.h"

namespace cache_file {

constexpr char kMagic[8] = {'L', 'U', 'M', 'I', 'T', 'H', 'M', 'B'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 32;
constexpr std::size_t kMaxFolderBytes = 4096;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kNameOffset = 32;
constexpr std::size_t kPixelsOffset = kNameOffset + 256;
constexpr std::size_t kEntryBytes = kPixelsOffset + kThumbBlockBytes;
constexpr std::size_t kTrailerBytes = 8;
constexpr std::size_t kMaxEntries = 10000;
constexpr std::size_t kMaxFileBytes =
    kHeaderBytes + kMaxFolderBytes + kMaxEntries * kEntryBytes + kTrailerBytes;
// Entries go through memory this many at a time when a file is read or written.
constexpr std::size_t kChunkEntries = 16;

void Put(std::uint8_t* at, std::uint64_t value, int bytes);
std::uint64_t Get(const std::uint8_t* at, int bytes);

// Reads exactly `size` bytes at `offset`; false when the file ends first (truncated meanwhile)
// or cannot be read.
bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset);
bool WriteFully(int fd, const void* data, std::size_t size);

std::array<std::uint8_t, kHeaderBytes> Header(std::size_t entries, std::size_t folderBytes);
PictureFileKey KeyOfEntry(const std::uint8_t* entry);
// Writes the key into the entry's first kPixelsOffset bytes, clearing the rest of them.
void WriteEntryKey(std::uint8_t* entry, const PictureFileKey& key);

// Creates the folder and its missing parents, private to the user.
bool EnsureFolder(const std::string& folder);

// What tells a file from the same file changed, or from another one at its name.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const struct stat& info);

// The running hash of what a cache file holds, which its trailer gives at the end. Its state
// lives on the heap: the layout belongs to the shared library's version.
class Checksum {
public:
    Checksum();
    explicit operator bool() const { return m_state != nullptr; }
    void Add(const void* data, std::size_t size);
    // Adds the bytes and writes them to `fd`.
    bool Write(int fd, const void* data, std::size_t size);
    std::uint64_t Digest() const;

private:
    struct Free {
        void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
    };
    std::unique_ptr<XXH3_state_t, Free> m_state;
};

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& Path() const { return m_path; }
    bool RenameTo(const std::string& path);

private:
    std::string m_path;
    bool m_kept = false;
};

}  // namespace cache_file
