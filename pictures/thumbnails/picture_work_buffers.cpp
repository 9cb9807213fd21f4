#include "pictures/thumbnails/picture_work_buffers.h"

#include <algorithm>
#include <thread>

namespace {

// More scanning threads than this would only compete for memory bandwidth.
constexpr unsigned kMaxLoaderThreads = 16;

}  // namespace

std::unique_ptr<PictureWorkBuffers> AllocatePictureWorkBuffers() {
    return AllocatePictureWorkBuffers(std::thread::hardware_concurrency());
}

std::unique_ptr<PictureWorkBuffers> AllocatePictureWorkBuffers(unsigned loaderCount) {
    loaderCount = std::clamp(loaderCount, 1u, kMaxLoaderThreads);
    auto snapshot = MappedRegion::Reserve(kSnapshotBufferBytes);
    if (!snapshot) {
        return nullptr;
    }
    auto buffers =
        std::make_unique<PictureWorkBuffers>(PictureWorkBuffers{std::move(*snapshot), {}});
    buffers->loaders.reserve(loaderCount);
    for (unsigned i = 0; i < loaderCount; ++i) {
        auto loader = MappedRegion::Reserve(kLoaderBufferBytes);
        if (!loader) {
            return nullptr;
        }
        buffers->loaders.push_back(std::move(*loader));
    }
    return buffers;
}
