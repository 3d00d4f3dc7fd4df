// Pictures in every format: what our writers and the libraries' own encoders
// write reads back with the same pixels (lossy formats within a bound), a
// turned photograph reads upright, and bad files of each format are refused
// in one line before anything large is allocated.
#include "batch.h"
#include "image/picture.h"
#include "image/tiff.h"
#include "tests/raw_strip.h"
#include "tests/unit/test_support.h"

#include <libheif/heif.h>
#include <spng.h>
#include <turbojpeg.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>

namespace {

using Bytes = std::string;

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Smooth, so that lossy codecs stay close; opaque.
fixtures::Image gradient(int width, int height) {
    fixtures::Image img(imageRgbaNew(width, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixel(img.get(), x, y) = Rgba{static_cast<unsigned char>(x * 255 / width),
                                          static_cast<unsigned char>(y * 255 / height),
                                          static_cast<unsigned char>(128 + (x - y) / 2), 255};
        }
    }
    return img;
}

// The largest difference of any channel, with where it is.
int largestDifference(const ImageRGBA* want, const ImageRGBA* got) {
    int most = 0;
    for (int i = 0; i < want->width * want->height; ++i) {
        const fixtures::Channels a = fixtures::channels(want->data[i]), b = fixtures::channels(got->data[i]);
        for (int c = 0; c < 4; ++c) most = std::max(most, std::abs(a[c] - b[c]));
    }
    return most;
}

// ---------------------------------------------------------------------------
// Files made with the libraries' own encoders

Bytes jpegOf(const unsigned char* pixels, int width, int height, int format, int subsampling) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(tj, pixels, width, 0, height, format, &out, &size, subsampling, 95, 0);
    Bytes bytes = status == 0 ? Bytes(reinterpret_cast<char*>(out), size) : Bytes();
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// A JPEG whose EXIF block says `orientation`, right after its start marker.
Bytes withOrientation(const Bytes& jpeg, int orientation) {
    const unsigned char app1[] = {
        0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,  // marker, length, EXIF header
        'M', 'M', 0, 42, 0, 0, 0, 8,                  // big-endian TIFF header, IFD0 at 8
        0, 1,                                         // one entry:
        0x01, 0x12, 0, 3, 0, 0, 0, 1,                 // orientation, SHORT, one of them
        0, static_cast<unsigned char>(orientation), 0, 0,
        0, 0, 0, 0};  // no next IFD
    return jpeg.substr(0, 2) + Bytes(reinterpret_cast<const char*>(app1), sizeof app1) + jpeg.substr(2);
}

// 16-bit samples big-endian, as PNG holds them.
Bytes pngOf(const std::vector<unsigned char>& raw, int width, int height, int colourType, int depth,
            const spng_plte* palette = nullptr, const spng_trns* transparency = nullptr) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr header = {};
    header.width = static_cast<uint32_t>(width);
    header.height = static_cast<uint32_t>(height);
    header.bit_depth = static_cast<uint8_t>(depth);
    header.color_type = static_cast<uint8_t>(colourType);
    spng_set_ihdr(ctx, &header);
    if (palette) spng_set_plte(ctx, const_cast<spng_plte*>(palette));
    if (transparency) spng_set_trns(ctx, const_cast<spng_trns*>(transparency));
    Bytes bytes;
    if (spng_encode_image(ctx, raw.data(), raw.size(), SPNG_FMT_RAW, SPNG_ENCODE_FINALIZE) == 0) {
        size_t size = 0;
        int error = 0;
        void* out = spng_get_png_buffer(ctx, &size, &error);
        bytes.assign(static_cast<char*>(out), size);
        std::free(out);
    }
    spng_ctx_free(ctx);
    return bytes;
}

// Where the orientation tag's definition puts each stored pixel: the stored
// row 0 is the top (1 to 4) or the left side (5 to 8) of the picture as seen,
// mirrored as it says.
fixtures::Image seenAs(const ImageRGBA* stored, int orientation) {
    const int w = stored->width, h = stored->height;
    const bool sideways = orientation >= 5;
    fixtures::Image seen(imageRgbaNew(sideways ? h : w, sideways ? w : h));
    for (int r = 0; r < h; ++r) {      // stored row
        for (int c = 0; c < w; ++c) {  // stored column
            int x = c, y = r;
            switch (orientation) {
                case 2: x = w - 1 - c; break;
                case 3: x = w - 1 - c, y = h - 1 - r; break;
                case 4: y = h - 1 - r; break;
                case 5: x = r, y = c; break;
                case 6: x = h - 1 - r, y = c; break;
                case 7: x = h - 1 - r, y = w - 1 - c; break;
                case 8: x = r, y = w - 1 - c; break;
            }
            pixel(seen.get(), x, y) = pixel(const_cast<ImageRGBA*>(stored), c, r);
        }
    }
    return seen;
}

// Opaque, so that the file holds one picture and no separate alpha plane;
// the orientation goes into the file's own rotation and mirroring.
Bytes heicOf(const ImageRGBA* img, int orientation = 1) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_image* picture = nullptr;
    heif_image_create(img->width, img->height, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                      &picture);
    heif_image_add_plane(picture, heif_channel_interleaved, img->width, img->height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
    for (int y = 0; y < img->height; ++y) {
        for (int x = 0; x < img->width; ++x) std::memcpy(plane + y * stride + 3 * x, &pixel(const_cast<ImageRGBA*>(img), x, y), 3);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    heif_context_encode_image(ctx, picture, encoder, options, nullptr);
    heif_encoding_options_free(options);
    heif_context_write_to_file(ctx, "heic.tmp");
    heif_image_release(picture);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    const Bytes bytes = readFile("heic.tmp");
    std::remove("heic.tmp");
    return bytes;
}

Bytes writtenAs(const ImageRGBA* img, PictureFormat format, int quality = 0) {
    SaveFormat save;
    save.format = format;
    save.quality = quality;
    std::string why;
    EXPECT_EQ(imageRgbaWrite("written", img, save, &why), 0) << why;
    const Bytes bytes = readFile("written");
    std::remove("written");
    return bytes;
}

// ---------------------------------------------------------------------------

struct FormatCase {
    const char* name;
    std::function<Bytes()> file;
    std::function<fixtures::Image()> expected;
    int bound;  // the largest channel difference allowed; 0 for lossless
};

TEST(Formats, EachFormatReadsBackWhatWasWritten) {
    TempDir dir;
    // Random channels with random alpha catch any reordering or loss; the
    // opaque ones take the writers' paths without alpha.
    const fixtures::Image random = fixtures::randomImage(37, 23, 5);
    const fixtures::Image opaque = fixtures::randomImage(37, 23, 6, true);
    const fixtures::Image smooth = gradient(64, 48);
    // Strips in five batches over both cores, each batch's stores used again
    // two batches on, the last strip short.
    const fixtures::Image tall = fixtures::randomImage(4096, 1100, 7);
    const auto same = [](const fixtures::Image& img) { return [&img] { return fixtures::cloneOf(img.get()); }; };

    // Grey and palette pixels, and what they are in RGBA.
    std::vector<unsigned char> grey(64 * 48), grey16(64 * 48 * 2), indices(37 * 23);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = smooth->data[i].r;
    for (size_t i = 0; i < grey.size(); ++i) {
        grey16[2 * i] = smooth->data[i].r;  // the high byte is what stays
        grey16[2 * i + 1] = static_cast<unsigned char>(i * 7);
    }
    spng_plte palette = {};
    spng_trns transparency = {};
    palette.n_entries = 4;
    transparency.n_type3_entries = 4;
    for (unsigned k = 0; k < 4; ++k) {
        palette.entries[k] = spng_plte_entry{static_cast<uint8_t>(60 * k), static_cast<uint8_t>(255 - 60 * k),
                                             static_cast<uint8_t>(30 * k), 0};
        transparency.type3_alpha[k] = static_cast<uint8_t>(k * 80);
    }
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<unsigned char>((i * 13) % 4);
    const auto greyRgba = [&] {
        fixtures::Image img(imageRgbaNew(64, 48));
        for (size_t i = 0; i < grey.size(); ++i) img->data[i] = Rgba{grey[i], grey[i], grey[i], 255};
        return img;
    };
    const auto paletteRgba = [&] {
        fixtures::Image img(imageRgbaNew(37, 23));
        for (size_t i = 0; i < indices.size(); ++i) {
            const spng_plte_entry& e = palette.entries[indices[i]];
            img->data[i] = Rgba{e.red, e.green, e.blue, transparency.type3_alpha[indices[i]]};
        }
        return img;
    };
    // Inverted CMYK, as Adobe writes it: full ink of the fourth channel is white here.
    std::vector<unsigned char> cmyk(64 * 48 * 4);
    for (size_t i = 0; i < grey.size(); ++i) {
        const Rgba p = smooth->data[i];
        cmyk[4 * i] = p.r, cmyk[4 * i + 1] = p.g, cmyk[4 * i + 2] = p.b, cmyk[4 * i + 3] = 255;
    }

    const FormatCase cases[] = {
        {"TIFF", [&] { return writtenAs(random.get(), PictureFormat::tiff); }, same(random), 0},
        {"TIFF of many strips", [&] { return writtenAs(tall.get(), PictureFormat::tiff); }, same(tall), 0},
        {"PNG with alpha", [&] { return writtenAs(random.get(), PictureFormat::png); }, same(random), 0},
        {"PNG opaque", [&] { return writtenAs(opaque.get(), PictureFormat::png); }, same(opaque), 0},
        {"WebP lossless", [&] { return writtenAs(random.get(), PictureFormat::webp); }, same(random), 0},
        {"WebP lossless opaque", [&] { return writtenAs(opaque.get(), PictureFormat::webp); }, same(opaque), 0},
        {"WebP at quality 90", [&] { return writtenAs(smooth.get(), PictureFormat::webp, 90); }, same(smooth), 12},
        {"JPEG", [&] { return writtenAs(smooth.get(), PictureFormat::jpeg); }, same(smooth), 6},
        {"JPEG at quality 50", [&] { return writtenAs(smooth.get(), PictureFormat::jpeg, 50); }, same(smooth), 12},
        {"grey JPEG", [&] { return jpegOf(grey.data(), 64, 48, TJPF_GRAY, TJSAMP_GRAY); }, greyRgba, 3},
        {"CMYK JPEG", [&] { return jpegOf(cmyk.data(), 64, 48, TJPF_CMYK, TJSAMP_444); }, same(smooth), 5},
        {"grey PNG", [&] { return pngOf(grey, 64, 48, SPNG_COLOR_TYPE_GRAYSCALE, 8); }, greyRgba, 0},
        {"16-bit grey PNG", [&] { return pngOf(grey16, 64, 48, SPNG_COLOR_TYPE_GRAYSCALE, 16); }, greyRgba, 0},
        {"palette PNG with transparency",
         [&] { return pngOf(indices, 37, 23, SPNG_COLOR_TYPE_INDEXED, 8, &palette, &transparency); },
         paletteRgba, 0},
        {"HEIC", [&] { return heicOf(smooth.get()); }, same(smooth), 8},
        {"HEIC turned", [&] { return heicOf(smooth.get(), 6); }, [&] { return seenAs(smooth.get(), 6); }, 8},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.file();
        ASSERT_GT(file.size(), 0u);
        writeBytes("picture.any", file);  // the name says nothing: the content decides
        std::string why;
        fixtures::Image got(imageRgbaRead("picture.any", &why));
        ASSERT_TRUE(got) << why;
        EXPECT_EQ(why, "");
        const fixtures::Image want = c.expected();
        ASSERT_EQ(got->width, want->width);
        ASSERT_EQ(got->height, want->height);
        if (c.bound == 0) {
            EXPECT_EQ(fixtures::firstDifference(want.get(), got.get()), "");
        } else {
            EXPECT_LE(largestDifference(want.get(), got.get()), c.bound);
        }
    }
}

// Each orientation the tag can give, read from a 32 by 24 picture of flat
// 8 by 8 blocks, which JPEG keeps nearly exact.
TEST(Formats, ATurnedPhotographReadsUpright) {
    TempDir dir;
    const int w = 32, h = 24;
    fixtures::Image stored(imageRgbaNew(w, h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int block = (y / 8) * 4 + x / 8;
            pixel(stored.get(), x, y) = Rgba{static_cast<unsigned char>(20 * block), static_cast<unsigned char>(240 - 20 * block),
                                             static_cast<unsigned char>(block % 2 ? 200 : 40), 255};
        }
    }
    const Bytes jpeg = jpegOf(reinterpret_cast<unsigned char*>(stored->data), w, h, TJPF_RGBX, TJSAMP_444);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        writeBytes("photo.jpg", withOrientation(jpeg, orientation));
        std::string why;
        fixtures::Image seen(imageRgbaRead("photo.jpg", &why));
        ASSERT_TRUE(seen) << why;
        const fixtures::Image want = seenAs(stored.get(), orientation);
        ASSERT_EQ(seen->width, want->width);
        ASSERT_EQ(seen->height, want->height);
        EXPECT_LE(largestDifference(want.get(), seen.get()), 2);
    }
}

// A TIFF of 1100 by 1000 pixels is read in parts by both cores where its
// layout allows: each layout reads as libtiff's own reader gives it, and a
// damaged strip in the middle stays clear with the damage line.
TEST(Formats, BigTiffsReadAsLibtiffReadsThem) {
    TempDir dir;
    const uint32_t w = 1100, h = 1000;
    struct Layout {
        const char* name;
        uint16_t compression, samples, planar, photometric, orientation;
        uint32_t tile;  // 0: strips of 16 rows
        int damagedStrip;
    } layouts[] = {
        {"LZW strips", COMPRESSION_LZW, 3, PLANARCONFIG_CONTIG, PHOTOMETRIC_RGB, ORIENTATION_TOPLEFT, 0, -1},
        {"Deflate tiles with alpha", COMPRESSION_ADOBE_DEFLATE, 4, PLANARCONFIG_CONTIG, PHOTOMETRIC_RGB,
         ORIENTATION_TOPLEFT, 64, -1},
        {"planes apart", COMPRESSION_LZW, 3, PLANARCONFIG_SEPARATE, PHOTOMETRIC_RGB, ORIENTATION_TOPLEFT, 0, -1},
        {"a damaged green strip", COMPRESSION_LZW, 3, PLANARCONFIG_SEPARATE, PHOTOMETRIC_RGB,
         ORIENTATION_TOPLEFT, 0, 63 + 40},  // 63 strips a plane
        {"JPEG YCbCr", COMPRESSION_JPEG, 3, PLANARCONFIG_CONTIG, PHOTOMETRIC_YCBCR, ORIENTATION_TOPLEFT, 0, -1},
        {"bottom row first", COMPRESSION_LZW, 3, PLANARCONFIG_CONTIG, PHOTOMETRIC_RGB, ORIENTATION_BOTLEFT, 0, -1},
        {"a damaged strip", COMPRESSION_LZW, 3, PLANARCONFIG_CONTIG, PHOTOMETRIC_RGB, ORIENTATION_TOPLEFT, 0, 40},
    };
    std::mt19937 noise(3);
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        TIFF* tif = TIFFOpen("big.tif", "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, l.planar);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
        if (l.samples == 4) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        if (l.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        if (l.tile) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tile);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tile);
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        }
        const bool tiled = l.tile != 0;
        const uint32_t parts = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
        std::vector<unsigned char> part(static_cast<size_t>(size));
        for (uint32_t i = 0; i < parts; ++i) {
            // Smooth where JPEG would blur noise; noise elsewhere.
            for (size_t k = 0; k < part.size(); ++k) {
                part[k] = static_cast<unsigned char>(l.compression == COMPRESSION_JPEG ? (k / 3 + i * 7) % 251 : noise());
            }
            if (static_cast<int>(i) == l.damagedStrip) {
                TIFFWriteRawStrip(tif, i, part.data(), 40);  // not LZW
            } else if (tiled) {
                TIFFWriteEncodedTile(tif, i, part.data(), size);
            } else {
                TIFFWriteEncodedStrip(tif, i, part.data(), size);
            }
        }
        TIFFClose(tif);

        std::string why;
        fixtures::Image got(imageRgbaReadTIFF("big.tif", &why));
        ASSERT_TRUE(got) << why;
        fixtures::Image want(imageRgbaNew(w, h));
        tif = TIFFOpen("big.tif", "r");
        TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t*>(want->data), ORIENTATION_TOPLEFT, 0);
        TIFFClose(tif);
        if (l.damagedStrip < 0) {
            EXPECT_EQ(why, "");
        } else {
            EXPECT_EQ(why.rfind("damaged picture data, shown as far as it could be read (", 0), 0u) << why;
            // Its rows clear, or of planes apart its plane, instead of what
            // libtiff's reader leaves there.
            const bool apart = l.planar == PLANARCONFIG_SEPARATE;
            const uint32_t strip = apart ? l.damagedStrip % 63 : l.damagedStrip;
            for (uint32_t i = strip * 16 * w; i < (strip + 1) * 16 * w; ++i) {
                if (apart) {
                    want->data[i].g = 0;
                } else {
                    want->data[i] = Rgba{0, 0, 0, 0};
                }
            }
        }
        EXPECT_EQ(fixtures::firstDifference(want.get(), got.get()), "");
    }
}

// A JPEG of more than a megapixel is decoded in two parts: each subsampling
// reads as TurboJPEG reads the whole, and where the parts cannot be used
// (progressive scans, a file cut short) the whole is read as before.
TEST(Formats, BigJpegsReadAsTurboJpegReadsThem) {
    TempDir dir;
    const int w = 1101, h = 997;
    const fixtures::Image noise = fixtures::randomImage(w, h, 8, true);
    const auto* pixels = reinterpret_cast<const unsigned char*>(noise->data);
    tjhandle tj = tjInitDecompress();
    for (const int sub : {int{TJSAMP_444}, int{TJSAMP_422}, int{TJSAMP_420}, int{TJSAMP_440}, int{TJSAMP_411}, -1, -2}) {
        SCOPED_TRACE(sub);
        Bytes jpeg = jpegOf(pixels, w, h, TJPF_RGBX, sub < 0 ? TJSAMP_420 : sub);
        if (sub == -1) {  // progressive
            unsigned char* out = nullptr;
            unsigned long size = 0;
            tjhandle c = tjInitCompress();
            tjCompress2(c, pixels, w, 0, h, TJPF_RGBX, &out, &size, TJSAMP_420, 95, TJFLAG_PROGRESSIVE);
            jpeg.assign(reinterpret_cast<char*>(out), size);
            tjFree(out);
            tjDestroy(c);
        }
        if (sub == -2) jpeg.resize(jpeg.size() * 3 / 4);  // cut short
        writeBytes("big.jpg", jpeg);
        std::string why;
        fixtures::Image got(imageRgbaRead("big.jpg", &why));
        fixtures::Image want(imageRgbaNew(w, h));
        const bool whole = tjDecompress2(tj, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(),
                                         reinterpret_cast<unsigned char*>(want->data), w, 0, h, TJPF_RGBA, 0) == 0;
        ASSERT_EQ(got != nullptr, whole) << why;
        if (whole) {
            EXPECT_EQ(fixtures::firstDifference(want.get(), got.get()), "");
        }
    }
    tjDestroy(tj);
}

// ---------------------------------------------------------------------------
// Bad files

void setBigEndian(Bytes& bytes, size_t at, unsigned value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
}

// The signature and header of a PNG of `width` by `height` pixels, as the
// encoder writes them before any pixel.
Bytes pngHeader(unsigned width, unsigned height) {
    struct Sink {
        Bytes bytes;
    } sink;
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_png_stream(ctx, [](spng_ctx*, void* user, void* data, size_t size) {
        static_cast<Sink*>(user)->bytes.append(static_cast<char*>(data), size);
        return 0;
    }, &sink);
    spng_ihdr header = {};
    header.width = width, header.height = height, header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(ctx, &header);
    spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE);
    spng_ctx_free(ctx);
    return sink.bytes;
}

struct BadFile {
    const char* name;
    std::function<Bytes()> bytes;
    const char* says;  // part of the one line
};

// Through batch mode's start-up, as a user meets them: one line naming the
// file and the reason, status 1, no output; the huge ones before any
// allocation (a decoder that allocated 60000 by 60000 pixels would not
// answer within the alarm, or at all).
TEST(Formats, BadFilesOfEachFormatAreRefusedInOneLine) {
    TempDir dir;
    ASSERT_EQ(symlink(MORVANE_SOURCE_DIR "/menu", "menu"), 0);
    const fixtures::Image img = gradient(64, 48);
    const Bytes tiff = writtenAs(img.get(), PictureFormat::tiff), png = writtenAs(img.get(), PictureFormat::png),
                jpeg = writtenAs(img.get(), PictureFormat::jpeg), webp = writtenAs(img.get(), PictureFormat::webp),
                heic = heicOf(img.get());
    const auto cut = [](const Bytes& b) { return [b] { return b.substr(0, b.size() / 2); }; };
    const auto changed = [](const Bytes& b, size_t at, unsigned value, int size) {
        return [=] {
            Bytes bad = b;
            setBigEndian(bad, at, value, size);
            return bad;
        };
    };
    const size_t sof = jpeg.find("\xFF\xC0");  // height, then width, three bytes on
    // Every image's size box (the picture may be a grid of one tile): version, width, height.
    const auto hugeHeic = [&heic] {
        Bytes b = heic;
        for (size_t at = b.find("ispe"); at != Bytes::npos; at = b.find("ispe", at + 1)) {
            setBigEndian(b, at + 8, 20000, 4);
            setBigEndian(b, at + 12, 20000, 4);
        }
        return b;
    };
    const BadFile cases[] = {
        {"cut.tif", cut(tiff), ""},
        {"header.tif", changed(tiff, 2, 0, 2), "TIFF"},
        {"huge.tif", [] {
             const unsigned char strip[] = {0, 0, 0, 0};
             writeRawStrip("huge.tif", 60000, 60000, 8, COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, strip, 4);
             return readFile("huge.tif");
         }, "60000 by 60000 pixels would need"},
        {"cut.png", cut(png), ""},
        {"header.png", changed(png, 16, 0, 4), ""},  // width 0, its checksum now wrong
        {"huge.png", [] { return pngHeader(60000, 60000); }, "60000 by 60000 pixels would need"},
        {"cut.jpg", cut(jpeg), "Premature end of JPEG file"},
        {"header.jpg", changed(jpeg, sof + 7, 0, 2), ""},  // width 0
        {"huge.jpg", changed(changed(jpeg, sof + 5, 60000, 2)(), sof + 7, 60000, 2), "60000 by 60000 pixels would need"},
        {"cut.webp", cut(webp), "WebP"},
        {"header.webp", changed(webp, 12, 0x58595A21, 4), "WebP"},  // no known chunk
        // An extended header declaring a canvas of 60000 by 60000 pixels, no more.
        {"huge.webp", [] {
             Bytes b("RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\0\0\0\0", 24);
             const unsigned side = 60000 - 1;  // little-endian, three bytes each
             for (int i = 0; i < 6; ++i) b += static_cast<char>(side >> (8 * (i % 3)));
             return b;
         }, "60000 by 60000 pixels would need"},
        {"cut.heic", cut(heic), ""},
        {"header.heic", changed(heic, 8, 0x61626364, 4), ""},  // brand "abcd"
        {"huge.heic", hugeHeic, "20000 by 20000 pixels would need"},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = c.bytes();
        if (std::string(c.name).rfind("huge", 0) == 0) {
            EXPECT_LT(bytes.size(), 4000u);
        }
        writeBytes(c.name, bytes);
        alarm(20);
        testing::internal::CaptureStderr();
        const char* args[] = {"morvane", "--keys", "", "--output", "out.png", c.name};
        const int status = batchMain(6, args);
        const std::string said = testing::internal::GetCapturedStderr();
        alarm(0);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_EQ(said.rfind(std::string("morvane: cannot open the picture \"") + c.name + "\": ", 0), 0u) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_FALSE(std::ifstream("out.png").good());
    }
}

}  // namespace
