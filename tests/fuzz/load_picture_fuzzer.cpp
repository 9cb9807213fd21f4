// libFuzzer's entry: every input becomes the content of a picture file, whose thumbnail is then
// loaded as the start-up scan loads it. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer; tools/run-tests runs it with a time and memory limit per input.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"

namespace {

// A file in memory, reached by a path as a picture is.
struct MemoryFile {
    int fd = memfd_create("Picture0001.jpg", MFD_CLOEXEC);
    std::string path = "/proc/self/fd/" + std::to_string(fd);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryFile file;
    static const auto buffers = AllocatePictureWorkBuffers(1);
    if (file.fd < 0 || !buffers || ftruncate(file.fd, 0) != 0 ||
        pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size)) {
        __builtin_trap();  // the harness itself failed
    }
    std::uint8_t thumbnail[kThumbBlockBytes];
    LoadPictureThumbnail(file.path.c_str(), buffers->Loader(0), thumbnail);
    return 0;
}
