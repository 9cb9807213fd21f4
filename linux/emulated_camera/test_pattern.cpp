#include "linux/emulated_camera/test_pattern.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace {

// BT.601 limited-range YUV of the eight classic colour bars, left to right: white, yellow,
// cyan, green, magenta, red, blue, black.
struct Yuv {
    std::uint8_t y, u, v;
};
constexpr std::array<Yuv, 8> kBars = {{{235, 128, 128},
                                       {210, 16, 146},
                                       {170, 166, 16},
                                       {145, 54, 34},
                                       {106, 202, 222},
                                       {81, 90, 240},
                                       {41, 240, 110},
                                       {16, 128, 128}}};
constexpr std::uint8_t kBlockLuma = 180;
constexpr std::uint8_t kNeutralChroma = 128;
constexpr int kBarStepPerFrame = 4;    // pixels to the left
constexpr int kBlockStepPerFrame = 3;  // rows down

std::uint8_t AdjustLuma(int y, const PatternSettings& settings) {
    const int contrasted = (y - 128) * settings.contrast / 128 + 128;
    return static_cast<std::uint8_t>(std::clamp(contrasted + settings.brightness - 128, 0, 255));
}

void PutPair(std::uint8_t* pair, std::uint8_t luma, std::uint8_t u, std::uint8_t v) {
    pair[0] = luma;
    pair[1] = u;
    pair[2] = luma;
    pair[3] = v;
}

// Both pixels of a pair take the bar under the pair's first pixel (its mirror image when
// mirrored).
void DrawBarsRow(std::uint8_t* row, int width, std::uint64_t frame,
                 const PatternSettings& settings) {
    const auto shift = static_cast<int>((frame * kBarStepPerFrame) % static_cast<unsigned>(width));
    for (int x = 0; x < width; x += 2) {
        const int source = settings.mirrored ? width - 1 - x : x;
        const Yuv& bar = kBars[static_cast<std::size_t>(((source + shift) % width) * 8 / width)];
        PutPair(row + x * 2, AdjustLuma(bar.y, settings), bar.u, bar.v);
    }
}

// A square of a sixth of the height, centred across, clipped to the picture.
void DrawBlock(std::uint8_t* yuyv, int width, int height, int stride, std::uint64_t frame,
               const PatternSettings& settings) {
    const int side = std::max(2, height / 6) & ~1;
    const int travel = height - side;
    const int top =
        travel > 0 ? static_cast<int>((frame * kBlockStepPerFrame) % static_cast<unsigned>(travel))
                   : 0;
    const int left = std::max(0, (width - side) / 2 & ~1);
    const int right = std::min(width, left + side);
    const int bottom = std::min(height, top + side);
    const std::uint8_t luma = AdjustLuma(kBlockLuma, settings);
    for (int y = top; y < bottom; ++y) {
        std::uint8_t* row = yuyv + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = left; x < right; x += 2) {
            PutPair(row + x * 2, luma, kNeutralChroma, kNeutralChroma);
        }
    }
}

}  // namespace

bool DrawTestPattern(std::uint8_t* yuyv, int width, int height, int stride, std::uint64_t frame,
                     const PatternSettings& settings) {
    if (yuyv == nullptr || width <= 0 || height <= 0 || width % 2 != 0 || stride < width * 2) {
        return false;
    }
    // Every row shows the same bars: the first is drawn, the others are copies of it.
    DrawBarsRow(yuyv, width, frame, settings);
    for (int y = 1; y < height; ++y) {
        std::memcpy(yuyv + static_cast<std::ptrdiff_t>(y) * stride, yuyv,
                    static_cast<std::size_t>(width) * 2);
    }
    DrawBlock(yuyv, width, height, stride, frame, settings);
    return true;
}
