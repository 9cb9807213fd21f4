#pragma once

// The started window for the strip and pointer tests: a CWebcamDlg on the headless window layer
// with the capture double, and helpers that put pictures into the list directly (a file in the
// Pictures folder and a record whose thumbnail is a pattern that names the picture).

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/dialog_window.h"
#include "support/webcam_fixture.h"
#include "ui/pointer.h"

namespace ui_test {

constexpr Color kCyan = Rgb(0, 203, 233);
constexpr Color kGrey = Rgb(99, 99, 99);
constexpr Color kWhite = Rgb(255, 255, 255);
constexpr Color kRed = Rgb(255, 0, 0);
constexpr int kRamp[8] = {73, 78, 83, 87, 90, 93, 97, 99};

// The colour of thumbnail pixel (x, y), counted from the top row, of picture `number`.
inline Color PatternColour(int number, int x, int y) {
    return Rgb((number * 37) % 256, (y * 4) % 256, (x * 3) % 256);
}

inline void FillPattern(std::uint8_t* block, int number) {
    for (int y = 0; y < kThumbHeight; ++y) {
        std::uint8_t* row = block + (kThumbHeight - 1 - y) * kThumbRowBytes;  // bottom-up
        for (int x = 0; x < kThumbWidth; ++x) {
            const Color colour = PatternColour(number, x, y);
            row[3 * x] = colour.b;
            row[3 * x + 1] = colour.g;
            row[3 * x + 2] = colour.r;
        }
    }
}

class StartedWindow : public ::testing::Test, public WebcamFixture {
protected:
    void SetUp() override {
        ResetHoverTracking();
        ASSERT_TRUE(Start());
        harness.Advance(10);
    }

    CWebcamDlg& Dlg() { return *dialog; }
    DialogWindow& Win() { return dialog->Window(); }

    std::string FileOf(int number) const {
        char name[32];
        std::snprintf(name, sizeof name, "Picture%04d.jpg", number);
        return (PicturesDir() / name).string();
    }

    // Lists pictures 1 to count (each with a file) and lets the strip show the list's end.
    void AddPictures(int count) {
        for (int i = 0; i < count; ++i) {
            ThumbnailRecord& record = Dlg().m_thumbs[i];
            record.nNumber = i + 1;
            record.bSelected = false;
            record.pixelsReady = true;
            FillPattern(record.pPixels, record.nNumber);
            WriteWholeFile(FileOf(record.nNumber), "picture");
        }
        Dlg().m_nThumbCount = count;
        Dlg().UpdateThumbScroll();
        harness.Advance(10);
    }

    std::vector<int> ListedNumbers() {
        std::vector<int> numbers;
        for (int i = 0; i < Dlg().m_nThumbCount; ++i) {
            numbers.push_back(Dlg().m_thumbs[i].nNumber);
        }
        return numbers;
    }
    std::vector<int> SelectedIndexes() {
        std::vector<int> selected;
        for (int i = 0; i < Dlg().m_nThumbCount; ++i) {
            if (Dlg().m_thumbs[i].bSelected) {
                selected.push_back(i);
            }
        }
        return selected;
    }

    Rect Frame(int i) { return Dlg().m_rcThumbFrame[i]; }
    Point FrameCentre(int i) { return Point{Frame(i).left + 45, Frame(i).top + 35}; }
    Point ButtonCentre(int b) {
        const Rect& r = Dlg().m_rcButton[b];
        return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    // Frame-relative pixel read-back.
    Color FramePixel(int i, int x, int y) {
        return harness.PixelAt(Frame(i).left + x, Frame(i).top + y);
    }
    const Bitmap* FaceShown(int b) { return Dlg().m_hwndButton[b]->Image(); }

    // A click on a button as the user makes it: the move that hovers it, then press and release.
    void ClickButton(int b) {
        harness.MouseMove(ButtonCentre(b));
        harness.Click(ButtonCentre(b));
        harness.Advance(10);
    }
    // The pointer leaves the buttons for the live picture.
    void MoveAway() {
        harness.MouseMove(Point{320, 200});
        harness.Advance(10);
    }
};

}  // namespace ui_test
