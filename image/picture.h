// Pictures whatever their format: read by what the file holds (TIFF, JPEG,
// PNG, WebP, HEIC/HEIF), written in the format chosen (TIFF, PNG, JPEG, WebP).
#pragma once

#include "image/imagergba.h"

#include <cstddef>
#include <string>

// What a read may take on. `accept` sees the declared size before any pixel
// memory is taken and refuses it by returning false with a reason.
struct ReadLimits {
    size_t maxSingleAlloc;  // a cap on any one allocation of the decoders; 0: none
    bool (*accept)(unsigned width, unsigned height, std::string* reason);
};

// A new picture of the size a file declares, once the limits accept it; null
// with the reason when they do not or memory is short.
ImageRGBA* newPictureOfSize(unsigned width, unsigned height, const ReadLimits* limits,
                            std::string* why);

// Null on failure, with `reason` saying why. A JPEG or HEIC taken by a turned
// camera is read upright. A TIFF whose data is partly damaged is read as far
// as it goes and `reason` says so (see image/tiff.h); damaged data of the
// other formats refuses the file. A file of no known format gets the TIFF
// reader's words.
ImageRGBA* imageRgbaRead(const char* filename, std::string* reason = nullptr,
                         const ReadLimits* limits = nullptr);

enum class PictureFormat { tiff, png, jpeg, webp };

struct SaveFormat {
    PictureFormat format = PictureFormat::tiff;
    int quality = 0;  // 1 to 100 for JPEG and lossy WebP; 0: JPEG at 92, WebP lossless
};

// The format an extension (without the dot) names, ignoring case; false for
// one no writer has.
bool formatOfExtension(const std::string& extension, PictureFormat* format);
// The format of a file by its extension; a name without one is TIFF.
bool formatOfName(const std::string& name, PictureFormat* format);
// The extensions formatOfName knows, for messages: ".tif, .tiff, ...".
extern const char* const kWritableExtensions;
// `name` with its extension (if any) replaced by `extension` (without the dot).
std::string withExtension(const std::string& name, const std::string& extension);

// Writes through writeOutput (image/files.h): 0, or 1 with `reason`.
int imageRgbaWrite(const char* filename, const ImageRGBA* img, const SaveFormat& format,
                   std::string* reason = nullptr);
