#include "pictures/thumbnails/thumbnail_sampling.h"

#include <gtest/gtest.h>

#include <vector>

#include "pictures/thumbnail_record.h"

namespace {

// A picture whose pixel (x, y) carries its own coordinates: blue and green hold x, red holds y
// (both modulo 256, with the high bits of x in green).
std::vector<std::uint8_t> CoordinatePicture(int width, int height, int pitch) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pitch) * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &bytes[static_cast<std::size_t>(y) * pitch + 3 * x];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(x >> 8);
            p[2] = static_cast<std::uint8_t>(y);
        }
    }
    return bytes;
}

struct Sample {
    int x, y;  // the coordinates a thumbnail pixel was read from (y modulo 256)
};

Sample SampleAt(const std::vector<std::uint8_t>& thumbnail, int c, int r) {
    const std::uint8_t* p = &thumbnail[r * kThumbRowBytes + 3 * c];
    return Sample{p[0] | (p[1] << 8), p[2]};
}

TEST(CaptureSampling, EachResolutionReadsItsGridFromTheFirstRowInMemory) {
    const struct {
        int resolution, width, height, step;
    } cases[] = {{0, 320, 240, 4}, {1, 640, 480, 8}, {2, 1280, 1024, 16}};
    for (const auto& expected : cases) {
        const auto geometry = CaptureGeometryFor(expected.resolution);
        ASSERT_TRUE(geometry);
        EXPECT_EQ(geometry->width, expected.width);
        EXPECT_EQ(geometry->height, expected.height);
        const auto picture =
            CoordinatePicture(geometry->width, geometry->height, geometry->width * 3);
        std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
        SampleThumbnail(picture.data(), geometry->columnStep, geometry->rowSkip, thumbnail.data());
        for (int r = 0; r < kThumbHeight; ++r) {
            for (int c = 0; c < kThumbWidth; ++c) {
                const Sample s = SampleAt(thumbnail, c, r);
                ASSERT_EQ(s.x, expected.step * c) << expected.resolution << " " << c << "," << r;
                ASSERT_EQ(s.y, (expected.step * r) & 0xFF) << expected.resolution;
            }
        }
    }
    EXPECT_FALSE(CaptureGeometryFor(3));
    EXPECT_FALSE(CaptureGeometryFor(-1));
}

std::vector<std::uint8_t> SampleLoaded(const std::vector<std::uint8_t>& copy,
                                       const PictureCopyLayout& layout) {
    std::vector<std::uint8_t> thumbnail(kThumbBlockBytes);
    SampleLoadedThumbnail(copy.data(), layout, thumbnail.data());
    return thumbnail;
}

TEST(LoadedSampling, StandardSizesFollowTheStepsOfTheirSize) {
    // 640 x 480 reads every 8th pixel of every 8th row; 1280 x 1024 every 16th pixel of every
    // 17th row, because rows are stepped by height / 60.
    for (const auto& [width, height, columns, rows] :
         {std::tuple{640, 480, 8, 8}, {1280, 1024, 16, 17}, {320, 240, 4, 4}}) {
        const auto copy = CoordinatePicture(width, height, width * 3);
        const auto thumbnail = SampleLoaded(copy, {width, height, width * 3, 3});
        for (int r = 0; r < kThumbHeight; ++r) {
            for (int c = 0; c < kThumbWidth; ++c) {
                const Sample s = SampleAt(thumbnail, c, r);
                ASSERT_EQ(s.x, columns * c) << width;
                ASSERT_EQ(s.y, (rows * r) & 0xFF) << width;
            }
        }
    }
}

TEST(LoadedSampling, RowsAreCountedAsWidthTimesBytesPerPixelNotPitch) {
    // 642 x 3 = 1926 bytes per row, padded to a pitch of 1928: the rule counts 1926.
    const int width = 642, height = 480, pitch = 1928;
    std::vector<std::uint8_t> copy(static_cast<std::size_t>(pitch) * height);
    for (std::size_t i = 0; i < copy.size(); ++i) {
        copy[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    const auto thumbnail = SampleLoaded(copy, {width, height, pitch, 3});
    const std::size_t s = (width / 80) * 3, k = (height / 60 - 1) * 3 * width;
    for (int r = 0; r < kThumbHeight; ++r) {
        for (int c = 0; c < kThumbWidth; ++c) {
            const std::size_t offset = r * (80 * s + k) + c * s;
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(thumbnail[r * kThumbRowBytes + 3 * c + i], copy[offset + i]);
            }
        }
    }
}

TEST(LoadedSampling, GreyscaleTakesThreeNeighbouringGreyValues) {
    const int width = 640, height = 480;
    std::vector<std::uint8_t> copy(width * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            copy[y * width + x] = static_cast<std::uint8_t>(x + 3 * y);
        }
    }
    const auto thumbnail = SampleLoaded(copy, {width, height, width, 1});
    for (int r = 0; r < kThumbHeight; ++r) {
        for (int c = 0; c < kThumbWidth; ++c) {
            const std::size_t offset = static_cast<std::size_t>(8 * r) * width + 8 * c;
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(thumbnail[r * kThumbRowBytes + 3 * c + i], copy[offset + i]);
            }
        }
    }
}

// Small, narrow and short pictures: every read lies inside the picture. The copy sits inside
// a larger buffer filled with a marker that must never show up in the thumbnail.
TEST(LoadedSampling, SmallPicturesAreReadOnlyInsideThePicture) {
    const struct {
        int width, height, bytesPerPixel;
    } cases[] = {{40, 30, 3}, {1, 1, 3}, {1, 5000, 1}, {2000, 2, 3}, {80, 60, 1}, {79, 600, 3}};
    for (const auto& size : cases) {
        const int rowBytes = size.width * size.bytesPerPixel;
        const int pitch = (rowBytes + 3) / 4 * 4;
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(pitch) * size.height + 64, 0xAB);
        for (int y = 0; y < size.height; ++y) {
            for (int i = 0; i < rowBytes; ++i) {
                buffer[static_cast<std::size_t>(y) * pitch + i] =
                    static_cast<std::uint8_t>(i % 100);
            }
        }
        const auto thumbnail =
            SampleLoaded(buffer, {size.width, size.height, pitch, size.bytesPerPixel});
        for (std::uint8_t byte : thumbnail) {
            ASSERT_NE(byte, 0xAB) << size.width << "x" << size.height;
        }
    }
}

TEST(LoadedSampling, A40By30PictureIsSpreadOverTheWholeThumbnail) {
    const auto copy = CoordinatePicture(40, 30, 120);
    const auto thumbnail = SampleLoaded(copy, {40, 30, 120, 3});
    EXPECT_EQ(SampleAt(thumbnail, 0, 0).x, 0);
    EXPECT_EQ(SampleAt(thumbnail, 79, 0).x, 39);
    EXPECT_EQ(SampleAt(thumbnail, 1, 0).x, 0);
    EXPECT_EQ(SampleAt(thumbnail, 2, 0).x, 1);
    EXPECT_EQ(SampleAt(thumbnail, 0, 59).y, 29);
}

}  // namespace
