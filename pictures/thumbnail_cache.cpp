#include "pictures/thumbnail_cache.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "pictures/file_descriptor.h"
#include "pictures/thumbnail_record.h"

// The file, all numbers little-endian:
//   header   magic "LUMITHMB", version, entry size, entry count, folder path length (4 bytes
//            each after the magic), 8 reserved bytes, then the picture folder's path
//   entries  each kEntryBytes: file size (8), modification time in ns (8), inode (8), name
//            length (2), 6 reserved, the name in 256 bytes, the 14400 thumbnail bytes
//   trailer  the XXH3 64-bit hash of everything before it (8)
// Fixed-size entries let the whole entry area be read in one go and bound the file's size.

namespace {

constexpr char kMagic[8] = {'L', 'U', 'M', 'I', 'T', 'H', 'M', 'B'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 32;
constexpr std::size_t kMaxFolderBytes = 4096;
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kNameOffset = 32;
constexpr std::size_t kPixelsOffset = kNameOffset + 256;
constexpr std::size_t kEntryBytes = kPixelsOffset + kThumbBlockBytes;
constexpr std::size_t kTrailerBytes = 8;
constexpr std::size_t kMaxFileBytes =
    kHeaderBytes + kMaxFolderBytes + ThumbnailCache::kMaxEntries * kEntryBytes + kTrailerBytes;

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

// The hash state lives on the heap: its layout belongs to the shared library's version.
struct HashStateFree {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};
using HashState = std::unique_ptr<XXH3_state_t, HashStateFree>;

HashState NewHash() {
    HashState state(XXH3_createState());
    if (state) {
        XXH3_64bits_reset(state.get());
    }
    return state;
}

bool ReadFully(int fd, void* data, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t count = ::read(fd, bytes, size);
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

bool UsableName(const std::string& name) {
    return !name.empty() && name.size() <= kMaxNameBytes &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos && name != "." &&
           name != "..";
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

std::optional<PictureFileKey> KeyOfStat(const std::string& name, const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return PictureFileKey{
        name, static_cast<std::uint64_t>(info.st_size),
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
        static_cast<std::uint64_t>(info.st_ino)};
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

// Creates the folder and its missing parents, private to the user.
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

bool Inside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) {
            continue;  // the trailing separator of "/pictures/"
        }
        if (i == inner.end() || *i != *o) {
            return false;
        }
    }
    return true;
}

// Whether `folder` is the picture folder or lies inside it, by the names as given and by the
// folders they lead to.
bool InsidePictures(const std::string& folder, const std::string& pictures) {
    const auto lexical = [](const std::string& path) {
        return std::filesystem::absolute(path).lexically_normal();
    };
    std::error_code error;
    const auto resolved = [&](const std::string& path) {
        auto canonical = std::filesystem::weakly_canonical(path, error);
        return error ? lexical(path) : canonical;
    };
    return Inside(lexical(folder), lexical(pictures)) ||
           Inside(resolved(folder), resolved(pictures));
}

}  // namespace

std::optional<PictureFileKey> PictureFileKeyOf(const std::string& folder, const std::string& name) {
    struct stat info {};
    if (!UsableName(name) || stat((folder + "/" + name).c_str(), &info) != 0) {
        return std::nullopt;
    }
    return KeyOfStat(name, info);
}

std::optional<std::string> ThumbnailCacheFolder(const EnvironmentLookup& getenv,
                                                const std::string& picturesFolder) {
    const char* cacheHome = getenv ? getenv("XDG_CACHE_HOME") : nullptr;
    const char* home = getenv ? getenv("HOME") : nullptr;
    std::string base;
    if (cacheHome != nullptr && cacheHome[0] == '/') {
        base = cacheHome;
    } else if (home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.cache";
    } else {
        return std::nullopt;
    }
    std::string folder = base + "/lumisight-webcam";
    if (InsidePictures(folder, picturesFolder)) {
        return std::nullopt;
    }
    return folder;
}

std::string ThumbnailCacheFile(const std::string& cacheFolder, const std::string& picturesFolder) {
    char name[48];
    std::snprintf(
        name, sizeof name, "/thumbnails-%016llx.cache",
        static_cast<unsigned long long>(XXH3_64bits(picturesFolder.data(), picturesFolder.size())));
    return cacheFolder + name;
}

ThumbnailCache::ThumbnailCache(std::string picturesFolder)
    : m_picturesFolder(std::move(picturesFolder)) {}

std::uint8_t* ThumbnailCache::EntryAt(std::size_t number) {
    return m_entries.data() + number * kEntryBytes;
}

const std::uint8_t* ThumbnailCache::EntryAt(std::size_t number) const {
    return m_entries.data() + number * kEntryBytes;
}

ThumbnailCache ThumbnailCache::Load(const std::string& cacheFile,
                                    const std::string& picturesFolder) {
    ThumbnailCache cache(picturesFolder);
    const FileDescriptor file(
        open(cacheFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file) {
        cache.m_origin = errno == ENOENT ? Origin::New : Origin::Rejected;
        return cache;
    }
    cache.m_origin = Origin::Rejected;
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes ||
        static_cast<std::uint64_t>(info.st_size) < kHeaderBytes + kTrailerBytes) {
        return cache;
    }
    std::array<std::uint8_t, kHeaderBytes> header{};
    if (!ReadFully(file.Get(), header.data(), header.size()) ||
        std::memcmp(header.data(), kMagic, sizeof kMagic) != 0 ||
        Get(header.data() + 8, 4) != kVersion || Get(header.data() + 12, 4) != kEntryBytes) {
        return cache;
    }
    const std::uint64_t entries = Get(header.data() + 16, 4);
    const std::uint64_t folderBytes = Get(header.data() + 20, 4);
    if (entries > kMaxEntries || folderBytes > kMaxFolderBytes ||
        kHeaderBytes + folderBytes + entries * kEntryBytes + kTrailerBytes !=
            static_cast<std::uint64_t>(info.st_size)) {
        return cache;
    }
    std::string folder(folderBytes, '\0');
    std::vector<std::uint8_t> store(entries * kEntryBytes);
    std::uint8_t trailer[kTrailerBytes];
    if (!ReadFully(file.Get(), folder.data(), folder.size()) || folder != picturesFolder ||
        !ReadFully(file.Get(), store.data(), store.size()) ||
        !ReadFully(file.Get(), trailer, sizeof trailer)) {
        return cache;
    }
    const HashState hash = NewHash();
    if (!hash) {
        return cache;
    }
    XXH3_64bits_update(hash.get(), header.data(), header.size());
    XXH3_64bits_update(hash.get(), folder.data(), folder.size());
    XXH3_64bits_update(hash.get(), store.data(), store.size());
    if (XXH3_64bits_digest(hash.get()) != Get(trailer, 8)) {
        return cache;
    }
    cache.m_entries = std::move(store);
    for (std::size_t number = 0; number < entries; ++number) {
        const PictureFileKey key = KeyOfEntry(cache.EntryAt(number));
        if (!UsableName(key.name) || !cache.m_index.emplace(key.name, number).second) {
            cache.m_entries.clear();
            cache.m_index.clear();
            return cache;
        }
    }
    cache.m_origin = Origin::Read;
    return cache;
}

const std::uint8_t* ThumbnailCache::Find(const PictureFileKey& key) const {
    const auto found = m_index.find(key.name);
    if (found == m_index.end() || KeyOfEntry(EntryAt(found->second)) != key) {
        return nullptr;
    }
    return EntryAt(found->second) + kPixelsOffset;
}

bool ThumbnailCache::Insert(const PictureFileKey& key, const std::uint8_t* pixels) {
    if (!UsableName(key.name)) {
        return false;
    }
    auto found = m_index.find(key.name);
    if (found == m_index.end()) {
        if (m_index.size() >= kMaxEntries) {
            return false;
        }
        found = m_index.emplace(key.name, m_index.size()).first;
        m_entries.resize(m_entries.size() + kEntryBytes);
    }
    std::uint8_t* entry = EntryAt(found->second);
    WriteEntryKey(entry, key);
    std::memcpy(entry + kPixelsOffset, pixels, kThumbBlockBytes);
    return true;
}

bool ThumbnailCache::Save(const std::string& cacheFile) const {
    const std::filesystem::path path(cacheFile);
    const std::string folder = path.parent_path().string();
    if (!EnsureFolder(folder)) {
        return false;
    }
    // Entries in the order they were kept, without the pictures that have gone or changed.
    std::vector<std::size_t> kept;
    const FileDescriptor pictures(
        open(m_picturesFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t number = 0; pictures && number < m_index.size(); ++number) {
        const PictureFileKey key = KeyOfEntry(EntryAt(number));
        struct stat info {};
        if (fstatat(pictures.Get(), key.name.c_str(), &info, 0) == 0 &&
            KeyOfStat(key.name, info) == key) {
            kept.push_back(number);
        }
    }
    static std::atomic<unsigned> s_nextTemporary{0};
    const std::string temporary =
        cacheFile + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(s_nextTemporary++);
    FileDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file) {
        return false;
    }
    const auto header = Header(kept.size(), m_picturesFolder.size());
    const HashState hash = NewHash();
    bool written = hash != nullptr;
    const auto write = [&](const void* data, std::size_t size) {
        written = written && XXH3_64bits_update(hash.get(), data, size) == XXH_OK;
        written = written && WriteFully(file.Get(), data, size);
    };
    write(header.data(), header.size());
    write(m_picturesFolder.data(), m_picturesFolder.size());
    for (const std::size_t number : kept) {
        write(EntryAt(number), kEntryBytes);
    }
    std::uint8_t trailer[kTrailerBytes];
    Put(trailer, written ? XXH3_64bits_digest(hash.get()) : 0, 8);
    written = written && WriteFully(file.Get(), trailer, sizeof trailer);
    written = written && fsync(file.Get()) == 0;
    written = file.Close() && written;
    if (!written || rename(temporary.c_str(), cacheFile.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory) {
        fsync(directory.Get());
    }
    return true;
}
