#include "pictures/picture_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture_test_support.h"
#include "pictures/picture_numbering.h"
#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_pool.h"

namespace {

using namespace picture_test;

std::vector<std::string> Names(const std::vector<PictureName>& names) {
    std::vector<std::string> out;
    for (const auto& name : names) {
        out.push_back(name.name);
    }
    return out;
}

// A picture whose colour tells its number: blue = number.
PixelAt NumberColour(int number) {
    return [number](int, int) { return Solid(static_cast<std::uint8_t>(number * 10), 128, 60); };
}

TEST(PictureListing, RegularPictureFilesByNumberOnce) {
    TempDir folder;
    for (const char* name :
         {"Picture0010.jpg", "Picture0002.jpg", "Picture12.jpg", "Picture0012.jpg",
          "Picture00012.jpg", "Picture0000.jpg", "Picture_old.jpg", "picture0003.jpg",
          "Picture0004.JPG", "Picture3000000000.jpg", "Other.jpg", "Picture10000.jpg"}) {
        WriteBytes(folder / name, "x");
    }
    ASSERT_EQ(mkdir((folder / "Picture0003.jpg").c_str(), 0755), 0);
    ASSERT_EQ(symlink((folder / "Picture0002.jpg").c_str(), (folder / "Picture0005.jpg").c_str()),
              0);
    ASSERT_EQ(symlink("nowhere", (folder / "Picture0006.jpg").c_str()), 0);

    const auto names = ListPictureFiles(folder.Path());
    EXPECT_EQ(Names(names),
              (std::vector<std::string>{"Picture0002.jpg", "Picture0005.jpg", "Picture0010.jpg",
                                        "Picture0012.jpg", "Picture10000.jpg"}));
    EXPECT_EQ(names.back().number, 10000);
    EXPECT_TRUE(ListPictureFiles(folder / "missing").empty());
}

class PictureScanning : public ::testing::Test {
protected:
    PictureScanning() { AttachThumbnailPool(*pool, *records); }

    ScanResult Scan(std::span<ThumbnailRecord> into, unsigned threads) {
        visited.clear();
        const auto buffers = AllocatePictureWorkBuffers(threads);
        names = ListPictureFiles(folder.Path());
        return ScanPictures(
            folder.Path(), names, into, *buffers,
            [this](const PictureName& name, LoadStatus status, const char* path) {
                visited.push_back(name.name + (status == LoadStatus::Loaded ? "" : "!"));
                EXPECT_EQ(std::string(path), (folder / PictureFileName(name.number)).string());
            });
    }
    std::vector<int> Listed(int count) const {
        std::vector<int> numbers;
        for (int i = 0; i < count; ++i) {
            numbers.push_back((*records)[i].nNumber);
        }
        return numbers;
    }

    TempDir folder;
    std::unique_ptr<ThumbnailPool> pool = AllocateThumbnailPool();
    std::unique_ptr<ThumbnailRecords> records = std::make_unique<ThumbnailRecords>();
    std::vector<PictureName> names;
    std::vector<std::string> visited;
};

TEST_F(PictureScanning, ADamagedPictureIsSkippedAndTheRestKeepTheirOrder) {
    for (int number : {1, 2, 4, 5, 7, 8, 9, 11}) {
        ASSERT_TRUE(WriteJpeg(folder / PictureFileName(number), 160, 120, NumberColour(number)));
    }
    WriteBytes(folder / "Picture0003.jpg", "not a picture");
    WriteBytes(folder / "Picture0006.jpg", "");

    for (unsigned threads : {1u, 4u}) {
        const ScanResult result = Scan(*records, threads);
        EXPECT_EQ(result.count, 8);
        EXPECT_TRUE(result.namesRanOut);
        EXPECT_EQ(Listed(result.count), (std::vector<int>{1, 2, 4, 5, 7, 8, 9, 11}));
        EXPECT_EQ(visited.size(), 10u);
        EXPECT_EQ(visited[2], "Picture0003.jpg!");
        EXPECT_EQ(visited[5], "Picture0006.jpg!");
        for (int i = 0; i < result.count; ++i) {  // each thumbnail belongs to its record
            const int number = (*records)[i].nNumber;
            EXPECT_TRUE(Near((*records)[i].pPixels[3 * 200], number * 10, 4)) << number;
        }
        for (int i = result.count; i < 12; ++i) {
            EXPECT_EQ((*records)[i].nNumber, 0);
        }
    }
}

TEST_F(PictureScanning, StopsWhenEveryRecordIsFilledEvenPastFailures) {
    for (int number = 1; number <= 6; ++number) {
        if (number == 2) {
            WriteBytes(folder / PictureFileName(number), "broken");
        } else {
            ASSERT_TRUE(WriteJpeg(folder / PictureFileName(number), 80, 60, NumberColour(number)));
        }
    }
    // Room for three: 1 loads, 2 fails, 3 and 4 fill the rest; 5 and 6 are not examined.
    const ScanResult result = Scan(std::span(records->data(), 3), 2);
    EXPECT_EQ(result.count, 3);
    EXPECT_FALSE(result.namesRanOut);
    EXPECT_EQ(Listed(3), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(visited, (std::vector<std::string>{"Picture0001.jpg", "Picture0002.jpg!",
                                                 "Picture0003.jpg", "Picture0004.jpg"}));

    // Exactly as many pictures as records: full, so the names did not run out with room left.
    const ScanResult exact = Scan(std::span(records->data(), 5), 2);
    EXPECT_EQ(exact.count, 5);
    EXPECT_FALSE(exact.namesRanOut);
}

}  // namespace
