// A header of libdbus.
#include <dbus/dbus.h>
