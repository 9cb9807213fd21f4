#pragma once

// The camera driver's settings dialog, what stands in for the driver's property pages.

#include <string>

#include "capture/capture_state.h"

class MediaFramework;

// The dialog's window title in the user's language.
const char* PropertiesTitle(bool chinese);

// Shows the running camera's settings in a modal dialog over the window titled ownerTitle and
// returns when it was closed. A camera without settings, or no camera, shows nothing.
// state.m_pSpecifyPages is non-null exactly while the dialog is open.
void ShowDeviceProperties(CaptureState& state, MediaFramework& media, const std::string& ownerTitle,
                          bool chinese);
