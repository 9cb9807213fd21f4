#pragma once

// The emulated camera's settings as its driver answers for them: brightness, contrast, a
// mirroring switch and the power line frequency menu, with the values they hold and the V4L2
// control requests that list, read and change them. Not thread-safe by itself: the emulated
// device's lock guards it.

#include <linux/videodev2.h>

#include <cstdint>
#include <map>

#include "linux/emulated_camera/test_pattern.h"

class VirtualCameraControls {
public:
    // none: the camera offers no settings at all.
    explicit VirtualCameraControls(bool none);

    // The control requests, answered as a driver does: 0 or -errno.
    int Query(v4l2_queryctrl& query) const;
    int QueryExt(v4l2_query_ext_ctrl& query) const;
    int QueryMenu(v4l2_querymenu& menu) const;
    int Get(v4l2_control& control) const;
    // Integers and the switch are clamped to their range; a menu value outside it is refused.
    int Set(v4l2_control& control);

    // The picture the current values ask for.
    PatternSettings Pattern() const;

private:
    bool m_none;
    std::map<std::uint32_t, std::int32_t> m_values;
};
