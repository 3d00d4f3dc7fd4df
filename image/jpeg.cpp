// JPEG through libjpeg-turbo's TurboJPEG API, and its libjpeg API where a big
// picture is decoded in two parts; the orientation tag through libexif.
#include "image/bands.h"
#include "image/codecs.h"
#include "image/files.h"

#include <libexif/exif-data.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

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

// libjpeg ends a failed call through its error handler, which jumps back to
// the decoder's caller here; warnings are counted, never printed.
struct JumpOnError {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jumpBack(j_common_ptr c) { std::longjmp(reinterpret_cast<JumpOnError*>(c->err)->back, 1); }

void countWarning(j_common_ptr c, int level) {
    if (level < 0) ++c->err->num_warnings;
}

// Rows first..end - 1 of a sequential colour JPEG, as TurboJPEG decodes them
// into RGBA (the accurate DCT, smooth upsampling), the rows before skipped.
// False at any error or warning, or for a file of another kind.
bool decodeRows(const unsigned char* data, size_t size, ImageRGBA* img, int first, int end) {
    jpeg_decompress_struct c;
    JumpOnError error;
    c.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    error.manager.emit_message = countWarning;
    jpeg_create_decompress(&c);
    volatile bool done = false;
    if (setjmp(error.back) == 0) {
        jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
        if (jpeg_read_header(&c, TRUE) == JPEG_HEADER_OK && !c.progressive_mode &&
            (c.jpeg_color_space == JCS_YCbCr || c.jpeg_color_space == JCS_RGB) &&
            c.image_width == static_cast<JDIMENSION>(img->width) &&
            c.image_height == static_cast<JDIMENSION>(img->height)) {
            c.out_color_space = JCS_EXT_RGBA;
            jpeg_start_decompress(&c);
            bool whole = first == 0 || jpeg_skip_scanlines(&c, static_cast<JDIMENSION>(first)) ==
                                           static_cast<JDIMENSION>(first);
            while (whole && c.output_scanline < static_cast<JDIMENSION>(end)) {
                JSAMPROW row = reinterpret_cast<JSAMPROW>(img->data + static_cast<size_t>(c.output_scanline) * img->width);
                whole = jpeg_read_scanlines(&c, &row, 1) == 1;
            }
            done = whole && error.manager.num_warnings == 0;
        }
    }
    jpeg_destroy_decompress(&c);
    return done;
}

// A big picture is decoded by both cores: one decodes the rows from the top,
// the other skips to its share and decodes the rest. Skipping still reads
// the coded data, so the first share is the larger. False where that cannot
// be done cleanly: the caller then decodes the whole as before.
bool decodeInTwo(const unsigned char* data, size_t size, ImageRGBA* img) {
    if (bandThreads < 2 || static_cast<double>(img->width) * img->height < (1 << 20)) return false;
    const int split = img->height / 5 * 3;
    bool decoded[2] = {false, false};
    inBands(0, 1, static_cast<double>(img->width) * img->height, [&](int first, int last) {
        for (int part = first; part <= last; ++part) {
            decoded[part] = decodeRows(data, size, img, part == 0 ? 0 : split, part == 0 ? split : img->height);
        }
    });
    return decoded[0] && decoded[1];
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
    const bool inTwo = !cmyk && decodeInTwo(data, size, img);
    if (!inTwo && tjDecompress2(tj.handle, data, size, reinterpret_cast<unsigned char*>(img->data), width, 0,
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
