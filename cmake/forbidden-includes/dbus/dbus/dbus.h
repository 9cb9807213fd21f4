// Stands in front of the system's header on the include path of every library that must not use
// D-Bus: the logic reaches the platform through platform/ alone, and each library of linux/ sees
// only the system libraries of its own concern.
#error "dbus/dbus.h is for linux/desktop only"
