// Pixel-exact checks of the desktop drawing rules the window logic depends on.
#include "platform/gdi.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <vector>

#include "support/doubles/headless_harness.h"

namespace {

constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kRed = Rgb(255, 0, 0);
constexpr Color kBlue = Rgb(0, 0, 255);
constexpr Color kBlack = Rgb(0, 0, 0);

class GdiTest : public ::testing::Test {
protected:
    GdiTest() : bitmap(24, 16) {
        EnsureQtApplication();
        bitmap.Image().fill(Qt::white);
    }

    // The pixels of the bitmap that are not white, as points.
    std::vector<Point> Inked() const {
        std::vector<Point> points;
        for (int y = 0; y < bitmap.Height(); ++y) {
            for (int x = 0; x < bitmap.Width(); ++x) {
                if (bitmap.PixelAt(x, y) != kWhite) {
                    points.push_back(Point{x, y});
                }
            }
        }
        return points;
    }

    Bitmap bitmap;
};

TEST_F(GdiTest, RectangleOutlineLiesInsideWithExclusiveRightAndBottom) {
    DrawingSurface surface(bitmap);
    surface.SelectPen(kRed);
    surface.SelectBrush(kBlue);
    surface.Rectangle(2, 3, 8, 7);

    for (const Point corner : {Point{2, 3}, Point{7, 3}, Point{2, 6}, Point{7, 6}}) {
        EXPECT_EQ(bitmap.PixelAt(corner.x, corner.y), kRed) << corner.x << "," << corner.y;
    }
    EXPECT_EQ(bitmap.PixelAt(3, 4), kBlue);
    EXPECT_EQ(bitmap.PixelAt(6, 5), kBlue);
    EXPECT_EQ(bitmap.PixelAt(8, 5), kWhite);  // right edge exclusive
    EXPECT_EQ(bitmap.PixelAt(5, 7), kWhite);  // bottom edge exclusive
    EXPECT_EQ(bitmap.PixelAt(1, 4), kWhite);
    EXPECT_EQ(Inked().size(), 6u * 4u);
}

TEST_F(GdiTest, RectangleWithoutPenFillsAllOfItAndWithoutBrushOnlyOutlines) {
    DrawingSurface surface(bitmap);
    surface.SelectBrush(kBlue);
    surface.Rectangle(1, 1, 4, 3);
    EXPECT_EQ(bitmap.PixelAt(1, 1), kBlue);
    EXPECT_EQ(bitmap.PixelAt(3, 2), kBlue);
    EXPECT_EQ(bitmap.PixelAt(4, 2), kWhite);
    EXPECT_EQ(bitmap.PixelAt(3, 3), kWhite);

    surface.SelectPen(kRed);
    surface.SelectBrush(std::nullopt);
    surface.Rectangle(10, 5, 15, 10);
    EXPECT_EQ(bitmap.PixelAt(10, 5), kRed);
    EXPECT_EQ(bitmap.PixelAt(14, 9), kRed);
    EXPECT_EQ(bitmap.PixelAt(12, 7), kWhite);  // inside left alone
    EXPECT_EQ(bitmap.PixelAt(15, 7), kWhite);
}

TEST_F(GdiTest, RectangleWithNeitherPenNorBrushChangesNothingAndReportsNothing) {
    int reports = 0;
    DrawingSurface surface(bitmap.Image(), Point{0, 0}, Rect{0, 0, 24, 16},
                           [&reports](const Rect&) { ++reports; });
    surface.Rectangle(1, 1, 10, 10);
    EXPECT_TRUE(Inked().empty());
    EXPECT_EQ(reports, 0);
}

TEST_F(GdiTest, RectangleWithSwappedEdgesIsDrawnInOrder) {
    DrawingSurface surface(bitmap);
    surface.SelectBrush(kBlue);
    surface.Rectangle(6, 6, 2, 2);
    EXPECT_EQ(bitmap.PixelAt(2, 2), kBlue);
    EXPECT_EQ(bitmap.PixelAt(5, 5), kBlue);
    EXPECT_EQ(bitmap.PixelAt(6, 6), kWhite);
}

TEST_F(GdiTest, LineToLeavesOutItsEndPointInEveryDirection) {
    DrawingSurface surface(bitmap);
    surface.SelectPen(kBlack);
    surface.MoveTo(1, 1);
    surface.LineTo(6, 1);  // right
    EXPECT_EQ(bitmap.PixelAt(1, 1), kBlack);
    EXPECT_EQ(bitmap.PixelAt(5, 1), kBlack);
    EXPECT_EQ(bitmap.PixelAt(6, 1), kWhite);

    surface.LineTo(6, 5);  // down, from the current position
    EXPECT_EQ(bitmap.PixelAt(6, 1), kBlack);
    EXPECT_EQ(bitmap.PixelAt(6, 4), kBlack);
    EXPECT_EQ(bitmap.PixelAt(6, 5), kWhite);

    surface.LineTo(2, 9);  // diagonal down-left
    EXPECT_EQ(bitmap.PixelAt(6, 5), kBlack);
    EXPECT_EQ(bitmap.PixelAt(5, 6), kBlack);
    EXPECT_EQ(bitmap.PixelAt(3, 8), kBlack);
    EXPECT_EQ(bitmap.PixelAt(2, 9), kWhite);
    EXPECT_EQ(Inked().size(), 5u + 4u + 4u);
}

TEST_F(GdiTest, LineToWithoutPenOnlyMovesThePosition) {
    DrawingSurface surface(bitmap);
    surface.MoveTo(0, 0);
    surface.LineTo(10, 0);
    surface.SelectPen(kBlack);
    surface.LineTo(10, 3);
    EXPECT_EQ(bitmap.PixelAt(5, 0), kWhite);
    EXPECT_EQ(bitmap.PixelAt(10, 0), kBlack);
    EXPECT_EQ(Inked().size(), 3u);
}

TEST_F(GdiTest, ShallowLineHasOnePixelPerColumnAndMovesSteadily) {
    DrawingSurface surface(bitmap);
    surface.SelectPen(kBlack);
    surface.MoveTo(0, 0);
    surface.LineTo(9, 3);
    const std::vector<Point> points = Inked();
    ASSERT_EQ(points.size(), 9u);
    std::vector<int> rowOfColumn(9, -1);
    for (const Point point : points) {
        ASSERT_LT(point.x, 9);
        EXPECT_EQ(rowOfColumn[point.x], -1) << "two pixels in column " << point.x;
        rowOfColumn[point.x] = point.y;
    }
    EXPECT_EQ(rowOfColumn[0], 0);
    for (int x = 1; x < 9; ++x) {
        EXPECT_GE(rowOfColumn[x], rowOfColumn[x - 1]);
        EXPECT_LE(rowOfColumn[x] - rowOfColumn[x - 1], 1);
        EXPECT_LE(rowOfColumn[x], 3);
    }
}

TEST_F(GdiTest, ClosedPolylineDrawsEveryCornerOnce) {
    DrawingSurface surface(bitmap);
    surface.SelectPen(kRed);
    const Point outline[] = {{2, 2}, {8, 2}, {8, 6}, {2, 6}, {2, 2}};
    surface.Polyline(outline, 5);
    for (const Point corner : {Point{2, 2}, Point{8, 2}, Point{8, 6}, Point{2, 6}}) {
        EXPECT_EQ(bitmap.PixelAt(corner.x, corner.y), kRed) << corner.x << "," << corner.y;
    }
    EXPECT_EQ(bitmap.PixelAt(5, 4), kWhite);
    EXPECT_EQ(bitmap.PixelAt(9, 2), kWhite);
    EXPECT_EQ(Inked().size(), 2u * (6u + 4u));
}

TEST_F(GdiTest, DrawingStaysInsideTheClipAndReportsTheClippedArea) {
    QImage image(30, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    std::vector<Rect> reports;
    DrawingSurface surface(image, Point{5, 5}, Rect{10, 10, 20, 20},
                           [&reports](const Rect& changed) { reports.push_back(changed); });
    surface.SelectBrush(kBlue);
    surface.Rectangle(0, 0, 10, 10);  // image (5,5)-(15,15)
    EXPECT_EQ(image.pixel(9, 9), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(10, 10), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(14, 14), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(15, 15), qRgb(255, 255, 255));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (Rect{10, 10, 15, 15}));

    surface.Rectangle(20, 20, 25, 25);  // wholly outside the clip
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(surface.RectVisible(Rect{0, 0, 5, 5}));  // ends where the clip begins
    EXPECT_TRUE(surface.RectVisible(Rect{0, 0, 6, 6}));
    EXPECT_EQ(surface.ClipBox(), (Rect{5, 5, 15, 15}));
}

// A bottom-up 24-bit block whose pixel (x, memory row r) is RGB(10 x, 10 r, 7), rows padded.
std::vector<std::uint8_t> NumberedBlock(int width, int height, BitmapInfo* info) {
    const int stride = ((width * 3 + 3) / 4) * 4;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &bits[static_cast<std::size_t>(row) * stride + x * 3];
            pixel[0] = 7;
            pixel[1] = static_cast<std::uint8_t>(10 * row);
            pixel[2] = static_cast<std::uint8_t>(10 * x);
        }
    }
    *info = BitmapInfo{};
    info->bmiHeader.biSize = 40;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 24;
    info->bmiHeader.biCompression = BI_RGB;
    return bits;
}

TEST_F(GdiTest, StretchDIBitsPutsTheFirstMemoryRowAtTheBottom) {
    BitmapInfo info;
    const auto bits = NumberedBlock(3, 4, &info);  // 9 bytes a row, padded to 12
    DrawingSurface surface(bitmap);
    surface.StretchDIBits(5, 5, 3, 4, 0, 0, 3, 4, bits.data(), info);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(bitmap.PixelAt(5 + x, 5 + y), Rgb(10 * x, 10 * (3 - y), 7)) << x << "," << y;
        }
    }
    EXPECT_EQ(bitmap.PixelAt(4, 5), kWhite);
    EXPECT_EQ(bitmap.PixelAt(8, 8), kWhite);
    EXPECT_EQ(bitmap.PixelAt(5, 9), kWhite);
}

TEST_F(GdiTest, StretchDIBitsCopiesAThumbnailPixelForPixelIntoItsFrame) {
    Bitmap frame(90, 70);
    frame.Image().fill(Qt::white);
    BitmapInfo info;
    const auto bits = NumberedBlock(80, 60, &info);
    DrawingSurface surface(frame);
    surface.StretchDIBits(5, 5, 80, 60, 0, 0, 80, 60, bits.data(), info);
    int mismatches = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            const int r = (10 * x) & 0xFF;
            const int g = (10 * (59 - y)) & 0xFF;
            mismatches += frame.PixelAt(5 + x, 5 + y) != Rgb(r, g, 7);
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(frame.PixelAt(4, 4), kWhite);
    EXPECT_EQ(frame.PixelAt(85, 65), kWhite);
    EXPECT_EQ(frame.PixelAt(84, 64), Rgb((10 * 79) & 0xFF, 0, 7));
}

TEST_F(GdiTest, StretchDIBitsReadsATopDownBlockFromTheTopAndScalesByNearestPixel) {
    BitmapInfo info;
    const auto bits = NumberedBlock(2, 2, &info);
    info.bmiHeader.biHeight = -2;
    DrawingSurface surface(bitmap);
    surface.StretchDIBits(0, 0, 4, 4, 0, 0, 2, 2, bits.data(), info);
    EXPECT_EQ(bitmap.PixelAt(0, 0), Rgb(0, 0, 7));
    EXPECT_EQ(bitmap.PixelAt(1, 1), Rgb(0, 0, 7));
    EXPECT_EQ(bitmap.PixelAt(2, 1), Rgb(10, 0, 7));
    EXPECT_EQ(bitmap.PixelAt(3, 3), Rgb(10, 10, 7));
    EXPECT_EQ(bitmap.PixelAt(0, 2), Rgb(0, 10, 7));
    EXPECT_EQ(bitmap.PixelAt(4, 0), kWhite);
}

TEST_F(GdiTest, StretchDIBitsIgnoresUnsupportedBlocksAndNeverReadsPastOne) {
    BitmapInfo info;
    auto bits = NumberedBlock(3, 2, &info);
    DrawingSurface surface(bitmap);
    info.bmiHeader.biBitCount = 8;
    surface.StretchDIBits(0, 0, 3, 2, 0, 0, 3, 2, bits.data(), info);
    EXPECT_TRUE(Inked().empty());

    info.bmiHeader.biBitCount = 24;
    // A source rectangle twice the block's size: only the part over the block is drawn.
    surface.StretchDIBits(0, 0, 6, 4, 0, 0, 6, 4, bits.data(), info);
    EXPECT_EQ(bitmap.PixelAt(2, 2), Rgb(20, 10, 7));
    EXPECT_EQ(bitmap.PixelAt(3, 2), kWhite);
    EXPECT_EQ(bitmap.PixelAt(2, 1), kWhite);
}

TEST_F(GdiTest, BitBltCopiesThePartThatFitsAndDrawBitmapIsUnscaled) {
    Bitmap source(4, 3);
    {
        DrawingSurface paint(source);
        paint.SelectBrush(kBlue);
        paint.Rectangle(0, 0, 4, 3);
        paint.SelectBrush(kRed);
        paint.Rectangle(2, 1, 4, 3);
    }
    DrawingSurface surface(bitmap);
    surface.BitBlt(-1, 10, 4, 3, source, 1, 0);  // the left column falls off the image
    EXPECT_EQ(bitmap.PixelAt(0, 10), kBlue);     // source (2, 0)
    EXPECT_EQ(bitmap.PixelAt(1, 11), kRed);      // source (3, 1)
    EXPECT_EQ(bitmap.PixelAt(2, 11), kWhite);    // past the source's right edge
    surface.DrawBitmap(source, 20, 13);
    EXPECT_EQ(bitmap.PixelAt(20, 13), kBlue);
    EXPECT_EQ(bitmap.PixelAt(23, 15), kRed);
    EXPECT_EQ(Inked().size(), 2u * 3u + 4u * 3u);
}

TEST_F(GdiTest, BaselineCentredTextInksAroundItsReferencePoint) {
    Bitmap button(86, 30);
    button.Image().fill(Qt::white);
    DrawingSurface surface(button);
    surface.SetTextAlign(TA_BASELINE | TA_CENTER);
    surface.SetBkMode(TRANSPARENT);
    surface.SetTextColor(kBlack);
    surface.TextOut(36, 20, "640x480");

    const QFontMetrics metrics(DefaultUiFont());
    const int width = metrics.horizontalAdvance(QStringLiteral("640x480"));
    Rect ink{1000, 1000, -1, -1};
    int otherColours = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 86; ++x) {
            const Color pixel = button.PixelAt(x, y);
            if (pixel == kBlack) {
                ink = Rect{std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
                           std::max(ink.bottom, y + 1)};
            } else if (pixel != kWhite) {
                ++otherColours;
            }
        }
    }
    EXPECT_EQ(otherColours, 0);  // no background box, no smoothing
    ASSERT_FALSE(IsRectEmpty(ink));
    EXPECT_GE(ink.left, 36 - width / 2 - 1);
    EXPECT_LE(ink.right, 36 - width / 2 + width + 1);
    EXPECT_LE(std::abs((ink.left + ink.right) / 2 - 36), 2);
    EXPECT_GE(ink.top, 20 - metrics.ascent());
    EXPECT_LE(ink.bottom, 20 + 1);  // digits sit on the baseline
    EXPECT_GE(ink.Height(), 6);
}

TEST_F(GdiTest, OpaqueTextFillsItsBoxWithTheBackgroundColour) {
    DrawingSurface surface(bitmap);
    surface.SetBkColor(kBlue);
    surface.SetTextColor(kBlack);
    surface.TextOut(0, 0, "1");
    EXPECT_EQ(bitmap.PixelAt(0, 0), kBlue);  // TA_TOP | TA_LEFT: the box starts at (0, 0)
}

TEST(BitmapResources, SkinAndFacesLoadAtTheirSizesAndUnknownIdsAreNull) {
    const auto skin = Bitmap::LoadResource(129);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin->Width(), 640);
    EXPECT_EQ(skin->Height(), 595);
    const auto face = Bitmap::LoadResource(130);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->Width(), 40);
    EXPECT_EQ(face->Height(), 30);
    const auto resolution = Bitmap::LoadResource(134);
    ASSERT_NE(resolution, nullptr);
    EXPECT_EQ(resolution->Width(), 86);
    EXPECT_EQ(Bitmap::LoadResource(9999), nullptr);
}

}  // namespace
