#pragma once

// The camera driver's settings as a modal dialog: one row per setting the driver offers
// (integer: slider and spin box; switch: check box; menu: combo box; button: push button),
// applied to the device as soon as they change, and a button that restores the driver's
// defaults. Read-only and inactive settings are shown greyed.

#include <memory>

#include "platform/media_framework.h"

class QDialog;
class QWidget;

// The dialog, built but not shown, positioned from its owner window. The value widget of a
// setting is named "control-<id>" (a slider's spin box "control-<id>-spin"); the restore
// button "restore-defaults".
std::unique_ptr<QDialog> CreatePropertiesDialog(const PropertyFrameRequest& request,
                                                PropertyPages& pages);

// Shows the dialog modally and returns when it was closed.
void RunPropertiesDialog(const PropertyFrameRequest& request, PropertyPages& pages);
