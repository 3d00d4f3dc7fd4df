// WebP through libwebp.
#include "image/codecs.h"
#include "image/files.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <cstring>

namespace {

std::string decodeError(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "not enough memory to decode the WebP data";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "a WebP feature this program does not read (an animation?)";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "the WebP data ends early";
        default:
            return "corrupt WebP data";
    }
}

std::string encodeError(WebPEncodingError error, const ImageRGBA* img) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return "not enough memory to encode the WebP picture";
        case VP8_ENC_ERROR_BAD_DIMENSION:
            return "WebP cannot hold a picture of " + std::to_string(img->width) + " by " +
                   std::to_string(img->height) + " pixels (at most " +
                   std::to_string(WEBP_MAX_DIMENSION) + " a side)";
        default:
            return "the WebP encoder failed (error " + std::to_string(error) + ")";
    }
}

struct Sink {
    int fd;
    std::string why;
};

int writeBytes(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* sink = static_cast<Sink*>(picture->custom_ptr);
    return writeAll(sink->fd, data, size, &sink->why) ? 1 : 0;
}

}  // namespace

bool isWebp(const unsigned char* data, size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

ImageRGBA* readWebp(const unsigned char* data, size_t size, const ReadLimits* limits,
                    std::string* why) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        *why = "cannot start the WebP decoder";
        return nullptr;
    }
    VP8StatusCode status = WebPGetFeatures(data, size, &config.input);
    if (status == VP8_STATUS_OK && config.input.has_animation) status = VP8_STATUS_UNSUPPORTED_FEATURE;
    if (status != VP8_STATUS_OK) {
        *why = decodeError(status);
        return nullptr;
    }
    ImageRGBA* img = newPictureOfSize(static_cast<unsigned>(config.input.width),
                                      static_cast<unsigned>(config.input.height), limits, why);
    if (!img) return nullptr;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = reinterpret_cast<uint8_t*>(img->data);
    config.output.u.RGBA.stride = img->width * static_cast<int>(sizeof(Rgba));
    config.output.u.RGBA.size = static_cast<size_t>(img->width) * img->height * sizeof(Rgba);
    status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        imageRgbaFree(img);
        *why = decodeError(status);
        return nullptr;
    }
    return img;
}

bool writeWebp(int fd, const ImageRGBA* img, int quality, std::string* why) {
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
        *why = "cannot start the WebP encoder";
        return false;
    }
    if (quality > 0) {
        config.quality = static_cast<float>(quality);
    } else {
        config.lossless = 1;
        config.exact = 1;  // the colour under transparent pixels too
    }
    picture.use_argb = config.lossless;
    picture.width = img->width;
    picture.height = img->height;
    const auto* pixels = reinterpret_cast<const uint8_t*>(img->data);
    const int stride = img->width * static_cast<int>(sizeof(Rgba));
    const bool imported = isOpaque(img) ? WebPPictureImportRGBX(&picture, pixels, stride)
                                        : WebPPictureImportRGBA(&picture, pixels, stride);
    Sink sink{fd, ""};
    picture.writer = writeBytes;
    picture.custom_ptr = &sink;
    const bool done = imported && WebPEncode(&config, &picture);
    if (!done) *why = sink.why.empty() ? encodeError(picture.error_code, img) : sink.why;
    WebPPictureFree(&picture);
    return done;
}
