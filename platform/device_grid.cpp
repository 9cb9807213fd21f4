#include "platform/device_grid.h"

#include <algorithm>
#include <cmath>

namespace {

// A pointer position converted to device units may miss its whole device pixel by a rounding
// error (a position of 100 device pixels given as 66.666... logical ones); this much is taken
// as the pixel itself.
constexpr double kPositionTolerance = 1e-6;

}  // namespace

DeviceGrid::DeviceGrid(double scale, Point origin)
    : m_scale(std::isfinite(scale) && scale > 0.0 ? scale : 1.0), m_origin(origin) {
    m_originDevice = Point{Edge(origin.x), Edge(origin.y)};
    m_penWidth = std::max(1, static_cast<int>(std::lround(m_scale)));
}

int DeviceGrid::Edge(int logical) const {
    return static_cast<int>(std::floor(logical * m_scale + 0.5));
}

// The largest x whose edge lies at or before the device pixel: a first guess from the inverse,
// corrected against Edge itself so that the two can never disagree.
int DeviceGrid::Logical(int device) const {
    int x = static_cast<int>(std::floor((device + 0.5) / m_scale));
    while (Edge(x) > device) {
        --x;
    }
    while (Edge(x + 1) <= device) {
        ++x;
    }
    return x;
}

Rect DeviceGrid::ToDevice(const Rect& logical) const {
    return Rect{X(logical.left), Y(logical.top), X(logical.right), Y(logical.bottom)};
}

Rect DeviceGrid::ToLogicalOutward(const Rect& device) const {
    if (IsRectEmpty(device)) {
        return Rect{};
    }
    // The last device pixel's logical pixel, plus one, is the exclusive edge.
    return Rect{LogicalX(device.left), LogicalY(device.top), LogicalX(device.right - 1) + 1,
                LogicalY(device.bottom - 1) + 1};
}

Point DeviceGrid::PixelAt(double x, double y) const {
    const int deviceX =
        static_cast<int>(std::floor(x * m_scale + SubpixelX() + kPositionTolerance));
    const int deviceY =
        static_cast<int>(std::floor(y * m_scale + SubpixelY() + kPositionTolerance));
    return Point{LogicalX(deviceX), LogicalY(deviceY)};
}

bool DeviceGrid::SameMapping(const DeviceGrid& other) const {
    constexpr double kSame = 1e-9;
    return m_scale == other.m_scale && std::abs(SubpixelX() - other.SubpixelX()) < kSame &&
           std::abs(SubpixelY() - other.SubpixelY()) < kSame;
}
