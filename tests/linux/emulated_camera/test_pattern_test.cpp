// The emulated camera's test pattern on its own: the bar colours, how bars and block move per
// frame, what brightness, contrast and mirroring do, rows with padding, and layouts it refuses.
#include "linux/emulated_camera/test_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint8_t kPadding = 0xA5;
constexpr std::size_t kGuardBytes = 64;

struct Yuv {
    int y, u, v;
    bool operator==(const Yuv&) const = default;
};

void PrintTo(const Yuv& yuv, std::ostream* out) {
    *out << "(" << yuv.y << ", " << yuv.u << ", " << yuv.v << ")";
}

// A picture in a buffer filled with a padding byte, with guard areas before its first and
// behind its last row.
struct Picture {
    Picture(int width, int height, int stride)
        : width(width),
          height(height),
          stride(stride),
          bytes(kGuardBytes + static_cast<std::size_t>(stride) * height + kGuardBytes, kPadding) {}

    std::uint8_t* Data() { return bytes.data() + kGuardBytes; }
    const std::uint8_t* Data() const { return bytes.data() + kGuardBytes; }

    bool Draw(std::uint64_t frame, const PatternSettings& settings = {}) {
        return DrawTestPattern(Data(), width, height, stride, frame, settings);
    }
    Yuv At(int x, int y) const {
        const std::uint8_t* row = Data() + static_cast<std::size_t>(y) * stride;
        const std::uint8_t* pair = row + (x & ~1) * 2;
        return Yuv{row[x * 2], pair[1], pair[3]};
    }
    std::vector<Yuv> Row(int y) const {
        std::vector<Yuv> row;
        for (int x = 0; x < width; ++x) {
            row.push_back(At(x, y));
        }
        return row;
    }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            if (bytes[i] != kPadding || bytes[bytes.size() - 1 - i] != kPadding) {
                return false;
            }
        }
        return true;
    }
    // The first row whose pixel in this column is the grey block, or -1.
    int BlockTop(int x) const {
        for (int y = 0; y < height; ++y) {
            if (At(x, y) == Yuv{180, 128, 128}) {
                return y;
            }
        }
        return -1;
    }

    int width, height, stride;
    std::vector<std::uint8_t> bytes;
};

// 640 x 480: eight bars of 80 columns; the block covers 80 x 80 pixels from column 280, starting
// at row 0 in frame 0, so the last row shows the bars alone.
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kBottom = kHeight - 1;

struct BarRow {
    int bar;
    Yuv colour;
};

class BarColourTest : public ::testing::TestWithParam<BarRow> {};

TEST_P(BarColourTest, EachBarHasItsLimitedRangeColourAcrossItsWholeWidth) {
    Picture picture(kWidth, kHeight, kWidth * 2);
    ASSERT_TRUE(picture.Draw(0));
    const BarRow& row = GetParam();
    for (int x = row.bar * 80; x < (row.bar + 1) * 80; ++x) {
        ASSERT_EQ(picture.At(x, kBottom), row.colour) << "column " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(EightBars, BarColourTest,
                         ::testing::Values(BarRow{0, {235, 128, 128}},   // white
                                           BarRow{1, {210, 16, 146}},    // yellow
                                           BarRow{2, {170, 166, 16}},    // cyan
                                           BarRow{3, {145, 54, 34}},     // green
                                           BarRow{4, {106, 202, 222}},   // magenta
                                           BarRow{5, {81, 90, 240}},     // red
                                           BarRow{6, {41, 240, 110}},    // blue
                                           BarRow{7, {16, 128, 128}}));  // black

TEST(TestPatternTest, BarsAreVerticalAndTheBlockIsAGreySquareInTheMiddle) {
    Picture picture(kWidth, kHeight, kWidth * 2);
    ASSERT_TRUE(picture.Draw(0));
    const std::vector<Yuv> bars = picture.Row(kBottom);
    for (int y = 80; y < kHeight; ++y) {
        ASSERT_EQ(picture.Row(y), bars) << "row " << y;
    }
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool inBlock = x >= 280 && x < 360;
            const Yuv expected = inBlock ? Yuv{180, 128, 128} : bars[x];
            ASSERT_EQ(picture.At(x, y), expected) << x << "," << y;
        }
    }
}

struct MotionRow {
    std::uint64_t frame;
    int barShift;  // columns the bars moved to the left since frame 0
    int blockTop;  // the block's first row
};

class MotionTest : public ::testing::TestWithParam<MotionRow> {};

TEST_P(MotionTest, BarsMoveFourColumnsLeftAndTheBlockThreeRowsDownPerFrame) {
    const MotionRow& row = GetParam();
    Picture first(kWidth, kHeight, kWidth * 2);
    Picture later(kWidth, kHeight, kWidth * 2);
    ASSERT_TRUE(first.Draw(0));
    ASSERT_TRUE(later.Draw(row.frame));
    for (int x = 0; x < kWidth; ++x) {
        ASSERT_EQ(later.At(x, kBottom), first.At((x + row.barShift) % kWidth, kBottom))
            << "column " << x;
    }
    EXPECT_EQ(later.BlockTop(320), row.blockTop);
    EXPECT_EQ(later.At(320, row.blockTop + 79), (Yuv{180, 128, 128}));
    if (row.blockTop + 80 < kHeight) {
        EXPECT_NE(later.At(320, row.blockTop + 80), (Yuv{180, 128, 128}));
    }
}

// The block travels over the 400 rows left below it and starts again at the top.
INSTANTIATE_TEST_SUITE_P(Frames, MotionTest,
                         ::testing::Values(MotionRow{1, 4, 3}, MotionRow{7, 28, 21},
                                           MotionRow{133, 532, 399}, MotionRow{134, 536, 2},
                                           MotionRow{160, 0, 80}, MotionRow{161, 4, 83}));

struct SettingsRow {
    const char* name;
    PatternSettings settings;
    int x;
    Yuv colour;
};

void PrintTo(const SettingsRow& row, std::ostream* out) {
    *out << row.name;
}

class SettingsTest : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsTest, LumaFollowsBrightnessAndContrastAndMirroringSwapsTheBars) {
    const SettingsRow& row = GetParam();
    Picture picture(kWidth, kHeight, kWidth * 2);
    ASSERT_TRUE(picture.Draw(0, row.settings));
    EXPECT_EQ(picture.At(row.x, kBottom), row.colour);
}

PatternSettings Brightness(int brightness) {
    PatternSettings settings;
    settings.brightness = brightness;
    return settings;
}
PatternSettings Contrast(int contrast, int brightness = 128) {
    PatternSettings settings;
    settings.contrast = contrast;
    settings.brightness = brightness;
    return settings;
}
PatternSettings Mirrored() {
    PatternSettings settings;
    settings.mirrored = true;
    return settings;
}

// x = 40 is in the white bar, 280 in the green one, 600 in the black one.
INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsTest,
    ::testing::Values(SettingsRow{"neutral", {}, 40, {235, 128, 128}},
                      SettingsRow{"brighter_white_clips", Brightness(200), 40, {255, 128, 128}},
                      SettingsRow{"brighter_black", Brightness(200), 600, {88, 128, 128}},
                      SettingsRow{"darkest_white", Brightness(0), 40, {107, 128, 128}},
                      SettingsRow{"darkest_black_clips", Brightness(0), 600, {0, 128, 128}},
                      SettingsRow{"darkest_keeps_chroma", Brightness(0), 280, {17, 54, 34}},
                      SettingsRow{"no_contrast_white", Contrast(0), 40, {128, 128, 128}},
                      SettingsRow{"no_contrast_black", Contrast(0), 600, {128, 128, 128}},
                      SettingsRow{"full_contrast_white", Contrast(255), 40, {255, 128, 128}},
                      SettingsRow{"full_contrast_black", Contrast(255), 600, {0, 128, 128}},
                      SettingsRow{"full_contrast_green", Contrast(255), 280, {161, 54, 34}},
                      SettingsRow{"half_contrast_brighter", Contrast(64, 150), 40, {203, 128, 128}},
                      SettingsRow{
                          "half_contrast_brighter_black", Contrast(64, 150), 600, {94, 128, 128}},
                      SettingsRow{"mirrored_left_is_black", Mirrored(), 40, {16, 128, 128}},
                      SettingsRow{"mirrored_right_is_white", Mirrored(), 600, {235, 128, 128}},
                      SettingsRow{"mirrored_second_is_blue", Mirrored(), 120, {41, 240, 110}}),
    [](const ::testing::TestParamInfo<SettingsRow>& info) { return info.param.name; });

TEST(TestPatternTest, MirroredBarsAreTheBarsRightToLeft) {
    for (const std::uint64_t frame : {0u, 5u, 77u}) {
        Picture plain(kWidth, kHeight, kWidth * 2);
        Picture mirrored(kWidth, kHeight, kWidth * 2);
        ASSERT_TRUE(plain.Draw(frame));
        ASSERT_TRUE(mirrored.Draw(frame, Mirrored()));
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(mirrored.At(x, kBottom).y, plain.At(kWidth - 1 - x, kBottom).y)
                << "frame " << frame << ", column " << x;
        }
    }
}

struct StrideRow {
    int width, height, stride;
};

class StrideTest : public ::testing::TestWithParam<StrideRow> {};

TEST_P(StrideTest, PaddedRowsHoldThePackedPictureAndThePaddingStays) {
    const StrideRow& row = GetParam();
    Picture packed(row.width, row.height, row.width * 2);
    Picture padded(row.width, row.height, row.stride);
    ASSERT_TRUE(packed.Draw(9));
    ASSERT_TRUE(padded.Draw(9));
    for (int y = 0; y < row.height; ++y) {
        ASSERT_EQ(padded.Row(y), packed.Row(y)) << "row " << y;
        const std::size_t rowStart = static_cast<std::size_t>(y) * row.stride;
        for (int i = row.width * 2; i < row.stride; ++i) {
            ASSERT_EQ(padded.Data()[rowStart + i], kPadding) << "row " << y << ", byte " << i;
        }
    }
    EXPECT_TRUE(padded.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(OddStrides, StrideTest,
                         ::testing::Values(StrideRow{320, 240, 641}, StrideRow{320, 240, 643},
                                           StrideRow{64, 12, 131}, StrideRow{2, 2, 5},
                                           StrideRow{1280, 1024, 2563}));

struct LayoutRow {
    const char* name;
    int width, height, stride;
    bool drawn;
};

void PrintTo(const LayoutRow& row, std::ostream* out) {
    *out << row.name;
}

class LayoutTest : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(LayoutTest, DrawsOnlyWholeYuyvPicturesAndNeverOutsideThem) {
    const LayoutRow& row = GetParam();
    Picture picture(std::max(row.width, 0), std::max(row.height, 0), std::max(row.stride, 0));
    picture.width = row.width;
    picture.height = row.height;
    picture.stride = row.stride;
    EXPECT_EQ(picture.Draw(3), row.drawn);
    EXPECT_TRUE(picture.GuardsIntact());
    if (!row.drawn) {
        for (const std::uint8_t byte : picture.bytes) {
            ASSERT_EQ(byte, kPadding);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutTest,
    ::testing::Values(LayoutRow{"no_width", 0, 10, 0, false},
                      LayoutRow{"no_height", 10, 0, 20, false},
                      LayoutRow{"negative_width", -2, 10, 20, false},
                      LayoutRow{"odd_width", 321, 4, 642, false},
                      LayoutRow{"overlapping_rows", 320, 4, 639, false},
                      LayoutRow{"one_row", 2, 1, 4, true}, LayoutRow{"two_rows", 2, 2, 4, true},
                      LayoutRow{"block_as_tall_as_the_picture", 4, 6, 8, true},
                      LayoutRow{"block_wider_than_the_picture", 2, 100, 4, true}),
    [](const ::testing::TestParamInfo<LayoutRow>& info) { return info.param.name; });

// 2 x 100: a 16-row block (a sixth of the height) wider than the picture covers it from side to
// side and nothing else; frame 3 puts it at row 9.
TEST(TestPatternTest, ABlockWiderThanThePictureIsClippedToIt) {
    Picture picture(2, 100, 4);
    ASSERT_TRUE(picture.Draw(3));
    for (int y = 0; y < 100; ++y) {
        const Yuv expected = y >= 9 && y < 25 ? Yuv{180, 128, 128} : Yuv{235, 128, 128};
        for (int x = 0; x < 2; ++x) {
            ASSERT_EQ(picture.At(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_TRUE(picture.GuardsIntact());
}

TEST(TestPatternTest, NoPictureIsNotDrawn) {
    EXPECT_FALSE(DrawTestPattern(nullptr, 320, 240, 640, 0, PatternSettings{}));
}

}  // namespace
