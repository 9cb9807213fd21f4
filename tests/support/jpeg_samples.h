#pragma once

// JPEG files made in the test process with libjpeg's compressor: every colour space, sampling,
// coding and size a picture may have, and the hostile files a picture folder may hold (headers
// that claim a huge picture, files of very many scans). Shared by the picture tests, the
// benchmarks and the fuzz seeds, so that no sample file needs to be committed.

// libjpeg's headers use FILE without including its header.
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace jpeg_samples {

struct Options {
    int width = 64;
    int height = 48;
    // 1 grey, 2 two unnamed components, 3 colour, 4 CMYK, 5 five unnamed components.
    int components = 3;
    // How the components are stored: JCS_YCbCr, JCS_RGB (no colour transform) or, for four
    // components, JCS_CMYK or JCS_YCCK. JCS_UNKNOWN takes the default for the component count.
    J_COLOR_SPACE stored = JCS_UNKNOWN;
    // Sampling factors of the first component; the others are 1 x 1.
    int lumaH = 2;
    int lumaV = 2;
    bool progressive = false;
    bool arithmetic = false;
    bool separateScans = false;  // one sequential scan per component
    bool optimize = false;
    unsigned restartRows = 0;
    int quality = 85;
    unsigned seed = 1;  // varies the picture
};

// A picture with smooth areas, edges and some noise in every component.
inline std::uint8_t PatternSample(const Options& o, int x, int y, int c) {
    unsigned n = (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u) ^
                 (o.seed * 83492791u) ^ (static_cast<unsigned>(c) * 2654435761u);
    n ^= n >> 13;
    const int noise = static_cast<int>(n % 23) - 11;
    const int smooth = (x * (c + 2) * 255 / (o.width + 1) + y * (5 - c) * 255 / (o.height + 1)) / 3;
    const int edge = ((x / 7 + y / 5 + c) % 3 == 0) ? 60 : 0;
    const int value = smooth + edge + noise + static_cast<int>(o.seed * 17 % 40);
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

namespace detail {

struct ThrowingErrors {
    jpeg_error_mgr manager;
    static void Exit(j_common_ptr cinfo) {
        char message[JMSG_LENGTH_MAX];
        (*cinfo->err->format_message)(cinfo, message);
        throw std::runtime_error(message);
    }
};

inline J_COLOR_SPACE InputSpace(int components) {
    switch (components) {
        case 1:
            return JCS_GRAYSCALE;
        case 3:
            return JCS_RGB;
        case 4:
            return JCS_CMYK;
        default:
            return JCS_UNKNOWN;
    }
}

// The compressor, released whichever way the function ends.
struct Compressor {
    jpeg_compress_struct cinfo{};
    ThrowingErrors errors{};
    unsigned char* output = nullptr;
    unsigned long size = 0;
    Compressor() {
        cinfo.err = jpeg_std_error(&errors.manager);
        errors.manager.error_exit = ThrowingErrors::Exit;
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &output, &size);
    }
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(output);
    }
};

}  // namespace detail

// The JPEG file of the pattern picture with the given options.
inline std::string Encode(const Options& o) {
    detail::Compressor compressor;
    jpeg_compress_struct& c = compressor.cinfo;
    c.image_width = static_cast<JDIMENSION>(o.width);
    c.image_height = static_cast<JDIMENSION>(o.height);
    c.input_components = o.components;
    c.in_color_space = detail::InputSpace(o.components);
    jpeg_set_defaults(&c);
    if (o.stored != JCS_UNKNOWN) {
        jpeg_set_colorspace(&c, o.stored);
    }
    jpeg_set_quality(&c, o.quality, TRUE);
    for (int i = 0; i < c.num_components; ++i) {
        c.comp_info[i].h_samp_factor = i == 0 ? o.lumaH : 1;
        c.comp_info[i].v_samp_factor = i == 0 ? o.lumaV : 1;
    }
    std::vector<jpeg_scan_info> scans(static_cast<std::size_t>(c.num_components));
    if (o.progressive) {
        jpeg_simple_progression(&c);
    } else if (o.separateScans) {
        for (int i = 0; i < c.num_components; ++i) {
            scans[i] = jpeg_scan_info{1, {i, 0, 0, 0}, 0, 63, 0, 0};
        }
        c.scan_info = scans.data();
        c.num_scans = c.num_components;
    }
    c.arith_code = o.arithmetic ? TRUE : FALSE;
    c.optimize_coding = o.optimize && !o.arithmetic ? TRUE : FALSE;
    c.restart_in_rows = static_cast<int>(o.restartRows);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(o.width) * o.components);
    while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < o.width; ++x) {
            for (int k = 0; k < o.components; ++k) {
                row[static_cast<std::size_t>(x) * o.components + k] = PatternSample(o, x, y, k);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    return std::string(reinterpret_cast<const char*>(compressor.output), compressor.size);
}

// One marker segment of a JPEG file: its code and where it starts; for a scan, `end` is past
// its entropy-coded data.
struct Segment {
    int code = 0;
    std::size_t start = 0;
    std::size_t end = 0;
};

// The file's marker segments in order, from the start-of-image to the end-of-image marker.
inline std::vector<Segment> Segments(const std::string& jpeg) {
    std::vector<Segment> segments;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(jpeg[i]); };
    std::size_t i = 0;
    while (i + 1 < jpeg.size()) {
        if (byte(i) != 0xFF || byte(i + 1) == 0xFF || byte(i + 1) == 0x00) {
            ++i;
            continue;
        }
        Segment segment{byte(i + 1), i, i + 2};
        const bool standalone = segment.code == 0xD8 || segment.code == 0xD9 ||
                                (segment.code >= 0xD0 && segment.code <= 0xD7);
        if (!standalone && i + 3 < jpeg.size()) {
            segment.end = i + 2 + (static_cast<std::size_t>(byte(i + 2)) << 8) + byte(i + 3);
        }
        if (segment.code == 0xDA) {  // entropy-coded data runs to the next real marker
            std::size_t j = segment.end;
            while (j + 1 < jpeg.size() && !(byte(j) == 0xFF && byte(j + 1) != 0x00 &&
                                            !(byte(j + 1) >= 0xD0 && byte(j + 1) <= 0xD7))) {
                ++j;
            }
            segment.end = j;
        }
        segments.push_back(segment);
        i = segment.end;
    }
    return segments;
}

inline int CountScans(const std::string& jpeg) {
    int scans = 0;
    for (const Segment& segment : Segments(jpeg)) {
        scans += segment.code == 0xDA ? 1 : 0;
    }
    return scans;
}

// The file with `count` more scans before its end-of-image marker, each a single end-of-band
// run over the first component's AC coefficients (one run of 20480 blocks: the whole luma of a
// 1280 x 1024 picture). They change no coefficient, so the picture stays as it was, but a
// decoder passes over the whole component for every one of them.
inline std::string WithExtraScans(std::string jpeg, int count) {
    const std::size_t end = jpeg.rfind("\xFF\xD9");
    if (end == std::string::npos) {
        throw std::runtime_error("no end-of-image marker");
    }
    int componentId = 1;
    for (const Segment& segment : Segments(jpeg)) {
        if (segment.code == 0xC0 || segment.code == 0xC1 || segment.code == 0xC2) {
            componentId = static_cast<unsigned char>(jpeg[segment.start + 10]);
            break;
        }
    }
    // An AC table in slot 3 whose only code, "0", stands for a run of 2^14 + (14 more bits).
    std::string extra("\xFF\xC4\x00\x14\x13\x01", 6);
    extra.append(15, '\0');
    extra.push_back('\xE0');
    std::string scan("\xFF\xDA\x00\x08\x01", 5);
    scan.push_back(static_cast<char>(componentId));
    scan.append("\x03\x01\x3F\x00", 4);
    scan.append("\x20\x01", 2);  // "0", then 4096 in 14 bits, then a padding bit
    extra.reserve(extra.size() + scan.size() * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        extra += scan;
    }
    jpeg.insert(end, extra);
    return jpeg;
}

// The file with its frame header claiming another size; its data stays what it was.
inline std::string WithClaimedSize(std::string jpeg, int width, int height) {
    for (const Segment& segment : Segments(jpeg)) {
        if ((segment.code >= 0xC0 && segment.code <= 0xC2) || segment.code == 0xC9 ||
            segment.code == 0xCA) {
            jpeg[segment.start + 5] = static_cast<char>(height >> 8);
            jpeg[segment.start + 6] = static_cast<char>(height & 0xFF);
            jpeg[segment.start + 7] = static_cast<char>(width >> 8);
            jpeg[segment.start + 8] = static_cast<char>(width & 0xFF);
            return jpeg;
        }
    }
    throw std::runtime_error("no frame header");
}

// The file with `bytes` inserted before its frame header.
inline std::string WithBeforeFrame(std::string jpeg, const std::string& bytes) {
    for (const Segment& segment : Segments(jpeg)) {
        if (segment.code >= 0xC0 && segment.code <= 0xCF && segment.code != 0xC4 &&
            segment.code != 0xC8 && segment.code != 0xCC) {
            jpeg.insert(segment.start, bytes);
            return jpeg;
        }
    }
    throw std::runtime_error("no frame header");
}

// The file with the sampling factors of its frame header's components replaced (one byte each,
// horizontal factor in the high half): a frame that a compressor would not write.
inline std::string WithSamplingFactors(std::string jpeg, const std::vector<int>& factors) {
    for (const Segment& segment : Segments(jpeg)) {
        if (segment.code >= 0xC0 && segment.code <= 0xC2) {
            for (std::size_t i = 0; i < factors.size(); ++i) {
                jpeg[segment.start + 11 + 3 * i] = static_cast<char>(factors[i]);
            }
            return jpeg;
        }
    }
    throw std::runtime_error("no frame header");
}

// What a file's frame header tells, as libjpeg reads it.
struct Frame {
    int width = 0;
    int height = 0;
    int components = 0;
};

namespace detail {

struct JumpingErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

inline void JumpBack(j_common_ptr cinfo) {
    // Reserved markers are skipped, as the image library's loader skips them.
    if (cinfo->err->msg_code != JERR_UNKNOWN_MARKER) {
        std::longjmp(reinterpret_cast<JumpingErrors*>(cinfo->err)->jump, 1);
    }
}

inline void Quiet(j_common_ptr) {}

// Only trivially destructible values live in this frame, which a libjpeg error jumps back to.
inline bool ReadFrame(jpeg_decompress_struct& cinfo, JumpingErrors& errors, const std::string& jpeg,
                      Frame& frame) {
    if (setjmp(errors.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    frame = Frame{static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height),
                  cinfo.num_components};
    return true;
}

}  // namespace detail

// The frame of a file; nothing when libjpeg cannot read its header.
inline std::optional<Frame> FrameOf(const std::string& jpeg) {
    jpeg_decompress_struct cinfo{};
    detail::JumpingErrors errors{};
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = detail::JumpBack;
    errors.manager.output_message = detail::Quiet;
    Frame frame;
    const bool read = detail::ReadFrame(cinfo, errors, jpeg, frame);
    jpeg_destroy_decompress(&cinfo);
    return read ? std::optional(frame) : std::nullopt;
}

// A header that claims a picture of width x height over the data of a tiny one: a few
// hundred bytes.
inline std::string HeaderBomb(int width, int height) {
    Options small;
    small.width = 16;
    small.height = 16;
    small.quality = 50;
    return WithClaimedSize(Encode(small), width, height);
}

// A progressive picture of width x height with `scans` scans in all.
inline std::string ScanBomb(int width, int height, int scans, int components = 3) {
    Options o;
    o.width = width;
    o.height = height;
    o.components = components;
    o.progressive = true;
    o.quality = 75;
    const std::string base = Encode(o);
    return WithExtraScans(base, scans - CountScans(base));
}

}  // namespace jpeg_samples
