// Hostile pictures for the reader: a one-strip grey TIFF whose strip bytes
// are written as given, whatever the header declares.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>

inline void writeRawStrip(const char* path, uint32_t width, uint32_t height, uint16_t bits,
                          uint16_t compression, uint16_t photometric, const unsigned char* strip,
                          size_t size) {
    TIFF* tif = TIFFOpen(path, "w");
    if (!tif) return;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFWriteRawStrip(tif, 0, const_cast<unsigned char*>(strip), static_cast<tmsize_t>(size));
    TIFFClose(tif);
}
