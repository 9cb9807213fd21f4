// libFuzzer's entry: every input becomes the content of a picture file, whose thumbnail is then
// loaded as the start-up scan loads it. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer; tools/run-tests runs it with a memory limit and a limit against a
// hang, and each input here may cost at most a second of processor time.

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
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

// Processor time, not the clock on the wall: on a busy machine an input waits for a processor
// longer than it takes to load, and that says nothing of the input.
constexpr std::chrono::milliseconds kInputLimit{1000};

std::chrono::nanoseconds ProcessorTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const MemoryFile file;
    static const auto buffers = AllocatePictureWorkBuffers(1);
    if (file.fd < 0 || !buffers || ftruncate(file.fd, 0) != 0 ||
        pwrite(file.fd, data, size, 0) != static_cast<ssize_t>(size)) {
        __builtin_trap();  // the harness itself failed
    }
    std::uint8_t thumbnail[kThumbBlockBytes];
    const std::chrono::nanoseconds begun = ProcessorTime();
    LoadPictureThumbnail(file.path.c_str(), buffers->Loader(0), thumbnail);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(ProcessorTime() - begun);
    if (took > kInputLimit) {
        std::fprintf(
            stderr, "this input cost %lld ms of processor time; an input may cost %lld ms\n",
            static_cast<long long>(took.count()), static_cast<long long>(kInputLimit.count()));
        __builtin_trap();  // libFuzzer keeps the input as a crash
    }
    return 0;
}
