#pragma once

// The window's horizontal scroll bar: the state the dialog gives it and the scroll codes its
// actions deliver to the dialog's horizontal scroll handler, with their classic values.

// What the scroll bar shows; the presenter mirrors it on a real QScrollBar.
struct ScrollBarState {
    bool enabled = true;
    int minimum = 0;
    int maximum = 0;
    int position = 0;
};

constexpr int SB_LINELEFT = 0;
constexpr int SB_LINERIGHT = 1;
constexpr int SB_PAGELEFT = 2;
constexpr int SB_PAGERIGHT = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_LEFT = 6;
constexpr int SB_RIGHT = 7;
constexpr int SB_ENDSCROLL = 8;
