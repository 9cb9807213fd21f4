#include "pictures/thumbnail_pool.h"

std::unique_ptr<ThumbnailPool> AllocateThumbnailPool() {
    auto region =
        MappedRegion::Reserve(static_cast<std::size_t>(kThumbnailCapacity) * kThumbBlockBytes);
    if (!region) {
        return nullptr;
    }
    return std::make_unique<ThumbnailPool>(std::move(*region));
}

void AttachThumbnailPool(ThumbnailPool& pool, ThumbnailRecords& records) {
    for (int i = 0; i < kThumbnailCapacity; ++i) {
        records[i] = ThumbnailRecord{0, pool.Block(i), false};
    }
}
