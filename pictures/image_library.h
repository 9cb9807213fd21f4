#pragma once

// The image library (FreeImage) is open for as long as an ImageLibrary lives: the window's
// pictures are loaded and stored only inside that time.

class ImageLibrary {
public:
    ImageLibrary();
    ~ImageLibrary();
    ImageLibrary(const ImageLibrary&) = delete;
    ImageLibrary& operator=(const ImageLibrary&) = delete;
};
