#pragma once

// Storing a snapshot as a JPEG file without ever replacing a file: the picture is written in
// full under a temporary name in the picture folder, flushed to disk, and only then given its
// name "Picture%04d.jpg", and only if no file has that name. A crash so never leaves a
// half-written picture, and two running copies never write over each other's pictures.

#include <string>

struct FIBITMAP;

// Stores `image` in `folder` (created when missing) under the first free number from
// `firstNumber` on; returns the number used, or 0 after logging the path that failed.
int StorePictureNoReplace(const std::string& folder, int firstNumber, FIBITMAP* image);
