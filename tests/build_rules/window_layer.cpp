// A header of the Linux window layer.
#include "linux/window/qt_task_poster.h"
