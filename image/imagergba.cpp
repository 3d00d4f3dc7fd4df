#include "image/imagergba.h"

#include "image/clip.h"

#include <tiffio.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// SSE2 is part of every x86-64; MORVANE_NO_SIMD builds the portable code.
#if defined(__SSE2__) && !defined(MORVANE_NO_SIMD)
#define MORVANE_SSE2 1
#include <emmintrin.h>
#else
#define MORVANE_SSE2 0
#endif

namespace {
const char* const kSource = "image/imagergba";
}

void morvaneAssertFail(const char* condition, const char* source, unsigned line,
                       const char* function) {
    // Same shape as the C library's message, so it reads like any assertion.
    std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
                 source, line, function, condition);
    std::fflush(stderr);
    std::abort();
}

ImageRGBA* imageRgbaNew(int width, int height) {
    MORVANE_CHECK(width >= 0, kSource);
    MORVANE_CHECK(height >= 0, kSource);
    // Pixel indices are ints throughout the program, so the count must fit one.
    if (height != 0 && width > INT_MAX / height) return nullptr;
    ImageRGBA* img = new (std::nothrow) ImageRGBA;
    if (!img) return nullptr;
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(Rgba);
    img->data = static_cast<Rgba*>(std::malloc(bytes ? bytes : sizeof(Rgba)));
    if (!img->data) {
        delete img;
        return nullptr;
    }
    img->width = width;
    img->height = height;
    img->bytesPerPixel = sizeof(Rgba);
    return img;
}

void imageRgbaFree(ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    std::free(img->data);
    delete img;
}

ImageRGBA* imageRgbaClone(const ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    ImageRGBA* copy = imageRgbaNew(img->width, img->height);
    if (copy) {
        std::memcpy(copy->data, img->data,
                    static_cast<size_t>(img->width) * img->height * sizeof(Rgba));
    }
    return copy;
}

void imageRgbaCopy(const ImageRGBA* src, const ImageRGBA* dest) {
    MORVANE_CHECK(src->height == dest->height && src->width == dest->width, kSource);
    if (src->data == dest->data) return;
    std::memcpy(dest->data, src->data, static_cast<size_t>(src->width) * src->height * sizeof(Rgba));
}

void imageRgbaClear(ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    imageRgbaSet(img, 255, 255, 255, 255);
}

void imageRgbaSet(ImageRGBA* img, unsigned r, unsigned g, unsigned b, unsigned a) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    const Rgba p = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                    static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
    std::fill_n(img->data, static_cast<size_t>(img->width) * img->height, p);
}

void imageRgbaSetArea(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour) {
    for (int y = y1; y < y2; ++y) {
        Rgba* row = img->data + static_cast<size_t>(y) * img->width;
        for (int x = x1; x < x2; ++x) row[x] = colour;
    }
}

namespace {
inline Rgba antsPixel(int phase) {
    return phase % 8 > 3 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
}
}  // namespace

void imageRgbaDrawHorizontalAreaLine(ImageRGBA* img, int x1, int x2, int y, int phase) {
    Rgba* row = img->data + static_cast<size_t>(y) * img->width;
    for (int x = x2; x >= x1; --x) row[x] = antsPixel(phase++);
}

void imageRgbaDrawVerticalAreaLine(ImageRGBA* img, int y1, int y2, int x, int phase) {
    for (int y = y2; y >= y1; --y) img->data[static_cast<size_t>(y) * img->width + x] = antsPixel(phase++);
}

// ---------------------------------------------------------------------------
// TIFF files

namespace {

// libtiff reports through handlers; ours keep the first error as the reason
// and drop warnings (every file we write, the icons included, draws one for
// its undeclared fourth sample).
int keepFirstError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* reason = static_cast<std::string*>(user);
    if (reason && reason->empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        *reason = text;
        (void)module;
    }
    return 1;  // handled: libtiff's global handler stays quiet
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffOptions {
    TIFFOpenOptions* opts;
    explicit TiffOptions(std::string* reason) : opts(TIFFOpenOptionsAlloc()) {
        if (opts) {
            TIFFOpenOptionsSetErrorHandlerExtR(opts, keepFirstError, reason);
            TIFFOpenOptionsSetWarningHandlerExtR(opts, dropWarning, nullptr);
        }
    }
    ~TiffOptions() {
        if (opts) TIFFOpenOptionsFree(opts);
    }
    TiffOptions(const TiffOptions&) = delete;
    TiffOptions& operator=(const TiffOptions&) = delete;
};

void setReason(std::string* reason, const std::string& text) {
    if (reason && reason->empty()) *reason = text;
}

// libtiff often starts a message with the file name, which the caller names anyway.
void dropNamePrefix(std::string* reason, const char* filename) {
    const std::string prefix = std::string(filename) + ": ";
    if (reason->compare(0, prefix.size(), prefix) == 0) reason->erase(0, prefix.size());
}

bool hostIsBigEndian() {
    uint16_t v;
    std::memcpy(&v, "12", 2);
    return v == 0x3132;
}

inline Rgba byteReversed(Rgba p) { return Rgba{p.a, p.b, p.g, p.r}; }

// libtiff delivers the bottom row first; the record wants row 0 at the top.
void flipRows(ImageRGBA* img, bool reverseBytes) {
    const int w = img->width;
    if (w == 0 || img->height == 0) return;
    Rgba* first = img->data;
    Rgba* last = img->data + static_cast<size_t>(img->height - 1) * w;
    while (first < last) {
        for (int x = w - 1; x >= 0; --x) {
            Rgba a = first[x], b = last[x];
            first[x] = reverseBytes ? byteReversed(b) : b;
            last[x] = reverseBytes ? byteReversed(a) : a;
        }
        first += w;
        last -= w;
    }
    if (reverseBytes && first == last) {
        for (int x = 0; x < w; ++x) first[x] = byteReversed(first[x]);
    }
}

}  // namespace

ImageRGBA* imageRgbaReadTIFF(const char* filename, std::string* reason) {
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();
    TiffOptions options(why);
    TIFF* tif = TIFFOpenExt(filename, "r", options.opts);
    if (!tif) {
        dropNamePrefix(why, filename);
        setReason(why, "cannot open the file");
        return nullptr;
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    ImageRGBA* img = nullptr;
    if (width > static_cast<uint32_t>(INT_MAX) || height > static_cast<uint32_t>(INT_MAX)) {
        setReason(why, "the picture is too large (" + std::to_string(width) + " by " +
                           std::to_string(height) + " pixels)");
    } else {
        img = imageRgbaNew(static_cast<int>(width), static_cast<int>(height));
        if (!img) {
            setReason(why, "not enough memory for a picture of " + std::to_string(width) + " by " +
                               std::to_string(height) + " pixels");
        } else if (!TIFFReadRGBAImage(tif, width, height, reinterpret_cast<uint32_t*>(img->data), 0)) {
            setReason(why, "the picture data cannot be decoded");
            imageRgbaFree(img);
            img = nullptr;
        } else {
            flipRows(img, hostIsBigEndian());
        }
    }
    TIFFClose(tif);
    return img;
}


namespace {

bool writeTiffStream(TIFF* tif, const char* filename, const ImageRGBA* img) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, img->width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, img->height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_DOCUMENTNAME, filename);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, "Created With My Personal Morvane Application :-)");
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 75.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 75.0);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    int rows = 0;
    for (int y = 0; y < img->height; ++y) {
        if (TIFFWriteScanline(tif, img->data + static_cast<size_t>(y) * img->width, y, 0) < 0) break;
        ++rows;
    }
    // The directory and the last strip are written here; a full disk shows up now.
    return rows == img->height && TIFFFlush(tif) == 1;
}

}  // namespace

int imageRgbaWriteTIFF(const char* filename, const ImageRGBA* img, std::string* reason) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();

    std::string temp = std::string(filename) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        setReason(why, std::string("cannot create a file beside it: ") + std::strerror(errno));
        return 1;
    }
    // mkstemp makes the file private; give it the permissions a new file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);

    TiffOptions options(why);
    TIFF* tif = TIFFFdOpenExt(fd, filename, "w", options.opts);
    if (!tif) {
        close(fd);
        unlink(temp.c_str());
        setReason(why, "cannot start a TIFF file");
        return 1;
    }
    bool complete = writeTiffStream(tif, filename, img);
    TIFFClose(tif);  // closes fd
    if (!complete) {
        unlink(temp.c_str());
        setReason(why, "the file could not be written completely");
        return 1;
    }
    if (std::rename(temp.c_str(), filename) != 0) {
        setReason(why, std::string("cannot replace it: ") + std::strerror(errno));
        unlink(temp.c_str());
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Drawing primitives

namespace {

inline bool insideImage(const ImageRGBA* img, long long x, long long y) {
    return x >= 0 && y >= 0 && x < img->width && y < img->height;
}

inline Rgba& pixelAt(ImageRGBA* img, int x, int y) {
    return img->data[static_cast<size_t>(y) * img->width + x];
}

inline void invertPixel(Rgba& p) {
    p.r = static_cast<unsigned char>(255 - p.r);
    p.g = static_cast<unsigned char>(255 - p.g);
    p.b = static_cast<unsigned char>(255 - p.b);
}

// A maximum of -1 stands for the image width or height.
void resolveClipMax(const ImageRGBA* img, int& maxX, int& maxY) {
    if (maxX == -1) maxX = img->width;
    if (maxY == -1) maxY = img->height;
}

inline int roundToPixel(float v) { return static_cast<int>(std::floor(static_cast<double>(v) + 0.5)); }

// Clips the segment to the image, rounds its ends and walks it with
// Bresenham, handing each pixel inside the clip rectangle to `plot` once.
template <class Plot>
void walkLine(ImageRGBA* img, int x1, int y1, int x2, int y2, int minX, int minY, int maxX,
              int maxY, Plot plot) {
    resolveClipMax(img, maxX, maxY);
    if (img->width <= 0 || img->height <= 0) return;
    float xs[2] = {static_cast<float>(x1), static_cast<float>(x2)};
    float ys[2] = {static_cast<float>(y1), static_cast<float>(y2)};
    if (clip(xs, ys, 0.0f, 0.0f, static_cast<float>(img->width - 1),
             static_cast<float>(img->height - 1)) == 2) {
        return;
    }
    int x = roundToPixel(xs[0]), y = roundToPixel(ys[0]);
    const int endX = roundToPixel(xs[1]), endY = roundToPixel(ys[1]);
    // The clipped line lies in the image, so one rectangle test serves both.
    minX = std::max(minX, 0);
    minY = std::max(minY, 0);
    maxX = std::min(maxX, img->width - 1);
    maxY = std::min(maxY, img->height - 1);
    auto visit = [&](int px, int py) {
        if (px >= minX && px <= maxX && py >= minY && py <= maxY) plot(pixelAt(img, px, py));
    };
    const int dx = endX - x, dy = endY - y;
    const int sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    const int ax = std::abs(dx), ay = std::abs(dy);
    if (ax < ay) {
        int err = 2 * ax - ay;
        for (;;) {
            visit(x, y);
            if (y == endY) break;
            if (err >= 0) {
                err -= 2 * ay;
                x += sx;
            }
            y += sy;
            err += 2 * ax;
        }
    } else {
        int err = 2 * ay - ax;
        for (;;) {
            visit(x, y);
            if (x == endX) break;
            if (err >= 0) {
                err -= 2 * ax;
                y += sy;
            }
            x += sx;
            err += 2 * ay;
        }
    }
}

// Midpoint ellipse in two regions, calling emit(x, y) for each step of the
// quarter from (a, 0) to (0, b). The terms grow like 4·a·b², so they are
// carried in 64 bits.
template <class Emit>
void walkEllipse(int a, int b, Emit emit) {
    const int64_t A = a < 0 ? -static_cast<int64_t>(a) : a;
    const int64_t B = b;
    const int64_t A2 = A * A, B2 = B * B;
    const int64_t twoA2 = 2 * A2, fourA2 = 4 * A2, twoB2 = 2 * B2, fourB2 = 4 * B2;
    int64_t xslope = 2 * A * twoB2, yslope = 0;
    int64_t d1 = twoA2 + (B2 >> 1) - A * twoB2;
    int64_t d2 = (A2 >> 1) + twoB2 - 2 * A * twoB2;
    int64_t x = A, y = 0;
    while (d2 < 0) {
        emit(x, y);
        ++y;
        yslope += fourA2;
        int64_t t = yslope;
        if (d1 < 0) {
            d1 += twoA2 + t;
        } else {
            --x;
            xslope -= fourB2;
            d1 += twoA2 + t - xslope;
            t += twoB2 - xslope;
        }
        d2 += t;
    }
    while (x >= 0) {
        emit(x, y);
        --x;
        xslope -= fourB2;
        if (d2 < 0) {
            ++y;
            yslope += fourA2;
            d2 += twoB2 + yslope - xslope;
        } else {
            d2 += twoB2 - xslope;
        }
    }
}

// The four mirror images of a quarter-ellipse step, in drawing order.
template <class Point>
void emitFour(int cx, int cy, int64_t x, int64_t y, Point point) {
    point(cx + x, cy + y);
    point(cx + x, cy - y);
    point(cx - x, cy + y);
    point(cx - x, cy - y);
}

}  // namespace

void imageRgbaDrawPoint(ImageRGBA* img, int x, int y, Rgba colour) {
    if (insideImage(img, x, y)) pixelAt(img, x, y) = colour;
}

void imageRgbaDrawInvertedPoint(ImageRGBA* img, int x, int y) {
    if (insideImage(img, x, y)) invertPixel(pixelAt(img, x, y));
}

void imageRgbaDrawLine(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour, int minX,
                       int minY, int maxX, int maxY) {
    walkLine(img, x1, y1, x2, y2, minX, minY, maxX, maxY, [colour](Rgba& p) { p = colour; });
}

void imageRgbaInvertLine(ImageRGBA* img, int x1, int y1, int x2, int y2, int minX, int minY,
                         int maxX, int maxY) {
    walkLine(img, x1, y1, x2, y2, minX, minY, maxX, maxY, invertPixel);
}

void imageRgbaDrawEllipse(ImageRGBA* img, int cx, int cy, int a, int b, Rgba colour, int minX,
                          int minY, int maxX, int maxY) {
    resolveClipMax(img, maxX, maxY);
    auto point = [&](int64_t px, int64_t py) {
        if (px >= minX && px <= maxX && py >= minY && py <= maxY && insideImage(img, px, py)) {
            pixelAt(img, static_cast<int>(px), static_cast<int>(py)) = colour;
        }
    };
    walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
}

void imageRgbaInvertEllipse(ImageRGBA* img, int cx, int cy, int a, int b) {
    auto point = [img](int64_t px, int64_t py) {
        if (insideImage(img, px, py)) invertPixel(pixelAt(img, static_cast<int>(px), static_cast<int>(py)));
    };
    walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
}

// ---------------------------------------------------------------------------
// Sampling and colour space

namespace {

#if MORVANE_SSE2
// One pixel in the lowest lane and back, without a trip through memory.
inline __m128i pixelVector(Rgba p) {
    int w;
    std::memcpy(&w, &p, sizeof p);
    return _mm_cvtsi32_si128(w);
}

inline Rgba vectorPixel(__m128i v) {
    const int w = _mm_cvtsi128_si32(v);
    Rgba p;
    std::memcpy(&p, &w, sizeof p);
    return p;
}

// Two-stage bilinear blend of r, g, b: each stage truncates and keeps the low
// byte (a negative weight can push a stage out of 0..255).
inline Rgba bilinear(float fx, float fy, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    const __m128i z = _mm_setzero_si128(), lowByte = _mm_set1_epi32(0xFF);
    auto floats = [z](Rgba p) {
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(pixelVector(p), z), z));
    };
    auto stage = [lowByte](__m128 g, __m128 a, __m128 f, __m128 b) {
        const __m128 sum = _mm_add_ps(_mm_mul_ps(g, a), _mm_mul_ps(f, b));
        return _mm_and_si128(_mm_cvttps_epi32(sum), lowByte);
    };
    const __m128 vfx = _mm_set1_ps(fx), vgx = _mm_set1_ps(1 - fx);
    const __m128 vfy = _mm_set1_ps(fy), vgy = _mm_set1_ps(1 - fy);
    const __m128i top = stage(vgx, floats(c00), vfx, floats(c10));
    const __m128i bottom = stage(vgx, floats(c01), vfx, floats(c11));
    const __m128i v = stage(vgy, _mm_cvtepi32_ps(top), vfy, _mm_cvtepi32_ps(bottom));
    Rgba out = vectorPixel(_mm_packus_epi16(_mm_packs_epi32(v, z), z));
    out.a = 255;
    return out;
}
#else
inline unsigned char truncByte(float v) {
    return static_cast<unsigned char>(static_cast<int>(v));
}

inline unsigned char blendChannel(float fx, float gx, float fy, float gy, unsigned char c00,
                                  unsigned char c10, unsigned char c01, unsigned char c11) {
    const unsigned char top = truncByte(gx * c00 + fx * c10);
    const unsigned char bottom = truncByte(gx * c01 + fx * c11);
    return truncByte(gy * top + fy * bottom);
}

inline Rgba bilinear(float fx, float fy, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    const float gx = 1 - fx, gy = 1 - fy;
    return Rgba{blendChannel(fx, gx, fy, gy, c00.r, c10.r, c01.r, c11.r),
                blendChannel(fx, gx, fy, gy, c00.g, c10.g, c01.g, c11.g),
                blendChannel(fx, gx, fy, gy, c00.b, c10.b, c01.b, c11.b), 255};
}
#endif

// Positions one fold cannot bring into the tile (and NaN) are folded first.
inline float nearTile(float v, int size) {
    if (v >= static_cast<float>(-size) && v < 2.0f * static_cast<float>(size)) return v;
    float folded = std::fmod(v, static_cast<float>(size));
    if (folded < 0) folded += static_cast<float>(size);
    return folded == folded ? folded : 0.0f;
}

inline unsigned char channelOf(float unit) {
    const float v = unit * 255;
    if (!(v > 0)) return 0;
    if (v >= 255) return 255;
    return static_cast<unsigned char>(static_cast<int>(v));
}

}  // namespace

Rgba imageRgbaInterpolate(ImageRGBA* img, float x, float y) {
    const int maxX = img->width - 1, maxY = img->height - 1;
    if (maxX < 0 || maxY < 0) return Rgba{0, 0, 0, 255};  // nothing to sample
    if (!(x >= 0)) x = 0;
    if (x > static_cast<float>(maxX)) x = static_cast<float>(maxX);
    if (!(y >= 0)) y = 0;
    if (y > static_cast<float>(maxY)) y = static_cast<float>(maxY);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    // A neighbour past the border wraps to 0; its weight is 0 there.
    const int x1 = x0 + 1 > maxX ? 0 : x0 + 1;
    const int y1 = y0 + 1 > maxY ? 0 : y0 + 1;
    const Rgba* row0 = img->data + static_cast<size_t>(y0) * img->width;
    const Rgba* row1 = img->data + static_cast<size_t>(y1) * img->width;
    return bilinear(x - static_cast<float>(x0), y - static_cast<float>(y0), row0[x0], row0[x1],
                    row1[x0], row1[x1]);
}

int imageRgbaInterpolateSubImage(ImageRGBA* img, float x, float y, int w, int h, int offset) {
    if (w <= 0 || h <= 0) return 0;
    x = nearTile(x, w);
    y = nearTile(y, h);
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    if (xi < 0) {
        xi += w;
        x += static_cast<float>(w);
    }
    if (yi < 0) {
        yi += h;
        y += static_cast<float>(h);
    }
    if (xi > w - 1) {
        xi -= w;
        x -= static_cast<float>(w);
    }
    if (yi > h - 1) {
        yi -= h;
        y -= static_cast<float>(h);
    }
    const float fx = x - static_cast<float>(xi), fy = y - static_cast<float>(yi);
    const float gx = 1 - fx, gy = 1 - fy;
    const int xn = xi + 1 > w - 1 ? xi + 1 - w : xi + 1;
    const int yn = yi + 1 > h - 1 ? yi + 1 - h : yi + 1;
    const Rgba* tile = img->data + offset;
    auto sample = [&](int u, int v) -> float { return tile[static_cast<size_t>(v) * w + u].r; };
    const int top = static_cast<int>(gx * sample(xi, yi) + fx * sample(xn, yi));
    const int bottom = static_cast<int>(gx * sample(xi, yn) + fx * sample(xn, yn));
    return static_cast<int>(gy * static_cast<float>(top) + fy * static_cast<float>(bottom));
}

Rgba imageRgbaInterpolateColors(float x, float y, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    return bilinear(x - std::trunc(x), y - std::trunc(y), c00, c10, c01, c11);
}

Hsva RGBtoHSV(Rgba c) {
    const float r = c.r / 255.0f, g = c.g / 255.0f, b = c.b / 255.0f;
    const float max = std::max(r, std::max(g, b)), min = std::min(r, std::min(g, b));
    const float span = max - min;
    float h = 0;
    if (max != min) {
        // Later matches win: blue over green over red when maxima tie.
        if (max == r) h = (g - b) / span * 60;
        if (max == g) h = ((b - r) / span + 2) * 60;
        if (max == b) h = ((r - g) / span + 4) * 60;
    }
    const float s = max > 0 ? span / max : 0;
    return Hsva{h, s, max, c.a};
}

Rgba HSVtoRGB(Hsva c) {
    float h = c.h;
    // Outside 0..360 the sector formulas give no colour (negative hues) or
    // channels far out of range; wrap first.
    if (!(h >= 0 && h < 360)) {
        h = std::fmod(h, 360.0f);
        if (h < 0) h += 360;
        if (!(h < 360)) h = 0;
    }
    const float sector = h / 60;
    const int i = static_cast<int>(std::fmod(static_cast<double>(sector), 6.0));
    const float f = sector - static_cast<float>(i);
    const float v = c.v;
    const float p = v * (1 - c.s), q = v * (1 - c.s * f), t = v * (1 - c.s * (1 - f));
    float r = v, g = t, b = p;
    switch (i) {
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        case 5: r = v, g = p, b = q; break;
        default: break;
    }
    return Rgba{channelOf(r), channelOf(g), channelOf(b), c.a};
}

int holdHighest(int* values, int count, int v) {
    // Everything before a displaced value is at least as large as it, so the
    // search for its new place may go on from the next element.
    for (int i = 0; i < count; ++i) {
        if (values[i] < v) std::swap(values[i], v);
    }
    return count;
}
