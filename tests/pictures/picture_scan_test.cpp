#include "pictures/picture_scan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "picture_test_support.h"
#include "pictures/picture_catalogue.h"
#include "pictures/picture_list.h"
#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "support/doubles/queued_tasks.h"
#include "support/process_resources.h"
#include "support/wait_until.h"

namespace {

using namespace picture_test;

std::vector<std::string> Names(const std::vector<PictureName>& names) {
    std::vector<std::string> out;
    for (const auto& name : names) {
        out.push_back(name.name);
    }
    return out;
}

// A picture whose colour tells its number: blue = number.
PixelAt NumberColour(int number) {
    return [number](int, int) { return Solid(static_cast<std::uint8_t>(number * 10), 128, 60); };
}

TEST(PictureListing, RegularPictureFilesByNumberOnce) {
    TempDir folder;
    for (const char* name :
         {"Picture0010.jpg", "Picture0002.jpg", "Picture12.jpg", "Picture0012.jpg",
          "Picture00012.jpg", "Picture0000.jpg", "Picture_old.jpg", "picture0003.jpg",
          "Picture0004.JPG", "Picture3000000000.jpg", "Other.jpg", "Picture10000.jpg"}) {
        WriteBytes(folder / name, "x");
    }
    ASSERT_EQ(mkdir((folder / "Picture0003.jpg").c_str(), 0755), 0);
    ASSERT_EQ(symlink((folder / "Picture0002.jpg").c_str(), (folder / "Picture0005.jpg").c_str()),
              0);
    ASSERT_EQ(symlink("nowhere", (folder / "Picture0006.jpg").c_str()), 0);

    const auto names = ListPictureFiles(folder.Path().string());
    EXPECT_EQ(Names(names),
              (std::vector<std::string>{"Picture0002.jpg", "Picture0005.jpg", "Picture0010.jpg",
                                        "Picture0012.jpg", "Picture10000.jpg"}));
    EXPECT_EQ(names.back().number, 10000);
    EXPECT_TRUE(ListPictureFiles(folder / "missing").empty());
}

// A picture list with its pool, scanned with the thumbnails handed over through a task queue
// that the test runs, as the window's thread would.
class PictureScanning : public ::testing::Test {
protected:
    PictureScanning() { EXPECT_TRUE(PrepareThumbnailPool(list, nullptr)); }
    ~PictureScanning() override { ReleaseThumbnailPool(list); }

    void WritePictures(std::initializer_list<int> numbers) {
        for (const int number : numbers) {
            ASSERT_TRUE(WriteJpeg((folder / PictureFileName(number)).string(), 160, 120,
                                  NumberColour(number)));
        }
    }
    // Lists the folder (up to `room` pictures) without delivering any thumbnail yet.
    void Begin(int room = kThumbnailCapacity) {
        list.m_szPictureDir = folder.Path().string();
        list.m_scan = std::make_unique<PictureScan>(
            list, ListPictureFiles(folder.Path().string()), tasks, [this] { ++notifications; },
            room);
    }
    // Delivers thumbnails as they arrive until every listed picture has been checked.
    void DeliverAll() {
        ASSERT_TRUE(WaitUntil(
            [this] {
                tasks.RunPending();
                list.m_scan->Deliver(list);
                return list.m_scan->Finished();
            },
            std::chrono::seconds(20)));
    }
    std::vector<int> Listed() const {
        std::vector<int> numbers;
        for (int i = 0; i < list.m_nThumbCount; ++i) {
            numbers.push_back(list.m_thumbs[i].nNumber);
        }
        return numbers;
    }
    // Each listed record shows its own picture's colour, or is still waiting.
    void ExpectOwnThumbnails() const {
        for (int i = 0; i < list.m_nThumbCount; ++i) {
            const ThumbnailRecord& record = list.m_thumbs[i];
            ASSERT_TRUE(record.pixelsReady) << record.nNumber;
            EXPECT_TRUE(Near(record.pPixels[3 * 200], record.nNumber * 10, 4)) << record.nNumber;
        }
    }
    // A record taken meanwhile, as a snapshot adds one: its own pixels, ready at once.
    void AppendTaken(int number) {
        ThumbnailRecord& record = list.m_thumbs[list.m_nThumbCount++];
        record.nNumber = number;
        record.pixelsReady = true;
        std::memset(record.pPixels, 7, kThumbBlockBytes);
    }

    LoggingInScratch scratch;
    TempDir folder;
    QueuedTasks tasks;
    PictureList list;
    int notifications = 0;
};

TEST_F(PictureScanning, NamesAreListedAtOnceAndEachThumbnailReachesItsOwnRecord) {
    WritePictures({1, 2, 4, 9});
    Begin();
    EXPECT_EQ(Listed(), (std::vector<int>{1, 2, 4, 9}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(list.m_thumbs[i].pixelsReady);
    }
    DeliverAll();
    EXPECT_GT(notifications, 0);
    ExpectOwnThumbnails();
    EXPECT_EQ(scratch.Read("FileList.txt"),
              "檢查在目錄 " + folder.Path().string() +
                  "\nPicture0001.jpg\nPicture0002.jpg\nPicture0004.jpg\nPicture0009.jpg\n"
                  "    總共有 4個圖檔");
}

TEST_F(PictureScanning, UnreadablePicturesLeaveTheListWithTheirLogLinesAndKeepTheOrder) {
    WritePictures({1, 2, 4, 5, 7});
    WriteBytes(folder / "Picture0003.jpg", "not a picture");
    WriteBytes(folder / "Picture0006.jpg", "");
    Begin();
    list.m_nAnchorThumb = 4;   // Picture0005.jpg
    list.m_nClickedThumb = 2;  // Picture0003.jpg, which goes
    DeliverAll();
    EXPECT_EQ(Listed(), (std::vector<int>{1, 2, 4, 5, 7}));
    ExpectOwnThumbnails();
    EXPECT_EQ(list.m_thumbs[list.m_nAnchorThumb].nNumber, 5);
    EXPECT_EQ(list.m_nClickedThumb, -1);
    for (const char* name : {"Picture0003.jpg", "Picture0006.jpg"}) {
        EXPECT_NE(scratch.Log().find("ReadInSmallPic \n" + (folder / name).string() +
                                     "\n error, load jpeg failure"),
                  std::string::npos)
            << name;
    }
    // Every name examined is in the listing, the failed ones too; five pictures were listed.
    const std::string listing = scratch.Read("FileList.txt");
    EXPECT_NE(listing.find("Picture0003.jpg\nPicture0004.jpg"), std::string::npos) << listing;
    EXPECT_TRUE(listing.ends_with("總共有 5個圖檔")) << listing;
}

// With room for three, a failed picture's place goes to the next one the list had no room for,
// after the scan's records and before a picture taken meanwhile; the rest are never examined.
TEST_F(PictureScanning, APictureWithoutRoomTakesTheFailedOnesPlace) {
    WritePictures({1, 3, 4, 5});
    WriteBytes(folder / "Picture0002.jpg", "broken");
    Begin(3);
    EXPECT_EQ(Listed(), (std::vector<int>{1, 2, 3}));
    AppendTaken(9);
    DeliverAll();
    EXPECT_EQ(Listed(), (std::vector<int>{1, 3, 4, 9}));
    EXPECT_EQ(scratch.Read("FileList.txt"),
              "檢查在目錄 " + folder.Path().string() +
                  "\nPicture0001.jpg\nPicture0002.jpg\nPicture0003.jpg\nPicture0004.jpg\n");
}

// A record removed while its thumbnail was on its way gets nothing, not even when a picture
// taken since has been given its number again.
TEST_F(PictureScanning, ThumbnailsOfRemovedRecordsAreDropped) {
    WritePictures({1, 2, 3});
    Begin();
    RemoveThumbnail(list, 2);
    AppendTaken(3);
    RemoveThumbnail(list, 0);
    DeliverAll();
    EXPECT_EQ(Listed(), (std::vector<int>{2, 3}));
    EXPECT_TRUE(Near(list.m_thumbs[0].pPixels[3 * 200], 20, 4));
    EXPECT_EQ(list.m_thumbs[1].pPixels[3 * 200], 7);
}

// A picture damaged in place, its size and times kept as they were: only a decode notices.
void DamageKeepingItsIdentity(const std::string& path) {
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    WriteBytes(path, std::string(static_cast<std::size_t>(before.st_size), 'x'));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(PictureScanning, ASecondStartTakesUnchangedPicturesFromTheCacheAndDecodesChangedOnes) {
    TempDir cacheFolder;
    WritePictures({1, 2, 3});
    const auto scanWithCache = [&] {
        list.m_cache =
            std::make_unique<CachedThumbnails>(folder.Path().string(), cacheFolder.Path().string());
        // Read before the scan starts: a picture asked for while the cache is still being read
        // is decoded, which would hide what the cache gives.
        list.m_cache->Flush();
        Begin();
        DeliverAll();
        list.m_cache->Flush();
        list.m_scan.reset();
    };
    scanWithCache();
    ExpectOwnThumbnails();

    DamageKeepingItsIdentity((folder / PictureFileName(1)).string());
    DamageKeepingItsIdentity((folder / PictureFileName(2)).string());
    const timespec later[2] = {{0, UTIME_OMIT}, {1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (folder / PictureFileName(2)).c_str(), later, 0), 0);
    scanWithCache();
    // Picture 1 still comes from the cache; picture 2's new time sends it to the decoder, which
    // finds it damaged.
    EXPECT_EQ(Listed(), (std::vector<int>{1, 3}));
    ExpectOwnThumbnails();
}

// Every picture's thumbnail as the cache of the folder keeps it, read by a cache of its own.
std::vector<std::vector<std::uint8_t>> KeptThumbnails(const std::string& pictures,
                                                      const std::string& cacheFolder, int count) {
    CachedThumbnails kept(pictures, cacheFolder);
    kept.Flush();
    std::vector<std::vector<std::uint8_t>> thumbnails;
    for (int number = 1; number <= count; ++number) {
        std::vector<std::uint8_t> pixels(kThumbBlockBytes);
        const auto key = kept.KeyOf(PictureFileName(number));
        if (key && kept.Find(*key, pixels.data())) {
            thumbnails.push_back(std::move(pixels));
        }
    }
    return thumbnails;
}

TEST_F(PictureScanning, ASaveWhileThumbnailsAreStillLoadingLosesNone) {
    constexpr int kPictures = 120;
    for (int number = 1; number <= kPictures; ++number) {
        ASSERT_TRUE(WriteJpeg((folder / PictureFileName(number)).string(), 160, 120,
                              NumberColour(number % 20)));
    }
    TempDir cacheFolder;
    list.m_cache =
        std::make_unique<CachedThumbnails>(folder.Path().string(), cacheFolder.Path().string());
    Begin();
    // Saves planned while the workers still insert, as pictures taken during the start plan
    // them; the scan's own save follows at its end.
    ASSERT_TRUE(WaitUntil([this] {
        tasks.RunPending();
        return !list.m_scan->Deliver(list).arrived.empty();
    }));
    list.m_cache->Save();
    DeliverAll();
    list.m_cache->Flush();
    list.m_scan.reset();

    const auto kept =
        KeptThumbnails(folder.Path().string(), cacheFolder.Path().string(), kPictures);
    ASSERT_EQ(kept.size(), static_cast<std::size_t>(kPictures));
    for (int i = 0; i < kPictures; ++i) {
        ASSERT_EQ(kept[i], std::vector<std::uint8_t>(list.m_thumbs[i].pPixels,
                                                     list.m_thumbs[i].pPixels + kThumbBlockBytes))
            << "picture " << i + 1;
    }
}

TEST_F(PictureScanning, ACacheFileCutAfterItWasReadGivesDecodedThumbnailsAndIsWrittenAnew) {
    TempDir cacheFolder;
    WritePictures({1, 2, 3});
    const std::string cacheFile = ThumbnailCacheFile(cacheFolder.Path(), folder.Path());
    for (const bool cut : {false, true}) {
        list.m_cache =
            std::make_unique<CachedThumbnails>(folder.Path().string(), cacheFolder.Path().string());
        list.m_cache->Flush();  // read
        if (cut) {
            ASSERT_EQ(truncate(cacheFile.c_str(), 100), 0);
        }
        Begin();
        DeliverAll();
        list.m_cache->Flush();
        list.m_scan.reset();
        EXPECT_EQ(Listed(), (std::vector<int>{1, 2, 3}));
        ExpectOwnThumbnails();
        EXPECT_EQ(ThumbnailCache::Load(cacheFile, folder.Path()).Size(), 3u) << cut;
    }
}

TEST_F(PictureScanning, StoppingAMidwayScanLeavesNoWorkerBehind) {
    for (int number = 1; number <= 200; ++number) {
        ASSERT_TRUE(
            WriteJpeg((folder / PictureFileName(number)).string(), 640, 480, NumberColour(1)));
    }
    Begin();
    ASSERT_TRUE(WaitUntil([] { return ThreadsNamed(ThumbnailLoader::kWorkerName) > 0; }));
    list.m_scan.reset();
    // A joined thread leaves /proc a moment after the join.
    EXPECT_TRUE(WaitUntil([] { return ThreadsNamed(ThumbnailLoader::kWorkerName) == 0; }));
    tasks.RunPending();  // a notification posted before the stop finds the scan gone
    EXPECT_FALSE(scratch.Exists("FileList.txt"));
}

}  // namespace
