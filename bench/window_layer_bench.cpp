// The window layer's costs: repainting one thumbnail frame against the whole client area,
// composing a thumbnail the way the strip does, and the live picture's conversion on the
// streaming thread and its paint on the user-interface thread.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/dialog.h"
#include "platform/dialog_window.h"
#include "platform/preview_surface.h"
#include "resources/dialog_layout.h"
#include "support/doubles/headless_harness.h"

namespace {

class PlainDialog : public DialogBase {
public:
    using DialogBase::DialogBase;
};

void BM_RepaintOneThumbnailFrame(benchmark::State& state) {
    HeadlessHarness harness;
    PlainDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    const Rect frame{8, 519, 98, 589};
    for (auto _ : state) {
        harness.Window().InvalidateRect(&frame);
        harness.Window().UpdateWindow();
    }
    harness.Stop();
}
BENCHMARK(BM_RepaintOneThumbnailFrame);

void BM_RepaintWholeWindow(benchmark::State& state) {
    HeadlessHarness harness;
    PlainDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    for (auto _ : state) {
        harness.Window().InvalidateRect(nullptr);
        harness.Window().UpdateWindow();
    }
    harness.Stop();
}
BENCHMARK(BM_RepaintWholeWindow);

// One unselected thumbnail: background, eight ramp lines, the white border, the picture, and
// the copy of the finished frame into the window.
void BM_ComposeThumbnailFrame(benchmark::State& state) {
    HeadlessHarness harness;
    PlainDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    std::vector<std::uint8_t> pixels(14400, 0x5A);
    BitmapInfo info;
    info.bmiHeader = BitmapInfoHeader{40, 80, 60, 1, 24, BI_RGB, 14400, 0, 0, 0, 0};
    for (auto _ : state) {
        Bitmap offscreen(90, 70);
        DrawingSurface surface(offscreen);
        surface.SelectPen(Rgb(99, 99, 99));
        surface.SelectBrush(Rgb(99, 99, 99));
        surface.Rectangle(0, 0, 90, 70);
        for (int k = 0; k < 8; ++k) {
            surface.SelectPen(Rgb(73 + 3 * k, 73 + 3 * k, 73 + 3 * k));
            surface.MoveTo(0, k);
            surface.LineTo(90, k);
        }
        surface.SelectPen(Rgb(255, 255, 255));
        surface.Rectangle(4, 4, 86, 66);
        surface.StretchDIBits(5, 5, 80, 60, 0, 0, 80, 60, pixels.data(), info);
        DrawingSurface window = harness.Window().GetDC();
        window.BitBlt(8, 519, 90, 70, offscreen, 0, 0);
    }
    harness.Stop();
}
BENCHMARK(BM_ComposeThumbnailFrame);

// The streaming thread's share of the live picture: conversion (and scaling) of one frame.
void BM_PresentFrame(benchmark::State& state) {
    EnsureQtApplication();
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int shown = width == 320 ? 320 : 640;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 2, 0x80);
    PreviewSurface preview;
    preview.Place(Rect{0, 0, shown, shown * 3 / 4});
    for (auto _ : state) {
        preview.Present(frame.data(), width, height, width * 2);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PresentFrame)->Args({320, 240})->Args({640, 480})->Args({1280, 1024});

// The user-interface thread's share: taking the newest frame and painting it into the window.
void BM_PaintVideo640x480(benchmark::State& state) {
    HeadlessHarness harness;
    PlainDialog dialog(MainDialogLayout(), harness.Services());
    harness.Start(dialog);
    PreviewSurface& preview = harness.Window().Preview();
    preview.Place(Rect{0, 0, 640, 480});
    std::vector<std::uint8_t> frame(640 * 480 * 2, 0x80);
    for (auto _ : state) {
        state.PauseTiming();
        preview.Present(frame.data(), 640, 480, 640 * 2);
        state.ResumeTiming();
        harness.Window().PaintPreview();
    }
    harness.Stop();
}
BENCHMARK(BM_PaintVideo640x480);

}  // namespace

BENCHMARK_MAIN();
