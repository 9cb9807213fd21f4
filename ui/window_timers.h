#pragma once

// The main window's three timers: the strip is drawn 1 ms after a repaint (one-shot), the
// resolution button's face and label a few milliseconds after a change (one-shot, re-armed
// until the label could be drawn), and the sweep for vanished picture files runs every 3 s.

constexpr int TIMER_DRAW_STRIP = 99;
constexpr int TIMER_RESOLUTION_BUTTON = 100;
constexpr int TIMER_SWEEP = 500;

constexpr int kSweepPeriodMs = 3000;
