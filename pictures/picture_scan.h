#pragma once

// The start-up scan of the picture folder: which files are pictures, and loading their
// thumbnails on all processor cores while the list keeps the order of the numbers.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "pictures/picture_loader.h"
#include "pictures/thumbnail_record.h"

struct PictureWorkBuffers;

struct PictureName {
    int number = 0;
    std::string name;  // the file name as found in the folder
};

// The regular files of `folder` named "Picture<digits>.jpg" (case-sensitive) with a number
// from 1 up, ordered by number; one name per number, the one "Picture%04d.jpg" names when it
// is among them. Empty when the folder cannot be read.
std::vector<PictureName> ListPictureFiles(const std::string& folder);

// Called on the calling thread for every name examined, in list order.
using ScanVisitor =
    std::function<void(const PictureName& name, LoadStatus status, const char* path)>;

struct ScanResult {
    int count = 0;             // records filled, records[0, count)
    bool namesRanOut = false;  // every name was examined with room left in the records
};

// Loads the pictures of `names` in order into records[0, ...): a picture that does not load is
// skipped and the next one takes its place; loading stops when every record is filled. Each
// record from `count` on is left empty. Uses one thread per loading buffer of `buffers`.
ScanResult ScanPictures(const std::string& folder, std::span<const PictureName> names,
                        std::span<ThumbnailRecord> records, const PictureWorkBuffers& buffers,
                        const ScanVisitor& visit);
