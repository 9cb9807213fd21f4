#include "platform/device_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct Scale {
    double scale;
    int penWidth;
};

class DeviceGridTest : public ::testing::TestWithParam<Scale> {};

// Neighbouring logical pixels tile the device pixels: every device pixel of the window belongs
// to exactly one logical pixel, each logical pixel covers at least one, and the pixel a device
// pixel maps back to is the one whose device area holds it.
TEST_P(DeviceGridTest, LogicalPixelsTileTheDevicePixelsAndMapBack) {
    const DeviceGrid grid(GetParam().scale);
    EXPECT_EQ(grid.X(0), 0);
    for (int x = -3; x < 700; ++x) {
        ASSERT_GE(grid.X(x + 1) - grid.X(x), 1) << x;
        EXPECT_EQ(grid.X(x), static_cast<int>(std::floor(x * GetParam().scale + 0.5))) << x;
        for (int d = grid.X(x); d < grid.X(x + 1); ++d) {
            ASSERT_EQ(grid.LogicalX(d), x) << "device " << d;
            ASSERT_EQ(grid.LogicalY(d), x) << "device " << d;
        }
    }
    EXPECT_EQ(grid.PenWidth(), GetParam().penWidth);
}

// A pointer anywhere in a device pixel, given in logical units as the toolkit gives it (the
// device position divided by the scale), hits the logical pixel drawn in that device pixel.
TEST_P(DeviceGridTest, PointerPositionsHitTheLogicalPixelDrawnUnderThem) {
    const DeviceGrid grid(GetParam().scale);
    for (int d = 0; d < 1300; ++d) {
        for (const double within : {0.0, 0.25, 0.99}) {
            const double logical = (d + within) / GetParam().scale;
            const Point hit = grid.PixelAt(logical, logical);
            ASSERT_EQ(hit.x, grid.LogicalX(d)) << "device " << d << " + " << within;
            ASSERT_EQ(hit.y, grid.LogicalY(d)) << "device " << d << " + " << within;
        }
    }
}

// An image anchored at a logical place maps its own coordinates as the window does there, so
// what it holds lines up pixel for pixel where it is shown.
TEST_P(DeviceGridTest, AnchoredGridLinesUpWithTheWindowsGrid) {
    const DeviceGrid window(GetParam().scale);
    for (const Point origin : {Point{0, 0}, Point{8, 519}, Point{114, 519}, Point{93, 483}}) {
        const DeviceGrid image = window.At(origin);
        const Point corner{window.X(origin.x), window.Y(origin.y)};
        for (int a = 0; a <= 90; ++a) {
            ASSERT_EQ(corner.x + image.X(a), window.X(origin.x + a)) << origin.x << " + " << a;
            ASSERT_EQ(corner.y + image.Y(a), window.Y(origin.y + a)) << origin.y << " + " << a;
        }
        const Rect device = image.ToDevice(Rect{0, 0, 90, 70});
        EXPECT_EQ(device.Width(), window.X(origin.x + 90) - window.X(origin.x));
        EXPECT_EQ(image.ToLogicalOutward(device), (Rect{0, 0, 90, 70}));
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, DeviceGridTest,
                         ::testing::Values(Scale{1.0, 1}, Scale{1.25, 1}, Scale{1.5, 2},
                                           Scale{1.75, 2}, Scale{2.0, 2}, Scale{3.0, 3}),
                         [](const auto& info) {
                             std::string name = std::to_string(info.param.scale);
                             name.erase(name.find_last_not_of("0.") + 1);
                             for (char& c : name) {
                                 c = c == '.' ? '_' : c;
                             }
                             return "x" + name;
                         });

TEST(DeviceGridScaleTest, AScaleThatIsNoScaleIsOne) {
    for (const double scale : {0.0, -2.0, std::nan("")}) {
        EXPECT_TRUE(DeviceGrid(scale).IsIdentity()) << scale;
    }
}

}  // namespace
