#pragma once

// Feeds libjpeg from a picture file. The decoder is handed the bytes exactly as the image
// library's own JPEG loader hands them over: in pieces of 4096 bytes, and past the end of the
// file an endless run of end-of-image markers after a warning, so that a truncated picture
// decodes to the same pixels; a file without a single byte is an error. Unlike that loader, a
// read error is an error rather than the end of the file, and at most kMaxPictureFileBytes are
// read: no picture within the size limit comes near that (a 1280 x 1024 picture of pure noise
// at the highest quality takes about 8 MB), so a longer file costs no more than that to refuse.

// libjpeg's headers use FILE without including its header.
#include <cstdio>

#include <jpeglib.h>

#include <cstddef>

constexpr std::size_t kMaxPictureFileBytes = 16 * 1024 * 1024;

class JpegFileSource {
public:
    // Reads the descriptor `fd`, which stays open for as long as the decoder reads.
    explicit JpegFileSource(int fd) : m_fd(fd) {}
    JpegFileSource(const JpegFileSource&) = delete;
    JpegFileSource& operator=(const JpegFileSource&) = delete;

    // Makes this the data source of `cinfo`, which must not outlive it.
    void Attach(jpeg_decompress_struct& cinfo);

private:
    static constexpr std::size_t kPieceBytes = 4096;
    static constexpr std::size_t kStagingBytes = 16 * kPieceBytes;

    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, long count);
    static void TermSource(j_decompress_ptr cinfo);
    static JpegFileSource& Of(j_decompress_ptr cinfo);

    // Reads until a whole piece is staged or the file has ended.
    void Stage(j_decompress_ptr cinfo);

    jpeg_source_mgr m_manager{};
    int m_fd = -1;
    std::size_t m_bytesRead = 0;
    bool m_startOfFile = true;
    bool m_endOfFile = false;
    std::size_t m_stagedBegin = 0;  // the unread part of m_staging
    std::size_t m_stagedEnd = 0;
    JOCTET m_endMarker[2] = {0xFF, JPEG_EOI};
    JOCTET m_staging[kStagingBytes];
};
