#include "pictures/thumbnails/jpeg_file_source.h"

#include <errno.h>
#include <unistd.h>

#include <jerror.h>

#include <algorithm>
#include <cstring>

void JpegFileSource::Attach(jpeg_decompress_struct& cinfo) {
    m_manager.init_source = InitSource;
    m_manager.fill_input_buffer = FillInputBuffer;
    m_manager.skip_input_data = SkipInputData;
    m_manager.resync_to_restart = jpeg_resync_to_restart;
    m_manager.term_source = TermSource;
    m_manager.bytes_in_buffer = 0;
    m_manager.next_input_byte = nullptr;
    cinfo.src = &m_manager;
}

JpegFileSource& JpegFileSource::Of(j_decompress_ptr cinfo) {
    // m_manager is the first member, so its address is the object's.
    return *reinterpret_cast<JpegFileSource*>(cinfo->src);
}

void JpegFileSource::InitSource(j_decompress_ptr cinfo) {
    Of(cinfo).m_startOfFile = true;
}

void JpegFileSource::Stage(j_decompress_ptr cinfo) {
    const std::size_t staged = m_stagedEnd - m_stagedBegin;
    std::memmove(m_staging, m_staging + m_stagedBegin, staged);
    m_stagedBegin = 0;
    m_stagedEnd = staged;
    while (!m_endOfFile && m_stagedEnd < kPieceBytes) {
        const ssize_t count = ::read(m_fd, m_staging + m_stagedEnd, kStagingBytes - m_stagedEnd);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            ERREXIT(cinfo, JERR_FILE_READ);
        }
        m_endOfFile = count == 0;
        m_stagedEnd += static_cast<std::size_t>(count);
        m_bytesRead += static_cast<std::size_t>(count);
        if (m_bytesRead > kMaxPictureFileBytes) {
            ERREXIT(cinfo, JERR_FILE_READ);  // the file grew past the bound after it was opened
        }
    }
}

boolean JpegFileSource::FillInputBuffer(j_decompress_ptr cinfo) {
    JpegFileSource& source = Of(cinfo);
    if (source.m_stagedEnd - source.m_stagedBegin < kPieceBytes && !source.m_endOfFile) {
        source.Stage(cinfo);
    }
    const std::size_t staged = source.m_stagedEnd - source.m_stagedBegin;
    if (staged == 0) {
        if (source.m_startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source.m_manager.next_input_byte = source.m_endMarker;
        source.m_manager.bytes_in_buffer = sizeof source.m_endMarker;
    } else {
        const std::size_t piece = std::min(staged, kPieceBytes);
        source.m_manager.next_input_byte = source.m_staging + source.m_stagedBegin;
        source.m_manager.bytes_in_buffer = piece;
        source.m_stagedBegin += piece;
    }
    source.m_startOfFile = false;
    return TRUE;
}

// Skips by reading on, piece by piece, as the image library's loader does: a skip that runs
// past the end of the file so lands at the same place in the run of end-of-image markers.
void JpegFileSource::SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr& manager = Of(cinfo).m_manager;
    while (count > static_cast<long>(manager.bytes_in_buffer)) {
        count -= static_cast<long>(manager.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    manager.next_input_byte += count;
    manager.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void JpegFileSource::TermSource(j_decompress_ptr) {}
