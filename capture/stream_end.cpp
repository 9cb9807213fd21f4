#include "capture/stream_end.h"

#include <cstdio>

#include "platform/diagnostic_log.h"

void OnCameraStreamEnd(const StreamEnd& end) {
    if (end.DeviceLost()) {
        WriteLog(kCameraDisconnectedLog);
        return;
    }
    char line[96];
    std::snprintf(line, sizeof line, "Camera stream failed (errno %d): frame capture stopped",
                  end.error);
    WriteLog(line);
}
