// A header of udev.
#include <libudev.h>
