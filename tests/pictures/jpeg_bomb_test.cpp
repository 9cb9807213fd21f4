// Hostile JPEG files: a header that claims a huge picture over a few hundred bytes of data, and
// progressive files of very many scans. Each is refused, with its log entry, before it costs
// more than a few scans' worth of decoding (bench/bounded_loading_bench measures how little);
// a file of exactly as many scans as allowed still loads, with the image library's thumbnail.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture_test_support.h"
#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/jpeg_thumbnail_decoder.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "support/freeimage_reference_loader.h"
#include "support/jpeg_samples.h"
#include "support/temp_dir.h"

namespace {

using picture_test::LoggingInScratch;

struct Bomb {
    std::string name;
    std::string bytes;
    LoadStatus status;
};

std::string LogEntry(LoadStatus status, const std::string& path) {
    return status == LoadStatus::TooLarge
               ? "Image size over 1280x1024"
               : "ReadInSmallPic \n" + path + "\n error, load jpeg failure";
}

TEST(HostileJpegFiles, AreRefusedWithTheirLogEntryBeforeTheyAreDecoded) {
    const std::vector<Bomb> bombs = {
        {"a header claiming 65000 x 65000", jpeg_samples::HeaderBomb(65000, 65000),
         LoadStatus::TooLarge},
        {"a header claiming 30000 x 20000", jpeg_samples::HeaderBomb(30000, 20000),
         LoadStatus::TooLarge},
        {"a header claiming 1281 x 1024", jpeg_samples::HeaderBomb(1281, 1024),
         LoadStatus::TooLarge},
        {"1280 x 1024 progressive of 100010 scans", jpeg_samples::ScanBomb(1280, 1024, 100010),
         LoadStatus::LoadFailed},
        {"1280 x 1024 progressive of one scan too many",
         jpeg_samples::ScanBomb(1280, 1024, kMaxJpegScans + 1), LoadStatus::LoadFailed},
        {"greyscale progressive of one scan too many",
         jpeg_samples::ScanBomb(640, 480, kMaxJpegScans + 1, 1), LoadStatus::LoadFailed},
    };
    LoggingInScratch logging;
    TempDir folder;
    const auto buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail(kThumbBlockBytes, 0x5A);
    for (const Bomb& bomb : bombs) {
        const std::string path = folder / "Picture0001.jpg";
        picture_test::WriteBytes(path, bomb.bytes);
        const LoadStatus status =
            LoadPictureThumbnail(path.c_str(), buffers->Loader(0), thumbnail.data());
        EXPECT_EQ(status, bomb.status) << bomb.name;
        LogLoadFailure(status, path.c_str());
        EXPECT_NE(logging.Log().find(LogEntry(bomb.status, path)), std::string::npos) << bomb.name;
        EXPECT_EQ(thumbnail, std::vector<std::uint8_t>(kThumbBlockBytes, 0x5A))
            << bomb.name << ": a refused picture leaves the thumbnail as it was";
    }
    EXPECT_LT(jpeg_samples::HeaderBomb(65000, 65000).size(), 1000u);
}

// The scan limit stops only what goes beyond it: a file of exactly kMaxJpegScans scans (the
// extra ones change no coefficient) is the picture it was, as the image library loads it.
TEST(HostileJpegFiles, AFileOfAsManyScansAsAllowedLoadsAsThePictureItIs) {
    TempDir folder;
    const auto buffers = AllocatePictureWorkBuffers(1);
    for (const int components : {3, 1}) {
        const std::string bytes = jpeg_samples::ScanBomb(640, 480, kMaxJpegScans, components);
        ASSERT_EQ(jpeg_samples::CountScans(bytes), kMaxJpegScans);
        const std::string path = folder / "Picture0001.jpg";
        picture_test::WriteBytes(path, bytes);
        std::vector<std::uint8_t> bounded(kThumbBlockBytes);
        std::vector<std::uint8_t> reference(kThumbBlockBytes);
        ASSERT_EQ(LoadPictureThumbnail(path.c_str(), buffers->Loader(0), bounded.data()),
                  LoadStatus::Loaded)
            << components;
        ASSERT_EQ(freeimage_reference::LoadThumbnail(path.c_str(), reference.data()),
                  LoadStatus::Loaded);
        EXPECT_EQ(bounded, reference) << components;
    }
}

}  // namespace
