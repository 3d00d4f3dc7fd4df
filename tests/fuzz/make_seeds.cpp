// Writes the fuzzer's seed pictures into a folder: every pixel format the
// TIFF reader meets (1 to 16 bits, grey, palette, RGB, alpha, separate planes,
// CMYK, YCbCr, LogLuv, float) in strips and in tiles, with each compression
// this libtiff can write, in both byte orders; JPEG, PNG, WebP and HEIC in
// their kinds, by their libraries' encoders; plus a few small files of each
// format that declare huge pictures. Combinations libtiff refuses to write
// are skipped.
#include <libheif/heif.h>
#include <spng.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <webp/encode.h>

#include "tests/raw_strip.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int errors = 0;
void countError(const char*, const char*, va_list) { ++errors; }

struct Format {
    const char* name;
    uint16_t photometric, bits, samples, extra, planar, sampleFormat;
};

const Format kFormats[] = {
    {"grey1", PHOTOMETRIC_MINISBLACK, 1, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"grey2", PHOTOMETRIC_MINISBLACK, 2, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"grey4", PHOTOMETRIC_MINISBLACK, 4, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"grey8", PHOTOMETRIC_MINISBLACK, 8, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"grey16", PHOTOMETRIC_MINISBLACK, 16, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"white1", PHOTOMETRIC_MINISWHITE, 1, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"white8", PHOTOMETRIC_MINISWHITE, 8, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"greyalpha8", PHOTOMETRIC_MINISBLACK, 8, 2, EXTRASAMPLE_UNASSALPHA, 1, SAMPLEFORMAT_UINT},
    {"palette1", PHOTOMETRIC_PALETTE, 1, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"palette2", PHOTOMETRIC_PALETTE, 2, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"palette4", PHOTOMETRIC_PALETTE, 4, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"palette8", PHOTOMETRIC_PALETTE, 8, 1, 0, 1, SAMPLEFORMAT_UINT},
    {"rgb8", PHOTOMETRIC_RGB, 8, 3, 0, 1, SAMPLEFORMAT_UINT},
    {"rgb16", PHOTOMETRIC_RGB, 16, 3, 0, 1, SAMPLEFORMAT_UINT},
    {"rgba8assoc", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_ASSOCALPHA, 1, SAMPLEFORMAT_UINT},
    {"rgba8", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_UNASSALPHA, 1, SAMPLEFORMAT_UINT},
    {"rgba16", PHOTOMETRIC_RGB, 16, 4, EXTRASAMPLE_UNASSALPHA, 1, SAMPLEFORMAT_UINT},
    {"rgb8planes", PHOTOMETRIC_RGB, 8, 3, 0, 2, SAMPLEFORMAT_UINT},
    {"rgba8planes", PHOTOMETRIC_RGB, 8, 4, EXTRASAMPLE_UNASSALPHA, 2, SAMPLEFORMAT_UINT},
    {"cmyk8", PHOTOMETRIC_SEPARATED, 8, 4, 0, 1, SAMPLEFORMAT_UINT},
    {"ycbcr8", PHOTOMETRIC_YCBCR, 8, 3, 0, 1, SAMPLEFORMAT_UINT},
    {"logluv", PHOTOMETRIC_LOGLUV, 32, 3, 0, 1, SAMPLEFORMAT_IEEEFP},
    {"logl", PHOTOMETRIC_LOGL, 32, 1, 0, 1, SAMPLEFORMAT_IEEEFP},
    {"float32", PHOTOMETRIC_MINISBLACK, 32, 1, 0, 1, SAMPLEFORMAT_IEEEFP},
};

const int kWidth = 19, kHeight = 21;  // crosses tile and strip edges

uint32_t noise = 12345;
unsigned char nextByte() {
    noise = noise * 1103515245u + 12345u;
    return static_cast<unsigned char>(noise >> 16);
}

// rowsPerStrip 0: tiles of 16 by 16.
bool writeOne(const std::string& path, const Format& f, uint16_t compression, int rowsPerStrip,
              char order) {
    errors = 0;
    const char mode[] = {'w', order, '\0'};
    TIFF* tif = TIFFOpen(path.c_str(), mode);
    if (!tif) return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, f.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, f.samples);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, f.sampleFormat);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, f.planar);
    bool ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) == 1;
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, f.photometric);
    if (f.extra) {
        uint16_t kinds[] = {f.extra};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, kinds);
    }
    if (f.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(3u << f.bits);
        for (auto& v : map) v = static_cast<uint16_t>(nextByte() * 257);
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + (1u << f.bits),
                     map.data() + (2u << f.bits));
    }
    if (compression == COMPRESSION_JPEG && f.photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (compression == COMPRESSION_SGILOG || compression == COMPRESSION_SGILOG24) {
        TIFFSetField(tif, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
    }
    if (rowsPerStrip == 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }
    const bool tiles = TIFFIsTiled(tif);
    const uint32_t pieces = tiles ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const tmsize_t size = tiles ? TIFFTileSize(tif) : TIFFStripSize(tif);
    std::vector<unsigned char> buffer(size > 0 ? static_cast<size_t>(size) : 1);
    for (uint32_t i = 0; ok && i < pieces; ++i) {
        for (auto& b : buffer) b = nextByte();
        if (f.sampleFormat == SAMPLEFORMAT_IEEEFP) {  // finite, positive values
            auto* v = reinterpret_cast<float*>(buffer.data());
            for (size_t k = 0; k < buffer.size() / 4; ++k) v[k] = static_cast<float>(buffer[k]) / 255;
        }
        ok = (tiles ? TIFFWriteEncodedTile(tif, i, buffer.data(), size)
                    : TIFFWriteEncodedStrip(tif, i, buffer.data(), size)) >= 0;
    }
    TIFFClose(tif);
    if (!ok || errors) std::remove(path.c_str());
    return ok && !errors;
}

// A directory and a few bytes of data declaring a huge picture.
void writeDeclaredHuge(const std::string& path, uint32_t width, uint32_t height,
                       uint16_t compression, uint16_t bits) {
    const unsigned char bytes[] = {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    writeRawStrip(path.c_str(), width, height, bits, compression, PHOTOMETRIC_MINISWHITE, bytes,
                  sizeof bytes);
}

// ---------------------------------------------------------------------------
// The other formats

void save(const std::string& path, const void* data, size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

std::vector<unsigned char> noisePixels(size_t bytes) {
    std::vector<unsigned char> pixels(bytes);
    for (auto& b : pixels) b = nextByte();
    return pixels;
}

// EXIF orientation right after the start marker.
std::vector<unsigned char> withOrientation(const unsigned char* jpeg, size_t size, int orientation) {
    const unsigned char app1[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                  1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, static_cast<unsigned char>(orientation),
                                  0, 0, 0, 0, 0, 0, 0};
    std::vector<unsigned char> out(jpeg, jpeg + 2);
    out.insert(out.end(), app1, app1 + sizeof app1);
    out.insert(out.end(), jpeg + 2, jpeg + size);
    return out;
}

int writeJpegs(const std::string& folder) {
    const struct {
        const char* name;
        int format, subsampling, flags;
    } kinds[] = {{"444", TJPF_RGB, TJSAMP_444, 0},
                 {"420", TJPF_RGB, TJSAMP_420, 0},
                 {"422-progressive", TJPF_RGB, TJSAMP_422, TJFLAG_PROGRESSIVE},
                 {"grey", TJPF_GRAY, TJSAMP_GRAY, 0},
                 {"cmyk", TJPF_CMYK, TJSAMP_444, 0}};
    int written = 0;
    tjhandle tj = tjInitCompress();
    for (const auto& k : kinds) {
        const auto pixels = noisePixels(static_cast<size_t>(kWidth) * kHeight * tjPixelSize[k.format]);
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(tj, pixels.data(), kWidth, 0, kHeight, k.format, &jpeg, &size, k.subsampling, 80,
                        k.flags) == 0) {
            for (int orientation : {1, 6, 7}) {
                const auto file = withOrientation(jpeg, size, orientation);
                save(folder + "/" + k.name + "-" + std::to_string(orientation) + ".jpg", file.data(),
                     file.size());
                ++written;
            }
            // The same declaring 60000 by 60000 pixels: height and width in its frame header.
            std::vector<unsigned char> huge(jpeg, jpeg + size);
            for (size_t i = 0; i + 8 < huge.size(); ++i) {
                if (huge[i] == 0xFF && (huge[i + 1] == 0xC0 || huge[i + 1] == 0xC2)) {
                    huge[i + 5] = huge[i + 7] = 0xEA;
                    huge[i + 6] = huge[i + 8] = 0x60;
                    save(folder + "/huge-" + k.name + ".jpg", huge.data(), huge.size());
                    ++written;
                    break;
                }
            }
        }
        tjFree(jpeg);
    }
    tjDestroy(tj);
    return written;
}

struct Collected {
    std::vector<unsigned char> bytes;
};

int collect(spng_ctx*, void* user, void* data, size_t size) {
    auto* c = static_cast<Collected*>(user);
    c->bytes.insert(c->bytes.end(), static_cast<unsigned char*>(data),
                    static_cast<unsigned char*>(data) + size);
    return 0;
}

// An encoder writing into `out`, started on a picture of this header.
spng_ctx* pngEncoder(Collected* out, uint32_t width, uint32_t height, int colourType, int depth) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_png_stream(ctx, collect, out);
    spng_ihdr header = {};
    header.width = width;
    header.height = height;
    header.bit_depth = static_cast<uint8_t>(depth);
    header.color_type = static_cast<uint8_t>(colourType);
    spng_set_ihdr(ctx, &header);
    return ctx;
}

int writePngs(const std::string& folder) {
    const struct {
        int colourType, channels;
        std::vector<int> depths;
    } kinds[] = {{SPNG_COLOR_TYPE_GRAYSCALE, 1, {1, 2, 4, 8, 16}},
                 {SPNG_COLOR_TYPE_TRUECOLOR, 3, {8, 16}},
                 {SPNG_COLOR_TYPE_INDEXED, 1, {1, 2, 4, 8}},
                 {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 2, {8, 16}},
                 {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 4, {8, 16}}};
    int written = 0;
    for (const auto& k : kinds) {
        for (int depth : k.depths) {
            Collected out;
            spng_ctx* ctx = pngEncoder(&out, kWidth, kHeight, k.colourType, depth);
            if (k.colourType == SPNG_COLOR_TYPE_INDEXED) {
                spng_plte palette = {};
                spng_trns transparency = {};
                palette.n_entries = 1u << depth;
                transparency.n_type3_entries = palette.n_entries;
                for (uint32_t i = 0; i < palette.n_entries; ++i) {
                    palette.entries[i] = {nextByte(), nextByte(), nextByte(), 0};
                    transparency.type3_alpha[i] = nextByte();
                }
                spng_set_plte(ctx, &palette);
                spng_set_trns(ctx, &transparency);
            }
            const size_t row = (static_cast<size_t>(kWidth) * k.channels * depth + 7) / 8;
            const auto pixels = noisePixels(row * kHeight);
            if (spng_encode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RAW, SPNG_ENCODE_FINALIZE) == 0) {
                save(folder + "/type" + std::to_string(k.colourType) + "-" + std::to_string(depth) + ".png",
                     out.bytes.data(), out.bytes.size());
                ++written;
            }
            spng_ctx_free(ctx);
        }
    }
    return written;
}

int writeWebps(const std::string& folder) {
    int written = 0;
    const auto pixels = noisePixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int lossless : {0, 1}) {
        for (int alpha : {0, 1}) {
            uint8_t* out = nullptr;
            const size_t size =
                lossless ? (alpha ? WebPEncodeLosslessRGBA : WebPEncodeLosslessRGB)(pixels.data(), kWidth, kHeight,
                                                                                  kWidth * (alpha ? 4 : 3), &out)
                         : (alpha ? WebPEncodeRGBA : WebPEncodeRGB)(pixels.data(), kWidth, kHeight,
                                                                   kWidth * (alpha ? 4 : 3), 60, &out);
            if (size) {
                save(folder + "/" + (lossless ? "lossless" : "lossy") + (alpha ? "-alpha" : "") + ".webp", out,
                     size);
                ++written;
            }
            WebPFree(out);
        }
    }
    return written;
}

int writeHeics(const std::string& folder) {
    int written = 0;
    for (bool alpha : {false, true}) {
        heif_context* ctx = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        heif_image* picture = nullptr;
        if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
            heif_image_create(kWidth, kHeight, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &picture)
                    .code == heif_error_Ok) {
            heif_encoder_set_lossy_quality(encoder, 50);
            heif_image_add_plane(picture, heif_channel_interleaved, kWidth, kHeight, 8);
            int stride = 0;
            uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
            for (int i = 0; i < stride * kHeight; ++i) plane[i] = nextByte();
            const std::string path = folder + "/" + (alpha ? "alpha" : "opaque") + ".heic";
            if (heif_context_encode_image(ctx, picture, encoder, nullptr, nullptr).code == heif_error_Ok &&
                heif_context_write_to_file(ctx, path.c_str()).code == heif_error_Ok) {
                ++written;
            }
        }
        if (picture) heif_image_release(picture);
        if (encoder) heif_encoder_release(encoder);
        heif_context_free(ctx);
    }
    return written;
}

// A PNG header and a WebP extended header declaring huge pictures.
void writeDeclaredHugeOthers(const std::string& folder) {
    Collected png;
    spng_ctx* ctx = pngEncoder(&png, 60000, 60000, SPNG_COLOR_TYPE_TRUECOLOR, 8);
    spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE);  // writes the header
    spng_ctx_free(ctx);
    save(folder + "/huge.png", png.bytes.data(), png.bytes.size());

    const unsigned char webp[] = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X',
                                  10, 0, 0, 0, 0, 0, 0, 0, 0x5F, 0xEA, 0, 0x5F, 0xEA, 0};
    save(folder + "/huge.webp", webp, sizeof webp);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    mkdir(folder.c_str(), 0755);
    TIFFSetErrorHandler(countError);
    TIFFSetWarningHandler(nullptr);

    int written = 0;
    TIFFCodec* codecs = TIFFGetConfiguredCODECs();
    for (TIFFCodec* c = codecs; c && c->name; ++c) {
        std::string codec = c->name;
        for (auto& ch : codec) ch = (ch == ' ' || ch == '/') ? '_' : ch;
        for (const Format& f : kFormats) {
            for (bool tiled : {false, true}) {
                for (char order : {'l', 'b'}) {
                    const std::string path = folder + "/" + f.name + "-" + codec +
                                             (tiled ? "-tiles-" : "-strips-") + order + ".tif";
                    // Some codecs (JBIG) take only one strip for the picture.
                    written += writeOne(path, f, c->scheme, tiled ? 0 : 8, order) ||
                               (!tiled && writeOne(path, f, c->scheme, kHeight, order));
                }
            }
        }
    }
    _TIFFfree(codecs);
    writeDeclaredHuge(folder + "/huge-deflate.tif", 20000, 20000, COMPRESSION_ADOBE_DEFLATE, 8);
    writeDeclaredHuge(folder + "/huge-square.tif", 46340, 46340, COMPRESSION_ADOBE_DEFLATE, 8);
    writeDeclaredHuge(folder + "/huge-column.tif", 1, 2147483647u, COMPRESSION_ADOBE_DEFLATE, 8);
    writeDeclaredHuge(folder + "/huge-fax.tif", 8209, 65029, COMPRESSION_CCITTFAX4, 1);
    written += writeJpegs(folder) + writePngs(folder) + writeWebps(folder) + writeHeics(folder);
    writeDeclaredHugeOthers(folder);
    std::printf("%d seed pictures in %s\n", written + 6, folder.c_str());
    return written > 0 ? 0 : 1;
}
