// One decoder and encoder per format beside TIFF, each a thin layer over its
// library: libjpeg-turbo, libspng, libwebp, libheif (image/picture.cpp
// chooses among them).
#pragma once

#include "image/picture.h"

#include <cstddef>
#include <string>

// A whole file in memory. Each reader checks the declared size against the
// limits before it takes memory for pixels, and gives null with the
// library's reason for a truncated or corrupt file.
ImageRGBA* readJpeg(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why);
ImageRGBA* readPng(const unsigned char* data, size_t size, const ReadLimits* limits,
                   std::string* why);
ImageRGBA* readWebp(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why);
ImageRGBA* readHeif(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why);

bool isJpeg(const unsigned char* data, size_t size);
bool isPng(const unsigned char* data, size_t size);
bool isWebp(const unsigned char* data, size_t size);
bool isHeif(const unsigned char* data, size_t size);

// Encoders write the whole file to `fd` (which they leave open); false with
// the reason. A picture without transparency is written without alpha.
bool writeJpeg(int fd, const ImageRGBA* img, int quality, std::string* why);
bool writePng(int fd, const ImageRGBA* img, std::string* why);
bool writeWebp(int fd, const ImageRGBA* img, int quality, std::string* why);

// Whether every pixel is opaque.
bool isOpaque(const ImageRGBA* img);
