#include "pictures/picture_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>

#include "pictures/picture_numbering.h"
#include "pictures/picture_work_buffers.h"

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

bool IsRegularFile(DIR* directory, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) {
        return false;
    }
    struct stat info {};
    return fstatat(dirfd(directory), entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Among names of one number, the canonical one comes first and is the one kept.
bool ComesFirst(const PictureName& a, const PictureName& b) {
    if (a.number != b.number) {
        return a.number < b.number;
    }
    const bool aCanonical = a.name == PictureFileName(a.number);
    const bool bCanonical = b.name == PictureFileName(b.number);
    if (aCanonical != bCanonical) {
        return aCanonical;
    }
    return a.name < b.name;
}

// Room for the folder, the separator and the file name.
constexpr std::size_t kPathBytes = PATH_MAX + 32;

// Loads names[i] into records[i] for every i, on up to one thread per loading buffer.
void LoadBatch(const std::string& folder, std::span<const PictureName> names,
               std::span<ThumbnailRecord> records, const PictureWorkBuffers& buffers,
               std::span<LoadStatus> statuses) {
    std::atomic<std::size_t> next{0};
    auto work = [&](std::size_t bufferIndex) {
        const std::span<std::uint8_t> buffer = buffers.Loader(bufferIndex);
        char path[kPathBytes];
        for (std::size_t i = next++; i < names.size(); i = next++) {
            statuses[i] = FormatPicturePath(path, sizeof path, folder, names[i].number)
                              ? LoadPictureThumbnail(path, buffer, records[i].pPixels)
                              : LoadStatus::LoadFailed;
        }
    };
    const std::size_t threadCount = std::min(buffers.loaders.size(), names.size());
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < threadCount; ++t) {
        try {
            helpers.emplace_back(work, t);
        } catch (const std::system_error&) {
            break;  // fewer threads only make the scan slower
        }
    }
    work(0);
}

// Reports the batch in order and closes the gaps of the pictures that did not load.
int SettleBatch(const std::string& folder, std::span<const PictureName> names,
                std::span<ThumbnailRecord> records, std::span<const LoadStatus> statuses,
                const ScanVisitor& visit) {
    int filled = 0;
    char path[kPathBytes];
    for (std::size_t i = 0; i < names.size(); ++i) {
        FormatPicturePath(path, sizeof path, folder, names[i].number);
        visit(names[i], statuses[i], path);
        if (statuses[i] != LoadStatus::Loaded) {
            continue;
        }
        ThumbnailRecord& target = records[filled];
        if (&target != &records[i]) {
            std::memcpy(target.pPixels, records[i].pPixels, kThumbBlockBytes);
        }
        target.nNumber = names[i].number;
        target.bSelected = false;
        ++filled;
    }
    for (std::size_t i = static_cast<std::size_t>(filled); i < names.size(); ++i) {
        records[i].nNumber = 0;
        records[i].bSelected = false;
    }
    return filled;
}

}  // namespace

std::vector<PictureName> ListPictureFiles(const std::string& folder) {
    std::vector<PictureName> names;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.c_str()));
    if (!directory) {
        return names;
    }
    while (const dirent* entry = readdir(directory.get())) {
        const auto number = ParsePictureNumber(entry->d_name);
        if (number && IsRegularFile(directory.get(), *entry)) {
            names.push_back(PictureName{*number, entry->d_name});
        }
    }
    std::sort(names.begin(), names.end(), ComesFirst);
    names.erase(std::unique(names.begin(), names.end(),
                            [](const PictureName& a, const PictureName& b) {
                                return a.number == b.number;
                            }),
                names.end());
    return names;
}

ScanResult ScanPictures(const std::string& folder, std::span<const PictureName> names,
                        std::span<ThumbnailRecord> records, const PictureWorkBuffers& buffers,
                        const ScanVisitor& visit) {
    ScanResult result;
    std::size_t examined = 0;
    std::vector<LoadStatus> statuses;
    while (static_cast<std::size_t>(result.count) < records.size() && examined < names.size()) {
        // As many names as there are records left, so a batch never loads past the pool.
        const std::size_t batch = std::min(records.size() - result.count, names.size() - examined);
        statuses.assign(batch, LoadStatus::LoadFailed);
        const auto batchNames = names.subspan(examined, batch);
        const auto batchRecords = records.subspan(result.count, batch);
        LoadBatch(folder, batchNames, batchRecords, buffers, statuses);
        result.count += SettleBatch(folder, batchNames, batchRecords, statuses, visit);
        examined += batch;
    }
    result.namesRanOut = static_cast<std::size_t>(result.count) < records.size();
    return result;
}
