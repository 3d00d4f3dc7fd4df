#include "image/picture.h"

#include "image/check.h"
#include "image/codecs.h"
#include "image/files.h"
#include "image/tiff.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace {

const char* const kSource = "image/picture";

struct Reader {
    bool (*is)(const unsigned char* data, size_t size);
    ImageRGBA* (*read)(const unsigned char* data, size_t size, const ReadLimits* limits,
                       std::string* why);
};
const Reader kReaders[] = {
    {isJpeg, readJpeg}, {isPng, readPng}, {isWebp, readWebp}, {isHeif, readHeif}};

// Enough of a file's start for every format's signature.
const size_t kSignatureBytes = 32;

}  // namespace

ImageRGBA* newPictureOfSize(unsigned width, unsigned height, const ReadLimits* limits,
                            std::string* why) {
    if (limits && limits->accept && !limits->accept(width, height, why)) {
        if (why->empty()) *why = "the picture is refused";
        return nullptr;
    }
    const std::string size = std::to_string(width) + " by " + std::to_string(height) + " pixels";
    if (width > static_cast<unsigned>(INT_MAX) || height > static_cast<unsigned>(INT_MAX)) {
        *why = "the picture is too large (" + size + ")";
        return nullptr;
    }
    ImageRGBA* img = imageRgbaNew(static_cast<int>(width), static_cast<int>(height));
    if (!img) *why = "not enough memory for a picture of " + size;
    return img;
}

ImageRGBA* imageRgbaRead(const char* filename, std::string* reason, const ReadLimits* limits) {
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();
    const int fd = openPictureFile(filename, why);
    if (fd < 0) return nullptr;
    unsigned char start[kSignatureBytes];
    const ssize_t got = pread(fd, start, sizeof start, 0);
    const size_t known = got > 0 ? static_cast<size_t>(got) : 0;
    for (const Reader& reader : kReaders) {
        if (!reader.is(start, known)) continue;
        std::vector<unsigned char> bytes;
        const bool read = readAll(fd, limits ? limits->maxSingleAlloc : 0, &bytes, why);
        close(fd);
        ImageRGBA* img = read ? reader.read(bytes.data(), bytes.size(), limits, why) : nullptr;
        // The library's words go on one line.
        std::replace(why->begin(), why->end(), '\n', ' ');
        why->erase(why->find_last_not_of(' ') + 1);
        return img;
    }
    // TIFF, or nothing we know: libtiff has the words for both.
    close(fd);
    return imageRgbaReadTIFF(filename, why, limits);
}

namespace {

const struct {
    const char* extension;
    PictureFormat format;
} kExtensions[] = {{"tif", PictureFormat::tiff},  {"tiff", PictureFormat::tiff},
                   {"png", PictureFormat::png},   {"jpg", PictureFormat::jpeg},
                   {"jpeg", PictureFormat::jpeg}, {"webp", PictureFormat::webp}};

// Where the extension's dot is, or npos: a leading dot starts a hidden
// file's name, not an extension.
size_t extensionDot(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot <= base ? std::string::npos : dot;
}

}  // namespace

const char* const kWritableExtensions = ".tif, .tiff, .png, .jpg, .jpeg and .webp";

bool formatOfExtension(const std::string& extension, PictureFormat* format) {
    for (const auto& known : kExtensions) {
        if (strcasecmp(extension.c_str(), known.extension) == 0) {
            *format = known.format;
            return true;
        }
    }
    return false;
}

bool formatOfName(const std::string& name, PictureFormat* format) {
    const size_t dot = extensionDot(name);
    if (dot != std::string::npos) return formatOfExtension(name.substr(dot + 1), format);
    *format = PictureFormat::tiff;
    return true;
}

std::string withExtension(const std::string& name, const std::string& extension) {
    return name.substr(0, extensionDot(name)) + "." + extension;
}

bool isOpaque(const ImageRGBA* img) {
    const size_t n = static_cast<size_t>(img->width) * img->height;
    unsigned char all = 255;
    for (size_t i = 0; i < n; ++i) all &= img->data[i].a;
    return all == 255;
}

int imageRgbaWrite(const char* filename, const ImageRGBA* img, const SaveFormat& format,
                   std::string* reason) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    if (format.format == PictureFormat::tiff) return imageRgbaWriteTIFF(filename, img, reason);
    return writeOutput(
        filename,
        [&](int fd, std::string* why) {
            bool done = false;
            switch (format.format) {
                case PictureFormat::png:
                    done = writePng(fd, img, why);
                    break;
                case PictureFormat::jpeg:
                    done = writeJpeg(fd, img, format.quality, why);
                    break;
                case PictureFormat::webp:
                    done = writeWebp(fd, img, format.quality, why);
                    break;
                case PictureFormat::tiff:
                    break;
            }
            if (close(fd) != 0 && done) {
                *why = std::string("writing failed: ") + std::strerror(errno);
                done = false;
            }
            return done;
        },
        reason);
}
