// A header of V4L2.
#include <linux/videodev2.h>
