#include "pictures/thumbnails/jpeg_thumbnail_decoder.h"

// libjpeg reports fatal errors through a callback that must not return; here it jumps back to
// the one function that makes libjpeg's calls (RunDecoder). Every frame that such a jump can
// leave - that function's, the helpers' it calls, libjpeg's own and the callbacks' - holds only
// trivially destructible values, so the jump skips no destructor; the decompression object and
// all of libjpeg's memory are released by the Decoding that owns them, outside those frames.

// libjpeg's headers use FILE without including its header.
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <array>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "pictures/thumbnails/jpeg_file_source.h"
#include "pictures/thumbnails/loaded_pixel_layout.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_block.h"
#include "pictures/thumbnails/thumbnail_sampling.h"

namespace {

constexpr int kMaxComponents = 4;
// Bands of rows the picture is decoded in: at least DCTSIZE rows each.
constexpr int kMaxBands = (JPEG_MAX_DIMENSION + DCTSIZE - 1) / DCTSIZE;

// Where every thumbnail byte comes from, the bytes taken so far, and the order in which the
// decoded bands of the picture supply them.
struct SamplePlan {
    std::array<std::uint32_t, kThumbBlockBytes> offsets;  // into the library's copy
    std::array<std::uint16_t, kThumbBlockBytes> byBand;   // thumbnail byte indices, band by band
    std::array<std::uint32_t, kMaxBands + 1> bandStart;   // into byBand
    std::array<std::uint8_t, kThumbBlockBytes> thumbnail;
};

// What the header tells about the picture, and the working rows of one band.
struct PictureShape {
    LoadedPixelKind kind = LoadedPixelKind::Grey;
    PictureCopyLayout layout;
    int components = 0;
    int bandRows = 0;
    int hExpand[kMaxComponents] = {};  // output pixels per component sample, across and down
    int vExpand[kMaxComponents] = {};
    JSAMPARRAY rows[kMaxComponents] = {};
};

struct ErrorManager {
    jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
    std::jmp_buf jump;
};

void OnError(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    // The image library's loader goes on past reserved markers, which libjpeg reports as an
    // error and then skips when the error returns; doing the same keeps those pictures loading.
    if (errors->manager.msg_code == JERR_UNKNOWN_MARKER) {
        return;
    }
    std::longjmp(errors->jump, 1);
}

void DiscardMessage(j_common_ptr) {}

// Runs before libjpeg reads each row or marker segment of the input, so a file is stopped as
// soon as it starts a scan beyond the limit.
void LimitScans(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
        std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    }
}

struct Decoding {
    Decoding(int fd, std::span<std::uint8_t> workingBuffer) : source(fd), buffer(workingBuffer) {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = OnError;
        errors.manager.output_message = DiscardMessage;
        progress.progress_monitor = LimitScans;
    }
    ~Decoding() { jpeg_destroy_decompress(&cinfo); }
    Decoding(const Decoding&) = delete;
    Decoding& operator=(const Decoding&) = delete;

    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    JpegFileSource source;
    std::span<std::uint8_t> buffer;
    SamplePlan* plan = nullptr;  // in the buffer
    PictureShape shape;
};

// The layout the image library gives a picture of this colour space, or nothing for pictures
// it does not load sensibly (with five or more components it writes more bytes per pixel into
// its rows than it sized them for).
std::optional<LoadedPixelKind> KindOf(const jpeg_decompress_struct& cinfo) {
    const int n = cinfo.num_components;
    switch (cinfo.out_color_space) {
        case JCS_GRAYSCALE:
            return n == 1 ? std::optional(LoadedPixelKind::Grey) : std::nullopt;
        case JCS_RGB:
            if (n == 3 && cinfo.jpeg_color_space == JCS_YCbCr) {
                return LoadedPixelKind::YCbCr;
            }
            return n == 3 && cinfo.jpeg_color_space == JCS_RGB ? std::optional(LoadedPixelKind::Rgb)
                                                               : std::nullopt;
        case JCS_CMYK:
            if (n == 4 && cinfo.jpeg_color_space == JCS_CMYK) {
                return LoadedPixelKind::Cmyk;
            }
            return n == 4 && cinfo.jpeg_color_space == JCS_YCCK
                       ? std::optional(LoadedPixelKind::Ycck)
                       : std::nullopt;
        case JCS_UNKNOWN:
            return n == 2 ? std::optional(LoadedPixelKind::TwoChannels) : std::nullopt;
        default:
            return std::nullopt;
    }
}

// libjpeg's upsampling, which the image library's loader runs, only enlarges components by
// whole factors and refuses other pictures; decoding without it would not, so they are refused
// here.
bool WholeSamplingFactors(const jpeg_decompress_struct& cinfo) {
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        if (cinfo.max_h_samp_factor % component.h_samp_factor != 0 ||
            cinfo.max_v_samp_factor % component.v_samp_factor != 0) {
            return false;
        }
    }
    return true;
}

std::size_t RowWidth(const jpeg_component_info& component) {
    const std::size_t blocks = (component.width_in_blocks + component.h_samp_factor - 1) /
                               component.h_samp_factor * component.h_samp_factor;
    return blocks * DCTSIZE;
}

// Places the plan and the rows of one band in the working buffer; false when they do not fit.
bool PlaceInBuffer(Decoding& d) {
    void* place = d.buffer.data();
    std::size_t space = d.buffer.size();
    if (!std::align(alignof(SamplePlan), sizeof(SamplePlan), place, space)) {
        return false;
    }
    d.plan = new (place) SamplePlan;
    std::uint8_t* next = static_cast<std::uint8_t*>(place) + sizeof(SamplePlan);
    space -= sizeof(SamplePlan);
    for (int c = 0; c < d.shape.components; ++c) {
        const jpeg_component_info& component = d.cinfo.comp_info[c];
        const std::size_t rows = static_cast<std::size_t>(component.v_samp_factor) * DCTSIZE;
        const std::size_t width = RowWidth(component);
        void* pointers = next;
        if (!std::align(alignof(JSAMPROW), rows * sizeof(JSAMPROW), pointers, space) ||
            space - rows * sizeof(JSAMPROW) < rows * width) {
            return false;
        }
        auto* rowPointers = static_cast<JSAMPROW*>(pointers);
        next = static_cast<std::uint8_t*>(pointers) + rows * sizeof(JSAMPROW);
        for (std::size_t r = 0; r < rows; ++r) {
            new (&rowPointers[r]) JSAMPROW(next + r * width);
        }
        d.shape.rows[c] = rowPointers;
        next += rows * width;
        space -= rows * sizeof(JSAMPROW) + rows * width;
    }
    return true;
}

// Sorts the thumbnail bytes by the band of the picture they are read from. The library's copy
// is bottom row first, so copy row i is the picture's row height - 1 - i.
void SortByBand(const PictureShape& shape, SamplePlan& plan) {
    const PictureCopyLayout& layout = shape.layout;
    const auto bandOf = [&](std::uint32_t offset) {
        const std::uint32_t copyRow = offset / static_cast<std::uint32_t>(layout.pitch);
        return (static_cast<std::uint32_t>(layout.height) - 1 - copyRow) /
               static_cast<std::uint32_t>(shape.bandRows);
    };
    const std::uint32_t bands =
        (static_cast<std::uint32_t>(layout.height) + shape.bandRows - 1) / shape.bandRows;
    std::fill_n(plan.bandStart.begin(), bands + 1, 0u);
    for (const std::uint32_t offset : plan.offsets) {
        ++plan.bandStart[bandOf(offset) + 1];
    }
    for (std::uint32_t b = 1; b <= bands; ++b) {
        plan.bandStart[b] += plan.bandStart[b - 1];
    }
    for (std::size_t i = 0; i < plan.offsets.size(); ++i) {
        plan.byBand[plan.bandStart[bandOf(plan.offsets[i])]++] = static_cast<std::uint16_t>(i);
    }
    // Each start has moved to the next band's start; move them back.
    for (std::uint32_t b = bands; b > 0; --b) {
        plan.bandStart[b] = plan.bandStart[b - 1];
    }
    plan.bandStart[0] = 0;
}

// Reads what the header tells and prepares the decoding; anything but Loaded ends the picture.
LoadStatus PlanPicture(Decoding& d) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    // The image library's loader decodes with these settings (its default, fast loading).
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.raw_data_out = TRUE;
    const auto kind = KindOf(cinfo);
    if (!kind || cinfo.num_components > kMaxComponents || !WholeSamplingFactors(cinfo)) {
        return LoadStatus::LoadFailed;
    }
    PictureShape& shape = d.shape;
    shape.kind = *kind;
    shape.components = cinfo.num_components;
    const int bytesPerPixel = LoadedBytesPerPixel(*kind);
    const int width = static_cast<int>(cinfo.image_width);
    const int height = static_cast<int>(cinfo.image_height);
    shape.layout =
        PictureCopyLayout{width, height, (width * bytesPerPixel + 3) / 4 * 4, bytesPerPixel};
    if (std::int64_t{bytesPerPixel} * width * height > kMaxPictureBytes) {
        return LoadStatus::TooLarge;
    }
    shape.bandRows = cinfo.max_v_samp_factor * DCTSIZE;
    for (int c = 0; c < shape.components; ++c) {
        shape.hExpand[c] = cinfo.max_h_samp_factor / cinfo.comp_info[c].h_samp_factor;
        shape.vExpand[c] = cinfo.max_v_samp_factor / cinfo.comp_info[c].v_samp_factor;
    }
    if (!PlaceInBuffer(d)) {
        return LoadStatus::TooLarge;
    }
    LoadedSampleOffsets(shape.layout, d.plan->offsets);
    SortByBand(shape, *d.plan);
    return LoadStatus::Loaded;
}

// The thumbnail bytes read from the band just decoded, whose first row is `firstRow`.
void TakeBandSamples(const PictureShape& shape, SamplePlan& plan, std::uint32_t band,
                     int firstRow) {
    const PictureCopyLayout& layout = shape.layout;
    const std::uint32_t pitch = static_cast<std::uint32_t>(layout.pitch);
    const std::uint32_t rowBytes = static_cast<std::uint32_t>(layout.width * layout.bytesPerPixel);
    std::uint8_t samples[kMaxComponents];
    std::uint8_t pixel[3];
    for (std::uint32_t k = plan.bandStart[band]; k < plan.bandStart[band + 1]; ++k) {
        const std::uint16_t i = plan.byBand[k];
        const std::uint32_t rowByte = plan.offsets[i] % pitch;
        if (rowByte >= rowBytes) {
            plan.thumbnail[i] = 0;  // row padding
            continue;
        }
        const int row = layout.height - 1 - static_cast<int>(plan.offsets[i] / pitch) - firstRow;
        const std::uint32_t x = rowByte / static_cast<std::uint32_t>(layout.bytesPerPixel);
        for (int c = 0; c < shape.components; ++c) {
            samples[c] = shape.rows[c][row / shape.vExpand[c]][x / shape.hExpand[c]];
        }
        LayOutLoadedPixel(shape.kind, samples, pixel);
        plan.thumbnail[i] = pixel[rowByte % static_cast<std::uint32_t>(layout.bytesPerPixel)];
    }
}

void DecodeBands(Decoding& d) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    for (std::uint32_t band = 0; cinfo.output_scanline < cinfo.output_height; ++band) {
        const int firstRow = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_raw_data(&cinfo, d.shape.rows, static_cast<JDIMENSION>(d.shape.bandRows)) ==
            0) {
            ERREXIT(&cinfo, JERR_TOO_LITTLE_DATA);  // cannot happen: the source never suspends
        }
        TakeBandSamples(d.shape, *d.plan, band, firstRow);
    }
}

LoadStatus RunDecoder(Decoding& d) {
    if (setjmp(d.errors.jump) != 0) {
        return LoadStatus::LoadFailed;
    }
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.mem->max_memory_to_use = kMaxJpegDecoderBytes;
    d.source.Attach(d.cinfo);
    d.cinfo.progress = &d.progress;
    jpeg_read_header(&d.cinfo, TRUE);
    const LoadStatus planned = PlanPicture(d);
    if (planned != LoadStatus::Loaded) {
        return planned;
    }
    // A picture of several scans is read whole here, under the scan limit.
    jpeg_start_decompress(&d.cinfo);
    DecodeBands(d);
    // Reads on to the end of the image, as the image library's loader does: a picture whose
    // remaining data is damaged fails there too.
    jpeg_finish_decompress(&d.cinfo);
    return LoadStatus::Loaded;
}

}  // namespace

LoadStatus DecodeJpegThumbnail(int fd, std::span<std::uint8_t> buffer, std::uint8_t* thumbnail) {
    Decoding decoding(fd, buffer);
    const LoadStatus status = RunDecoder(decoding);
    if (status == LoadStatus::Loaded) {
        std::memcpy(thumbnail, decoding.plan->thumbnail.data(), kThumbBlockBytes);
    }
    return status;
}
