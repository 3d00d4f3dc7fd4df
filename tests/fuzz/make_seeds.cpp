// Writes the fuzzer's seed pictures into a folder: every pixel format the
// reader meets (1 to 16 bits, grey, palette, RGB, alpha, separate planes,
// CMYK, YCbCr, LogLuv, float) in strips and in tiles, with each compression
// this libtiff can write, in both byte orders; plus a few small files that
// declare huge pictures. Combinations libtiff refuses to write are skipped.
#include <tiffio.h>

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
    std::printf("%d seed pictures in %s\n", written + 4, folder.c_str());
    return written > 0 ? 0 : 1;
}
