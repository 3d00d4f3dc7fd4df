// TIFF files: reading a picture into a new record, writing one safely.
#pragma once

#include "image/picture.h"

#include <string>

// Null (read) or 1 (write) on failure; `reason`, when given, receives why.
// Only regular files are read. A picture whose data is partly damaged is
// read as far as libtiff can decode it, the rest left clear (0, 0, 0, 0), and
// `reason` then says so, naming libtiff's first error. Writing goes where
// writeOutput (image/files.h) sends it: a file is replaced only once the new
// one is complete.
ImageRGBA* imageRgbaReadTIFF(const char* filename, std::string* reason = nullptr,
                             const ReadLimits* limits = nullptr);
int imageRgbaWriteTIFF(const char* filename, const ImageRGBA* img, std::string* reason = nullptr);
