// Whole rows of pixels through per-channel tables.
#pragma once

#include "image/imagergba.h"

#include <cstddef>

// One table per colour channel; alpha is either the source's or left as the
// destination has it.
struct channelTables {
    unsigned char r[256], g[256], b[256];
    bool alphaFromSource;
};

// Every pixel of `height` rows of `width` pixels, each row `stride` pixels
// after the last, through the tables from src to dst; src and dst may be the
// same pixels.
void mapChannels(const Rgba* src, Rgba* dst, int width, int height, size_t stride,
                 const channelTables& tables);
