#include "pictures/yuy2_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// The conversion written out directly from its rule, independent of the code under test.
std::uint8_t ReferenceByte(float value) {
    if (value < 0.4f) {
        return 0;
    }
    if (value > 255.0f) {
        return 255;
    }
    return static_cast<std::uint8_t>(value);
}

std::vector<std::uint8_t> ReferenceFrame(const std::vector<std::uint8_t>& yuy2, int width,
                                         int height) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = yuy2.data() + static_cast<std::size_t>(y) * width * 2;
        std::uint8_t* row = bgr.data() + static_cast<std::size_t>(height - 1 - y) * width * 3;
        for (int x = 0; x < width; x += 2) {
            const std::uint8_t* q = source + 2 * x;
            const float u = static_cast<float>(q[1] - 128);
            const float v = static_cast<float>(q[3] - 128);
            const float ys[2] = {1.164f * static_cast<float>(q[0] - 16),
                                 1.164f * static_cast<float>(q[2] - 16)};
            for (int i = 0; i < 2; ++i) {
                std::uint8_t* p = row + 3 * (x + i);
                p[0] = ReferenceByte(ys[i] + 2.018f * u);
                p[1] = ReferenceByte(ys[i] - 0.813f * v - 0.391f * u);
                p[2] = ReferenceByte(ys[i] + 1.596f * v);
            }
        }
    }
    return bgr;
}

std::vector<Yuy2Kernel> SupportedKernels() {
    std::vector<Yuy2Kernel> kernels;
    for (Yuy2Kernel kernel : {Yuy2Kernel::Scalar, Yuy2Kernel::Ssse3, Yuy2Kernel::Avx2}) {
        if (Yuy2KernelSupported(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

std::vector<std::uint8_t> Convert(Yuy2Kernel kernel, const std::vector<std::uint8_t>& yuy2,
                                  int width, int height) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * height * 3, 0xCD);
    ConvertYuy2FrameWith(kernel, yuy2.data(), width, height, bgr.data());
    return bgr;
}

TEST(Yuy2Conversion, EdgeValuesOfTheRule) {
    std::uint8_t bgr[6];
    const std::uint8_t blackAndNearWhite[4] = {16, 128, 235, 128};
    ConvertYuy2Pair(blackAndNearWhite, bgr);
    // 1.164 x 219 lies just below 255 and is truncated to 254.
    EXPECT_EQ((std::vector<int>{bgr, bgr + 6}), (std::vector<int>{0, 0, 0, 254, 254, 254}));

    const std::uint8_t fullAndZero[4] = {255, 128, 0, 128};
    ConvertYuy2Pair(fullAndZero, bgr);
    EXPECT_EQ((std::vector<int>{bgr, bgr + 6}), (std::vector<int>{255, 255, 255, 0, 0, 0}));

    EXPECT_EQ(Yuy2ChannelToByte(0.39f), 0);
    EXPECT_EQ(Yuy2ChannelToByte(0.4f), 0);  // truncated
    EXPECT_EQ(Yuy2ChannelToByte(254.9f), 254);
    EXPECT_EQ(Yuy2ChannelToByte(255.0f), 255);
    EXPECT_EQ(Yuy2ChannelToByte(278.0f), 255);
    EXPECT_EQ(Yuy2ChannelToByte(-18.6f), 0);
}

TEST(Yuy2Conversion, EveryKernelGivesTheEdgeValuesInEveryLane) {
    // 32 pixels so the vector kernels see the values in each lane position, not only the tail.
    const int width = 32;
    std::vector<std::uint8_t> yuy2;
    for (int pair = 0; pair < width / 2; ++pair) {
        const bool odd = pair % 2;
        yuy2.insert(yuy2.end(),
                    {std::uint8_t(odd ? 255 : 16), 128, std::uint8_t(odd ? 0 : 235), 128});
    }
    for (Yuy2Kernel kernel : SupportedKernels()) {
        const auto bgr = Convert(kernel, yuy2, width, 1);
        for (int x = 0; x < width; ++x) {
            const int pair = x / 2;
            const int expected = (pair % 2) ? (x % 2 ? 0 : 255) : (x % 2 ? 254 : 0);
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(bgr[3 * x + c], expected)
                    << "kernel " << static_cast<int>(kernel) << " pixel " << x;
            }
        }
    }
}

// Every combination of Y, U and V passes through every kernel and is compared with the rule.
TEST(Yuy2Conversion, AllInputCombinationsMatchTheReferenceExactly) {
    const int width = 512;  // 256 pairs: one row per (U, V), Y0 = pair, Y1 = 255 - pair
    const int height = 256 * 256;
    std::vector<std::uint8_t> yuy2(static_cast<std::size_t>(width) * height * 2);
    for (int row = 0; row < height; ++row) {
        std::uint8_t* q = yuy2.data() + static_cast<std::size_t>(row) * width * 2;
        for (int pair = 0; pair < width / 2; ++pair, q += 4) {
            q[0] = static_cast<std::uint8_t>(pair);
            q[1] = static_cast<std::uint8_t>(row >> 8);
            q[2] = static_cast<std::uint8_t>(255 - pair);
            q[3] = static_cast<std::uint8_t>(row & 0xFF);
        }
    }
    const auto expected = ReferenceFrame(yuy2, width, height);
    for (Yuy2Kernel kernel : SupportedKernels()) {
        EXPECT_TRUE(Convert(kernel, yuy2, width, height) == expected)
            << "kernel " << static_cast<int>(kernel);
    }
}

TEST(Yuy2Conversion, WholeCameraFramesMatchTheReferenceAndAreStoredBottomUp) {
    std::mt19937 random(20240611);
    for (const auto& [width, height] : {std::pair{320, 240}, {640, 480}, {1280, 1024}, {38, 3}}) {
        std::vector<std::uint8_t> yuy2(static_cast<std::size_t>(width) * height * 2);
        for (auto& byte : yuy2) {
            byte = static_cast<std::uint8_t>(random());
        }
        const auto expected = ReferenceFrame(yuy2, width, height);
        for (Yuy2Kernel kernel : SupportedKernels()) {
            EXPECT_TRUE(Convert(kernel, yuy2, width, height) == expected)
                << width << "x" << height << " kernel " << static_cast<int>(kernel);
        }
        std::vector<std::uint8_t> fastest(expected.size());
        ConvertYuy2Frame(yuy2.data(), width, height, fastest.data());
        EXPECT_TRUE(fastest == expected);
    }
}

TEST(Yuy2Conversion, TheCamerasTopRowBecomesTheLastRowInMemory) {
    const int width = 64, height = 4;
    std::vector<std::uint8_t> yuy2(width * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int pair = 0; pair < width / 2; ++pair) {
            std::uint8_t* q = &yuy2[(y * width + 2 * pair) * 2];
            const std::uint8_t luma = y == 0 ? 235 : 16;  // only the top row is white
            q[0] = q[2] = luma;
            q[1] = q[3] = 128;
        }
    }
    std::vector<std::uint8_t> bgr(width * height * 3);
    ConvertYuy2Frame(yuy2.data(), width, height, bgr.data());
    EXPECT_EQ(bgr[0], 0);                           // first row: the camera's bottom row
    EXPECT_EQ(bgr[(height - 1) * width * 3], 254);  // last row: the camera's top row
    EXPECT_EQ(bgr[(height - 1) * width * 3 + width * 3 - 1], 254);
}

}  // namespace
