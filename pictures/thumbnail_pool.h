#pragma once

// The pixel blocks of the 10000 thumbnail records: one reservation of 10000 x 14400 bytes, made
// once when the window starts. A block stays with its record for the life of the window; the
// memory of a block is only committed when a thumbnail is first written into it.

#include <array>
#include <cstdint>
#include <memory>

#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/mapped_region.h"

class ThumbnailPool {
public:
    explicit ThumbnailPool(MappedRegion region) : m_region(std::move(region)) {}

    std::uint8_t* Block(int index) const {
        return m_region.Data() + static_cast<std::size_t>(index) * kThumbBlockBytes;
    }

private:
    MappedRegion m_region;
};

using ThumbnailRecords = std::array<ThumbnailRecord, kThumbnailCapacity>;

// The pool for all records, or null when the system cannot reserve it.
std::unique_ptr<ThumbnailPool> AllocateThumbnailPool();

// Empties every record and gives record i the pool's block i.
void AttachThumbnailPool(ThumbnailPool& pool, ThumbnailRecords& records);
