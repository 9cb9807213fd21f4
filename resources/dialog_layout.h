#pragma once

// The main window's layout (dialog resource 102).

#include "platform/dialog_template.h"

const DialogLayout& MainDialogLayout();
