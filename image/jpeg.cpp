// JPEG through libjpeg-turbo's TurboJPEG API; the orientation tag through libexif.
#include "image/codecs.h"
#include "image/files.h"

#include <libexif/exif-data.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

struct Turbo {
    tjhandle handle;
    explicit Turbo(tjhandle h) : handle(h) {}
    ~Turbo() {
        if (handle) tjDestroy(handle);
    }
    Turbo(const Turbo&) = delete;
    Turbo& operator=(const Turbo&) = delete;
    // The library's words without the name of its function in front.
    std::string error() const {
        std::string text = tjGetErrorStr2(handle);
        const size_t call = text.find("(): ");
        return call == std::string::npos ? text : text.substr(call + 4);
    }
};

// The EXIF orientation, 1 (as stored) to 8; 1 without a valid tag.
int exifOrientation(const unsigned char* data, size_t size) {
    ExifData* exif = exif_data_new();
    if (!exif) return 1;
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);  // read, add nothing
    exif_data_load_data(exif, data, static_cast<unsigned>(std::min<size_t>(size, UINT_MAX)));
    int orientation = 1;
    const ExifEntry* e = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (e && e->format == EXIF_FORMAT_SHORT && e->components >= 1 && e->size >= 2) {
        const int v = exif_get_short(e->data, exif_data_get_byte_order(exif));
        if (v >= 1 && v <= 8) orientation = v;
    }
    exif_data_unref(exif);
    return orientation;
}

// The stored picture turned and mirrored upright: 2 to 4 mirror it, 5 to 8
// exchange its rows and columns first. Null when memory is short.
ImageRGBA* upright(const ImageRGBA* stored, int orientation) {
    const bool transposed = orientation >= 5;
    const bool flipX = orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
    const bool flipY = orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    const int w = stored->width, h = stored->height;
    ImageRGBA* out = transposed ? imageRgbaNew(h, w) : imageRgbaNew(w, h);
    if (!out) return nullptr;
    // In tiles, so that the reads down a column stay in the cache.
    const int kTile = 64;
    for (int ty = 0; ty < out->height; ty += kTile) {
        for (int tx = 0; tx < out->width; tx += kTile) {
            for (int y = ty; y < std::min(ty + kTile, out->height); ++y) {
                Rgba* row = out->data + static_cast<size_t>(y) * out->width;
                for (int x = tx; x < std::min(tx + kTile, out->width); ++x) {
                    const int u = transposed ? y : x, v = transposed ? x : y;
                    const int sx = flipX ? w - 1 - u : u, sy = flipY ? h - 1 - v : v;
                    row[x] = stored->data[static_cast<size_t>(sy) * w + sx];
                }
            }
        }
    }
    return out;
}

// Adobe's inverted CMYK, as TurboJPEG hands it out, to RGB in place.
void cmykToRgb(ImageRGBA* img) {
    const size_t n = static_cast<size_t>(img->width) * img->height;
    for (size_t i = 0; i < n; ++i) {
        const Rgba p = img->data[i];  // c, m, y, k
        img->data[i] = Rgba{static_cast<unsigned char>(p.r * p.a / 255),
                            static_cast<unsigned char>(p.g * p.a / 255),
                            static_cast<unsigned char>(p.b * p.a / 255), 255};
    }
}

}  // namespace

bool isJpeg(const unsigned char* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

ImageRGBA* readJpeg(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why) {
    Turbo tj(tjInitDecompress());
    if (!tj.handle) {
        *why = "cannot start the JPEG decoder";
        return nullptr;
    }
    int width = 0, height = 0, subsampling = 0, colours = 0;
    if (tjDecompressHeader3(tj.handle, data, size, &width, &height, &subsampling, &colours) != 0) {
        *why = tj.error();
        return nullptr;
    }
    ImageRGBA* img = newPictureOfSize(static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      limits, why);
    if (!img) return nullptr;
    const bool cmyk = colours == TJCS_CMYK || colours == TJCS_YCCK;
    // A few hundred bytes can hold thousands of progressive scans, each a pass over the picture.
    if (tjDecompress2(tj.handle, data, size, reinterpret_cast<unsigned char*>(img->data), width, 0,
                      height, cmyk ? TJPF_CMYK : TJPF_RGBA, TJFLAG_LIMITSCANS) != 0) {
        const std::string text = tj.error();
        // A file cut short is refused; data the decoder stepped over opens, as in a TIFF.
        if (tjGetErrorCode(tj.handle) != TJERR_WARNING ||
            text.find("Premature end of JPEG file") != std::string::npos) {
            imageRgbaFree(img);
            *why = text;
            return nullptr;
        }
        *why = "damaged picture data, shown as far as it could be read (" + text + ")";
    }
    if (cmyk) cmykToRgb(img);
    const int orientation = exifOrientation(data, size);
    if (orientation == 1) return img;
    ImageRGBA* turned = upright(img, orientation);
    imageRgbaFree(img);
    if (!turned) *why = "not enough memory to turn the picture upright";
    return turned;
}

bool writeJpeg(int fd, const ImageRGBA* img, int quality, std::string* why) {
    Turbo tj(tjInitCompress());
    if (!tj.handle) {
        *why = "cannot start the JPEG encoder";
        return false;
    }
    if (quality == 0) quality = 92;
    // Full colour resolution at high quality, as other tools choose.
    const int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj.handle, reinterpret_cast<const unsigned char*>(img->data), img->width, 0,
                    img->height, TJPF_RGBX, &jpeg, &size, subsampling, quality, 0) != 0) {
        *why = tj.error();
        tjFree(jpeg);
        return false;
    }
    const bool written = writeAll(fd, jpeg, size, why);
    tjFree(jpeg);
    return written;
}
