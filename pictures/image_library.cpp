#include "pictures/image_library.h"

#include <FreeImage.h>

ImageLibrary::ImageLibrary() {
    FreeImage_Initialise(FALSE);
}

ImageLibrary::~ImageLibrary() {
    FreeImage_DeInitialise();
}
