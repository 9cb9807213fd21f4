// Stands in front of the system's header on the include path of app/, capture/, pictures/ and
// ui/: those modules reach the desktop, the camera and the buses through platform/ alone.
#error "linux/v4l2-controls.h is for platform/ only: use the platform interface instead"
