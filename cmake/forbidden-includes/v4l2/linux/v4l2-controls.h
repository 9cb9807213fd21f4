// Stands in front of the system's header on the include path of every library that must not use
// V4L2: the logic reaches the platform through platform/ alone, and each library of linux/ sees
// only the system libraries of its own concern.
#error "linux/v4l2-controls.h is for linux/v4l2 and linux/emulated_camera only"
