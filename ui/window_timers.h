#pragma once

// The main window's timers: the strip is drawn 1 ms after a repaint (one-shot), the resolution
// button's face and label a few milliseconds after a change (one-shot, re-armed until the label
// could be drawn), the sweep for vanished picture files runs every 3 s, while the camera is
// away it is looked for every second, and while it does not respond its stream is restarted
// every second.

constexpr int TIMER_DRAW_STRIP = 99;
constexpr int TIMER_RESOLUTION_BUTTON = 100;
constexpr int TIMER_SWEEP = 500;
constexpr int TIMER_CAMERA_RETRY = 600;
constexpr int TIMER_CAMERA_RESTART = 601;

constexpr int kSweepPeriodMs = 3000;
