// The picture list of the started main window: the start-up scan with its listing, the strip's
// scroll state, the sweep, and snapshots from the camera's latest frame.

#include <gtest/gtest.h>

#include <filesystem>

#include "capture/frame_double_buffer.h"
#include "picture_test_support.h"
#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/yuy2_conversion.h"
#include "platform/dialog_window.h"
#include "platform/scroll_bar.h"
#include "support/process_resources.h"
#include "support/webcam_fixture.h"

namespace {

using picture_test::Bgr;
using picture_test::Near;
using picture_test::Solid;

class PictureWindow : public ::testing::Test, public WebcamFixture {
protected:
    std::string FileOf(int number) const {
        return (PicturesDir() / PictureFileName(number)).string();
    }
    void AddJpeg(int number, Bgr colour = Solid(30, 160, 200)) {
        ASSERT_TRUE(picture_test::WriteJpeg(FileOf(number), 160, 120,
                                            [colour](int, int) { return colour; }));
    }
    std::vector<int> Listed() const {
        std::vector<int> numbers;
        for (int i = 0; i < dialog->m_nThumbCount; ++i) {
            numbers.push_back(dialog->m_thumbs[i].nNumber);
        }
        return numbers;
    }
    std::string FileList() const { return ReadWholeFile(WorkDir() / "FileList.txt"); }
    std::string Header() const { return "檢查在目錄 " + PicturesDir().string() + "\n"; }
};

TEST_F(PictureWindow, TheListingNamesEveryPictureAndEndsWithTheCount) {
    EnableLog();
    AddJpeg(1);
    AddJpeg(2);
    ASSERT_TRUE(StartAndFinishScan());
    EXPECT_EQ(Listed(), (std::vector<int>{1, 2}));
    EXPECT_EQ(dialog->m_nNextPictureNumber, 3);
    EXPECT_EQ(FileList(), Header() + "Picture0001.jpg\nPicture0002.jpg\n    總共有 2個圖檔");
}

TEST_F(PictureWindow, ADamagedPictureIsLoggedListedAndSkipped) {
    EnableLog();
    AddJpeg(1);
    WriteWholeFile(FileOf(2), "not a picture");
    AddJpeg(3);
    ASSERT_TRUE(StartAndFinishScan());
    EXPECT_EQ(Listed(), (std::vector<int>{1, 3}));
    EXPECT_EQ(dialog->m_thumbs[2].nNumber, 0);
    EXPECT_EQ(dialog->m_nNextPictureNumber, 4);
    EXPECT_EQ(FileList(), Header() +
                              "Picture0001.jpg\nPicture0002.jpg\nPicture0003.jpg\n"
                              "    總共有 2個圖檔");
    EXPECT_NE(Log().find("ReadInSmallPic \n" + FileOf(2) + "\n error, load jpeg failure"),
              std::string::npos);
}

TEST_F(PictureWindow, NoListingWithoutTheLogAndAnEmptyFolderStartsAtOne) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(std::filesystem::exists(WorkDir() / "FileList.txt"));
    EXPECT_EQ(dialog->m_nThumbCount, 0);
    EXPECT_EQ(dialog->m_nNextPictureNumber, 1);
    EXPECT_FALSE(harness.Window().ScrollBar().enabled);
}

TEST_F(PictureWindow, TheStripShowsTheLastSixPictures) {
    for (const auto& [count, enabled, first, position] :
         {std::tuple{6, false, 0, 0}, {7, true, 1, 1}, {14, true, 8, 2}}) {
        WebcamFixture fixture;
        for (int number = 1; number <= count; ++number) {
            ASSERT_TRUE(
                picture_test::WriteJpeg((fixture.PicturesDir() / PictureFileName(number)).string(),
                                        80, 60, [](int, int) { return Solid(1, 2, 3); }));
        }
        ASSERT_TRUE(fixture.Start());
        const ScrollBarState& bar = fixture.harness.Window().ScrollBar();
        EXPECT_EQ(fixture.dialog->m_nThumbCount, count);
        EXPECT_EQ(bar.enabled, enabled) << count;
        EXPECT_EQ(fixture.dialog->m_nFirstThumb, first) << count;
        if (enabled) {
            EXPECT_EQ(bar.minimum, 0);
            EXPECT_EQ(bar.maximum, position) << count;
            EXPECT_EQ(bar.position, position) << count;
            EXPECT_EQ(fixture.dialog->m_nScrollPos, position);
        }
    }
}

TEST_F(PictureWindow, TheSweepDropsPicturesWhoseFileIsGoneOrRenamed) {
    for (int number = 1; number <= 4; ++number) {
        AddJpeg(number);
    }
    ASSERT_TRUE(Start());
    EXPECT_FALSE(dialog->SweepMissingPictures());

    std::filesystem::remove(FileOf(2));
    std::filesystem::rename(FileOf(4), PicturesDir() / "Holiday.jpg");
    EXPECT_TRUE(dialog->SweepMissingPictures());
    EXPECT_EQ(Listed(), (std::vector<int>{1, 3}));
    EXPECT_EQ(dialog->m_nNextPictureNumber, 4);
    EXPECT_EQ(dialog->m_thumbs[2].nNumber, 0);
    EXPECT_FALSE(dialog->SweepMissingPictures());
}

TEST_F(PictureWindow, NoPicturesFolderIsLoggedAndRefusesSnapshots) {
    variables.erase("HOME");
    environment.picturesDirOverride.reset();
    EnableLog();
    ASSERT_TRUE(Start());
    EXPECT_TRUE(dialog->m_szPictureDir.empty());
    EXPECT_NE(Log().find("Error in FindFileInDocument"), std::string::npos);

    std::vector<std::uint8_t> frame(640 * 480 * 2, 128);
    dialog->m_nResolution = 1;
    dialog->m_bAcceptFrames.store(true);
    ASSERT_EQ(media.DeliverFrame(frame.data(), static_cast<std::int32_t>(frame.size())), 0);
    dialog->TakeSnapshot();
    EXPECT_EQ(dialog->m_nThumbCount, 0);
    EXPECT_NE(Log().find("TakeSnapshot: no picture folder"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("/Picture0001.jpg"));
}

// ---- Snapshots ----

// A YUY2 frame whose top half and bottom half have their own colour.
struct TwoToneFrame {
    TwoToneFrame(int width, int height, const std::uint8_t (&top)[4],
                 const std::uint8_t (&bottom)[4])
        : bytes(static_cast<std::size_t>(width) * height * 2) {
        for (int y = 0; y < height; ++y) {
            for (int pair = 0; pair < width / 2; ++pair) {
                const std::uint8_t* quad = y < height / 2 ? top : bottom;
                std::copy(quad, quad + 4,
                          &bytes[(static_cast<std::size_t>(y) * width + 2 * pair) * 2]);
            }
        }
        ConvertYuy2Pair(top, topBgr);
        ConvertYuy2Pair(bottom, bottomBgr);
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t topBgr[6];
    std::uint8_t bottomBgr[6];
};

constexpr std::uint8_t kReddish[4] = {82, 90, 82, 240};
constexpr std::uint8_t kBluish[4] = {41, 240, 41, 110};

class Snapshot : public PictureWindow {
protected:
    void SetUp() override {
        ASSERT_TRUE(Start());
        dialog->m_nResolution = 1;
    }
    // The constructor decides about the log, so a test that reads it starts the window again.
    void RestartWithLog() {
        EnableLog();
        harness.Stop();
        dialog.reset();
        ASSERT_TRUE(Start());
        dialog->m_nResolution = 1;
    }
    void Deliver(TwoToneFrame& frame) {
        dialog->m_bAcceptFrames.store(true);
        ASSERT_EQ(
            media.DeliverFrame(frame.bytes.data(), static_cast<std::int32_t>(frame.bytes.size())),
            0);
    }
    static bool Matches(const std::uint8_t* bgr, const std::uint8_t* expected, int tolerance) {
        return Near(bgr[0], expected[0], tolerance) && Near(bgr[1], expected[1], tolerance) &&
               Near(bgr[2], expected[2], tolerance);
    }
    TwoToneFrame frame{640, 480, kReddish, kBluish};
};

TEST_F(Snapshot, StoresAnUprightJpegAndAddsTheLastRecord) {
    AddJpeg(4);
    dialog->FindFileInDocument();
    ASSERT_EQ(Listed(), (std::vector<int>{4}));
    Deliver(frame);
    dialog->TakeSnapshot();

    ASSERT_EQ(Listed(), (std::vector<int>{4, 5}));
    EXPECT_EQ(dialog->m_nNextPictureNumber, 6);
    EXPECT_TRUE(dialog->m_bAcceptFrames.load());  // the gate is open again
    picture_test::Image stored(FreeImage_Load(FIF_JPEG, FileOf(5).c_str(), 0));
    ASSERT_TRUE(stored);
    EXPECT_EQ(FreeImage_GetWidth(stored.get()), 640u);
    EXPECT_EQ(FreeImage_GetHeight(stored.get()), 480u);
    // Scan line 0 is the picture's bottom row as every viewer shows it.
    const BYTE* bottomRow = FreeImage_GetScanLine(stored.get(), 10);
    const BYTE* topRow = FreeImage_GetScanLine(stored.get(), 470);
    EXPECT_TRUE(Matches(topRow + 3 * 320, frame.topBgr, 6));
    EXPECT_TRUE(Matches(bottomRow + 3 * 320, frame.bottomBgr, 6));

    // The capture thumbnail and the one loaded later from the file stand the same way: the
    // block's first row (drawn at the bottom) comes from the bottom of the picture.
    const std::uint8_t* captured = dialog->m_thumbs[1].pPixels;
    EXPECT_TRUE(Matches(captured + 3 * 40, frame.bottomBgr, 0));
    EXPECT_TRUE(Matches(captured + 59 * kThumbRowBytes + 3 * 40, frame.topBgr, 0));
    // With a work buffer of the test's own: the dialog's are the background loading's.
    std::vector<std::uint8_t> work(kLoaderBufferBytes);
    std::vector<std::uint8_t> loaded(kThumbBlockBytes);
    ASSERT_EQ(LoadPictureThumbnail(FileOf(5).c_str(), work, loaded.data()), LoadStatus::Loaded);
    EXPECT_TRUE(Matches(loaded.data() + 3 * 40, frame.bottomBgr, 6));
    EXPECT_TRUE(Matches(loaded.data() + 59 * kThumbRowBytes + 3 * 40, frame.topBgr, 6));
}

TEST_F(Snapshot, APictureTakenJoinsTheThumbnailCache) {
    Deliver(frame);
    dialog->TakeSnapshot();
    ASSERT_EQ(Listed(), (std::vector<int>{1}));
    dialog->m_cache->Flush();
    const std::optional<PictureFileKey> key = dialog->m_cache->KeyOf(PictureFileName(1));
    ASSERT_TRUE(key);
    std::vector<std::uint8_t> kept(kThumbBlockBytes);
    std::vector<std::uint8_t> loaded(kThumbBlockBytes);
    ASSERT_TRUE(dialog->m_cache->Find(*key, kept.data()));
    // What the cache keeps is what loading the stored file gives.
    std::vector<std::uint8_t> work(kLoaderBufferBytes);
    ASSERT_EQ(LoadPictureThumbnail(FileOf(1).c_str(), work, loaded.data()), LoadStatus::Loaded);
    EXPECT_EQ(kept, loaded);
    EXPECT_FALSE(std::filesystem::is_empty(WorkDir() / ".cache" / "lumisight-webcam"));
}

TEST_F(Snapshot, AnExistingFileIsLeftAloneAndTheNextFreeNumberIsUsed) {
    AddJpeg(1);
    dialog->FindFileInDocument();
    WriteWholeFile(FileOf(2), "a picture the list has not seen");
    Deliver(frame);
    dialog->TakeSnapshot();
    EXPECT_EQ(Listed(), (std::vector<int>{1, 3}));
    EXPECT_EQ(ReadWholeFile(FileOf(2)), "a picture the list has not seen");
    EXPECT_TRUE(std::filesystem::exists(FileOf(3)));
    EXPECT_EQ(dialog->m_nNextPictureNumber, 4);
}

TEST_F(Snapshot, AFrameOfAnotherSizeIsNotUsed) {
    RestartWithLog();
    dialog->m_nResolution = 2;  // a 640 x 480 frame is still the latest after the change
    Deliver(frame);
    dialog->TakeSnapshot();
    EXPECT_EQ(dialog->m_nThumbCount, 0);
    EXPECT_TRUE(std::filesystem::is_empty(PicturesDir()));
    EXPECT_NE(Log().find("TakeSnapshot: the latest frame does not have the selected size"),
              std::string::npos);
    EXPECT_TRUE(dialog->m_bAcceptFrames.load());
}

TEST_F(Snapshot, AMissingFolderIsCreatedAndAFullListRefused) {
    RestartWithLog();
    std::filesystem::remove_all(PicturesDir());
    Deliver(frame);
    dialog->TakeSnapshot();
    EXPECT_EQ(Listed(), (std::vector<int>{1}));
    EXPECT_TRUE(std::filesystem::exists(FileOf(1)));

    dialog->m_nThumbCount = kThumbnailCapacity;
    dialog->TakeSnapshot();
    EXPECT_EQ(dialog->m_nThumbCount, kThumbnailCapacity);
    EXPECT_FALSE(std::filesystem::exists(FileOf(2)));
    EXPECT_NE(Log().find("TakeSnapshot: all 10000 picture records are in use"), std::string::npos);
    dialog->m_nThumbCount = 1;
}

TEST_F(Snapshot, AFailedSaveAddsNoRecord) {
    RestartWithLog();
    std::filesystem::remove_all(PicturesDir());
    WriteWholeFile(PicturesDir(), "a file where the folder should be");
    Deliver(frame);
    dialog->TakeSnapshot();
    EXPECT_EQ(dialog->m_nThumbCount, 0);
    EXPECT_EQ(dialog->m_nNextPictureNumber, 1);
    EXPECT_NE(Log().find("TakeSnapshot \n" + FileOf(1) + "\n error, save jpeg failure"),
              std::string::npos);
}

}  // namespace

namespace {

// The window started on a folder of pictures whose colour tells their number, their thumbnails
// still on their way: the loaded ones are only delivered when the test pumps the window's thread.
class BackgroundLoading : public Snapshot {
protected:
    static constexpr int kPictures = 150;
    void SetUp() override {
        for (int number = 1; number <= kPictures; ++number) {
            AddJpeg(number, Solid(static_cast<std::uint8_t>(number), 100, 50));
        }
        Snapshot::SetUp();
    }
    // Each listed picture's thumbnail is its own (the snapshot's excepted).
    void ExpectOwnThumbnails(int except) const {
        for (int i = 0; i < dialog->m_nThumbCount; ++i) {
            const ThumbnailRecord& record = dialog->m_thumbs[i];
            ASSERT_TRUE(record.pixelsReady) << record.nNumber;
            if (record.nNumber != except) {
                EXPECT_TRUE(Near(record.pPixels[3 * 200], record.nNumber, 3)) << record.nNumber;
            }
        }
    }
};

TEST_F(BackgroundLoading, SnapshotDeleteAndSweepWhileThumbnailsAreStillComing) {
    ASSERT_NE(dialog->m_scan, nullptr);
    Deliver(frame);
    dialog->TakeSnapshot();
    dialog->m_thumbs[10].bSelected = true;  // picture 11
    dialog->m_bAnySelected = true;
    harness.MessageBoxes().QueueAnswer(IDYES);
    dialog->DeleteSelectedPictures();
    std::filesystem::remove(FileOf(20));
    EXPECT_TRUE(dialog->SweepMissingPictures());

    FinishScan();
    std::vector<int> expected;
    for (int number = 1; number <= kPictures; ++number) {
        if (number != 11 && number != 20) {
            expected.push_back(number);
        }
    }
    expected.push_back(kPictures + 1);  // the snapshot, after every listed picture
    EXPECT_EQ(Listed(), expected);
    ExpectOwnThumbnails(kPictures + 1);
    EXPECT_EQ(dialog->m_nNextPictureNumber, kPictures + 2);
    EXPECT_FALSE(std::filesystem::exists(FileOf(11)));
}

TEST_F(BackgroundLoading, ClosingDuringTheStartLeavesNoThreadAndNoHalfWrittenCache) {
    ASSERT_NE(dialog->m_scan, nullptr);
    ASSERT_TRUE(WaitUntil([] { return ThreadsNamed(ThumbnailLoader::kWorkerName) > 0; }));
    harness.Stop();  // the window's end while thumbnails are still on their way
    dialog.reset();
    // A joined thread leaves /proc a moment after the join.
    EXPECT_TRUE(WaitUntil([] {
        return ThreadsNamed(ThumbnailLoader::kWorkerName) +
                   ThreadsNamed(CachedThumbnails::kSaverName) ==
               0;
    }));
    const std::filesystem::path cache = WorkDir() / ".cache" / "lumisight-webcam";
    if (std::filesystem::exists(cache)) {
        for (const auto& entry : std::filesystem::directory_iterator(cache)) {
            EXPECT_TRUE(entry.path().extension() == ".cache") << entry.path();
        }
    }
}

}  // namespace
