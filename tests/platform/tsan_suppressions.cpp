// Qt is not built with ThreadSanitizer: its own worker threads (image conversion, font and icon
// loading) synchronise through atomics the checker cannot see, so the memory they allocate and
// free looks racy. Only Qt's own calls into the allocator and the C library are set aside; every
// access our code makes, on any thread, is still checked. Without ThreadSanitizer this function
// is never called.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so\n"
           "called_from_lib:libQt6Gui.so\n"
           "called_from_lib:libQt6Widgets.so\n"
           "called_from_lib:libqoffscreen.so\n";
}
