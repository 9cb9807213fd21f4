#include "linux/emulated_camera/virtual_camera_controls.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct Definition {
    std::uint32_t id;
    std::uint32_t type;
    const char* name;
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t defaultValue;
};

constexpr std::array<Definition, 4> kDefinitions = {{
    {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 128},
    {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 255, 128},
    {V4L2_CID_HFLIP, V4L2_CTRL_TYPE_BOOLEAN, "Horizontal Flip", 0, 1, 0},
    {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1},
}};
constexpr std::array<const char*, 3> kPowerLineItems = {"Disabled", "50 Hz", "60 Hz"};

// The offered control of that id, or null.
const Definition* Find(std::uint32_t id, bool none) {
    if (none) {
        return nullptr;
    }
    for (const Definition& definition : kDefinitions) {
        if (definition.id == id) {
            return &definition;
        }
    }
    return nullptr;
}

// The offered control with the lowest id above after, as V4L2_CTRL_FLAG_NEXT_CTRL walks them.
const Definition* Next(std::uint32_t after, bool none) {
    const Definition* next = nullptr;
    for (const Definition& definition : kDefinitions) {
        if (!none && definition.id > after && (next == nullptr || definition.id < next->id)) {
            next = &definition;
        }
    }
    return next;
}

}  // namespace

VirtualCameraControls::VirtualCameraControls(bool none) : m_none(none) {
    for (const Definition& definition : kDefinitions) {
        m_values[definition.id] = definition.defaultValue;
    }
}

int VirtualCameraControls::Query(v4l2_queryctrl& query) const {
    const bool next = (query.id & V4L2_CTRL_FLAG_NEXT_CTRL) != 0;
    const std::uint32_t id = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
    const Definition* definition = next ? Next(id, m_none) : Find(id, m_none);
    if (definition == nullptr) {
        return -EINVAL;
    }
    query = v4l2_queryctrl{};
    query.id = definition->id;
    query.type = definition->type;
    std::snprintf(reinterpret_cast<char*>(query.name), sizeof query.name, "%s", definition->name);
    query.minimum = definition->minimum;
    query.maximum = definition->maximum;
    query.step = 1;
    query.default_value = definition->defaultValue;
    return 0;
}

int VirtualCameraControls::QueryExt(v4l2_query_ext_ctrl& query) const {
    v4l2_queryctrl basic{};
    basic.id = query.id;
    if (const int result = Query(basic); result < 0) {
        return result;
    }
    query = v4l2_query_ext_ctrl{};
    query.id = basic.id;
    query.type = basic.type;
    std::memcpy(query.name, basic.name, sizeof basic.name);
    query.minimum = basic.minimum;
    query.maximum = basic.maximum;
    query.step = 1;
    query.default_value = basic.default_value;
    query.elem_size = sizeof(std::int32_t);
    query.elems = 1;
    return 0;
}

int VirtualCameraControls::QueryMenu(v4l2_querymenu& menu) const {
    const Definition* definition = Find(menu.id, m_none);
    if (definition == nullptr || definition->type != V4L2_CTRL_TYPE_MENU ||
        menu.index >= kPowerLineItems.size()) {
        return -EINVAL;
    }
    std::snprintf(reinterpret_cast<char*>(menu.name), sizeof menu.name, "%s",
                  kPowerLineItems[menu.index]);
    return 0;
}

int VirtualCameraControls::Get(v4l2_control& control) const {
    if (Find(control.id, m_none) == nullptr) {
        return -EINVAL;
    }
    control.value = m_values.at(control.id);
    return 0;
}

int VirtualCameraControls::Set(v4l2_control& control) {
    const Definition* definition = Find(control.id, m_none);
    if (definition == nullptr) {
        return -EINVAL;
    }
    if (definition->type == V4L2_CTRL_TYPE_MENU &&
        (control.value < definition->minimum || control.value > definition->maximum)) {
        return -ERANGE;
    }
    control.value = std::clamp(control.value, definition->minimum, definition->maximum);
    m_values[control.id] = control.value;
    return 0;
}

PatternSettings VirtualCameraControls::Pattern() const {
    PatternSettings settings;
    settings.brightness = m_values.at(V4L2_CID_BRIGHTNESS);
    settings.contrast = m_values.at(V4L2_CID_CONTRAST);
    settings.mirrored = m_values.at(V4L2_CID_HFLIP) != 0;
    return settings;
}
