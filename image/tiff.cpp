#include "image/tiff.h"

#include "image/bands.h"
#include "image/check.h"
#include "image/files.h"

#include <tiffio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* const kSource = "image/tiff";

// libtiff reports through handlers. Ours count the errors and keep the first
// and the latest: the latest ended a failed call (earlier ones are often
// complaints libtiff recovered from); the first since decoding began says
// what damaged the data. Warnings are dropped (every file we write, the icons
// included, draws one for its undeclared fourth sample).
struct TiffErrors {
    unsigned count = 0;
    std::string first, last;
};

int keepErrors(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    auto* errors = static_cast<TiffErrors*>(user);
    ++errors->count;
    if (errors->first.empty()) errors->first = text;
    errors->last = text;
    return 1;  // handled: libtiff's global handler stays quiet
}

int dropWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffOptions {
    TIFFOpenOptions* opts;
    TiffErrors errors;
    explicit TiffOptions(size_t maxSingleAlloc = 0) : opts(TIFFOpenOptionsAlloc()) {
        if (opts) {
            TIFFOpenOptionsSetErrorHandlerExtR(opts, keepErrors, &errors);
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

// libtiff's words without the file name it often starts with, which the
// caller names anyway.
std::string withoutName(std::string text, const char* filename) {
    const std::string prefix = std::string(filename) + ": ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    return text;
}

// libtiff's last word on a failure when it had one, else ours.
void setFailure(std::string* reason, const TiffOptions& options, const char* filename,
                const std::string& fallback) {
    const std::string text = withoutName(options.errors.last, filename);
    setReason(reason, text.empty() ? fallback : text);
}

bool hostIsBigEndian() {
    uint16_t v;
    std::memcpy(&v, "12", 2);
    return v == 0x3132;
}

inline Rgba byteReversed(Rgba p) { return Rgba{p.a, p.b, p.g, p.r}; }

// libtiff packs a pixel into a word, red lowest: on a big-endian host its
// bytes in memory run a, b, g, r.
void toRgbaOrder(ImageRGBA* img) {
    const size_t n = static_cast<size_t>(img->width) * img->height;
    for (size_t i = 0; i < n; ++i) img->data[i] = byteReversed(img->data[i]);
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

// libtiff's RGBA reader with its put methods wrapped. With errors allowed it
// goes on past a strip or tile it could not read, so what it can decode is
// shown; but it would put its buffer, still holding the strip before, in its
// place. The wrapper leaves such a part as it was instead; of colour planes
// stored apart, only the planes that failed are cleared.
struct GuardedRgba {
    TIFFRGBAImage img;  // first: the put methods get a pointer to it
    tileContigRoutine contig;
    tileSeparateRoutine separate;
    const unsigned* errors;
    unsigned seen;
    uint32_t part;  // which strip or tile of each plane the next put shows
    bool partFailed() {
        const bool failed = *errors != seen;
        seen = *errors;
        return failed;
    }
};

// The planes of one strip or tile, read again where one failed: a plane
// failing again (decoding fails the same way twice) is cleared, the others
// keep their data. How many could be read.
int clearFailedPlanes(GuardedRgba* g, unsigned char* r, unsigned char* gr, unsigned char* b,
                      unsigned char* a) {
    TIFF* tif = g->img.tif;
    const bool tiled = TIFFIsTiled(tif);
    const uint32_t perPlane =
        (tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif)) / g->img.samplesperpixel;
    const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const uint16_t colours = gr == r ? 1 : 3;  // grey and palette have one plane
    unsigned char* planes[] = {r, colours > 1 ? gr : nullptr, colours > 1 ? b : nullptr, a};
    const uint16_t samples[] = {0, 1, 2, colours};
    int read = 0;
    for (int i = 0; i < 4; ++i) {
        if (!planes[i]) continue;
        const uint32_t index = samples[i] * perPlane + g->part;
        const tmsize_t got = tiled ? TIFFReadEncodedTile(tif, index, planes[i], size)
                                   : TIFFReadEncodedStrip(tif, index, planes[i], size);
        if (got < 0) {
            std::memset(planes[i], 0, static_cast<size_t>(size));
        } else {
            ++read;
        }
    }
    g->seen = *g->errors;  // the second reading's errors are no news
    return read;
}

void putContig(TIFFRGBAImage* img, uint32_t* raster, uint32_t x, uint32_t y, uint32_t w,
               uint32_t h, int32_t fromskew, int32_t toskew, unsigned char* p) {
    auto* g = reinterpret_cast<GuardedRgba*>(img);
    if (!g->partFailed()) g->contig(img, raster, x, y, w, h, fromskew, toskew, p);
}

void putSeparate(TIFFRGBAImage* img, uint32_t* raster, uint32_t x, uint32_t y, uint32_t w,
                 uint32_t h, int32_t fromskew, int32_t toskew, unsigned char* r, unsigned char* g,
                 unsigned char* b, unsigned char* a) {
    auto* guarded = reinterpret_cast<GuardedRgba*>(img);
    if (!guarded->partFailed() || clearFailedPlanes(guarded, r, g, b, a) > 0) {
        guarded->separate(img, raster, x, y, w, h, fromskew, toskew, r, g, b, a);
    }
    ++guarded->part;
}

// What TIFFReadRGBAImage does, top row first, with the guard, for the
// `count` rows from `first` on; they land in their own rows of `raster`.
bool readRgba(TIFF* tif, uint32_t width, uint32_t first, uint32_t count, uint32_t* raster,
              const TiffErrors& errors) {
    char message[1024];
    GuardedRgba g{};
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&g.img, tif, 0, message)) {
        TIFFErrorExtR(tif, TIFFFileName(tif), "%s", message);
        return false;
    }
    // Row 0 at the top straight away, whatever the file's orientation.
    g.img.req_orientation = ORIENTATION_TOPLEFT;
    g.img.row_offset = static_cast<int>(first);
    g.errors = &errors.count;
    g.seen = errors.count;
    if (g.img.isContig) {
        g.contig = g.img.put.contig;
        g.img.put.contig = putContig;
    } else {
        uint32_t partHeight = 0, partWidth = 0;
        if (TIFFIsTiled(tif)) {
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &partHeight);
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &partWidth);
        } else {
            TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &partHeight);
        }
        // The strip or tile of each plane the first put shows.
        const uint32_t across = partWidth ? (width + partWidth - 1) / partWidth : 1;
        g.part = partHeight ? first / partHeight * across : 0;
        g.separate = g.img.put.separate;
        g.img.put.separate = putSeparate;
    }
    const bool ok = TIFFRGBAImageGet(&g.img, raster + static_cast<size_t>(first) * width, width, count);
    TIFFRGBAImageEnd(&g.img);
    return ok;
}

// What reading some rows came to.
struct RowsRead {
    bool done = false;  // this part was read, or its handle failed to open
    bool ok = false;
    bool damaged = false;
    std::string first, last;  // libtiff's first error, and the one that ended a failed read
};

// Whether the strips hold 8-bit RGB as they are to be shown: what libtiff's
// RGBA reader makes of them is each pixel with an opaque alpha, so they can be
// decoded straight into the picture. Not where a strip is larger than one
// allocation may be, which refuses the file in that reader.
bool plainRgbStrips(TIFF* tif, size_t maxSingleAlloc) {
    uint16_t photometric = 0, bits = 0, samples = 0, planar = PLANARCONFIG_CONTIG, extra = 0,
             orientation = ORIENTATION_TOPLEFT, format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    uint16_t* extraKinds = nullptr;
    if (TIFFIsTiled(tif) || !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra, &extraKinds);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const tmsize_t stripSize = TIFFStripSize(tif);
    return photometric == PHOTOMETRIC_RGB && bits == 8 && samples == 3 && extra == 0 &&
           planar == PLANARCONFIG_CONTIG && orientation == ORIENTATION_TOPLEFT &&
           format == SAMPLEFORMAT_UINT && compression != COMPRESSION_JPEG &&
           compression != COMPRESSION_OJPEG && stripSize > 0 &&
           (maxSingleAlloc == 0 || static_cast<size_t>(stripSize) <= maxSingleAlloc);
}

// Rows first..first + count - 1 (whole strips, or up to the last row) of
// 8-bit RGB strips, each decoded into the start of its own rows and spread
// to four bytes a pixel from the end backwards. False at the first error,
// leaving the rows to the RGBA reader, whose handling of damage stays the one.
bool readRgbStrips(TIFF* tif, const TiffErrors& errors, ImageRGBA* img, uint32_t first, uint32_t count) {
    uint32_t stripRows = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &stripRows);
    if (stripRows == 0 || first % stripRows != 0) return false;
    const size_t width = static_cast<size_t>(img->width);
    const unsigned before = errors.count;
    for (uint32_t y = first; y < first + count; y += stripRows) {
        const size_t rows = std::min(stripRows, first + count - y), n = rows * width;
        Rgba* to = img->data + y * width;
        auto* from = reinterpret_cast<unsigned char*>(to);
        const tmsize_t wanted = static_cast<tmsize_t>(n * 3);
        if (TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y, 0), from, wanted) != wanted ||
            errors.count != before) {
            return false;
        }
        for (size_t i = n; i-- > 0;) to[i] = Rgba{from[3 * i], from[3 * i + 1], from[3 * i + 2], 255};
    }
    return true;
}

// Rows first..first + count - 1 of `img`: 8-bit RGB straight, anything else
// through the RGBA reader, with the rows cleared before, so that parts
// libtiff cannot read stay clear: no pixels of another part or picture.
RowsRead readRows(TIFF* tif, TiffErrors& errors, ImageRGBA* img, uint32_t first, uint32_t count,
                  size_t maxSingleAlloc) {
    if (plainRgbStrips(tif, maxSingleAlloc) && readRgbStrips(tif, errors, img, first, count)) {
        RowsRead result;
        result.done = result.ok = true;
        return result;
    }
    const size_t width = static_cast<size_t>(img->width);
    std::memset(img->data + first * width, 0, count * width * sizeof(Rgba));
    errors.first.clear();
    const unsigned before = errors.count;
    RowsRead result;
    result.done = true;
    result.ok = readRgba(tif, img->width, first, count, reinterpret_cast<uint32_t*>(img->data), errors);
    result.damaged = errors.count != before;
    result.first = errors.first;
    result.last = errors.last;
    return result;
}

// Big pictures are decoded by both cores, each part of the rows through a
// handle of its own on the file, where the parts cannot depend on each other:
// strips or tiles in the order of the rows, in a codec without state from
// one to the next. Empty when the file does not allow it.
std::vector<RowsRead> readInParts(TIFF* tif, int fd, const char* filename, const ReadLimits* limits,
                                  ImageRGBA* img) {
    uint16_t orientation = ORIENTATION_TOPLEFT, compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const bool upward = orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT ||
                        orientation == ORIENTATION_LEFTBOT || orientation == ORIENTATION_RIGHTBOT;
    const bool independent = compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
                             compression == COMPRESSION_ADOBE_DEFLATE ||
                             compression == COMPRESSION_DEFLATE || compression == COMPRESSION_PACKBITS ||
                             compression == COMPRESSION_ZSTD || compression == COMPRESSION_JPEG;
    uint32_t partHeight = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &partHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &partHeight);
    }
    const uint32_t height = static_cast<uint32_t>(img->height);
    const double pixels = static_cast<double>(img->width) * height;
    if (upward || !independent || partHeight == 0 || partHeight >= height || pixels < (1 << 20)) return {};
    // Another description of the same file: libtiff seeks, so the handles may not share one.
    const int reopened = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
    if (reopened < 0) return {};
    close(reopened);

    const int parts = static_cast<int>((height + partHeight - 1) / partHeight);
    std::vector<RowsRead> results(static_cast<size_t>(parts));
    inBands(0, parts - 1, pixels, [&](int firstPart, int lastPart) {
        RowsRead& result = results[static_cast<size_t>(firstPart)];
        const int own = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
        TiffOptions options(limits ? limits->maxSingleAlloc : 0);
        TIFF* part = own < 0 ? nullptr : TIFFFdOpenExt(own, filename, "r", options.opts);
        if (!part) {
            if (own >= 0) close(own);
            result.done = true;
            result.last = options.errors.last.empty() ? "cannot open the file again" : options.errors.last;
            return;
        }
        const uint32_t first = static_cast<uint32_t>(firstPart) * partHeight;
        const uint32_t end = std::min(height, static_cast<uint32_t>(lastPart + 1) * partHeight);
        result = readRows(part, options.errors, img, first, end - first, limits ? limits->maxSingleAlloc : 0);
        TIFFClose(part);  // closes own
    });
    // In the order of the rows: only the part a call began with holds its result.
    results.erase(std::remove_if(results.begin(), results.end(), [](const RowsRead& r) { return !r.done; }),
                  results.end());
    return results;
}

}  // namespace

ImageRGBA* imageRgbaReadTIFF(const char* filename, std::string* reason,
                             const ReadLimits* limits) {
    std::string local;
    std::string* why = reason ? reason : &local;
    why->clear();
    const int fd = openPictureFile(filename, why);
    if (fd < 0) return nullptr;
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
    ImageRGBA* img = newPictureOfSize(width, height, limits, why);
    if (img && !jbigStreamsFit(tif, width, height)) {
        imageRgbaFree(img);
        img = nullptr;
        setReason(why, "its JBIG data describes a larger picture than the file declares");
    }
    if (img) {
        std::vector<RowsRead> parts = readInParts(tif, fd, filename, limits, img);
        if (parts.empty()) {
            parts.push_back(readRows(tif, options.errors, img, 0, height, limits ? limits->maxSingleAlloc : 0));
        }
        const auto failed = std::find_if(parts.begin(), parts.end(), [](const RowsRead& r) { return !r.ok; });
        const auto damaged = std::find_if(parts.begin(), parts.end(), [](const RowsRead& r) { return r.damaged; });
        if (failed != parts.end()) {
            const std::string text = withoutName(failed->last, filename);
            setReason(why, text.empty() ? "the picture data cannot be decoded" : text);
            imageRgbaFree(img);
            img = nullptr;
        } else {
            if (hostIsBigEndian()) toRgbaOrder(img);
            if (damaged != parts.end()) {
                *why = "damaged picture data, shown as far as it could be read (" +
                       withoutName(damaged->first, filename) + ")";
            }
        }
    }
    TIFFClose(tif);  // closes fd
    return img;
}

namespace {

const int kRowsPerStrip = 64;

void setTags(TIFF* tif, const char* filename, const ImageRGBA* img) {
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
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 75.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 75.0);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
}

// A TIFF held in memory, where a part of a batch of strips is encoded. Its
// bytes go to a store kept from one batch to the next, so the store is grown
// and touched once.
struct MemoryFile {
    std::vector<unsigned char>& store;
    uint64_t end = 0, at = 0;

    static tmsize_t read(thandle_t, void*, tmsize_t) { return 0; }
    static tmsize_t write(thandle_t h, void* data, tmsize_t n) {
        auto* f = static_cast<MemoryFile*>(h);
        if (f->store.size() < f->at + n) f->store.resize(std::max<uint64_t>(f->at + n, 2 * f->store.size()));
        std::memcpy(f->store.data() + f->at, data, static_cast<size_t>(n));
        f->at += n;
        f->end = std::max(f->end, f->at);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence) {
        auto* f = static_cast<MemoryFile*>(h);
        f->at = whence == SEEK_SET ? off : whence == SEEK_CUR ? f->at + off : f->end + off;
        return f->at;
    }
    static int close(thandle_t) { return 0; }
    static toff_t size(thandle_t h) { return static_cast<MemoryFile*>(h)->end; }
};

// Where a strip's encoded bytes lie.
struct EncodedStrip {
    std::vector<unsigned char>* store = nullptr;
    uint64_t from = 0, to = 0;
};

// Strips first..last of the picture as the writer's codec encodes them, one
// after another into `store`, through one TIFF in memory (which holds an
// entry for every strip of the picture, so one per strip would cost as much
// as a picture of one-pixel rows has strips).
bool encodeStrips(const char* filename, const ImageRGBA* img, int first, int last,
                  std::vector<unsigned char>& store, EncodedStrip* strips) {
    MemoryFile file{store};
    TiffOptions options;
    TIFF* tif = TIFFClientOpenExt(filename, "w", &file, MemoryFile::read, MemoryFile::write,
                                  MemoryFile::seek, MemoryFile::close, MemoryFile::size, nullptr,
                                  nullptr, options.opts);
    if (!tif) return false;
    setTags(tif, filename, img);
    bool ok = true;
    for (int s = first; s <= last && ok; ++s) {
        const int y = s * kRowsPerStrip, rows = std::min(kRowsPerStrip, img->height - y);
        EncodedStrip& strip = strips[s - first];
        strip.store = &store;
        strip.from = file.end;
        ok = TIFFWriteEncodedStrip(tif, static_cast<uint32_t>(s), img->data + static_cast<size_t>(y) * img->width,
                                   static_cast<tmsize_t>(rows) * img->width * sizeof(Rgba)) >= 0;
        strip.to = file.end;
    }
    TIFFClose(tif);
    return ok;
}

// The strips are encoded on both cores, each part of a batch through a TIFF
// of its own in memory, and written raw in their order: the file is the one writing row by
// row gives. They go in batches of about 4 MiB of pixels; while one batch is
// encoded, the one before it is written, so the cores never wait on the
// writes. Two batches of encoded strips cost little beside the picture.
bool writeTiffStream(TIFF* tif, const char* filename, const ImageRGBA* img) {
    setTags(tif, filename, img);
    const int count = (img->height + kRowsPerStrip - 1) / kRowsPerStrip;
    const size_t stripBytes = static_cast<size_t>(img->width) * kRowsPerStrip * sizeof(Rgba);
    const int batch = static_cast<int>(std::max<size_t>(
        1, std::min<size_t>(count, std::max<size_t>(2, (size_t(4) << 20) / std::max<size_t>(1, stripBytes)))));
    std::vector<std::vector<unsigned char>> stores(2 * batch);
    std::vector<EncodedStrip> strips(2 * batch);
    std::atomic<bool> encoded(true), written(true);
    // The strips of batch `from` lie in the half of the stores its parity gives.
    auto slot = [&](int s, int from) { return s - from + (from / batch % 2) * batch; };
    auto writeBatch = [&](int from) {
        for (int s = from; s < std::min(count, from + batch) && written; ++s) {
            const EncodedStrip& e = strips[slot(s, from)];
            written = TIFFWriteRawStrip(tif, static_cast<uint32_t>(s), e.store->data() + e.from,
                                        static_cast<tmsize_t>(e.to - e.from)) >= 0;
        }
#ifdef SYNC_FILE_RANGE_WRITE
        // Writeback starts now, beside the encoding, instead of all at once
        // when the file replaces the old one (ext4 flushes a file renamed over
        // another). Where the output is a pipe or a device this does nothing.
        sync_file_range(TIFFFileno(tif), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    };
    for (int from = 0; from < count && encoded && written; from += batch) {
        const int to = std::min(count, from + batch) - 1;
        // One more index than strips: the last writes the batch before.
        inBands(from, to + 1, static_cast<double>(to - from + 2) * stripBytes, [&](int first, int last) {
            // A part's strips go to the store of its first.
            if (first <= to && !encodeStrips(filename, img, first, std::min(last, to), stores[slot(first, from)],
                                             &strips[slot(first, from)])) {
                encoded = false;
            }
            if (last == to + 1 && from > 0) writeBatch(from - batch);
        });
    }
    if (!encoded || !written) return false;
    if (count > 0) writeBatch((count - 1) / batch * batch);
    // The directory is written here; a full disk shows up now.
    return written && TIFFFlush(tif) == 1;
}

}  // namespace

int imageRgbaWriteTIFF(const char* filename, const ImageRGBA* img, std::string* reason) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    return writeOutput(
        filename,
        [&](int fd, std::string* why) {
            TiffOptions options;
            TIFF* tif = TIFFFdOpenExt(fd, filename, "w", options.opts);
            if (!tif) {
                close(fd);
                setFailure(why, options, filename, "cannot start a TIFF file");
                return false;
            }
            errno = 0;
            const bool complete = writeTiffStream(tif, filename, img);
            const int writeError = errno;  // what the system said, before closing can change it
            TIFFClose(tif);  // closes fd
            if (!complete) {
                if (writeError != 0) {
                    setReason(why, std::string("writing failed: ") + std::strerror(writeError));
                } else {
                    setFailure(why, options, filename, "the file could not be written completely");
                }
            }
            return complete;
        },
        reason);
}
