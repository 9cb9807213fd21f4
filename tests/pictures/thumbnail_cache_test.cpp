#include "pictures/thumbnails/thumbnail_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "picture_test_support.h"
#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "support/jpeg_samples.h"
#include "support/temp_dir.h"

namespace {

using picture_test::ReadBytes;
using picture_test::WriteBytes;

std::vector<std::uint8_t> Pattern(int seed) {
    std::vector<std::uint8_t> pixels(kThumbBlockBytes);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(seed) * 13);
    }
    return pixels;
}

// The thumbnail the cache hands out for `key`, or nothing.
std::optional<std::vector<std::uint8_t>> Found(const ThumbnailCache& cache,
                                               const PictureFileKey& key) {
    std::vector<std::uint8_t> pixels(kThumbBlockBytes);
    if (!cache.Find(key, pixels.data())) {
        return std::nullopt;
    }
    return pixels;
}

void SetModified(const std::string& path, std::int64_t ns) {
    const timespec times[2] = {{0, UTIME_OMIT}, {ns / 1000000000, ns % 1000000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class ThumbnailCaching : public ::testing::Test {
protected:
    std::string Pictures() const { return pictures.Path(); }
    std::string CacheFile() const { return ThumbnailCacheFile(cache.Path(), Pictures()); }
    // A picture file of the folder, with a fixed modification time.
    PictureFileKey AddPicture(const std::string& name, const std::string& bytes) {
        WriteBytes(pictures / name, bytes);
        SetModified(pictures / name, 1700000000123456789);
        return *PictureFileKeyOf(Pictures(), name);
    }
    // A saved cache of two pictures.
    void SaveTwoPictures() {
        ThumbnailCache made(Pictures());
        ASSERT_TRUE(made.Insert(AddPicture("Picture0001.jpg", "one"), Pattern(1).data()));
        ASSERT_TRUE(made.Insert(AddPicture("Picture0002.jpg", "two!"), Pattern(2).data()));
        ASSERT_TRUE(made.Save(CacheFile()));
    }

    TempDir pictures;
    TempDir cache;
};

TEST_F(ThumbnailCaching, AChangeOfSizeTimeOrInodeIsAMiss) {
    struct Change {
        const char* name;
        std::function<void(const std::string& path)> apply;
        bool hit;
    };
    const std::vector<Change> changes = {
        {"nothing", [](const std::string&) {}, true},
        {"the size, same time",
         [](const std::string& path) {
             WriteBytes(path, "one plus");
             SetModified(path, 1700000000123456789);
         },
         false},
        {"the time by one nanosecond",
         [](const std::string& path) { SetModified(path, 1700000000123456790); }, false},
        {"the inode, same size and time",
         [](const std::string& path) {
             WriteBytes(path + ".new", "one");
             SetModified(path + ".new", 1700000000123456789);
             ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
         },
         false},
        {"the file is gone", [](const std::string& path) { unlink(path.c_str()); }, false},
    };
    for (const Change& change : changes) {
        SaveTwoPictures();
        change.apply(pictures / "Picture0001.jpg");
        ThumbnailCache loaded = ThumbnailCache::Load(CacheFile(), Pictures());
        ASSERT_EQ(loaded.GetOrigin(), ThumbnailCache::Origin::Read) << change.name;
        const auto key = PictureFileKeyOf(Pictures(), "Picture0001.jpg");
        const auto found = key ? Found(loaded, *key) : std::nullopt;
        EXPECT_EQ(found.has_value(), change.hit) << change.name;
        if (found) {
            EXPECT_EQ(*found, Pattern(1));
        }
        EXPECT_EQ(Found(loaded, *PictureFileKeyOf(Pictures(), "Picture0002.jpg")), Pattern(2))
            << change.name;
        // Saving again keeps only what still matches its picture.
        ASSERT_TRUE(loaded.Save(CacheFile()));
        EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).Size(), change.hit ? 2u : 1u)
            << change.name;
    }
}

TEST_F(ThumbnailCaching, ACachedThumbnailIsTheOneLoadingThePictureGives) {
    const auto buffers = AllocatePictureWorkBuffers(1);
    jpeg_samples::Options options;
    options.width = 640;
    options.height = 480;
    const PictureFileKey key = AddPicture("Picture0001.jpg", jpeg_samples::Encode(options));
    std::vector<std::uint8_t> loaded(kThumbBlockBytes);
    ASSERT_EQ(
        LoadPictureThumbnail((pictures / key.name).c_str(), buffers->Loader(0), loaded.data()),
        LoadStatus::Loaded);
    ThumbnailCache made(Pictures());
    ASSERT_TRUE(made.Insert(key, loaded.data()));
    ASSERT_TRUE(made.Save(CacheFile()));

    std::vector<std::uint8_t> fresh(kThumbBlockBytes);
    ASSERT_EQ(LoadPictureThumbnail((pictures / key.name).c_str(), buffers->Loader(0), fresh.data()),
              LoadStatus::Loaded);
    EXPECT_EQ(Found(ThumbnailCache::Load(CacheFile(), Pictures()), key), fresh);
}

// The hash a valid file ends with, recomputed after a deliberate change of its content.
std::string Resealed(std::string file) {
    const std::uint64_t hash = XXH3_64bits(file.data(), file.size() - 8);
    for (int i = 0; i < 8; ++i) {
        file[file.size() - 8 + i] = static_cast<char>(hash >> (8 * i));
    }
    return file;
}

std::string WithByte(std::string file, std::size_t at, char value) {
    file[at] = value;
    return file;
}

TEST_F(ThumbnailCaching, ACacheFileThatCannotBeTrustedIsIgnoredAndRebuilt) {
    SaveTwoPictures();
    const std::string good = ReadBytes(CacheFile());
    std::string garbage(good.size(), '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<char>(i * 31 + (i >> 7));
    }
    const struct {
        const char* name;
        std::string content;
    } files[] = {
        {"empty", ""},
        {"truncated by one byte", good.substr(0, good.size() - 1)},
        {"truncated in its header", good.substr(0, 20)},
        {"one entry byte changed", WithByte(good, good.size() / 2, '\x55')},
        {"garbage", garbage},
        {"another version", Resealed(WithByte(good, 8, 2))},
        {"more entries than it holds", Resealed(WithByte(good, 16, 3))},
        {"more than 10000 entries", Resealed(WithByte(WithByte(good, 16, 0x11), 17, 0x27))},
        {"two entries of one name",
         Resealed(WithByte(good, good.size() - 8 - 14688 + 32 + 10, '1'))},
    };
    for (const auto& file : files) {
        WriteBytes(CacheFile(), file.content);
        ThumbnailCache rebuilt = ThumbnailCache::Load(CacheFile(), Pictures());
        EXPECT_EQ(rebuilt.GetOrigin(), ThumbnailCache::Origin::Rejected) << file.name;
        EXPECT_EQ(rebuilt.Size(), 0u) << file.name;
        EXPECT_EQ(Found(rebuilt, *PictureFileKeyOf(Pictures(), "Picture0002.jpg")), std::nullopt);
        // The next save rebuilds it.
        ASSERT_TRUE(
            rebuilt.Insert(*PictureFileKeyOf(Pictures(), "Picture0002.jpg"), Pattern(2).data()));
        ASSERT_TRUE(rebuilt.Save(CacheFile())) << file.name;
        EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).Size(), 1u) << file.name;
    }
    // A good file of another picture folder is not this folder's.
    TempDir other;
    ThumbnailCache foreign(other.Path());
    ASSERT_TRUE(foreign.Save(CacheFile()));
    EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).GetOrigin(),
              ThumbnailCache::Origin::Rejected);
    EXPECT_EQ(ThumbnailCache::Load(cache / "missing.cache", Pictures()).GetOrigin(),
              ThumbnailCache::Origin::New);
}

// What another program may do to the cache file while a cache reads its thumbnails from it.
TEST_F(ThumbnailCaching, AFileCutOrRewrittenWhileInUseNeverGivesWrongThumbnails) {
    const struct {
        const char* name;
        std::function<void(const std::string& file)> apply;
        bool readable;  // the thumbnails kept in it can still be read back
    } changes[] = {
        {"cut to its header",
         [](const std::string& file) { ASSERT_EQ(truncate(file.c_str(), 40), 0); }, false},
        {"cut to nothing", [](const std::string& file) { ASSERT_EQ(truncate(file.c_str(), 0), 0); },
         false},
        {"overwritten in place",
         [](const std::string& file) {
             WriteBytes(file, std::string(ReadBytes(file).size(), 'Z'));
         },
         false},
        {"replaced by another file",
         [](const std::string& file) {
             WriteBytes(file + ".other", "other");
             ASSERT_EQ(rename((file + ".other").c_str(), file.c_str()), 0);
         },
         true},
        {"deleted", [](const std::string& file) { ASSERT_EQ(unlink(file.c_str()), 0); }, true},
    };
    for (const auto& change : changes) {
        SaveTwoPictures();
        ThumbnailCache cache = ThumbnailCache::Load(CacheFile(), Pictures());
        ASSERT_EQ(cache.GetOrigin(), ThumbnailCache::Origin::Read) << change.name;
        change.apply(CacheFile());
        const auto one = *PictureFileKeyOf(Pictures(), "Picture0001.jpg");
        const auto two = *PictureFileKeyOf(Pictures(), "Picture0002.jpg");
        const auto kept = [&](int seed) {
            return change.readable ? std::optional(Pattern(seed)) : std::nullopt;
        };
        EXPECT_EQ(Found(cache, one), kept(1)) << change.name;
        EXPECT_EQ(Found(cache, two), kept(2)) << change.name;

        // The next save writes what can still be read back and what is held in memory.
        const PictureFileKey three = AddPicture("Picture0003.jpg", "three");
        ASSERT_TRUE(cache.Insert(three, Pattern(3).data()));
        ASSERT_TRUE(cache.Save(CacheFile())) << change.name;
        const ThumbnailCache reloaded = ThumbnailCache::Load(CacheFile(), Pictures());
        ASSERT_EQ(reloaded.GetOrigin(), ThumbnailCache::Origin::Read) << change.name;
        EXPECT_EQ(reloaded.Size(), change.readable ? 3u : 1u) << change.name;
        EXPECT_EQ(cache.Size(), reloaded.Size()) << change.name;
        EXPECT_EQ(Found(reloaded, one), kept(1)) << change.name;
        EXPECT_EQ(Found(reloaded, three), Pattern(3)) << change.name;
    }
}

TEST_F(ThumbnailCaching, SavedThumbnailsLeaveMemoryAndTheNextSaveStillWritesEveryOne) {
    ThumbnailCache cache(Pictures());
    const PictureFileKey one = AddPicture("Picture0001.jpg", "one");
    ASSERT_TRUE(cache.Insert(one, Pattern(1).data()));
    ASSERT_TRUE(cache.Insert(AddPicture("Picture0002.jpg", "two!"), Pattern(2).data()));
    EXPECT_EQ(cache.HeldInMemory(), 2u);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(cache.HeldInMemory(), 0u);
    EXPECT_EQ(Found(cache, one), Pattern(1)) << "read back from the file just written";

    // A picture taken, and another changed and decoded again.
    const PictureFileKey three = AddPicture("Picture0003.jpg", "three");
    ASSERT_TRUE(cache.Insert(three, Pattern(3).data()));
    WriteBytes(pictures / "Picture0002.jpg", "two, changed");
    const PictureFileKey two = *PictureFileKeyOf(Pictures(), "Picture0002.jpg");
    ASSERT_TRUE(cache.Insert(two, Pattern(4).data()));
    EXPECT_EQ(cache.HeldInMemory(), 2u);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(cache.HeldInMemory(), 0u);
    const ThumbnailCache reloaded = ThumbnailCache::Load(CacheFile(), Pictures());
    EXPECT_EQ(reloaded.Size(), 3u);
    EXPECT_EQ(Found(reloaded, one), Pattern(1));
    EXPECT_EQ(Found(reloaded, two), Pattern(4));
    EXPECT_EQ(Found(reloaded, three), Pattern(3));
}

TEST_F(ThumbnailCaching, ASaveThatWouldWriteTheSameFileLeavesItAlone) {
    SaveTwoPictures();
    struct stat before {};
    ASSERT_EQ(stat(CacheFile().c_str(), &before), 0);
    ThumbnailCache cache = ThumbnailCache::Load(CacheFile(), Pictures());
    // A picture decoded again, with the thumbnail already kept, changes nothing.
    ASSERT_TRUE(cache.Insert(*PictureFileKeyOf(Pictures(), "Picture0001.jpg"), Pattern(1).data()));
    EXPECT_EQ(cache.HeldInMemory(), 0u);
    ASSERT_TRUE(cache.Save(CacheFile()));
    struct stat after {};
    ASSERT_EQ(stat(CacheFile().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // Without its file, or with a picture gone, it is written again.
    ASSERT_EQ(unlink(CacheFile().c_str()), 0);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).Size(), 2u);
    ASSERT_EQ(unlink((pictures / "Picture0001.jpg").c_str()), 0);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(cache.Size(), 1u);
    EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).Size(), 1u);

    // Cut in place by someone else: a thumbnail decoded again is kept anew, since the kept one
    // can no longer be read back, and the file is written again even with nothing new.
    const PictureFileKey two = *PictureFileKeyOf(Pictures(), "Picture0002.jpg");
    ASSERT_EQ(truncate(CacheFile().c_str(), 100), 0);
    ASSERT_TRUE(cache.Insert(two, Pattern(2).data()));
    EXPECT_EQ(cache.HeldInMemory(), 1u);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(Found(ThumbnailCache::Load(CacheFile(), Pictures()), two), Pattern(2));
    ASSERT_EQ(truncate(CacheFile().c_str(), 100), 0);
    ASSERT_TRUE(cache.Save(CacheFile()));
    EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).GetOrigin(),
              ThumbnailCache::Origin::Read);
}

// In the program the cache is read by a thread of its own: lookups never wait for it, and what
// is decoded meanwhile is not lost. (Run under ThreadSanitizer with the rest of the background
// loading.)
class CacheBackgroundLoading : public ThumbnailCaching {};

TEST_F(CacheBackgroundLoading, LookupsMissUntilTheCacheIsReadAndInsertsMadeMeanwhileJoinIt) {
    SaveTwoPictures();
    const PictureFileKey one = *PictureFileKeyOf(Pictures(), "Picture0001.jpg");
    std::vector<std::uint8_t> pixels(kThumbBlockBytes);
    {
        CachedThumbnails kept(Pictures(), cache.Path());
        EXPECT_FALSE(kept.Find(one, pixels.data())) << "the first lookup only starts the read";
        kept.Flush();
        ASSERT_TRUE(kept.Find(one, pixels.data()));
        EXPECT_EQ(pixels, Pattern(1));
    }
    CachedThumbnails kept(Pictures(), cache.Path());
    const PictureFileKey three = AddPicture("Picture0003.jpg", "three");
    kept.Insert(three, Pattern(3).data());  // before the cache has been read
    kept.Save();
    kept.Flush();
    ASSERT_TRUE(kept.Find(three, pixels.data()));
    EXPECT_EQ(pixels, Pattern(3));
    const ThumbnailCache saved = ThumbnailCache::Load(CacheFile(), Pictures());
    EXPECT_EQ(saved.Size(), 3u);
    EXPECT_EQ(Found(saved, three), Pattern(3));
}

// Makes `folder` read-only for this thread: mode 0555 and, when the tests run as root (whom
// modes do not stop), the thread's file-system user becomes nobody while this lives.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const std::string& folder) : m_folder(folder) {
        chmod(folder.c_str(), 0555);
        if (geteuid() == 0) {
            setfsuid(65534);
        }
    }
    ~ReadOnlyFolder() {
        if (geteuid() == 0) {
            setfsuid(0);
        }
        chmod(m_folder.c_str(), 0700);
    }

private:
    std::string m_folder;
};

TEST_F(ThumbnailCaching, AnUnwritableCacheIsNeverFatalAndKeepsThePreviousFile) {
    SaveTwoPictures();
    const std::string previous = ReadBytes(CacheFile());
    ThumbnailCache changed = ThumbnailCache::Load(CacheFile(), Pictures());
    ASSERT_TRUE(changed.Insert(AddPicture("Picture0003.jpg", "three"), Pattern(3).data()));
    {
        // Everyone may pass through the scratch folders, so only the cache folder stops nobody.
        chmod(pictures.Path().c_str(), 0755);
        chmod(cache.Path().c_str(), 0755);
        const ReadOnlyFolder readOnly(cache.Path());
        EXPECT_FALSE(changed.Save(CacheFile()));
    }
    EXPECT_EQ(ReadBytes(CacheFile()), previous);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache.Path()), {}), 1)
        << "no temporary file is left behind";
    EXPECT_EQ(changed.HeldInMemory(), 1u) << "kept for the next save";

    TempDir elsewhere;
    ASSERT_EQ(mkdir((elsewhere / "a-folder.cache").c_str(), 0700), 0);
    WriteBytes(elsewhere / "a-file", "x");
    for (const std::filesystem::path& path :
         {elsewhere / "a-folder.cache",         // the file's name is a folder
          elsewhere / "a-file/below.cache"}) {  // its folder is a file
        EXPECT_FALSE(changed.Save(path)) << path;
        EXPECT_EQ(ThumbnailCache::Load(path, Pictures()).Size(), 0u) << path;
    }
    ASSERT_TRUE(changed.Save(CacheFile()));
    EXPECT_EQ(ThumbnailCache::Load(CacheFile(), Pictures()).Size(), 3u);
}

TEST_F(ThumbnailCaching, FolderPathsWithOddCharactersHaveTheirOwnCache) {
    const std::vector<std::string> names = {"with space", "new\nline",     "quote\"and'apostrophe",
                                            "照片",       "per%cent$HOME", "..dots.."};
    std::vector<std::string> files;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string folder = pictures / names[i];
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << names[i];
        WriteBytes(folder + "/Picture0001.jpg", names[i]);
        ThumbnailCache made(folder);
        ASSERT_TRUE(made.Insert(*PictureFileKeyOf(folder, "Picture0001.jpg"),
                                Pattern(static_cast<int>(i)).data()));
        const std::string file = ThumbnailCacheFile(cache.Path(), folder);
        EXPECT_EQ(std::filesystem::path(file).parent_path(), cache.Path());
        ASSERT_TRUE(made.Save(file)) << names[i];
        files.push_back(file);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string folder = pictures / names[i];
        EXPECT_EQ(Found(ThumbnailCache::Load(files[i], folder),
                        *PictureFileKeyOf(folder, "Picture0001.jpg")),
                  Pattern(static_cast<int>(i)))
            << names[i];
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(std::unique(files.begin(), files.end()), files.end());
}

TEST_F(ThumbnailCaching, HoldsAtMost10000PicturesAndNamesThatCanBeFileNames) {
    ThumbnailCache made(Pictures());
    const auto pixels = Pattern(0);
    PictureFileKey key{"", 1, 2, 3};
    for (int i = 0; i < ThumbnailCache::kMaxEntries; ++i) {
        key.name = "Picture" + std::to_string(i) + ".jpg";
        ASSERT_TRUE(made.Insert(key, pixels.data()));
    }
    key.name = "Picture10000.jpg";
    EXPECT_FALSE(made.Insert(key, pixels.data()));
    key.name = "Picture0.jpg";
    key.size = 99;
    EXPECT_TRUE(made.Insert(key, pixels.data())) << "a kept name can be replaced";
    EXPECT_EQ(made.Size(), 10000u);
    ThumbnailCache small(Pictures());
    for (const std::string& name : {std::string(), std::string(256, 'a'), std::string("a/b"),
                                    std::string("a\0b", 3), std::string("..")}) {
        EXPECT_FALSE(small.Insert(PictureFileKey{name, 1, 2, 3}, pixels.data()));
    }
    EXPECT_TRUE(small.Insert(PictureFileKey{std::string(255, 'a'), 1, 2, 3}, pixels.data()));
}

TEST(ThumbnailCacheFolder, FollowsTheXdgRulesAndNeverLiesInsideThePictures) {
    TempDir home;
    ASSERT_EQ(mkdir((home / "Pictures").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home / ".cache").c_str(), 0700), 0);
    const std::string insidePictures = home / "Pictures/.cache";
    ASSERT_EQ(symlink((home / ".cache").c_str(), (home / "linked-pictures").c_str()), 0);
    const struct {
        const char* name;
        const char* cacheHome;
        bool withHome;
        std::string pictures;
        std::optional<std::string> folder;
    } cases[] = {
        {"absolute XDG_CACHE_HOME", "/var/cache/u", true, home / "Pictures",
         "/var/cache/u/lumisight-webcam"},
        {"relative XDG_CACHE_HOME", "cache", true, home / "Pictures",
         home / ".cache/lumisight-webcam"},
        {"empty XDG_CACHE_HOME", "", true, home / "Pictures", home / ".cache/lumisight-webcam"},
        {"no XDG_CACHE_HOME", nullptr, true, home / "Pictures", home / ".cache/lumisight-webcam"},
        {"no home", nullptr, false, home / "Pictures", std::nullopt},
        {"inside the pictures", insidePictures.c_str(), true, home / "Pictures", std::nullopt},
        {"the pictures are the home", nullptr, true, home.Path(), std::nullopt},
        {"the pictures lead to the cache", nullptr, true, home / "linked-pictures/", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string homePath = home.Path();
        const EnvironmentLookup getenv = [&](const char* name) -> const char* {
            if (std::string(name) == "XDG_CACHE_HOME") {
                return c.cacheHome;
            }
            return std::string(name) == "HOME" && c.withHome ? homePath.c_str() : nullptr;
        };
        EXPECT_EQ(ThumbnailCacheFolder(getenv, c.pictures), c.folder) << c.name;
    }
}

}  // namespace
