// The bounded decoder against the image library's loader: for every kind of JPEG a picture
// folder may hold, both give the same status and, for a loaded picture, the same thumbnail
// bytes.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "picture_test_support.h"
#include "pictures/thumbnail_record.h"
#include "pictures/thumbnails/picture_loader.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "support/freeimage_reference_loader.h"
#include "support/jpeg_samples.h"
#include "support/temp_dir.h"

namespace {

using jpeg_samples::Options;

struct Sample {
    std::string name;
    std::string bytes;
    bool whole = false;  // an undamaged picture within the size limit, which must load
};

Options Picture(int width, int height, int components = 3) {
    Options o;
    o.width = width;
    o.height = height;
    o.components = components;
    o.seed = static_cast<unsigned>(width * 31 + height * 7 + components);
    return o;
}

Options With(Options o, void (*change)(Options&)) {
    change(o);
    return o;
}

void Add(std::vector<Sample>& samples, const std::string& name, const Options& options) {
    samples.push_back({name, jpeg_samples::Encode(options), true});
}

// Colour pictures of every size that takes another path through the sampling rule (smaller
// than the thumbnail, rows whose length is not a multiple of 4, one pixel high or wide, the
// largest accepted) in every chroma sampling.
void AddColourPictures(std::vector<Sample>& samples) {
    const struct {
        int width, height;
    } sizes[] = {{1, 1},     {79, 59},  {80, 60},  {81, 61}, {640, 480},
                 {642, 481}, {1281, 1}, {1, 1200}, {7, 500}, {333, 77}};
    const struct {
        const char* name;
        int h, v;
    } samplings[] = {{"420", 2, 2}, {"422", 2, 1}, {"444", 1, 1}, {"440", 1, 2}, {"411", 4, 1}};
    for (const auto& size : sizes) {
        for (const auto& sampling : samplings) {
            Options o = Picture(size.width, size.height);
            o.lumaH = sampling.h;
            o.lumaV = sampling.v;
            Add(samples,
                std::to_string(size.width) + "x" + std::to_string(size.height) + "-" +
                    sampling.name,
                o);
        }
    }
    Add(samples, "1280x1024-420", Picture(1280, 1024));
    Add(samples, "1280x1024-444",
        With(Picture(1280, 1024), [](Options& o) { o.lumaH = o.lumaV = 1; }));
    Add(samples, "1280x1024-progressive",
        With(Picture(1280, 1024), [](Options& o) { o.progressive = true; }));
}

// Coding variants: progressive, arithmetic, restart markers, one scan per component,
// optimised tables, low and high quality.
void AddCodings(std::vector<Sample>& samples) {
    for (const auto& [width, height] : {std::pair{81, 61}, {640, 480}, {13, 1000}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const Options base = Picture(width, height);
        Add(samples, size + "-progressive", With(base, [](Options& o) { o.progressive = true; }));
        Add(samples, size + "-progressive-444", With(base, [](Options& o) {
                o.progressive = true;
                o.lumaH = o.lumaV = 1;
            }));
        Add(samples, size + "-arithmetic", With(base, [](Options& o) { o.arithmetic = true; }));
        Add(samples, size + "-arithmetic-progressive",
            With(base, [](Options& o) { o.arithmetic = o.progressive = true; }));
        Add(samples, size + "-restarts", With(base, [](Options& o) { o.restartRows = 1; }));
        Add(samples, size + "-separate-scans",
            With(base, [](Options& o) { o.separateScans = true; }));
        Add(samples, size + "-optimised", With(base, [](Options& o) { o.optimize = true; }));
        Add(samples, size + "-quality-5", With(base, [](Options& o) { o.quality = 5; }));
        Add(samples, size + "-quality-100", With(base, [](Options& o) { o.quality = 100; }));
    }
}

// Greyscale, RGB without colour transform, CMYK, YCCK (both with Adobe's marker) and two
// unnamed components.
void AddColourSpaces(std::vector<Sample>& samples) {
    for (const auto& [width, height] :
         {std::pair{1, 1}, {81, 61}, {640, 480}, {3000, 1}, {1, 3000}, {1982, 1983}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        Add(samples, size + "-grey", Picture(width, height, 1));
        Add(samples, size + "-grey-progressive",
            With(Picture(width, height, 1), [](Options& o) { o.progressive = true; }));
    }
    for (const auto& [width, height] : {std::pair{1, 1}, {81, 61}, {641, 479}}) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        Add(samples, size + "-rgb", With(Picture(width, height), [](Options& o) {
                o.stored = JCS_RGB;
                o.lumaH = o.lumaV = 1;
            }));
        Add(samples, size + "-cmyk",
            With(Picture(width, height, 4), [](Options& o) { o.lumaH = o.lumaV = 1; }));
        Add(samples, size + "-cmyk-progressive",
            With(Picture(width, height, 4), [](Options& o) { o.progressive = true; }));
        Add(samples, size + "-ycck",
            With(Picture(width, height, 4), [](Options& o) { o.stored = JCS_YCCK; }));
        Add(samples, size + "-two-components", With(Picture(width, height, 2), [](Options& o) {
                o.lumaH = 2;
                o.lumaV = 1;
            }));
    }
}

// Cut, damaged, decorated and not-quite-JPEG files.
void AddDamagedFiles(std::vector<Sample>& samples) {
    const std::string baseline = jpeg_samples::Encode(Picture(640, 480));
    const std::string progressive =
        jpeg_samples::Encode(With(Picture(640, 480), [](Options& o) { o.progressive = true; }));
    const std::string arithmetic =
        jpeg_samples::Encode(With(Picture(321, 241), [](Options& o) { o.arithmetic = true; }));
    const std::string restarts =
        jpeg_samples::Encode(With(Picture(320, 240), [](Options& o) { o.restartRows = 2; }));
    for (const int percent : {1, 20, 50, 90, 99}) {
        const auto cut = [&](const std::string& file) {
            return file.substr(0, file.size() * static_cast<std::size_t>(percent) / 100);
        };
        const std::string suffix = "-cut-" + std::to_string(percent);
        samples.push_back({"baseline" + suffix, cut(baseline)});
        samples.push_back({"progressive" + suffix, cut(progressive)});
        samples.push_back({"arithmetic" + suffix, cut(arithmetic)});
    }
    std::mt19937 random(7);
    for (const std::string* file : {&baseline, &progressive, &restarts, &arithmetic}) {
        for (int i = 0; i < 4; ++i) {
            std::string damaged = *file;
            for (int k = 0; k < 1 + i * 3; ++k) {
                const std::size_t at = 700 + random() % (damaged.size() - 800);
                damaged[at] = static_cast<char>(random());
            }
            samples.push_back({"damaged-" + std::to_string(samples.size()), damaged});
        }
    }
    samples.push_back({"empty", ""});
    samples.push_back({"start-of-image-only", "\xFF\xD8"});
    samples.push_back({"start-and-end-only", "\xFF\xD8\xFF\xD9"});
    samples.push_back({"text", "this is not a picture at all\n"});
    std::string noise(5000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    samples.push_back({"noise", noise});
    samples.push_back({"noise-after-start-of-image", "\xFF\xD8" + noise});
    samples.push_back({"trailing-bytes", baseline + noise});
    samples.push_back({"reserved-marker", jpeg_samples::WithBeforeFrame(baseline, "\xFF\xF0")});
    samples.push_back({"reserved-marker-with-bytes",
                       jpeg_samples::WithBeforeFrame(progressive, "\xFF\xF3\x00\x04\x12\x34")});
    samples.push_back(
        {"comment-and-application-data",
         jpeg_samples::WithBeforeFrame(
             baseline, std::string("\xFF\xFE\x00\x07hello\xFF\xE1\x00\x08Exif\0\0", 19))});
    samples.push_back({"marker-running-past-the-end",
                       baseline.substr(0, 20) + std::string("\xFF\xE3\xFF\xF0", 4)});
    samples.push_back(
        {"fractional-sampling", jpeg_samples::WithSamplingFactors(baseline, {0x31, 0x21, 0x11})});
    samples.push_back({"tables-only", baseline.substr(0, baseline.find("\xFF\xC0")) + "\xFF\xD9"});
}

std::vector<Sample> Corpus() {
    std::vector<Sample> samples;
    AddColourPictures(samples);
    AddCodings(samples);
    AddColourSpaces(samples);
    AddDamagedFiles(samples);
    return samples;
}

class BoundedDecoder : public ::testing::Test {
protected:
    struct Result {
        LoadStatus status;
        std::vector<std::uint8_t> thumbnail;
    };
    Result Bounded(const std::string& path) {
        Result result{LoadStatus::LoadFailed, std::vector<std::uint8_t>(kThumbBlockBytes, 0)};
        result.status =
            LoadPictureThumbnail(path.c_str(), buffers->Loader(0), result.thumbnail.data());
        return result;
    }
    static Result Reference(const std::string& path) {
        Result result{LoadStatus::LoadFailed, std::vector<std::uint8_t>(kThumbBlockBytes, 0)};
        result.status = freeimage_reference::LoadThumbnail(path.c_str(), result.thumbnail.data());
        return result;
    }
    // Compares the two loaders on one file; the message names the first differing byte.
    void ExpectSameAsImageLibrary(const Sample& sample) {
        const std::string path = folder / "Picture0001.jpg";
        picture_test::WriteBytes(path, sample.bytes);
        const Result bounded = Bounded(path);
        const Result reference = Reference(path);
        ASSERT_EQ(bounded.status, reference.status) << sample.name;
        if (bounded.status != LoadStatus::Loaded) {
            return;
        }
        for (std::size_t i = 0; i < bounded.thumbnail.size(); ++i) {
            ASSERT_EQ(bounded.thumbnail[i], reference.thumbnail[i])
                << sample.name << ": thumbnail byte " << i << " (row " << i / kThumbRowBytes
                << ", pixel " << i % kThumbRowBytes / 3 << ")";
        }
    }

    TempDir folder;
    std::unique_ptr<PictureWorkBuffers> buffers = AllocatePictureWorkBuffers(1);
};

TEST_F(BoundedDecoder, GivesTheImageLibrarysThumbnailForEveryKindOfPicture) {
    for (const Sample& sample : Corpus()) {
        ExpectSameAsImageLibrary(sample);
        if (HasFatalFailure()) {
            return;
        }
        if (sample.whole) {
            EXPECT_EQ(Bounded(folder / "Picture0001.jpg").status, LoadStatus::Loaded)
                << sample.name;
        }
    }
}

// Whether the image library may be given the file: not when its header claims a picture over
// the size limit (the library would decode it in full first) or five or more components (the
// library would write past its rows).
bool WithinImageLibrarysReach(const std::string& bytes) {
    const auto frame = jpeg_samples::FrameOf(bytes);
    if (!frame) {
        return true;
    }
    const std::int64_t bytesPerPixel = frame->components == 4 ? 3 : frame->components;
    return frame->components < 5 &&
           bytesPerPixel * frame->width * frame->height <= kMaxPictureBytes;
}

// Random damage to small pictures of each kind: wherever the damage lands (header, tables,
// scan data), both loaders agree.
TEST_F(BoundedDecoder, AgreesWithTheImageLibraryOnRandomlyDamagedFiles) {
    const std::vector<std::string> bases = {
        jpeg_samples::Encode(Picture(96, 72)),
        jpeg_samples::Encode(With(Picture(90, 70), [](Options& o) { o.progressive = true; })),
        jpeg_samples::Encode(Picture(85, 64, 1)),
        jpeg_samples::Encode(With(Picture(82, 61, 4), [](Options& o) { o.stored = JCS_YCCK; })),
        jpeg_samples::Encode(With(Picture(88, 66), [](Options& o) { o.arithmetic = true; })),
        jpeg_samples::Encode(With(Picture(84, 63), [](Options& o) { o.restartRows = 1; })),
    };
    std::mt19937 random(2024);
    int compared = 0;
    for (int round = 0; round < 600; ++round) {
        std::string bytes = bases[static_cast<std::size_t>(round) % bases.size()];
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < changes; ++k) {
            bytes[random() % bytes.size()] = static_cast<char>(random());
        }
        const std::string path = folder / "Picture0001.jpg";
        picture_test::WriteBytes(path, bytes);
        if (!WithinImageLibrarysReach(bytes)) {
            continue;
        }
        ExpectSameAsImageLibrary({"damaged round " + std::to_string(round), bytes});
        if (HasFatalFailure()) {
            return;
        }
        ++compared;
    }
    EXPECT_GT(compared, 500);
}

}  // namespace
