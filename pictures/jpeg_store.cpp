#include "pictures/jpeg_store.h"

#include <FreeImage.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/file_descriptor.h"
#include "platform/diagnostic_log.h"

namespace {

constexpr std::size_t kPathBytes = PATH_MAX + 64;
// Names already taken are passed over one by one; far more than a folder's worth of pictures.
constexpr int kMaxNumbersTried = 100000;

// Creates the folder and its missing parents.
bool EnsureFolder(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    char partial[kPathBytes];
    if (folder.size() >= sizeof partial) {
        return false;
    }
    std::memcpy(partial, folder.c_str(), folder.size() + 1);
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (partial[i] != '/' && partial[i] != '\0') {
            continue;
        }
        const char kept = partial[i];
        partial[i] = '\0';
        if (mkdir(partial, 0777) != 0 && errno != EEXIST) {
            return false;
        }
        partial[i] = kept;
    }
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The image library writes the JPEG through these, straight into our descriptor, so every
// write error is seen.
struct FileSink {
    int fd = -1;
    bool failed = false;
};

unsigned DLL_CALLCONV SinkWrite(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    auto* sink = static_cast<FileSink*>(handle);
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t left = static_cast<std::size_t>(size) * count;
    while (left > 0 && !sink->failed) {
        const ssize_t written = write(sink->fd, bytes, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            sink->failed = true;
            return 0;
        }
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return sink->failed ? 0 : count;
}

unsigned DLL_CALLCONV SinkRead(void*, unsigned, unsigned, fi_handle) {
    return 0;
}

int DLL_CALLCONV SinkSeek(fi_handle handle, long offset, int origin) {
    return lseek(static_cast<FileSink*>(handle)->fd, offset, origin) < 0 ? -1 : 0;
}

long DLL_CALLCONV SinkTell(fi_handle handle) {
    return static_cast<long>(lseek(static_cast<FileSink*>(handle)->fd, 0, SEEK_CUR));
}

// A new, empty temporary file in the folder, named after the picture it will become; invalid
// when none could be made.
FileDescriptor CreateTemporary(const std::string& folder, int number, char* path) {
    static unsigned s_nextTemporary = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int length =
            std::snprintf(path, kPathBytes, "%s/.Picture%04d.jpg.tmp%ld-%u", folder.c_str(), number,
                          static_cast<long>(getpid()), s_nextTemporary++);
        if (length < 0 || static_cast<std::size_t>(length) >= kPathBytes) {
            return FileDescriptor();
        }
        FileDescriptor file(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file || errno != EEXIST) {
            return file;
        }
    }
    return FileDescriptor();
}

// Encodes the image into the file and makes sure it is on disk; the file is closed either way.
bool WriteJpeg(FileDescriptor file, FIBITMAP* image) {
    FileSink sink{file.Get(), false};
    FreeImageIO io{SinkRead, SinkWrite, SinkSeek, SinkTell};
    const bool saved = FreeImage_SaveToHandle(FIF_JPEG, image, &io, &sink, JPEG_DEFAULT);
    const bool synced = fsync(file.Get()) == 0;
    const bool closed = file.Close();
    return saved && !sink.failed && synced && closed;
}

// Gives the temporary file a name that does not exist yet; false on any failure but EEXIST.
bool LinkWithoutReplacing(const char* temporary, const char* path) {
    if (link(temporary, path) == 0) {
        return true;
    }
    if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) {
        // File systems without hard links (FAT, some network shares) can still rename safely.
        return renameat2(AT_FDCWD, temporary, AT_FDCWD, path, RENAME_NOREPLACE) == 0;
    }
    return false;
}

// Names the written file with the first free number; 0 when none could be given.
int NameWithFreeNumber(const std::string& folder, int firstNumber, const char* temporary) {
    char path[kPathBytes];
    for (int tried = 0, number = firstNumber; tried < kMaxNumbersTried; ++tried, ++number) {
        if (!FormatPicturePath(path, sizeof path, folder, number)) {
            return 0;
        }
        if (LinkWithoutReplacing(temporary, path)) {
            return number;
        }
        if (errno != EEXIST || number == INT_MAX) {
            return 0;
        }
    }
    return 0;
}

void LogStoreFailure(const std::string& folder, int number) {
    char path[kPathBytes];
    FormatPicturePath(path, sizeof path, folder, number);
    char message[kPathBytes + 64];
    std::snprintf(message, sizeof message, "TakeSnapshot \n%s\n error, save jpeg failure", path);
    WriteLog(message);
}

}  // namespace

int StorePictureNoReplace(const std::string& folder, int firstNumber, FIBITMAP* image) {
    char temporary[kPathBytes];
    int number = 0;
    if (EnsureFolder(folder)) {
        FileDescriptor file = CreateTemporary(folder, firstNumber, temporary);
        if (file) {
            if (WriteJpeg(std::move(file), image)) {
                number = NameWithFreeNumber(folder, firstNumber, temporary);
            }
            unlink(temporary);  // after the link the picture keeps its own name
        }
    }
    if (number == 0) {
        LogStoreFailure(folder, firstNumber);
    }
    return number;
}
