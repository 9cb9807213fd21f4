// The drawing rules at display scales other than 1: the calls keep their logical meaning
// (exclusive edges, the pen inside, the line's end left out) and land on the device pixels the
// grid maps them to; a one-pixel pen is the scale rounded thick; text and thumbnails are drawn
// at the device resolution.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <string>
#include <vector>

#include "platform/device_grid.h"
#include "platform/gdi.h"
#include "support/doubles/headless_harness.h"

namespace {

constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kBlue = 0xff0000ff;

class GdiScaleTest : public ::testing::TestWithParam<double> {
protected:
    GdiScaleTest() : grid(GetParam()) {
        EnsureQtApplication();
        image = QImage(grid.X(kWidth), grid.Y(kHeight), QImage::Format_RGB32);
        image.setDevicePixelRatio(GetParam());
        image.fill(kWhite);
    }

    QRgb At(int deviceX, int deviceY) const { return image.pixel(deviceX, deviceY); }

    static constexpr int kWidth = 120;
    static constexpr int kHeight = 90;
    DeviceGrid grid;
    QImage image;
};

TEST_P(GdiScaleTest, RectangleCoversItsMappedDevicePixelsWithThePenInside) {
    DrawingSurface surface(image, Point{0, 0}, Rect{0, 0, kWidth, kHeight});
    surface.SelectPen(Rgb(255, 0, 0));
    surface.SelectBrush(Rgb(0, 0, 255));
    surface.Rectangle(13, 7, 41, 29);
    const int left = grid.X(13);
    const int right = grid.X(41);
    const int top = grid.Y(7);
    const int bottom = grid.Y(29);
    const int pen = grid.PenWidth();
    const int midY = (top + bottom) / 2;
    const int midX = (left + right) / 2;
    for (int k = 0; k < pen; ++k) {
        EXPECT_EQ(At(left + k, midY), kRed) << "left edge + " << k;
        EXPECT_EQ(At(right - 1 - k, midY), kRed) << "right edge - " << k;
        EXPECT_EQ(At(midX, top + k), kRed) << "top edge + " << k;
        EXPECT_EQ(At(midX, bottom - 1 - k), kRed) << "bottom edge - " << k;
    }
    EXPECT_EQ(At(left + pen, midY), kBlue);
    EXPECT_EQ(At(right - 1 - pen, midY), kBlue);
    EXPECT_EQ(At(left - 1, midY), kWhite);
    EXPECT_EQ(At(right, midY), kWhite);  // the right edge is exclusive
    EXPECT_EQ(At(midX, top - 1), kWhite);
    EXPECT_EQ(At(midX, bottom), kWhite);  // the bottom edge is exclusive
}

TEST_P(GdiScaleTest, LineCoversItsLogicalPixelsButTheEndThePenWidthThick) {
    DrawingSurface surface(image, Point{0, 0}, Rect{0, 0, kWidth, kHeight});
    surface.SelectPen(Rgb(255, 0, 0));
    surface.MoveTo(5, 11);
    surface.LineTo(60, 11);
    std::vector<int> inkedRows;
    for (int y = 0; y < image.height(); ++y) {
        if (At(grid.X(30), y) == kRed) {
            inkedRows.push_back(y);
        }
    }
    ASSERT_EQ(static_cast<int>(inkedRows.size()), grid.PenWidth());
    EXPECT_EQ(inkedRows.front(), grid.Y(11));
    const int row = grid.Y(11);
    EXPECT_EQ(At(grid.X(5), row), kRed);
    EXPECT_EQ(At(grid.X(60) - 1, row), kRed);
    EXPECT_EQ(At(grid.X(60), row), kWhite);  // the end point is left out
    EXPECT_EQ(At(grid.X(5) - 1, row), kWhite);
}

// The glyphs keep the 1x text's place and extent, and above scale 1 they are drawn finer than a
// logical pixel: some logical pixels hold both ink and paper.
TEST_P(GdiScaleTest, TextIsDrawnAtTheDeviceResolutionWithinItsLogicalBox) {
    DrawingSurface surface(image, Point{0, 0}, Rect{0, 0, kWidth, kHeight});
    surface.SetBkMode(TRANSPARENT);
    surface.SetTextColor(Rgb(0, 0, 0));
    surface.SetTextAlign(TA_LEFT | TA_TOP);
    surface.TextOut(10, 20, "640x480");

    QImage reference(kWidth, kHeight, QImage::Format_RGB32);
    reference.fill(kWhite);
    DrawingSurface at1x(reference, Point{0, 0}, Rect{0, 0, kWidth, kHeight});
    at1x.SetBkMode(TRANSPARENT);
    at1x.SetTextColor(Rgb(0, 0, 0));
    at1x.SetTextAlign(TA_LEFT | TA_TOP);
    at1x.TextOut(10, 20, "640x480");
    Rect inked1x{kWidth, kHeight, 0, 0};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (reference.pixel(x, y) != kWhite) {
                inked1x = Rect{std::min(inked1x.left, x), std::min(inked1x.top, y),
                               std::max(inked1x.right, x + 1), std::max(inked1x.bottom, y + 1)};
            }
        }
    }
    ASSERT_FALSE(IsRectEmpty(inked1x)) << "no text at 1x";

    int mixed = 0;
    int inked = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            bool ink = false;
            bool paper = false;
            for (int dy = grid.Y(y); dy < grid.Y(y + 1); ++dy) {
                for (int dx = grid.X(x); dx < grid.X(x + 1); ++dx) {
                    (At(dx, dy) == kWhite ? paper : ink) = true;
                }
            }
            if (ink) {
                ++inked;
                // Antialiasing may reach one logical pixel beyond the 1x glyphs.
                EXPECT_TRUE(x >= inked1x.left - 1 && x <= inked1x.right && y >= inked1x.top - 1 &&
                            y <= inked1x.bottom)
                    << "ink at logical " << x << "," << y;
            }
            mixed += ink && paper ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 0);
    if (GetParam() >= 1.5) {
        EXPECT_GE(mixed, inked / 5) << mixed << " of " << inked;
    }
}

// A thumbnail's 80 x 60 block fills its place's device pixels, its two halves keep their own
// colours away from the edge between them, and that edge is blended (scaled smoothly).
TEST_P(GdiScaleTest, ThumbnailBlockIsScaledSmoothlyOntoItsDevicePixels) {
    constexpr int kW = 80;
    constexpr int kH = 60;
    const int stride = kW * 3;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * kH);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            std::uint8_t* p = &bits[static_cast<std::size_t>(y) * stride + x * 3];
            const bool red = x < kW / 2;
            p[0] = red ? 0 : 255;  // blue, green, red
            p[1] = 0;
            p[2] = red ? 255 : 0;
        }
    }
    BitmapInfo info;
    info.bmiHeader.biSize = sizeof(BitmapInfoHeader);
    info.bmiHeader.biWidth = kW;
    info.bmiHeader.biHeight = kH;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    DrawingSurface surface(image, Point{0, 0}, Rect{0, 0, kWidth, kHeight});
    surface.StretchDIBits(13, 5, kW, kH, 0, 0, kW, kH, bits.data(), info);

    const int row = grid.Y(35);
    EXPECT_EQ(At(grid.X(13) - 1, row), kWhite);
    EXPECT_EQ(At(grid.X(13), row), kRed);
    EXPECT_EQ(At(grid.X(13 + 30), row), kRed);
    EXPECT_EQ(At(grid.X(13 + 50), row), kBlue);
    EXPECT_EQ(At(grid.X(13 + kW) - 1, row), kBlue);
    EXPECT_EQ(At(grid.X(13 + kW), row), kWhite);
    EXPECT_EQ(At(grid.X(40), grid.Y(5)), kRed);
    EXPECT_EQ(At(grid.X(40), grid.Y(5 + kH) - 1), kRed);
    EXPECT_EQ(At(grid.X(40), grid.Y(5 + kH)), kWhite);
    if (GetParam() != 1.0) {
        int blended = 0;
        for (int x = grid.X(13 + 38); x < grid.X(13 + 42); ++x) {
            const QRgb p = At(x, row);
            blended += p != kRed && p != kBlue ? 1 : 0;
        }
        EXPECT_GE(blended, 1) << "the edge between the halves is not blended";
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, GdiScaleTest, ::testing::Values(1.0, 1.25, 1.5, 2.0, 3.0),
                         [](const auto& info) {
                             std::string name = std::to_string(info.param);
                             name.erase(name.find_last_not_of("0.") + 1);
                             for (char& c : name) {
                                 c = c == '.' ? '_' : c;
                             }
                             return "x" + name;
                         });

}  // namespace
