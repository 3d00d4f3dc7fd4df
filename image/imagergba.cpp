#include "image/imagergba.h"

#include "image/bands.h"
#include "image/boxmean.h"
#include "image/boxpipe.h"
#include "image/clip.h"
#include "image/motion.h"
#include "image/simd.h"

#include <tiffio.h>

#include <fcntl.h>
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
#include <vector>


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

// libtiff reports through handlers; ours keep the latest error, the one that
// ended a failed call (earlier ones are often unrelated complaints libtiff
// recovered from), and drop warnings (every file we write, the icons
// included, draws one for its undeclared fourth sample).
int keepLastError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    *static_cast<std::string*>(user) = text;
    return 1;  // handled: libtiff's global handler stays quiet
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffOptions {
    TIFFOpenOptions* opts;
    std::string lastError;
    explicit TiffOptions(size_t maxSingleAlloc = 0) : opts(TIFFOpenOptionsAlloc()) {
        if (opts) {
            TIFFOpenOptionsSetErrorHandlerExtR(opts, keepLastError, &lastError);
            TIFFOpenOptionsSetWarningHandlerExtR(opts, dropWarning, nullptr);
            TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(maxSingleAlloc));
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

// libtiff's last word on a failure when it had one, else ours. It often
// starts with the file name, which the caller names anyway.
void setFailure(std::string* reason, const TiffOptions& options, const char* filename,
                const std::string& fallback) {
    std::string text = options.lastError;
    const std::string prefix = std::string(filename) + ": ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    setReason(reason, text.empty() ? fallback : text);
}

const char* kindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a regular file";
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

// libjbig sizes its buffers from the stream's own header, beyond libtiff's
// allocation cap, and ends the process when that fails: the header of every
// strip must describe no more than the picture does.
bool jbigStreamsFit(TIFF* tif, uint32_t width, uint32_t height) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_JBIG) return true;
    auto bigEndian32 = [](const unsigned char* b) {
        return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
               static_cast<uint32_t>(b[2]) << 8 | b[3];
    };
    for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tif); ++strip) {
        unsigned char header[20];  // planes at 2, width at 4, height at 8
        if (TIFFReadRawStrip(tif, strip, header, sizeof header) != sizeof header) return false;
        if (header[2] < 1 || header[2] > 8 || bigEndian32(header + 4) > width ||
            bigEndian32(header + 8) > height) {
            return false;
        }
    }
    return true;
}

}  // namespace

ImageRGBA* imageRgbaReadTIFF(const char* filename, std::string* reason,
                             const TiffReadLimits* limits) {
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();
    // Without O_NONBLOCK a named pipe would hold us in open() until a writer came.
    const int fd = open(filename, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setReason(why, std::strerror(errno));
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        setReason(why, std::strerror(errno));
    } else if (!S_ISREG(info.st_mode)) {
        setReason(why, std::string("it is ") + kindOfFile(info.st_mode) + ", not a picture file");
    }
    if (!why->empty()) {
        close(fd);
        return nullptr;
    }
    TiffOptions options(limits ? limits->maxSingleAlloc : 0);
    TIFF* tif = TIFFFdOpenExt(fd, filename, "r", options.opts);
    if (!tif) {
        close(fd);
        setFailure(why, options, filename, "cannot open the file");
        return nullptr;
    }
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    ImageRGBA* img = nullptr;
    if (limits && limits->accept && !limits->accept(width, height, why)) {
        setReason(why, "the picture is refused");
    } else if (width > static_cast<uint32_t>(INT_MAX) || height > static_cast<uint32_t>(INT_MAX)) {
        setReason(why, "the picture is too large (" + std::to_string(width) + " by " +
                           std::to_string(height) + " pixels)");
    } else if (!jbigStreamsFit(tif, width, height)) {
        setReason(why, "its JBIG data describes a larger picture than the file declares");
    } else {
        img = imageRgbaNew(static_cast<int>(width), static_cast<int>(height));
        if (!img) {
            setReason(why, "not enough memory for a picture of " + std::to_string(width) + " by " +
                               std::to_string(height) + " pixels");
        } else if (!TIFFReadRGBAImage(tif, width, height, reinterpret_cast<uint32_t*>(img->data), 0)) {
            setFailure(why, options, filename, "the picture data cannot be decoded");
            imageRgbaFree(img);
            img = nullptr;
        } else {
            flipRows(img, hostIsBigEndian());
        }
    }
    TIFFClose(tif);  // closes fd
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

// The file a save replaces: `filename` itself, or the end of its chain of
// links, so that the link stays and its target gets the picture.
std::string followLinks(const std::string& filename) {
    std::string path = filename;
    for (int hops = 0; hops < 40; ++hops) {
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) break;  // not a link (or gone): this is the file
        target[n] = '\0';
        const size_t slash = path.rfind('/');
        if (target[0] == '/' || slash == std::string::npos) {
            path = target;
        } else {
            path = path.substr(0, slash + 1) + target;
        }
    }
    return path;
}

// Write permission is what a user sets to keep a file; root passes access()
// anyway, so the permission bits decide as well.
bool readOnly(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return (info.st_mode & 0222) == 0 || (access(path.c_str(), W_OK) != 0 && errno == EACCES);
}

}  // namespace

int imageRgbaWriteTIFF(const char* filename, const ImageRGBA* img, std::string* reason) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();

    const std::string target = followLinks(filename);
    if (readOnly(target)) {
        setReason(why, target == filename ? "it is read-only" : "its target " + target + " is read-only");
        return 1;
    }
    std::string temp = target + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        setReason(why, std::string("cannot create a file beside it: ") + std::strerror(errno));
        return 1;
    }
    // mkstemp makes the file private; keep the permissions of the file being
    // replaced, or give those a new file gets.
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 07777);
    } else {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }

    TiffOptions options;
    TIFF* tif = TIFFFdOpenExt(fd, filename, "w", options.opts);
    if (!tif) {
        close(fd);
        unlink(temp.c_str());
        setFailure(why, options, filename, "cannot start a TIFF file");
        return 1;
    }
    errno = 0;
    const bool complete = writeTiffStream(tif, filename, img);
    const int writeError = errno;  // what the system said, before closing can change it
    TIFFClose(tif);  // closes fd
    if (!complete) {
        unlink(temp.c_str());
        if (writeError != 0) {
            setReason(why, std::string("writing failed: ") + std::strerror(writeError));
        } else {
            setFailure(why, options, filename, "the file could not be written completely");
        }
        return 1;
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
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

inline int roundToPixel(float v) {
    return static_cast<int>(std::floor(static_cast<double>(v) + 0.5));
}

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
    // Steps along the major axis; ties between the axes go to x.
    auto walk = [&](int& major, int& minor, int end, int sMajor, int sMinor, int aMajor,
                    int aMinor) {
        int err = 2 * aMinor - aMajor;
        for (;;) {
            visit(x, y);
            if (major == end) break;
            if (err >= 0) {
                err -= 2 * aMajor;
                minor += sMinor;
            }
            major += sMajor;
            err += 2 * aMinor;
        }
    };
    if (ax < ay) {
        walk(y, x, endY, sy, sx, ay, ax);
    } else {
        walk(x, y, endX, sx, sy, ax, ay);
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

// Semi-axes beyond this would carry the midpoint terms out of 64 bits; no
// picture that fits in memory is that large.
constexpr int64_t kLargestSemiAxis = int64_t{1} << 19;

// Whether any point of the outline can land in the picture. Huge figures
// far off it (the pointer at extreme zooms) then cost nothing.
bool ellipseMayShow(const ImageRGBA* img, int cx, int cy, int a, int b) {
    const int64_t A = std::abs(static_cast<int64_t>(a)), B = std::abs(static_cast<int64_t>(b));
    if (A > kLargestSemiAxis || B > kLargestSemiAxis) return false;
    return cx + A >= 0 && cx - A < img->width && cy + B >= 0 && cy - B < img->height;
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
    if (ellipseMayShow(img, cx, cy, a, b)) {
        walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
    }
}

void imageRgbaInvertEllipse(ImageRGBA* img, int cx, int cy, int a, int b) {
    auto point = [img](int64_t px, int64_t py) {
        if (insideImage(img, px, py)) {
            invertPixel(pixelAt(img, static_cast<int>(px), static_cast<int>(py)));
        }
    };
    if (ellipseMayShow(img, cx, cy, a, b)) {
        walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
    }
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
#endif

// Two-stage bilinear blend of r, g, b: each stage truncates and keeps the low
// byte (a negative weight can push a stage out of 0..255).
#if MORVANE_SSE2
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
inline unsigned char truncByte(float v) { return static_cast<unsigned char>(static_cast<int>(v)); }

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
    // Past 2^24 a float need not hold the last index exactly and may round
    // above it.
    const int x0 = std::min(static_cast<int>(x), maxX), y0 = std::min(static_cast<int>(y), maxY);
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
    // With h in 0..360 the sector lies in 0..6 (below 6 even for the float just
    // under 360), where fmod(sector, 6) is the sector itself.
    const int i = static_cast<int>(sector);
    const float f = sector - static_cast<float>(i);
    const float v = c.v;
    const float p = v * (1 - c.s), q = v * (1 - c.s * f), t = v * (1 - c.s * (1 - f));
    // r, g, b of each sector, as indices into v, p, q, t.
    static const unsigned char kSectors[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                                 {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
    const float values[4] = {v, p, q, t};
    const unsigned char* order = kSectors[i];
    return Rgba{channelOf(values[order[0]]), channelOf(values[order[1]]),
                channelOf(values[order[2]]), c.a};
}

int holdHighest(int* values, int count, int v) {
    // Everything before a displaced value is at least as large as it, so the
    // search for its new place may go on from the next element.
    for (int i = 0; i < count; ++i) {
        if (values[i] < v) std::swap(values[i], v);
    }
    return count;
}

// ---------------------------------------------------------------------------
// Blur kernels

namespace {

inline unsigned char clampByte(int v) {
    return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A window mean `m` (r, g, b, a) blended into the destination pixel by alpha.
// The weights are single precision like the rest of the per-pixel maths.
Rgba blendOver(Rgba d, const int m[4]) {
    const int alpha = m[3] + d.a;
    if (alpha == 0) return Rgba{0, 0, 0, 0};
    const float wm = m[3] / 255.0f, wd = d.a / 255.0f, total = alpha / 255.0f;
    auto channel = [&](int mean, unsigned char dc) {
        const int mixed = static_cast<int>(wm * static_cast<float>(mean) + wd * dc);
        return clampByte(static_cast<int>(static_cast<float>(mixed) / total));
    };
    return Rgba{channel(m[0], d.r), channel(m[1], d.g), channel(m[2], d.b), clampByte(alpha)};
}

template <bool Blend>
inline void putMean(Rgba& d, Rgba mean) {
    if constexpr (Blend) {
        const int m[4] = {mean.r, mean.g, mean.b, mean.a};
        d = blendOver(d, m);
    } else {
        d = mean;
    }
}

// The box window around i over lo..hi with radius r: its pixel count.
inline int windowCount(int i, int lo, int hi, int r) {
    return std::min(hi, i + r) - std::max(lo, i - r) + 1;
}

// Any window size, one pixel at a time: 64-bit sums and integer division.
struct WideSum {
    int64_t v[4] = {0, 0, 0, 0};

    void add(Rgba p) {
        v[0] += p.r;
        v[1] += p.g;
        v[2] += p.b;
        v[3] += p.a;
    }
    void sub(Rgba p) {
        v[0] -= p.r;
        v[1] -= p.g;
        v[2] -= p.b;
        v[3] -= p.a;
    }
    Rgba mean(int64_t n) const {
        return Rgba{static_cast<unsigned char>(v[0] / n), static_cast<unsigned char>(v[1] / n),
                    static_cast<unsigned char>(v[2] / n), static_cast<unsigned char>(v[3] / n)};
    }
};

// One box pass along `count` lines of the region: line l has its pixels at
// base + l * across + i * along for i = 0..len - 1.
template <bool Blend>
void wideLines(const Rgba* src, Rgba* dst, size_t srcAcross, size_t srcAlong, size_t dstAcross,
               size_t dstAlong, int count, int len, int r) {
    for (int l = 0; l < count; ++l) {
        const Rgba* s = src + l * srcAcross;
        Rgba* d = dst + l * dstAcross;
        WideSum sum;
        for (int i = 0, hi = std::min(len - 1, r); i <= hi; ++i) sum.add(s[i * srcAlong]);
        for (int i = 0; i < len; ++i) {
            if (i > 0) {
                if (i - r - 1 >= 0) sum.sub(s[(i - r - 1) * srcAlong]);
                if (i + r <= len - 1) sum.add(s[(i + r) * srcAlong]);
            }
            putMean<Blend>(d[i * dstAlong], sum.mean(windowCount(i, 0, len - 1, r)));
        }
    }
}

#if MORVANE_SSE2

// Four pixels' window sums side by side, in two widths. step() lets one
// pixel per lane enter and one leave; means() gives the four means as bytes.

// Windows up to kNarrowBoxWindow pixels: 16-bit lanes, exact in modular
// arithmetic because every true sum fits.
struct NarrowLanes {
    static constexpr int kMaxWindow = kNarrowBoxWindow;
    struct Sums {
        __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
    };
    struct Divider {
        __m128i magic, shift1, shift2;
        explicit Divider(int n) {
            const NarrowDivisor d = kNarrowDivisors.of[n];
            magic = _mm_set1_epi16(static_cast<short>(d.magic));
            shift1 = _mm_cvtsi32_si128(d.shift1);
            shift2 = _mm_cvtsi32_si128(d.shift2);
        }
    };

    static void step(Sums& s, __m128i in, __m128i out) {
        const __m128i z = _mm_setzero_si128();
        s.lo =
            _mm_add_epi16(s.lo, _mm_sub_epi16(_mm_unpacklo_epi8(in, z), _mm_unpacklo_epi8(out, z)));
        s.hi =
            _mm_add_epi16(s.hi, _mm_sub_epi16(_mm_unpackhi_epi8(in, z), _mm_unpackhi_epi8(out, z)));
    }
    static __m128i quotient(__m128i v, const Divider& d) {
        const __m128i t = _mm_mulhi_epu16(v, d.magic);
        return _mm_srl_epi16(_mm_add_epi16(t, _mm_srl_epi16(_mm_sub_epi16(v, t), d.shift1)),
                             d.shift2);
    }
    static __m128i means(const Sums& s, const Divider& d) {
        return _mm_packus_epi16(quotient(s.lo, d), quotient(s.hi, d));
    }
};

// Windows up to kMediumBoxWindow pixels: 32-bit lanes, one pixel per vector.
struct MediumLanes {
    static constexpr int kMaxWindow = kMediumBoxWindow;
    struct Sums {
        __m128i p[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(),
                        _mm_setzero_si128()};
    };
    struct Divider {
        __m128 reciprocal;
        explicit Divider(int n) : reciprocal(_mm_set1_ps(boxReciprocal(n))) {}
    };

    static __m128i widen(__m128i d16, bool high) {
        const __m128i twice = high ? _mm_unpackhi_epi16(d16, d16) : _mm_unpacklo_epi16(d16, d16);
        return _mm_srai_epi32(twice, 16);
    }
    static void step(Sums& s, __m128i in, __m128i out) {
        const __m128i z = _mm_setzero_si128();
        const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(in, z), _mm_unpacklo_epi8(out, z));
        const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(in, z), _mm_unpackhi_epi8(out, z));
        s.p[0] = _mm_add_epi32(s.p[0], widen(lo, false));
        s.p[1] = _mm_add_epi32(s.p[1], widen(lo, true));
        s.p[2] = _mm_add_epi32(s.p[2], widen(hi, false));
        s.p[3] = _mm_add_epi32(s.p[3], widen(hi, true));
    }
    // Lane by lane the same operations as boxMean.
    static __m128i quotient(__m128i v, const Divider& d) {
        const __m128 f = _mm_add_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(0.5f));
        return _mm_cvttps_epi32(_mm_mul_ps(f, d.reciprocal));
    }
    static __m128i means(const Sums& s, const Divider& d) {
        return _mm_packus_epi16(_mm_packs_epi32(quotient(s.p[0], d), quotient(s.p[1], d)),
                                _mm_packs_epi32(quotient(s.p[2], d), quotient(s.p[3], d)));
    }
};

inline __m128i loadPixels(const Rgba* p, int count) {
    if (count == 4) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    alignas(16) Rgba part[4] = {};
    std::memcpy(part, p, count * sizeof(Rgba));
    return _mm_load_si128(reinterpret_cast<const __m128i*>(part));
}

template <bool Blend>
inline void storePixels(Rgba* p, int count, __m128i means) {
    if (!Blend && count == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), means);
        return;
    }
    alignas(16) Rgba part[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(part), means);
    for (int i = 0; i < count; ++i) putMean<Blend>(p[i], part[i]);
}

// Columns are walked in blocks, all columns of a block advancing row by row
// together, so that every step reads and writes whole row segments. Long
// segments keep the hardware prefetch streaming; 4096 columns of sums take
// at most 64 KiB of stack.
constexpr int kColumnBlock = 4096;
static_assert(kColumnBlock % 4 == 0, "blocks hold whole groups of four columns");
alignas(16) const Rgba kNoPixels[kColumnBlock] = {};

template <class Lanes, bool Blend>
void blurColumns(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r) {
    const size_t srcStride = src->width, destStride = dest->width;
    typename Lanes::Sums sums[kColumnBlock / 4];
    for (int c0 = x1; c0 <= x2; c0 += kColumnBlock) {
        const int cols = std::min(kColumnBlock, x2 - c0 + 1);
        const int groups = (cols + 3) / 4;
        const Rgba* s = src->data + c0;
        Rgba* d = dest->data + c0;
        for (int g = 0; g < groups; ++g) sums[g] = typename Lanes::Sums();
        for (int y = y1, hi = std::min(y2, y1 + r); y <= hi; ++y) {
            const Rgba* in = s + y * srcStride;
            for (int g = 0; g < groups; ++g) {
                const int lanes = std::min(4, cols - 4 * g);
                Lanes::step(sums[g], loadPixels(in + 4 * g, lanes), _mm_setzero_si128());
            }
        }
        int count = windowCount(y1, y1, y2, r);
        typename Lanes::Divider divider(count);
        for (int y = y1; y <= y2; ++y) {
            const bool enter = y > y1 && y + r <= y2, leave = y > y1 && y - r - 1 >= y1;
            const int n = windowCount(y, y1, y2, r);
            if (n != count) {
                count = n;
                divider = typename Lanes::Divider(n);
            }
            const Rgba* in = enter ? s + (y + r) * srcStride : kNoPixels;
            const Rgba* out = leave ? s + (y - r - 1) * srcStride : kNoPixels;
            Rgba* drow = d + y * destStride;
            for (int g = 0; g < groups; ++g) {
                const int lanes = std::min(4, cols - 4 * g);
                Lanes::step(sums[g], loadPixels(in + 4 * g, lanes), loadPixels(out + 4 * g, lanes));
                storePixels<Blend>(drow + 4 * g, lanes, Lanes::means(sums[g], divider));
            }
        }
    }
}

// Four vectors of four pixels, rows turned into columns (its own inverse).
inline void transpose(__m128i v[4]) {
    const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpacklo_epi32(v[2], v[3]);
    const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
    v[0] = _mm_unpacklo_epi64(t0, t1);
    v[1] = _mm_unpackhi_epi64(t0, t1);
    v[2] = _mm_unpacklo_epi64(t2, t3);
    v[3] = _mm_unpackhi_epi64(t2, t3);
}

// Rows are walked four at a time, the pixels of one column of the four
// forming a vector; a short last group repeats its last row but stores it once.
template <class Lanes, bool Blend>
void blurRows(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r) {
    const __m128i none = _mm_setzero_si128();
    for (int y = y1; y <= y2; y += 4) {
        const int rows = std::min(4, y2 - y + 1);
        const Rgba* s[4];
        Rgba* d[4];
        for (int i = 0; i < 4; ++i) {
            const int row = y + std::min(i, rows - 1);
            s[i] = src->data + static_cast<size_t>(row) * src->width;
            d[i] = dest->data + static_cast<size_t>(row) * dest->width;
        }
        auto column = [&s](int x) {
            const __m128i a = _mm_unpacklo_epi32(pixelVector(s[0][x]), pixelVector(s[1][x]));
            const __m128i b = _mm_unpacklo_epi32(pixelVector(s[2][x]), pixelVector(s[3][x]));
            return _mm_unpacklo_epi64(a, b);
        };
        // Four columns at once, as column vectors (the loads spelt out so that
        // the vectors stay in registers).
        auto columns = [&s](int x, __m128i v[4]) __attribute__((always_inline)) {
            v[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[0] + x));
            v[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[1] + x));
            v[2] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[2] + x));
            v[3] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[3] + x));
            transpose(v);
        };
        auto put = [&](int x, __m128i means) {
            for (int i = 0; i < rows; ++i) {
                putMean<Blend>(d[i][x], vectorPixel(means));
                means = _mm_srli_si128(means, 4);
            }
        };
        typename Lanes::Sums sums;
        for (int x = x1, hi = std::min(x2, x1 + r); x <= hi; ++x)
            Lanes::step(sums, column(x), none);
        int count = windowCount(x1, x1, x2, r);
        typename Lanes::Divider divider(count);
        auto single = [&](int x) __attribute__((always_inline)) {
            if (x > x1) {
                Lanes::step(sums, x + r <= x2 ? column(x + r) : none,
                            x - r - 1 >= x1 ? column(x - r - 1) : none);
            }
            const int n = windowCount(x, x1, x2, r);
            if (n != count) {
                count = n;
                divider = typename Lanes::Divider(n);
            }
            put(x, Lanes::means(sums, divider));
        };
        // Inside x1 + r + 1 .. x2 - r a pixel enters and one leaves at every
        // step and the window is full: four steps share their loads and stores.
        const int inner = x1 + r + 1, innerEnd = x2 - r;
        int x = x1;
        for (; x < std::min(inner, x2 + 1); ++x) single(x);
        if (x + 3 <= innerEnd) {
            count = 2 * r + 1;
            divider = typename Lanes::Divider(count);
            for (; x + 3 <= innerEnd; x += 4) {
                __m128i in[4], out[4], means[4];
                columns(x + r, in);
                columns(x - r - 1, out);
                Lanes::step(sums, in[0], out[0]);
                means[0] = Lanes::means(sums, divider);
                Lanes::step(sums, in[1], out[1]);
                means[1] = Lanes::means(sums, divider);
                Lanes::step(sums, in[2], out[2]);
                means[2] = Lanes::means(sums, divider);
                Lanes::step(sums, in[3], out[3]);
                means[3] = Lanes::means(sums, divider);
                transpose(means);
                storePixels<Blend>(d[0] + x, 4, means[0]);
                if (rows > 1) storePixels<Blend>(d[1] + x, 4, means[1]);
                if (rows > 2) storePixels<Blend>(d[2] + x, 4, means[2]);
                if (rows > 3) storePixels<Blend>(d[3] + x, 4, means[3]);
            }
        }
        for (; x <= x2; ++x) single(x);
    }
}

#endif  // MORVANE_SSE2

// The region limited to both images; false when nothing of it is left.
bool fitRegion(const ImageRGBA* a, const ImageRGBA* b, int& x1, int& y1, int& x2, int& y2) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, std::min(a->width, b->width) - 1);
    y2 = std::min(y2, std::min(a->height, b->height) - 1);
    return x1 <= x2 && y1 <= y2;
}

// trunc(radius) for a window: one past the region changes nothing, and a
// negative radius (which would leave the first window empty) counts as 0.
int windowRadius(float radius, int span) {
    if (!(radius > 0)) return 0;
    if (radius >= static_cast<float>(span)) return span;
    return static_cast<int>(radius);
}

enum class Direction { rows, columns };

template <Direction dir, bool Blend>
void boxPass(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r) {
    const int span = dir == Direction::rows ? x2 - x1 : y2 - y1;
    const int64_t window =
        std::min(2 * static_cast<int64_t>(r) + 1, static_cast<int64_t>(span) + 1);
#if MORVANE_SSE2
    if (window <= NarrowLanes::kMaxWindow) {
        if (dir == Direction::rows)
            return blurRows<NarrowLanes, Blend>(dest, src, x1, y1, x2, y2, r);
        return blurColumns<NarrowLanes, Blend>(dest, src, x1, y1, x2, y2, r);
    }
    if (window <= MediumLanes::kMaxWindow) {
        if (dir == Direction::rows)
            return blurRows<MediumLanes, Blend>(dest, src, x1, y1, x2, y2, r);
        return blurColumns<MediumLanes, Blend>(dest, src, x1, y1, x2, y2, r);
    }
#else
    (void)window;
#endif
    const size_t sw = src->width, dw = dest->width;
    const Rgba* s = src->data + y1 * sw + x1;
    Rgba* d = dest->data + y1 * dw + x1;
    if (dir == Direction::rows) {
        wideLines<Blend>(s, d, sw, 1, dw, 1, y2 - y1 + 1, x2 - x1 + 1, r);
    } else {
        wideLines<Blend>(s, d, 1, sw, 1, dw, x2 - x1 + 1, y2 - y1 + 1, r);
    }
}

template <Direction dir>
void boxPass(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
             unsigned char blend) {
    if (!fitRegion(dest, src, x1, y1, x2, y2)) return;
    const int r = windowRadius(radius, dir == Direction::rows ? x2 - x1 : y2 - y1);
    // The rows of a row pass, and the columns of a column pass, are independent.
    auto part = [&](int from, int to) {
        const int px1 = dir == Direction::rows ? x1 : from, px2 = dir == Direction::rows ? x2 : to;
        const int py1 = dir == Direction::rows ? from : y1, py2 = dir == Direction::rows ? to : y2;
        if (blend == 2) {
            boxPass<dir, true>(dest, src, px1, py1, px2, py2, r);
        } else {
            boxPass<dir, false>(dest, src, px1, py1, px2, py2, r);
        }
    };
    const double pixels = (x2 - x1 + 1.0) * (y2 - y1 + 1.0);
    if (dir == Direction::rows) {
        inBands(y1, y2, pixels, part);
    } else {
        inBands(x1, x2, pixels, part);
    }
}

}  // namespace

void horizontal_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
                     int mode, unsigned char blend) {
    (void)mode;
    boxPass<Direction::rows>(dest, src, x1, y1, x2, y2, radius, blend);
}

void vertical_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
                   int mode, unsigned char blend) {
    (void)mode;
    boxPass<Direction::columns>(dest, src, x1, y1, x2, y2, radius, blend);
}

namespace {

// Radius of gaussian's pass i (0 from the first that is 0 on).
float passRadius(float R, int i) {
    // trunc in float: the same whole number as a cast through int, and
    // defined for radii past the int range too.
    return i == 0 ? R
                  : std::trunc(R * std::exp(-static_cast<float>(static_cast<int64_t>(i) * i) / R));
}

int passCount(float R, int mode) {
    if (!(R > 0)) return 0;
    return mode != 2 ? 1 : R >= 2147483647.0f ? INT_MAX : static_cast<int>(R);
}

// More passes than this are run one by one (they would not stream in the
// cache anyway), without listing them first.
constexpr size_t kMostStreamedPasses = 4096;

// The pass radii of gaussian, in order, or false where there are too many.
bool listRadii(float R, int mode, std::vector<float>& radii) {
    for (int i = 0, n = passCount(R, mode); i < n; ++i) {
        const float r = passRadius(R, i);
        // The radii only shrink: once one is 0, so are the rest.
        if (!(r > 0)) break;
        if (radii.size() == kMostStreamedPasses) return false;
        radii.push_back(r);
    }
    return true;
}

// Replacing passes streamed through the cache together, the first reading
// src; false where they cannot be, or where there are none. The region is
// left limited to the images.
bool streamGaussian(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int& x1, int& y1,
                    int& x2, int& y2, float R, int mode) {
    // Streaming keeps temp's and target's rows apart.
    if (temp->data == target->data) return false;
    static thread_local std::vector<float> radii;
    static thread_local std::vector<boxPassPair> pairs;
    radii.clear();
    pairs.clear();
    if (!listRadii(R, mode, radii) || radii.empty() || !fitRegion(temp, target, x1, y1, x2, y2))
        return false;
    for (float r : radii) pairs.push_back({windowRadius(r, x2 - x1), windowRadius(r, y2 - y1)});
    return streamBoxPasses(temp, target, src, x1, y1, x2, y2, pairs);
}

void gaussianPasses(ImageRGBA* temp, ImageRGBA* target, int x1, int y1, int x2, int y2, float R,
                    int mode, unsigned char blend) {
    for (int i = 0, n = passCount(R, mode); i < n; ++i) {
        const float r = passRadius(R, i);
        if (!(r > 0)) break;
        horizontal_blur(temp, target, x1, y1, x2, y2, r, mode, blend);
        vertical_blur(target, temp, x1, y1, x2, y2, r, mode, blend);
    }
}

// Copies everything of src outside the region (already inside both) into dest.
void copyAround(const ImageRGBA* src, ImageRGBA* dest, int x1, int y1, int x2, int y2) {
    const size_t w = src->width;
    auto rows = [&](int from, int to) {
        if (from >= to) return;
        std::memcpy(dest->data + from * w, src->data + from * w, (to - from) * w * sizeof(Rgba));
    };
    rows(0, y1);
    rows(y2 + 1, src->height);
    for (int y = y1; y <= y2; ++y) {
        const Rgba* s = src->data + y * w;
        Rgba* d = dest->data + y * w;
        std::copy(s, s + x1, d);
        std::copy(s + x2 + 1, s + w, d + x2 + 1);
    }
}

}  // namespace

void gaussian(ImageRGBA* temp, ImageRGBA* target, int x1, int y1, int x2, int y2, float radius,
              int mode, unsigned char blend) {
    int fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
    if (blend != 2 && streamGaussian(temp, target, target, fx1, fy1, fx2, fy2, radius, mode))
        return;
    gaussianPasses(temp, target, x1, y1, x2, y2, radius, mode, blend);
}

void gaussianOfCopy(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                    int x2, int y2, float radius, int mode) {
    MORVANE_CHECK(src->height == target->height && src->width == target->width, kSource);
    int fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
    if (src->data != target->data && src->data != temp->data &&
        streamGaussian(temp, target, src, fx1, fy1, fx2, fy2, radius, mode)) {
        copyAround(src, target, fx1, fy1, fx2, fy2);
        return;
    }
    imageRgbaCopy(src, target);
    gaussianPasses(temp, target, x1, y1, x2, y2, radius, mode, 1);
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// Box filter along parallel lines. Sample positions are single precision
// like every sample position in the program.
class MotionWalk {
  public:
    MotionWalk(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, float length,
               float theta, bool blend)
        : dest_(dest),
          src_(src),
          x1_(x1),
          y1_(y1),
          x2_(x2),
          y2_(y2),
          length_(length),
          theta_(theta),
          sin_(std::sin(theta)),
          cos_(std::cos(theta)),
          tan_(std::tan(theta)),
          blend_(blend) {}

    // Steps 0 .. steps(i) - 1 of the line that starts in column i are examined.
    int steps(int i) const {
        int L = theta_ < 0 ? (x2_ - i) + 10 : theta_ > 0 ? i + 10 : x2_ + 10;
        L = std::min(L, x2_ + 10);
        // At theta 0 the quotient is infinite; the limit gives it its size.
        const float limit = static_cast<float>(y2_ + 10);
        float m = 10 + static_cast<float>(L) / tan_;
        if (m > limit) m = limit;
        if (!(m >= -limit)) m = -limit;
        const int M = static_cast<int>(m);
        const double len = std::sqrt(static_cast<double>(L) * L + static_cast<double>(M) * M);
        return static_cast<int>(1 + len);
    }

    void line(int i, int j) {
        WideSum sum;
        int n = 0;
        const int kEnd = steps(i);
        for (int k = static_cast<int>(-length_); k < kEnd; ++k) {
            const float back = static_cast<float>(k) - length_;
            if (back >= 0) {
                const Pos p = at(i, j, back);
                if (inRegion(p)) {
                    sum.sub(pixel(p));
                    --n;
                }
            }
            const Pos ahead = at(i, j, static_cast<float>(k) + length_);
            if (inRegion(ahead)) {
                sum.add(pixel(ahead));
                ++n;
            }
            if (k < 0) continue;
            const Pos q = at(i, j, static_cast<float>(k));
            if (!havePrev_ || q.x != prev_.x || q.y != prev_.y) {
                prev_ = q;
                havePrev_ = true;
                if (inRegion(q) && n > 0) write(q, sum, n);
            }
            if (leftForGood(q)) {
                // Nothing more is written on this line; only the last position
                // it would have examined matters to the next line.
                prev_ = at(i, j, static_cast<float>(kEnd - 1));
                break;
            }
        }
    }

    // The lines from above, all at once, when the blur replaces the
    // destination (see lanesFit); false when it does not.
    bool sweepFromAbove() {
        if (blend_) return false;
        const int length = static_cast<int>(length_);
        static thread_local std::vector<int> steps;
        steps.resize(static_cast<size_t>(x2_ - x1_) + 3);
        for (size_t l = 0; l < steps.size(); ++l) steps[l] = this->steps(x1_ - 1 + int(l));
        const MotionLines lines{x1_ - 1, int(steps.size()), static_cast<float>(y1_ - 1), -sin_,
                                cos_,    steps.data()};
        if (!motionSweepFits(lines, x1_, y1_, x2_, y2_, length)) return false;
        motionSweep(dest_, src_, x1_, y1_, x2_, y2_, length, lines);
        return true;
    }

#if MORVANE_SSE2
    // Whether `lanes` can walk this blur: a whole length of at most
    // kMaxLanesReach, lines that run downward, and a source that is not the
    // destination (lines read what other lines have not written yet).
    static constexpr int kMaxLanesReach = 1024;
    bool lanesFit() const {
        return length_ >= 1 && length_ <= kMaxLanesReach && length_ == std::trunc(length_) &&
               cos_ >= 0 && src_->data != dest_->data && simdLevel() >= Simd::avx2;
    }
    void lanes(const int* is, const int* js, int count);
#endif

  private:
    struct Pos {
        int x, y;
    };

    Pos at(int i, int j, float d) const {
        return Pos{static_cast<int>(static_cast<float>(i) - d * sin_),
                   static_cast<int>(static_cast<float>(j) + d * cos_)};
    }

    bool inRegion(Pos p) const { return p.x >= x1_ && p.x <= x2_ && p.y >= y1_ && p.y <= y2_; }

    // Both coordinates move monotonically along a line, so a position past the
    // region in the direction of travel (or beside it, not moving) stays out.
    bool leftForGood(Pos p) const {
        const float dx = -sin_, dy = cos_;
        return (p.x > x2_ && dx >= 0) || (p.x < x1_ && dx <= 0) || (p.y > y2_ && dy >= 0) ||
               (p.y < y1_ && dy <= 0);
    }

    Rgba pixel(Pos p) const { return src_->data[static_cast<size_t>(p.y) * src_->width + p.x]; }

    // A negative length can leave sums out of 0..255·n, where only an integer
    // division is exact (and the limits catch the result).
    void write(Pos q, const WideSum& sum, int n) {
        int m[4];
        bool usual = n <= kMediumBoxWindow;
        for (int c = 0; c < 4; ++c) usual = usual && sum.v[c] >= 0 && sum.v[c] <= 255 * n;
        const float reciprocal = boxReciprocal(n);
        for (int c = 0; c < 4; ++c) {
            m[c] = usual ? boxMean(static_cast<int>(sum.v[c]), reciprocal)
                         : static_cast<int>(sum.v[c] / n);
        }
        Rgba& d = dest_->data[static_cast<size_t>(q.y) * dest_->width + q.x];
        d = blend_ ? blendOver(d, m)
                   : Rgba{clampByte(m[0]), clampByte(m[1]), clampByte(m[2]), clampByte(m[3])};
    }

    ImageRGBA* dest_;
    const ImageRGBA* src_;
    int x1_, y1_, x2_, y2_;
    float length_, theta_, sin_, cos_, tan_;
    bool blend_;
    bool havePrev_ = false;
    Pos prev_{0, 0};
};

#if MORVANE_SSE2

// Lanes whose x and y lie strictly between the bounds.
__attribute__((target("avx2"), always_inline)) inline __m256i inside(__m256i x, __m256i y,
                                                                     __m256i x1, __m256i x2,
                                                                     __m256i y1, __m256i y2) {
    return _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(x, x1), _mm256_cmpgt_epi32(x2, x)),
                            _mm256_and_si256(_mm256_cmpgt_epi32(y, y1), _mm256_cmpgt_epi32(y2, y)));
}

// Eight consecutive lines side by side, one per lane; every lane does what
// `line` does, with the same single-precision positions and the same sums.
// Each lane runs four steps behind the one before it. Two lines of a group
// meet in a pixel only where the later line reaches it fewer than four
// steps (per line between them) before the earlier one does, so the later
// line's write still comes after the earlier one's, as one line after the
// other would have it. The first position a line examines is its start,
// outside the region, so no line depends on the one before it.
//
// A line crosses a row every step or two, which no hardware prefetcher
// foresees: each position is worked out kAhead steps before its sample
// enters, its pixels are fetched then, and it is kept until it is examined.
__attribute__((target("avx2"))) void MotionWalk::lanes(const int* is, const int* js, int count) {
    const int reach = static_cast<int>(length_);
    const int window = 2 * reach;  // a sample leaves 2 * reach steps after it entered
    constexpr int kLag = 4;
    constexpr int kAhead = 16;
    const int kept = kAhead + reach + 1;  // a position is examined reach steps after it entered
    // Per step the entering pixels and whether each was in the region.
    static thread_local std::vector<int> ring;
    ring.assign(16 * static_cast<size_t>(window), 0);
    // Per step x, y, whether inside the region, and the places in src and dest.
    static thread_local std::vector<int> seen;
    seen.resize(40 * static_cast<size_t>(kept));  // each step is written before it is read

    alignas(32) int ends[8], starts[8];
    alignas(32) float fi[8], fj[8];
    int gEnd = 0;
    for (int l = 0; l < 8; ++l) {
        const bool used = l < count;
        // Lane step u = k + reach runs from 0 while k < steps.
        ends[l] = used ? steps(is[l]) + reach : 0;
        starts[l] = l * kLag;
        fi[l] = static_cast<float>(used ? is[l] : 0);
        fj[l] = static_cast<float>(used ? js[l] : 0);
        if (used) gEnd = std::max(gEnd, ends[l] + starts[l]);
    }
    const __m256i end = _mm256_load_si256(reinterpret_cast<const __m256i*>(ends));
    const __m256i start = _mm256_load_si256(reinterpret_cast<const __m256i*>(starts));
    const __m256 fiv = _mm256_load_ps(fi), fjv = _mm256_load_ps(fj);
    const __m256 sv = _mm256_set1_ps(sin_), cv = _mm256_set1_ps(cos_);
    const __m256i x1 = _mm256_set1_epi32(x1_ - 1), x2 = _mm256_set1_epi32(x2_ + 1);
    const __m256i y1 = _mm256_set1_epi32(y1_ - 1), y2 = _mm256_set1_epi32(y2_ + 1);
    const __m256i srcWidth = _mm256_set1_epi32(src_->width),
                  destWidth = _mm256_set1_epi32(dest_->width);
    // Places of positions outside either image are pulled in; they are
    // fetched but never used.
    const __m256i srcLast = _mm256_set1_epi32(src_->width * src_->height - 1),
                  destLast = _mm256_set1_epi32(dest_->width * dest_->height - 1);
    const __m256i bytes = _mm256_set1_epi32(0xff), none = _mm256_setzero_si256();
    const __m256i reachV = _mm256_set1_epi32(reach), minusOne = _mm256_set1_epi32(-1);
    // Where a position has left the region for good (see leftForGood).
    const float dx = -sin_, dy = cos_;
    const __m256i goneRight = _mm256_set1_epi32(dx >= 0 ? -1 : 0),
                  goneLeft = _mm256_set1_epi32(dx <= 0 ? -1 : 0);
    const __m256i goneDown = _mm256_set1_epi32(dy >= 0 ? -1 : 0),
                  goneUp = _mm256_set1_epi32(dy <= 0 ? -1 : 0);
    const int* source = reinterpret_cast<const int*>(src_->data);
    Rgba* out = dest_->data;

    __m256i sums[4] = {none, none, none, none}, n = none, done = none;
    // No previous position: every line's first is outside the region anyway.
    __m256i prevX = _mm256_set1_epi32(INT32_MIN), prevY = prevX;
    // 1 / n, worked out again only where some n changed.
    __m256i reciprocalOf = none;
    __m256 reciprocal = _mm256_setzero_ps();
    alignas(32) int means[4][8];
    alignas(32) uint32_t written[8];

    int turn = 0;               // g modulo window
    int now = 0, examined = 0;  // g and g - reach modulo kept
    int ahead = kAhead % kept;  // g + kAhead modulo kept
    for (int g = -kAhead; g < gEnd; ++g) {
        {
            // Step g + kAhead: where each lane will be, and its pixels fetched.
            int* slot = &seen[40 * static_cast<size_t>(g < 0 ? g + kAhead : ahead)];
            const __m256 uf =
                _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_set1_epi32(g + kAhead), start));
            const __m256i ax = _mm256_cvttps_epi32(_mm256_sub_ps(fiv, _mm256_mul_ps(uf, sv)));
            const __m256i ay = _mm256_cvttps_epi32(_mm256_add_ps(fjv, _mm256_mul_ps(uf, cv)));
            const __m256i at = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(_mm256_mullo_epi32(ay, srcWidth), ax), none),
                srcLast);
            const __m256i to = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(_mm256_mullo_epi32(ay, destWidth), ax), none),
                destLast);
            __m256i* v = reinterpret_cast<__m256i*>(slot);
            _mm256_storeu_si256(v, ax);
            _mm256_storeu_si256(v + 1, ay);
            _mm256_storeu_si256(v + 2, inside(ax, ay, x1, x2, y1, y2));
            _mm256_storeu_si256(v + 3, at);
            _mm256_storeu_si256(v + 4, to);
            for (int l = 0; l < 8; ++l) {
                _mm_prefetch(reinterpret_cast<const char*>(source + slot[24 + l]), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(out + slot[32 + l]), _MM_HINT_T0);
            }
            if (g < 0) continue;
            if (++ahead == kept) ahead = 0;
        }
        const __m256i u = _mm256_sub_epi32(_mm256_set1_epi32(g), start);
        const __m256i active = _mm256_andnot_si256(
            done, _mm256_and_si256(_mm256_cmpgt_epi32(u, minusOne), _mm256_cmpgt_epi32(end, u)));
        // The sample entering at distance k + length.
        const int* entering = &seen[40 * static_cast<size_t>(now)];
        if (++now == kept) now = 0;
        const __m256i in = _mm256_and_si256(
            active, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entering + 16)));
        // Lane by lane: gathers are slow on many processors. A lane outside
        // the region drops what it read.
        const int* at = entering + 24;
        const __m256i pixel = _mm256_and_si256(
            in, _mm256_setr_epi32(source[at[0]], source[at[1]], source[at[2]], source[at[3]],
                                  source[at[4]], source[at[5]], source[at[6]], source[at[7]]));
        __m256i* slot = reinterpret_cast<__m256i*>(&ring[16 * static_cast<size_t>(turn)]);
        if (++turn == window) turn = 0;
        const __m256i leaving = _mm256_loadu_si256(slot), wasIn = _mm256_loadu_si256(slot + 1);
        _mm256_storeu_si256(slot, pixel);
        _mm256_storeu_si256(slot + 1, in);
        for (int c = 0; c < 4; ++c) {
            const __m256i enters = _mm256_and_si256(_mm256_srli_epi32(pixel, 8 * c), bytes);
            const __m256i leaves = _mm256_and_si256(_mm256_srli_epi32(leaving, 8 * c), bytes);
            sums[c] = _mm256_add_epi32(sums[c], _mm256_sub_epi32(enters, leaves));
        }
        n = _mm256_add_epi32(_mm256_sub_epi32(n, in), wasIn);

        // The position at distance k, from k = 0 on: the one that entered
        // reach steps ago.
        const __m256i k = _mm256_sub_epi32(u, reachV);
        const __m256i looked = _mm256_and_si256(active, _mm256_cmpgt_epi32(k, minusOne));
        const int* q = &seen[40 * static_cast<size_t>(examined)];
        if (g >= reach && ++examined == kept) examined = 0;
        if (_mm256_testz_si256(looked, looked)) {
            if (g >= starts[count - 1] && _mm256_testz_si256(active, active)) break;
            continue;
        }
        const __m256i qx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
        const __m256i qy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 8));
        const __m256i same =
            _mm256_and_si256(_mm256_cmpeq_epi32(qx, prevX), _mm256_cmpeq_epi32(qy, prevY));
        const __m256i moved = _mm256_andnot_si256(same, looked);
        prevX = _mm256_blendv_epi8(prevX, qx, moved);
        prevY = _mm256_blendv_epi8(prevY, qy, moved);
        const __m256i writes = _mm256_and_si256(
            _mm256_and_si256(moved, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 16))),
            _mm256_cmpgt_epi32(n, none));
        int lanesToWrite = _mm256_movemask_ps(_mm256_castsi256_ps(writes));
        if (lanesToWrite) {
            // boxMean lane by lane.
            const __m256i unchanged = _mm256_cmpeq_epi32(n, reciprocalOf);
            if (_mm256_movemask_ps(_mm256_castsi256_ps(unchanged)) != 0xff) {
                reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(n));
                reciprocalOf = n;
            }
            __m256i packed = none;
            for (int c = 0; c < 4; ++c) {
                const __m256 f = _mm256_add_ps(_mm256_cvtepi32_ps(sums[c]), _mm256_set1_ps(0.5f));
                const __m256i mean = _mm256_cvttps_epi32(_mm256_mul_ps(f, reciprocal));
                _mm256_store_si256(reinterpret_cast<__m256i*>(means[c]), mean);
                packed = _mm256_or_si256(packed, _mm256_slli_epi32(mean, 8 * c));
            }
            _mm256_store_si256(reinterpret_cast<__m256i*>(written), packed);
            const int* to = q + 32;
            // Lanes in line order: of two writes at once the later line's stays.
            if (blend_) {
                while (lanesToWrite) {
                    const int l = __builtin_ctz(static_cast<unsigned>(lanesToWrite));
                    lanesToWrite &= lanesToWrite - 1;
                    const int m[4] = {means[0][l], means[1][l], means[2][l], means[3][l]};
                    out[to[l]] = blendOver(out[to[l]], m);
                }
            } else {
                while (lanesToWrite) {
                    const int l = __builtin_ctz(static_cast<unsigned>(lanesToWrite));
                    lanesToWrite &= lanesToWrite - 1;
                    std::memcpy(out + to[l], &written[l], sizeof(Rgba));
                }
            }
        }
        const __m256i gone =
            _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(qx, x2), goneRight),
                                            _mm256_and_si256(_mm256_cmpgt_epi32(x1, qx), goneLeft)),
                            _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(qy, y2), goneDown),
                                            _mm256_and_si256(_mm256_cmpgt_epi32(y1, qy), goneUp)));
        done = _mm256_or_si256(done, _mm256_and_si256(looked, gone));
    }
}

#endif  // MORVANE_SSE2

}  // namespace

void motion_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float length,
                 float angle, int mode, unsigned char blend) {
    (void)mode;
    if (!fitRegion(dest, src, x1, y1, x2, y2)) return;
    // Beyond int range the walk has no defined start.
    if (!(std::fabs(length) < 1e9f) || !std::isfinite(angle)) return;
    const float theta = static_cast<float>(angle * kPi / 180 - kPi / 2);
    MotionWalk walk(dest, src, x1, y1, x2, y2, length, theta, blend == 2);
#if MORVANE_SSE2
    if (walk.lanesFit()) {
        // The lines from above (all at once where they can be), then those
        // from the side, eight at a time and never mixing the two.
        int is[8], js[8];
        if (!walk.sweepFromAbove()) {
            for (int i = x1 - 1; i <= x2 + 1; i += 8) {
                const int count = std::min(8, x2 + 2 - i);
                for (int l = 0; l < count; ++l) is[l] = i + l, js[l] = y1 - 1;
                walk.lanes(is, js, count);
            }
        }
        if (theta != 0) {
            const int side = theta < 0 ? x1 - 1 : x2 + 1;
            for (int j = y1 - 1; j <= y2 + 1; j += 8) {
                const int count = std::min(8, y2 + 2 - j);
                for (int l = 0; l < count; ++l) is[l] = side, js[l] = j + l;
                walk.lanes(is, js, count);
            }
        }
        return;
    }
#endif
    for (int i = x1 - 1; i <= x2 + 1; ++i) walk.line(i, y1 - 1);
    if (theta < 0) {
        for (int j = y1 - 1; j <= y2 + 1; ++j) walk.line(x1 - 1, j);
    }
    if (theta > 0) {
        for (int j = y1 - 1; j <= y2 + 1; ++j) walk.line(x2 + 1, j);
    }
}
