// A header of X11.
#include <X11/Xlib.h>
