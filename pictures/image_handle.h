#pragma once

// An image of the image library, released when its owner goes.

#include <FreeImage.h>

#include <memory>

struct ImageUnloader {
    void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using ImagePtr = std::unique_ptr<FIBITMAP, ImageUnloader>;
