#include "pictures/strip_navigation.h"

#include <algorithm>
#include <span>

#include "pictures/picture_numbering.h"
#include "platform/dialog_window.h"
#include "platform/scroll_bar.h"

namespace {

constexpr int kFramesShown = 6;

struct StripPlace {
    int first;     // record shown in frame 0
    int position;  // scroll-bar position
};

// Pages are aligned to the end of the list, so position 1 may overlap position 0.
int FirstThumbOfPage(int count, int scrollMax, int position) {
    return position == 0 ? 0 : count + kFramesShown * (position - scrollMax - 1);
}

StripPlace Scrolled(int code, int thumbPosition, int count, int scrollMax, StripPlace place) {
    int& first = place.first;
    int& position = place.position;
    switch (code) {
        case SB_LINELEFT:
            // The position follows a line step only roughly: once the strip has left its page.
            if (first > 0) {
                --first;
            }
            if (kFramesShown * position > first + 5) {
                --position;
            }
            break;
        case SB_LINERIGHT:
            if (first < count - kFramesShown) {
                ++first;
            }
            if (kFramesShown * position < first) {
                ++position;
            }
            break;
        case SB_PAGELEFT:
            position = std::max(position - 1, 0);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_PAGERIGHT:
            position = std::min(position + 1, scrollMax);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            // The bar keeps its thumb within the range; a position from elsewhere is held to it.
            position = std::clamp(thumbPosition, 0, scrollMax);
            first = FirstThumbOfPage(count, scrollMax, position);
            break;
        case SB_LEFT:
            position = 0;
            first = 0;
            break;
        case SB_RIGHT:
            position = scrollMax;
            first = count - kFramesShown;
            break;
        default:
            break;
    }
    return place;
}

}  // namespace

void UpdateThumbScroll(PictureList& list, DialogWindow* window, const Rect& strip) {
    list.m_nNextPictureNumber = NextPictureNumber(
        std::span<const ThumbnailRecord>(list.m_thumbs.data(), list.m_nThumbCount));
    const ThumbScroll scroll = ComputeThumbScroll(
        list.m_nThumbCount,
        ThumbScroll{false, list.m_nFirstThumb, list.m_nScrollMax, list.m_nScrollPos});
    list.m_nFirstThumb = scroll.firstThumb;
    list.m_nScrollMax = scroll.scrollMax;
    list.m_nScrollPos = scroll.scrollPos;
    if (window == nullptr) {
        return;
    }
    window->EnableScrollBar(scroll.enabled);
    if (scroll.enabled) {
        window->SetScrollRange(0, list.m_nScrollMax, false);
        window->SetScrollPos(list.m_nScrollPos, true);
    }
    if (list.m_nThumbCount != list.m_nLastStripLength) {
        list.m_nLastStripLength = list.m_nThumbCount;
        window->InvalidateRect(&strip, false);
    }
}

bool ScrollStrip(PictureList& list, int code, int position) {
    if (list.m_nThumbCount < kFramesShown + 1) {
        return false;
    }
    const StripPlace place = Scrolled(code, position, list.m_nThumbCount, list.m_nScrollMax,
                                      StripPlace{list.m_nFirstThumb, list.m_nScrollPos});
    list.m_nFirstThumb = place.first;
    list.m_nScrollPos = place.position;
    return true;
}
