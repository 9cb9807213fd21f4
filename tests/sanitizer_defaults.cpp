// Libraries that are not built with ThreadSanitizer synchronise through atomics the checker
// cannot see: Qt's own worker threads (image conversion, font and icon loading, the D-Bus
// thread of the tests' own callers), and libdbus's reference counts on the messages and strings
// it shares between a connection's threads. The memory they allocate, copy and free therefore
// looks racy, and libdbus handles its own locks (recursive ones among them) in ways the
// checker misreads. Only Qt's own calls into the allocator and the C library, and reports whose
// stacks pass through libdbus, are set aside; every access our code makes on its own, on any
// thread, is still checked. Without ThreadSanitizer these functions are never called.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libQt6DBus.so\n"
           "called_from_lib:libqoffscreen.so\n"
           "race:libdbus-1.so\n"
           "mutex:libdbus-1.so\n"
           "deadlock:libdbus-1.so\n";
}

// The tests start helper processes (a private bus daemon) from a process that already has
// threads; the child only executes the helper, so the checker need not end it.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
