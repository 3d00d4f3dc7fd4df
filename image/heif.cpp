// HEIC and HEIF through libheif, which reads them upright: it applies the
// file's rotation and mirroring, which for these files rule over any EXIF
// orientation (a viewer applying both would turn the picture twice).
#include "image/codecs.h"

#include <libheif/heif.h>

#include <cstring>

namespace {

template <class T, void (*release)(const T*)>
struct Held {
    const T* p = nullptr;
    ~Held() {
        if (p) release(p);
    }
};

}  // namespace

bool isHeif(const unsigned char* data, size_t size) {
    return size >= 12 && std::memcmp(data + 4, "ftyp", 4) == 0 &&
           heif_check_filetype(data, static_cast<int>(size)) != heif_filetype_no;
}

ImageRGBA* readHeif(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why) {
    struct Context {
        heif_context* p = heif_context_alloc();
        ~Context() {
            if (p) heif_context_free(p);
        }
    } context;
    Held<heif_image_handle, heif_image_handle_release> handle;
    Held<heif_image, heif_image_release> decoded;
    if (!context.p) {
        *why = "cannot start the HEIF decoder";
        return nullptr;
    }
    heif_error error = heif_context_read_from_memory_without_copy(context.p, data, size, nullptr);
    heif_image_handle* h = nullptr;
    if (!error.code) error = heif_context_get_primary_image_handle(context.p, &h);
    handle.p = h;
    if (error.code) {
        *why = error.message;
        return nullptr;
    }
    const int width = heif_image_handle_get_width(h), height = heif_image_handle_get_height(h);
    ImageRGBA* img = newPictureOfSize(static_cast<unsigned>(width), static_cast<unsigned>(height),
                                      limits, why);
    if (!img) return nullptr;
    heif_decoding_options* options = heif_decoding_options_alloc();
    if (options) options->convert_hdr_to_8bit = 1;
    heif_image* out = nullptr;
    error = heif_decode_image(h, &out, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
    heif_decoding_options_free(options);
    decoded.p = out;
    int stride = 0;
    const uint8_t* pixels =
        error.code ? nullptr : heif_image_get_plane_readonly(out, heif_channel_interleaved, &stride);
    if (!pixels || heif_image_get_width(out, heif_channel_interleaved) != width ||
        heif_image_get_height(out, heif_channel_interleaved) != height ||
        heif_image_get_bits_per_pixel(out, heif_channel_interleaved) != 32) {
        imageRgbaFree(img);
        *why = error.code ? error.message : "the decoded HEIF picture is not the size it declares";
        return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(width) * sizeof(Rgba);
    for (int y = 0; y < height; ++y) {
        std::memcpy(img->data + static_cast<size_t>(y) * width,
                    pixels + static_cast<size_t>(y) * stride, rowBytes);
    }
    return img;
}
