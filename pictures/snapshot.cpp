#include "pictures/snapshot.h"

#include "capture/frame_double_buffer.h"
#include "pictures/image_handle.h"
#include "pictures/jpeg_store.h"
#include "pictures/picture_numbering.h"
#include "pictures/thumbnails/cached_thumbnails.h"
#include "pictures/thumbnails/picture_work_buffers.h"
#include "pictures/thumbnails/thumbnail_sampling.h"
#include "pictures/yuy2_conversion.h"
#include "platform/diagnostic_log.h"

namespace {

// The conditions under which a snapshot could not be kept, each with its log line.
bool SnapshotPossible(const PictureList& list) {
    const char* refusal = nullptr;
    if (list.m_nThumbCount >= kThumbnailCapacity) {
        refusal = "TakeSnapshot: all 10000 picture records are in use";
    } else if (list.m_szPictureDir.empty()) {
        refusal = "TakeSnapshot: no picture folder";
    } else if (!list.m_workBuffers || list.m_thumbs[list.m_nThumbCount].pPixels == nullptr) {
        refusal = "TakeSnapshot: no working buffers";
    } else if (list.m_nNextPictureNumber < 1) {
        refusal = "TakeSnapshot: no picture number left";
    }
    if (refusal != nullptr) {
        WriteLog(refusal);
    }
    return refusal == nullptr;
}

// Converts the frame into the working buffer, samples the thumbnail and lets the image library
// take its copy, all while the reader holds the frame gate closed: no block is written meanwhile.
ImagePtr CaptureFrame(const FrameView& frame, const CaptureGeometry& geometry, std::uint8_t* buffer,
                      std::uint8_t* thumbnail) {
    ConvertYuy2Frame(frame.data, geometry.width, geometry.height, buffer);
    SampleThumbnail(buffer, geometry.columnStep, geometry.rowSkip, thumbnail);
    // The buffer holds the camera's bottom row first; handed over as bottom-up, the stored
    // picture stands the right way up.
    return ImagePtr(FreeImage_ConvertFromRawBits(buffer, geometry.width, geometry.height,
                                                 geometry.width * 3, 24, 0, 0, 0, FALSE));
}

}  // namespace

bool TakeSnapshot(PictureList& list, CaptureState& capture) {
    // The last frame of a camera that went away is not a picture of what it sees now.
    if (capture.m_bCameraLost) {
        WriteLog("TakeSnapshot: the camera is disconnected");
        return false;
    }
    ImagePtr image;
    {
        FrameGateReader reader(capture);
        const FrameView frame = reader.Latest();
        if (frame.data == nullptr) {
            return false;  // no frame has arrived yet
        }
        const auto geometry = CaptureGeometryFor(capture.m_nResolution);
        if (!geometry || !SnapshotPossible(list)) {
            return false;
        }
        // After a change of resolution the latest frame may still be one of the old size.
        if (static_cast<std::size_t>(frame.length) != geometry->FrameBytes()) {
            WriteLog("TakeSnapshot: the latest frame does not have the selected size");
            return false;
        }
        image = CaptureFrame(frame, *geometry, list.m_workBuffers->snapshot.Data(),
                             list.m_thumbs[list.m_nThumbCount].pPixels);
    }
    if (!image) {
        return false;
    }
    const int number =
        StorePictureNoReplace(list.m_szPictureDir, list.m_nNextPictureNumber, image.get());
    image.reset();
    if (number == 0) {
        return false;  // logged with the path; the list does not change
    }
    ThumbnailRecord& record = list.m_thumbs[list.m_nThumbCount];
    record.nNumber = number;
    record.bSelected = false;
    record.pixelsReady = true;
    ++list.m_nThumbCount;
    if (list.m_cache) {
        list.m_cache->AddTaken(PictureFileName(number));
    }
    return true;
}
