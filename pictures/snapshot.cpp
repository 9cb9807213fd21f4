// Taking a picture: the latest camera frame becomes a JPEG file under the next free number
// and a new record at the end of the list.

#include <climits>

#include "app/webcam_dlg.h"
#include "capture/frame_double_buffer.h"
#include "pictures/image_handle.h"
#include "pictures/jpeg_store.h"
#include "pictures/picture_work_buffers.h"
#include "pictures/thumbnail_sampling.h"
#include "pictures/yuy2_conversion.h"
#include "platform/diagnostic_log.h"

namespace {

// The conditions under which a snapshot could not be kept, each with its log line.
bool SnapshotPossible(const CWebcamDlg& dialog) {
    const char* refusal = nullptr;
    if (dialog.m_nThumbCount >= kThumbnailCapacity) {
        refusal = "TakeSnapshot: all 10000 picture records are in use";
    } else if (dialog.m_szPictureDir.empty()) {
        refusal = "TakeSnapshot: no picture folder";
    } else if (!dialog.m_workBuffers || dialog.m_thumbs[dialog.m_nThumbCount].pPixels == nullptr) {
        refusal = "TakeSnapshot: no working buffers";
    } else if (dialog.m_nNextPictureNumber < 1) {
        refusal = "TakeSnapshot: no picture number left";
    }
    if (refusal != nullptr) {
        WriteLog(refusal);
    }
    return refusal == nullptr;
}

enum class CaptureOutcome { Captured, FrameMismatch, NoImage };

// Converts the latest frame into the working buffer, samples the thumbnail and lets the image
// library take its copy, all with the frame gate closed: no block is written meanwhile.
CaptureOutcome CaptureLatestFrame(CWebcamDlg& dialog, const CaptureGeometry& geometry,
                                  std::uint8_t* thumbnail, ImagePtr* image) {
    std::uint8_t* buffer = dialog.m_workBuffers->snapshot.Data();
    FrameGateReader reader(dialog);
    const FrameView frame = reader.Latest();
    // After a change of resolution the latest frame may still be one of the old size.
    if (frame.data == nullptr || static_cast<std::size_t>(frame.length) != geometry.FrameBytes()) {
        return CaptureOutcome::FrameMismatch;
    }
    ConvertYuy2Frame(frame.data, geometry.width, geometry.height, buffer);
    SampleThumbnail(buffer, geometry.columnStep, geometry.rowSkip, thumbnail);
    // The buffer holds the camera's bottom row first; handed over as bottom-up, the stored
    // picture stands the right way up.
    image->reset(FreeImage_ConvertFromRawBits(buffer, geometry.width, geometry.height,
                                              geometry.width * 3, 24, 0, 0, 0, FALSE));
    return *image ? CaptureOutcome::Captured : CaptureOutcome::NoImage;
}

}  // namespace

void CWebcamDlg::TakeSnapshot() {
    if (g_frameDoubleBuffer.m_pLatest.load() == nullptr) {
        return;  // no frame has arrived yet
    }
    const auto geometry = CaptureGeometryFor(m_nResolution);
    if (!geometry || !SnapshotPossible(*this)) {
        return;
    }
    ThumbnailRecord& record = m_thumbs[m_nThumbCount];
    ImagePtr image;
    const CaptureOutcome outcome = CaptureLatestFrame(*this, *geometry, record.pPixels, &image);
    if (outcome == CaptureOutcome::FrameMismatch) {
        WriteLog("TakeSnapshot: the latest frame does not have the selected size");
    }
    if (outcome != CaptureOutcome::Captured) {
        return;
    }
    const int number = StorePictureNoReplace(m_szPictureDir, m_nNextPictureNumber, image.get());
    image.reset();
    if (number == 0) {
        return;  // logged with the path; the list does not change
    }
    record.nNumber = number;
    record.bSelected = false;
    ++m_nThumbCount;
    UpdateThumbScroll();
}
