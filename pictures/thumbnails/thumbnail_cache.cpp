#include "pictures/thumbnails/thumbnail_cache.h"

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

#include "pictures/thumbnails/cache_file_format.h"
#include "pictures/thumbnails/file_descriptor.h"
#include "pictures/thumbnails/mapped_region.h"
#include "pictures/thumbnails/thumbnail_block.h"

namespace {

using namespace cache_file;

static_assert(ThumbnailCache::kMaxEntries == cache_file::kMaxEntries);

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

// The entry's pixels into `pixels`: from memory, or read back from the file when they still
// are what was kept there.
template <typename Entry>
bool CopyPixels(const Entry& entry, std::uint8_t* pixels) {
    if (entry.slab) {
        std::memcpy(pixels, entry.slab->Block(entry.offset), kThumbBlockBytes);
        return true;
    }
    return entry.file && ReadAt(entry.file->fd.Get(), pixels, kThumbBlockBytes, entry.offset) &&
           XXH3_64bits(pixels, kThumbBlockBytes) == entry.pixelsHash;
}

}  // namespace

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

// The file a cache was read from or last wrote, open for reading its thumbnails back.
struct ThumbnailCache::OpenFile {
    FileDescriptor fd;
    std::uint64_t entries = 0;     // how many it holds
    std::uint64_t firstEntry = 0;  // where the first one starts
    FileIdentity identity;         // as it was read or written

    std::uint64_t PixelsOf(std::uint64_t entry) const {
        return firstEntry + entry * kEntryBytes + kPixelsOffset;
    }
};

// Thumbnails inserted and not saved yet, a few dozen blocks to a mapping of their own, so that
// their memory goes back to the system as soon as no entry holds them.
struct ThumbnailCache::PixelSlab {
    static constexpr std::size_t kBlocks = 64;
    MappedRegion region;

    std::uint8_t* Block(std::uint64_t block) const {
        return region.Data() + block * kThumbBlockBytes;
    }
};

struct ThumbnailCache::Entry {
    PictureFileKey key;
    std::uint64_t pixelsHash = 0;  // of the 14400 bytes, as they were kept
    std::uint64_t serial = 0;      // tells an entry from the one that later replaced it
    // The pixels are in `file` at byte `offset`, or else block `offset` of `slab`.
    std::shared_ptr<const OpenFile> file;
    std::shared_ptr<const PixelSlab> slab;
    std::uint64_t offset = 0;
};

ThumbnailCache::ThumbnailCache(std::string picturesFolder)
    : m_picturesFolder(std::move(picturesFolder)) {}

ThumbnailCache::~ThumbnailCache() = default;
ThumbnailCache::ThumbnailCache(ThumbnailCache&&) noexcept = default;
ThumbnailCache& ThumbnailCache::operator=(ThumbnailCache&&) noexcept = default;

// The whole file is read once, a few entries at a time, to check it against its checksum; only
// the keys, the places and the hashes of the thumbnails stay in memory.
ThumbnailCache ThumbnailCache::Load(const std::string& cacheFile, const std::string& picturesFolder,
                                    std::stop_token stop) {
    ThumbnailCache cache(picturesFolder);
    FileDescriptor fd(open(cacheFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) {
        cache.m_origin = errno == ENOENT ? Origin::New : Origin::Rejected;
        return cache;
    }
    cache.m_origin = Origin::Rejected;
    Checksum sum;
    std::shared_ptr<const OpenFile> file =
        sum ? ReadHeader(std::move(fd), picturesFolder, sum) : nullptr;
    if (file && cache.ReadEntries(file, sum, stop)) {
        cache.m_file = std::move(file);
        cache.m_origin = Origin::Read;
    }
    return cache;
}

// The file, when its header is this version's, fits the file's size and names the picture
// folder. The header and the folder go into the checksum.
std::shared_ptr<const ThumbnailCache::OpenFile> ThumbnailCache::ReadHeader(
    FileDescriptor fd, const std::string& picturesFolder, Checksum& sum) {
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes ||
        static_cast<std::uint64_t>(info.st_size) < kHeaderBytes + kTrailerBytes) {
        return nullptr;
    }
    std::array<std::uint8_t, kHeaderBytes> header{};
    if (!ReadAt(fd.Get(), header.data(), header.size(), 0) ||
        std::memcmp(header.data(), kMagic, sizeof kMagic) != 0 ||
        Get(header.data() + 8, 4) != kVersion || Get(header.data() + 12, 4) != kEntryBytes) {
        return nullptr;
    }
    const std::uint64_t entries = Get(header.data() + 16, 4);
    const std::uint64_t folderBytes = Get(header.data() + 20, 4);
    if (entries > kMaxEntries || folderBytes > kMaxFolderBytes ||
        kHeaderBytes + folderBytes + entries * kEntryBytes + kTrailerBytes !=
            static_cast<std::uint64_t>(info.st_size)) {
        return nullptr;
    }
    std::string folder(folderBytes, '\0');
    if (!ReadAt(fd.Get(), folder.data(), folder.size(), kHeaderBytes) || folder != picturesFolder) {
        return nullptr;
    }
    sum.Add(header.data(), header.size());
    sum.Add(folder.data(), folder.size());
    return std::make_shared<OpenFile>(
        OpenFile{std::move(fd), entries, kHeaderBytes + folderBytes, IdentityOf(info)});
}

// Reads the entries and the trailer; true, with the entries kept, when every name is usable and
// given once and the checksum matches.
bool ThumbnailCache::ReadEntries(const std::shared_ptr<const OpenFile>& file, Checksum& sum,
                                 std::stop_token stop) {
    std::vector<Entry> read;
    read.reserve(file->entries);
    std::unordered_map<std::string, std::size_t> index;
    index.reserve(file->entries);
    std::vector<std::uint8_t> chunk(std::min<std::uint64_t>(file->entries, kChunkEntries) *
                                    kEntryBytes);
    for (std::uint64_t first = 0; first < file->entries; first += kChunkEntries) {
        const std::uint64_t count = std::min<std::uint64_t>(kChunkEntries, file->entries - first);
        if (stop.stop_requested() || !ReadAt(file->fd.Get(), chunk.data(), count * kEntryBytes,
                                             file->firstEntry + first * kEntryBytes)) {
            return false;
        }
        sum.Add(chunk.data(), count * kEntryBytes);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint8_t* bytes = chunk.data() + i * kEntryBytes;
            Entry entry{KeyOfEntry(bytes), XXH3_64bits(bytes + kPixelsOffset, kThumbBlockBytes),
                        read.size() + 1,   file,
                        nullptr,           file->PixelsOf(first + i)};
            if (!UsablePictureName(entry.key.name) ||
                !index.emplace(entry.key.name, read.size()).second) {
                return false;
            }
            read.push_back(std::move(entry));
        }
    }
    std::uint8_t trailer[kTrailerBytes];
    if (!ReadAt(file->fd.Get(), trailer, sizeof trailer,
                file->firstEntry + file->entries * kEntryBytes) ||
        sum.Digest() != Get(trailer, 8)) {
        return false;
    }
    m_entries = std::move(read);
    m_index = std::move(index);
    m_nextSerial = m_entries.size() + 1;
    return true;
}

std::size_t ThumbnailCache::HeldInMemory() const {
    return static_cast<std::size_t>(
        std::count_if(m_entries.begin(), m_entries.end(),
                      [](const Entry& entry) { return entry.slab != nullptr; }));
}

bool ThumbnailCache::Find(const PictureFileKey& key, std::uint8_t* pixels) const {
    const auto found = m_index.find(key.name);
    if (found == m_index.end() || m_entries[found->second].key != key) {
        return false;
    }
    std::array<std::uint8_t, kThumbBlockBytes> kept;
    if (!CopyPixels(m_entries[found->second], kept.data())) {
        return false;
    }
    std::memcpy(pixels, kept.data(), kept.size());
    return true;
}

bool ThumbnailCache::Insert(const PictureFileKey& key, const std::uint8_t* pixels) {
    if (!UsablePictureName(key.name)) {
        return false;
    }
    const std::uint64_t hash = XXH3_64bits(pixels, kThumbBlockBytes);
    const auto found = m_index.find(key.name);
    if (found != m_index.end()) {
        const Entry& kept = m_entries[found->second];
        std::array<std::uint8_t, kThumbBlockBytes> keptPixels;
        if (kept.key == key && kept.pixelsHash == hash && CopyPixels(kept, keptPixels.data())) {
            return true;  // decoded again, the same as kept (and still readable): nothing changes
        }
    } else if (m_index.size() >= kMaxEntries) {
        return false;
    }
    if (!m_slab || m_slabUsed == PixelSlab::kBlocks) {
        std::optional<MappedRegion> region =
            MappedRegion::Reserve(PixelSlab::kBlocks * kThumbBlockBytes);
        if (!region) {
            return false;
        }
        m_slab = std::make_shared<PixelSlab>(PixelSlab{std::move(*region)});
        m_slabUsed = 0;
    }
    std::memcpy(m_slab->Block(m_slabUsed), pixels, kThumbBlockBytes);
    Entry entry{key, hash, m_nextSerial++, nullptr, m_slab, m_slabUsed++};
    if (found != m_index.end()) {
        m_entries[found->second] = std::move(entry);
    } else {
        m_index.emplace(key.name, m_entries.size());
        m_entries.push_back(std::move(entry));
    }
    return true;
}

bool ThumbnailCache::Save(const std::string& cacheFile) {
    SavePlan plan = PlanSave();
    const bool saved = plan.Write(cacheFile);
    FinishSave(plan);
    return saved;
}

ThumbnailCache::SavePlan ThumbnailCache::PlanSave() const {
    SavePlan plan;
    plan.m_picturesFolder = m_picturesFolder;
    plan.m_entries = m_entries;
    plan.m_fates.assign(m_entries.size(), SavePlan::Fate::Unwritten);
    plan.m_file = m_file;
    return plan;
}

void ThumbnailCache::FinishSave(SavePlan& plan) {
    bool dropped = false;
    for (std::size_t i = 0; i < plan.m_entries.size(); ++i) {
        const Entry& planned = plan.m_entries[i];
        const auto found = m_index.find(planned.key.name);
        if (found == m_index.end() || m_entries[found->second].serial != planned.serial) {
            continue;  // replaced (or gone) since the plan
        }
        Entry& entry = m_entries[found->second];
        if (plan.m_fates[i] == SavePlan::Fate::Written) {
            entry.file = planned.file;
            entry.offset = planned.offset;
            entry.slab.reset();
        } else if (plan.m_fates[i] == SavePlan::Fate::Dropped) {
            entry.serial = 0;  // marks it for removal below
            dropped = true;
        }
    }
    if (dropped) {
        std::erase_if(m_entries, [](const Entry& entry) { return entry.serial == 0; });
        Reindex();
    }
    if (plan.m_saved) {
        m_file = plan.m_file;
    }
    const bool slabInUse = std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        return entry.slab != nullptr && entry.slab == m_slab;
    });
    if (!slabInUse) {
        m_slab.reset();
        m_slabUsed = 0;
    }
}

void ThumbnailCache::Reindex() {
    m_index.clear();
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        m_index.emplace(m_entries[i].key.name, i);
    }
}

ThumbnailCache::SavePlan::SavePlan() = default;
ThumbnailCache::SavePlan::~SavePlan() = default;
ThumbnailCache::SavePlan::SavePlan(SavePlan&&) noexcept = default;
ThumbnailCache::SavePlan& ThumbnailCache::SavePlan::operator=(SavePlan&&) noexcept = default;

bool ThumbnailCache::SavePlan::Write(const std::string& cacheFile) {
    const std::string folder = std::filesystem::path(cacheFile).parent_path().string();
    if (!EnsureFolder(folder)) {
        return false;
    }
    DropChangedPictures();
    if (FileUnchanged(cacheFile)) {
        m_saved = true;
        return true;
    }
    // A thumbnail that cannot be read back from the previous file (someone cut or rewrote it)
    // is left out, and the file is written again without it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Outcome outcome = WriteFile(cacheFile);
        if (outcome != Outcome::Unreadable) {
            m_saved = outcome == Outcome::Written;
            break;
        }
    }
    if (m_saved) {
        // The rename itself reaches the disk with the folder.
        const FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory) {
            fsync(directory.Get());
        }
    }
    return m_saved;
}

// Entries whose picture has gone or changed since they were kept are not written.
void ThumbnailCache::SavePlan::DropChangedPictures() {
    const FileDescriptor pictures(
        open(m_picturesFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const PictureFileKey& key = m_entries[i].key;
        struct stat info {};
        if (!pictures || fstatat(pictures.Get(), key.name.c_str(), &info, 0) != 0 ||
            PictureFileKeyOfStat(key.name, info) != key) {
            m_fates[i] = Fate::Dropped;
        }
    }
}

// Whether `cacheFile` is still the file the cache was read from (or last wrote), unchanged, and
// holds exactly the planned entries, in their order: writing it again would change nothing.
bool ThumbnailCache::SavePlan::FileUnchanged(const std::string& cacheFile) const {
    struct stat info {};
    if (!m_file || m_file->entries != m_entries.size() || stat(cacheFile.c_str(), &info) != 0 ||
        IdentityOf(info) != m_file->identity) {
        return false;
    }
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries[i];
        if (m_fates[i] == Fate::Dropped || entry.file != m_file ||
            entry.offset != m_file->PixelsOf(i)) {
            return false;
        }
    }
    return true;
}

// Writes every entry not dropped into a new file and renames it over `cacheFile`. Unreadable:
// some thumbnail could not be read back (now dropped); nothing was written.
ThumbnailCache::SavePlan::Outcome ThumbnailCache::SavePlan::WriteFile(
    const std::string& cacheFile) {
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_fates[i] != Fate::Dropped) {
            kept.push_back(i);
        }
    }
    static std::atomic<unsigned> s_nextTemporary{0};
    TemporaryFile temporary(cacheFile + ".tmp-" + std::to_string(getpid()) + "-" +
                            std::to_string(s_nextTemporary++));
    FileDescriptor out(open(temporary.Path().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    Checksum sum;
    if (!out || !sum) {
        return Outcome::Failed;
    }
    const auto header = Header(kept.size(), m_picturesFolder.size());
    if (!sum.Write(out.Get(), header.data(), header.size()) ||
        !sum.Write(out.Get(), m_picturesFolder.data(), m_picturesFolder.size())) {
        return Outcome::Failed;
    }
    if (const Outcome entries = WriteEntries(out.Get(), kept, sum); entries != Outcome::Written) {
        return entries;
    }
    std::uint8_t trailer[kTrailerBytes];
    Put(trailer, sum.Digest(), 8);
    struct stat info {};
    if (!WriteFully(out.Get(), trailer, sizeof trailer) || fsync(out.Get()) != 0 ||
        fstat(out.Get(), &info) != 0 || !temporary.RenameTo(cacheFile)) {
        return Outcome::Failed;
    }
    // The entries are read back from the new file from now on.
    m_file = std::make_shared<OpenFile>(OpenFile{
        std::move(out), kept.size(), kHeaderBytes + m_picturesFolder.size(), IdentityOf(info)});
    for (std::size_t k = 0; k < kept.size(); ++k) {
        m_entries[kept[k]].file = m_file;
        m_entries[kept[k]].offset = m_file->PixelsOf(k);
        m_fates[kept[k]] = Fate::Written;
    }
    return Outcome::Written;
}

// The entries `kept`, in order. Once a thumbnail is found unreadable nothing more is written,
// but the rest are still read, so that the next attempt knows every one to leave out.
ThumbnailCache::SavePlan::Outcome ThumbnailCache::SavePlan::WriteEntries(
    int fd, const std::vector<std::size_t>& kept, Checksum& sum) {
    bool unreadable = false;
    std::vector<std::uint8_t> chunk(std::min(kept.size(), kChunkEntries) * kEntryBytes);
    for (std::size_t first = 0; first < kept.size(); first += kChunkEntries) {
        const std::size_t count = std::min(kChunkEntries, kept.size() - first);
        for (std::size_t k = first; k < first + count; ++k) {
            std::uint8_t* bytes = chunk.data() + (k - first) * kEntryBytes;
            WriteEntryKey(bytes, m_entries[kept[k]].key);
            if (!CopyPixels(m_entries[kept[k]], bytes + kPixelsOffset)) {
                m_fates[kept[k]] = Fate::Dropped;
                unreadable = true;
            }
        }
        if (!unreadable && !sum.Write(fd, chunk.data(), count * kEntryBytes)) {
            return Outcome::Failed;
        }
    }
    return unreadable ? Outcome::Unreadable : Outcome::Written;
}
