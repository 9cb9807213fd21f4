#include "pictures/jpeg_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "picture_test_support.h"
#include "pictures/picture_numbering.h"

namespace {

using namespace picture_test;

class PictureStoring : public ::testing::Test {
protected:
    Image image =
        MakeImage(64, 48, [](int, int y) { return y < 24 ? Solid(0, 0, 250) : Solid(250, 0, 0); });
    LoggingInScratch logging;
    TempDir folder;

    int FileCount() const {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder.Path()),
                                              std::filesystem::directory_iterator()));
    }
};

TEST_F(PictureStoring, WritesADecodableJpegUnderTheNumber) {
    EXPECT_EQ(StorePictureNoReplace(folder.Path(), 7, image.get()), 7);
    Image loaded(FreeImage_Load(FIF_JPEG, (folder / "Picture0007.jpg").c_str(), 0));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(FreeImage_GetWidth(loaded.get()), 64u);
    EXPECT_EQ(FreeImage_GetHeight(loaded.get()), 48u);
    EXPECT_EQ(FileCount(), 1);  // no temporary file is left behind
}

TEST_F(PictureStoring, AnExistingFileIsNeverReplaced) {
    WriteBytes(folder / "Picture0006.jpg", "someone else's picture");
    WriteBytes(folder / "Picture0007.jpg", "and another");
    EXPECT_EQ(StorePictureNoReplace(folder.Path(), 6, image.get()), 8);
    EXPECT_EQ(ReadBytes(folder / "Picture0006.jpg"), "someone else's picture");
    EXPECT_EQ(ReadBytes(folder / "Picture0007.jpg"), "and another");
    EXPECT_TRUE(std::filesystem::exists(folder / "Picture0008.jpg"));
    EXPECT_EQ(FileCount(), 3);
}

TEST_F(PictureStoring, AMissingFolderIsCreatedWithItsParents) {
    const std::string nested = folder / "a/b/Pictures";
    EXPECT_EQ(StorePictureNoReplace(nested, 1, image.get()), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(nested + "/Picture0001.jpg"));
}

TEST_F(PictureStoring, AFailedSaveIsReportedWithItsPath) {
    WriteBytes(folder / "plain-file", "x");
    const std::string impossible = folder / "plain-file/Pictures";
    EXPECT_EQ(StorePictureNoReplace(impossible, 3, image.get()), 0);
    EXPECT_NE(logging.Log().find("TakeSnapshot \n" + impossible +
                                 "/Picture0003.jpg\n error, save jpeg failure"),
              std::string::npos);
}

}  // namespace
