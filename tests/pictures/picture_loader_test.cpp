#include "pictures/thumbnails/picture_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <vector>

#include "picture_test_support.h"
#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/picture_work_buffers.h"

namespace {

using namespace picture_test;

class PictureLoading : public ::testing::Test {
protected:
    LoadStatus Load(const std::string& name) {
        thumbnail.assign(kThumbBlockBytes, 0);
        return LoadPictureThumbnail((folder / name).c_str(), buffers->Loader(0), thumbnail.data());
    }
    Bgr ThumbPixel(int c, int r) const {  // r = 0 is the first row in memory (drawn at the bottom)
        const std::uint8_t* p = &thumbnail[r * kThumbRowBytes + 3 * c];
        return Bgr{p[0], p[1], p[2]};
    }
    static std::string LoadFailureEntry(const std::string& path) {
        return "ReadInSmallPic \n" + path + "\n error, load jpeg failure";
    }

    LoggingInScratch logging;
    TempDir folder;
    std::unique_ptr<PictureWorkBuffers> buffers = AllocatePictureWorkBuffers(1);
    std::vector<std::uint8_t> thumbnail;
};

TEST_F(PictureLoading, TheLargestAcceptedSizeLoadsAndOneMorePixelIsRefused) {
    const auto grey = [](int, int) { return Solid(90, 90, 90); };
    ASSERT_TRUE(WriteJpeg(folder / "Picture0001.jpg", 1280, 1024, grey));
    ASSERT_TRUE(WriteJpeg(folder / "Picture0002.jpg", 1281, 1024, grey));
    ASSERT_TRUE(WriteJpeg(folder / "Picture0003.jpg", 1280, 1025, grey));

    EXPECT_EQ(Load("Picture0001.jpg"), LoadStatus::Loaded);
    EXPECT_TRUE(Near(ThumbPixel(40, 30).g, 90, 3));
    EXPECT_EQ(Load("Picture0002.jpg"), LoadStatus::TooLarge);
    EXPECT_EQ(Load("Picture0003.jpg"), LoadStatus::TooLarge);

    LogLoadFailure(LoadStatus::TooLarge, (folder / "Picture0002.jpg").c_str());
    EXPECT_NE(logging.Log().find("Image size over 1280x1024"), std::string::npos);
}

TEST_F(PictureLoading, ThumbnailsStandTheWayTheStripDrawsThem) {
    // Top half red, bottom half blue. The thumbnail block is bottom-up: its first row is drawn
    // at the bottom of the frame, so it must come from the picture's bottom.
    ASSERT_TRUE(WriteJpeg(folder / "Picture0001.jpg", 640, 480, [](int, int y) {
        return y < 240 ? Solid(0, 0, 255) : Solid(255, 0, 0);
    }));
    ASSERT_EQ(Load("Picture0001.jpg"), LoadStatus::Loaded);
    EXPECT_TRUE(Near(ThumbPixel(10, 0).b, 255, 4) && Near(ThumbPixel(10, 0).r, 0, 4));
    EXPECT_TRUE(Near(ThumbPixel(10, 59).r, 255, 4) && Near(ThumbPixel(10, 59).b, 0, 4));
}

TEST_F(PictureLoading, GreyscaleAndSmallPicturesLoad) {
    ASSERT_TRUE(WriteJpeg(
        folder / "Picture0001.jpg", 640, 480,
        [](int x, int) { return x < 320 ? Solid(20, 20, 20) : Solid(220, 220, 220); }, 8));
    ASSERT_EQ(Load("Picture0001.jpg"), LoadStatus::Loaded);
    EXPECT_TRUE(Near(ThumbPixel(5, 30).b, 20, 4) && Near(ThumbPixel(5, 30).r, 20, 4));
    EXPECT_TRUE(Near(ThumbPixel(75, 30).g, 220, 4));

    ASSERT_TRUE(WriteJpeg(folder / "Picture0002.jpg", 40, 30,
                          [](int x, int) { return x < 20 ? Solid(0, 255, 0) : Solid(0, 0, 255); }));
    ASSERT_EQ(Load("Picture0002.jpg"), LoadStatus::Loaded);
    EXPECT_TRUE(Near(ThumbPixel(0, 0).g, 255, 6) && Near(ThumbPixel(0, 0).r, 0, 6));
    EXPECT_TRUE(Near(ThumbPixel(79, 59).r, 255, 6) && Near(ThumbPixel(79, 59).g, 0, 6));
}

TEST_F(PictureLoading, FilesThatAreNotLoadablePicturesFailWithTheirLogEntry) {
    ASSERT_TRUE(WriteJpeg(folder / "whole.jpg", 320, 240, [](int x, int y) {
        return Solid(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7);
    }));
    const std::string whole = ReadBytes(folder / "whole.jpg");
    WriteBytes(folder / "Picture0001.jpg", "");
    WriteBytes(folder / "Picture0002.jpg", whole.substr(0, 100));  // cut inside the header
    const Image png = MakeImage(64, 48, [](int, int) { return Solid(1, 2, 3); });
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, png.get(), (folder / "Picture0004.jpg").c_str(), 0));
    ASSERT_EQ(mkdir((folder / "Picture0003.jpg").c_str(), 0755), 0);

    for (const char* name : {"Picture0001.jpg", "Picture0002.jpg", "Picture0003.jpg",
                             "Picture0004.jpg", "Picture0005.jpg"}) {
        EXPECT_EQ(Load(name), LoadStatus::LoadFailed) << name;
        LogLoadFailure(LoadStatus::LoadFailed, (folder / name).c_str());
        EXPECT_NE(logging.Log().find(LoadFailureEntry(folder / name)), std::string::npos) << name;
    }
}

TEST_F(PictureLoading, APictureCutInItsImageDataLoadsWhatIsThere) {
    ASSERT_TRUE(
        WriteJpeg(folder / "whole.jpg", 320, 240, [](int, int) { return Solid(200, 100, 50); }));
    const std::string whole = ReadBytes(folder / "whole.jpg");
    WriteBytes(folder / "Picture0001.jpg", whole.substr(0, whole.size() * 2 / 3));
    // The decoder fills the missing part and reports success; the top of the picture is intact.
    ASSERT_EQ(Load("Picture0001.jpg"), LoadStatus::Loaded);
    EXPECT_TRUE(Near(ThumbPixel(40, 59).b, 200, 4));
}

}  // namespace
