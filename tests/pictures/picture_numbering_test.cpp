#include "pictures/picture_numbering.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// Records with their own pixel blocks, each block filled with its picture's number.
struct List {
    explicit List(std::vector<int> numbers)
        : blocks(kThumbnailCapacity / 100 * kThumbBlockBytes), records(kThumbnailCapacity / 100) {
        for (std::size_t i = 0; i < records.size(); ++i) {
            records[i].pPixels = &blocks[i * kThumbBlockBytes];
        }
        for (int number : numbers) {
            records[count].nNumber = number;
            std::fill_n(records[count].pPixels, kThumbBlockBytes,
                        static_cast<std::uint8_t>(number));
            ++count;
        }
    }
    int Next() const {
        return NextPictureNumber({records.data(), static_cast<std::size_t>(count)});
    }
    std::vector<int> Numbers() const {
        std::vector<int> numbers;
        for (int i = 0; i < count; ++i) {
            numbers.push_back(records[i].nNumber);
        }
        return numbers;
    }

    std::vector<std::uint8_t> blocks;
    std::vector<ThumbnailRecord> records;
    int count = 0;
};

TEST(PictureNames, OnlyPictureDigitsJpgWithAUsableNumberIsAPicture) {
    EXPECT_EQ(ParsePictureNumber("Picture0001.jpg"), 1);
    EXPECT_EQ(ParsePictureNumber("Picture12.jpg"), 12);
    EXPECT_EQ(ParsePictureNumber("Picture10000.jpg"), 10000);
    EXPECT_EQ(ParsePictureNumber("Picture2147483647.jpg"), INT_MAX);
    for (const char* name :
         {"Picture0000.jpg", "Picture_old.jpg", "picture0001.jpg", "Picture0001.JPG", "Picture.jpg",
          "Picture-5.jpg", "Picture+5.jpg", "Picture 5.jpg", "Picture5abc.jpg",
          "Picture0001.jpg.bak", "Picture2147483648.jpg", "Picture99999999999999999999.jpg"}) {
        EXPECT_FALSE(ParsePictureNumber(name)) << name;
    }
}

TEST(PictureNames, NamesHaveAtLeastFourDigits) {
    EXPECT_EQ(PictureFileName(7), "Picture0007.jpg");
    EXPECT_EQ(PictureFileName(9999), "Picture9999.jpg");
    EXPECT_EQ(PictureFileName(10000), "Picture10000.jpg");
    EXPECT_EQ(ParsePictureNumber(PictureFileName(10000)), 10000);

    char path[64];
    ASSERT_TRUE(FormatPicturePath(path, sizeof path, "/home/ann/Pictures", 3));
    EXPECT_STREQ(path, "/home/ann/Pictures/Picture0003.jpg");
    ASSERT_TRUE(FormatPicturePath(path, sizeof path, "/", 3));
    EXPECT_STREQ(path, "/Picture0003.jpg");
    char tiny[20];
    EXPECT_FALSE(FormatPicturePath(tiny, sizeof tiny, "/home/ann/Pictures", 3));
}

TEST(Numbering, NextIsOneAboveTheHighestListedNumber) {
    EXPECT_EQ(List({}).Next(), 1);
    EXPECT_EQ(List({1, 2, 5}).Next(), 6);  // gaps below the highest are never filled
    EXPECT_EQ(List({5, 1, 2}).Next(), 6);
    EXPECT_EQ(List({9999}).Next(), 10000);
    EXPECT_EQ(List({10000}).Next(), 10001);
    EXPECT_EQ(List({INT_MAX}).Next(), 0);  // no number is left above it
}

TEST(Numbering, RemovingTheHighestFreesItsNumber) {
    List list({1, 2, 5, 6});
    RemoveRecord(list.records, list.count, 3);
    EXPECT_EQ(list.Next(), 6);
    RemoveRecord(list.records, list.count, 2);
    EXPECT_EQ(list.Next(), 3);
}

TEST(RemoveRecord, LaterRecordsMoveDownWithTheirPixelsAndSelection) {
    List list({1, 2, 3, 4});
    list.records[2].bSelected = true;
    std::uint8_t* const blockOfSlot1 = list.records[1].pPixels;
    RemoveRecord(list.records, list.count, 1);
    EXPECT_EQ(list.Numbers(), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(list.records[1].pPixels, blockOfSlot1);  // blocks stay with their slots
    EXPECT_EQ(list.records[1].pPixels[kThumbBlockBytes - 1], 3);
    EXPECT_EQ(list.records[2].pPixels[0], 4);
    EXPECT_TRUE(list.records[1].bSelected);
    EXPECT_EQ(list.records[3].nNumber, 0);  // the freed record is empty

    RemoveRecord(list.records, list.count, 2);  // the last one
    EXPECT_EQ(list.Numbers(), (std::vector<int>{1, 3}));
    RemoveRecord(list.records, list.count, 5);  // outside the list: nothing happens
    EXPECT_EQ(list.count, 2);
}

TEST(ThumbScrollState, ShowsTheLastSixPictures) {
    const ThumbScroll before{false, 0, 9, 4};
    const ThumbScroll six = ComputeThumbScroll(6, before);
    EXPECT_FALSE(six.enabled);
    EXPECT_EQ(six.firstThumb, 0);
    EXPECT_EQ(six.scrollMax, 9);  // range and position are left as they were
    EXPECT_EQ(six.scrollPos, 4);

    const ThumbScroll seven = ComputeThumbScroll(7, six);
    EXPECT_TRUE(seven.enabled);
    EXPECT_EQ(seven.firstThumb, 1);
    EXPECT_EQ(seven.scrollMax, 1);
    EXPECT_EQ(seven.scrollPos, 1);

    const ThumbScroll fourteen = ComputeThumbScroll(14, seven);
    EXPECT_TRUE(fourteen.enabled);
    EXPECT_EQ(fourteen.firstThumb, 8);
    EXPECT_EQ(fourteen.scrollMax, 2);
    EXPECT_EQ(fourteen.scrollPos, 2);

    EXPECT_FALSE(ComputeThumbScroll(0, fourteen).enabled);
}

}  // namespace
