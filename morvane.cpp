#include "morvane.h"

#include "effects/artistic.h"
#include "effects/classes.h"
#include "effects/color.h"
#include "effects/distort.h"
#include "effects/geometric.h"
#include "effects/matrices.h"
#include "effects/tools.h"
#include "framewk/framewk.h"
#include "image/files.h"
#include "image/imagergba.h"
#include "image/picture.h"
#include "image/tiff.h"

#include <tiffio.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

effect* E = nullptr;
ImageRGBA* original = nullptr;
std::ofstream logfile;

namespace {
bool keepsOriginal = true;
}

void keepOriginal(bool keep) { keepsOriginal = keep; }

const char* const helpText =
    "Keyboard Shortcuts:\n"
    "-------------------------------------------------------------------------------\n"
    "  s     Save image as `out.tif'.\n"
    "  +/-   Zoom in/out.\n"
    "  q     Quit this application.\n"
    "  ?     This help.\n";

namespace {

unsigned long switchCount = 0;
bool logShared = false;
const int kNoRequest = -1;
int requested = kNoRequest;  // the effect a menu click asked for
ImageRGBA* iconAtlas = nullptr;
// Whether input reached the effect since its last idle tick, and whether the
// tick now running follows none and no button is held.
bool inputSinceIdle = true;
bool quietIdle = false;

const int kIconSize = 20;
const int kAtlasRows = 113;

// The menu's buttons, the atlas rows below 50 that are not effects.
const struct {
    int row;
    const char* icon;
} kButtonIcons[] = {{0, "save"}, {1, "backwards"}, {2, "close"}, {7, "zoomin"}, {8, "zoomout"}};

template <class T>
effect* build(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    return new T(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

template <class T>
constexpr catalogueEntry row(int index, const char* icon, int key, int menuX, int menuY) {
    return catalogueEntry{index, build<T>, &T::descriptor, icon, key, menuX, menuY};
}

}  // namespace

// Index, class, icon, shortcut and menu cell of every effect.
const catalogueEntry catalogue[] = {
    // tools
    row<draw>(3, "paint", F(9), 0, 30),
    row<selection>(4, "selection", F(10), 20, 30),
    row<scroll>(5, "scroll", F(11), 40, 30),
    row<telescope>(6, "telescope", F(12), 60, 30),
    // colour adjustments
    row<brightness>(9, "brightness", '1', 0, 60),
    row<contrast>(10, "contrast", '2', 20, 60),
    row<saturation>(11, "saturation", '3', 40, 60),
    row<hue>(12, "hue", '4', 60, 60),
    row<colorize>(13, "colorize", '5', 80, 60),
    row<channel>(14, "channel", '6', 100, 60),
    row<gray>(15, "gray", '7', 130, 60),
    row<invert>(16, "invert", '8', 150, 60),
    row<posterize>(17, "posterize", '9', 170, 60),
    row<solarize>(18, "solarize", '0', 190, 60),
    // geometric warps
    row<ripple>(19, "ripple", 'q', 0, 80),
    row<bubble>(20, "bubble", 'w', 20, 80),
    row<twirl>(21, "twirl", 'e', 40, 80),
    row<lens>(22, "lens", 'r', 60, 80),
    row<wave>(23, "wave", 't', 80, 80),
    row<buttonize>(24, "buttonize", 'z', 110, 80),
    // distortions
    row<glass>(25, "glass", 'y', 130, 80),
    row<mosaic>(26, "mosaic", 'u', 0, 100),
    row<box>(27, "box", 'i', 20, 100),
    row<comb>(28, "comb", 'o', 40, 100),
    row<dots>(29, "dots", 'p', 60, 100),
    row<lines>(30, "lines", '*', 90, 100),
    row<rgbdots>(31, "rgbdots", '(', 110, 100),
    row<noise>(32, "noise", ')', 130, 100),
    // convolution filters
    row<blur>(33, "blur", 'x', 0, 120),
    row<sharpen>(34, "sharpen", 'c', 20, 120),
    row<edge>(35, "edge", 'v', 40, 120),
    row<emboss>(36, "emboss", 'b', 60, 120),
    row<separate>(37, "separate", 'n', 80, 120),
    row<halfblur>(38, "halfblur", 'm', 100, 120),
    row<whiteblur>(39, "whiteblur", ',', 120, 120),
    row<blackblur>(40, "blackblur", '.', 140, 120),
    // artistic filters
    row<chrome>(41, "chrome", 'a', 0, 140),
    row<bw>(42, "bw", 's', 20, 140),
    row<relief>(43, "relief", 'd', 40, 140),
    row<cutout>(44, "cutout", 'f', 60, 140),
    row<brush>(45, "brush", 'g', 90, 140),
    row<spatter>(46, "spatter", 'h', 110, 140),
    row<strokes>(47, "strokes", 'j', 130, 140),
    row<starlight>(48, "starlight", 'k', 160, 140),
    row<shine>(49, "shine", 'l', 180, 140),
};
const int catalogueSize = sizeof(catalogue) / sizeof(catalogue[0]);

namespace {

const catalogueEntry* entryWhere(bool (*match)(const catalogueEntry&, int), int value) {
    for (int i = 0; i < catalogueSize; ++i) {
        if (match(catalogue[i], value)) return &catalogue[i];
    }
    return nullptr;
}

const catalogueEntry* entryOfIndex(int index) {
    return entryWhere([](const catalogueEntry& e, int v) { return e.index == v; }, index);
}

const catalogueEntry* entryOfKey(int key) {
    return entryWhere([](const catalogueEntry& e, int v) { return e.key == v; }, key);
}

std::string iconFile(int row) {
    if (row < 50) {
        if (const catalogueEntry* e = entryOfIndex(row)) return std::string("menu/") + e->icon + ".tif";
        for (const auto& button : kButtonIcons) {
            if (row == button.row) return std::string("menu/") + button.icon + ".tif";
        }
        return "";
    }
    if (row >= 93 && row <= 100) return "menu/glass_texture" + std::to_string(101 - row) + ".tif";
    if (row >= 101 && row <= 108) return "menu/" + std::to_string(row - 100) + ".tif";
    static const char* const slider[] = {"regler_start", "regler_mid", "regler_end", "regler"};
    if (row >= 109) return std::string("menu/") + slider[row - 109] + ".tif";
    return "";
}

// A few names and a count: without menu/ all 70 would bury the line that follows.
void warnList(const char* what, const std::vector<std::string>& names) {
    if (names.empty()) return;
    const size_t shown = std::min<size_t>(names.size(), 4);
    std::string list;
    for (size_t i = 0; i < shown; ++i) list += (i ? ", " : "") + names[i];
    if (names.size() > shown) list += " and " + std::to_string(names.size() - shown) + " more";
    std::fprintf(stderr, "morvane: %s: %s\n", what, list.c_str());
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "morvane: %s\n", message.c_str());
    fwkExit(1);
}

ImageRGBA* checkMemory(ImageRGBA* img, const std::string& what) {
    if (!img) fail("not enough memory for " + what);
    return img;
}

// What a picture may cost. A few hundred bytes of file can declare billions
// of pixels, so the size is checked before anything is allocated for it.
// Each limit comes from its option, else its variable, else the default.
const int kWorkingCopies = 5;  // original, image, backup, scratch, hud
struct Limit {
    const char* option;    // "--max-pixels=" and the like
    const char* variable;  // the environment variable
    uint64_t value;
    bool fromDefault;
};

uint64_t physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * pageSize : 0;
}

const Limit kDefaultPixels = {"--max-pixels=", "MORVANE_MAX_PIXELS", uint64_t(1) << 28, true};
const Limit kDefaultMemory = {"--max-memory=", "MORVANE_MAX_MEMORY", physicalMemory() / 2, true};
Limit maxPixels = kDefaultPixels;
Limit maxMemory = kDefaultMemory;

const double kMiB = 1 << 20, kGiB = 1 << 30;

// "7.5 GiB", or in MiB or KiB below that, where GiB would show 0.0.
std::string inUnits(double bytes) {
    char text[48];
    const char* unit = bytes < kMiB ? "KiB" : bytes < kGiB ? "MiB" : "GiB";
    const double size = bytes < kMiB ? 1024 : bytes < kGiB ? kMiB : kGiB;
    std::snprintf(text, sizeof text, "%.1f %s", bytes / size, unit);
    return text;
}

// A count, with an optional K, M, G or T (powers of 1024) for memory.
bool parseCount(const char* text, bool withUnit, uint64_t* out) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno || end == text || *text == '-') return false;
    int shift = 0;
    if (withUnit && *end) {
        const char* units = "KMGT";
        const char* u = std::strchr(units, std::toupper(static_cast<unsigned char>(*end)));
        if (!u) return false;
        shift = 10 * static_cast<int>(u - units + 1);
        ++end;
    }
    if (*end || (shift && v > (UINT64_MAX >> shift))) return false;
    *out = static_cast<uint64_t>(v) << shift;
    return true;
}

void setLimit(Limit& limit, const char* text, const char* from) {
    if (!parseCount(text, &limit == &maxMemory, &limit.value)) {
        fail(std::string("bad value \"") + text + "\" for " + from);
    }
    limit.fromDefault = false;
}

// Sets both limits and takes their options out of the command line.
void takeLimits(int* argc, const char** argv) {
    maxPixels = kDefaultPixels;
    maxMemory = kDefaultMemory;
    for (Limit* limit : {&maxPixels, &maxMemory}) {
        if (const char* v = std::getenv(limit->variable)) setLimit(*limit, v, limit->variable);
    }
    if (!argc || !argv) return;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        bool taken = false;
        for (Limit* limit : {&maxPixels, &maxMemory}) {
            const size_t n = std::strlen(limit->option);
            if (std::strncmp(argv[i], limit->option, n) == 0) {
                setLimit(*limit, argv[i] + n, limit->option);
                taken = true;
            }
        }
        if (!taken) argv[kept++] = argv[i];
    }
    if (kept < *argc) argv[kept] = nullptr;
    *argc = kept;
}

std::string howToRaise(const Limit& limit, const std::string& value) {
    return std::string("raise it with ") + limit.option + value + " or " + limit.variable + "=" +
           value;
}

bool acceptPicture(unsigned width, unsigned height, std::string* reason) {
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    // In double: 2^32 by 2^32 pixels overflow 64 bits once multiplied.
    const double need = static_cast<double>(pixels) * kWorkingCopies * sizeof(Rgba);
    const std::string size = std::to_string(width) + " by " + std::to_string(height) +
                             " pixels would need " + inUnits(need) + " of memory";
    if (pixels > maxPixels.value) {
        *reason = size + ", beyond the limit of " + std::to_string(maxPixels.value) + " pixels; " +
                  howToRaise(maxPixels, std::to_string(pixels));
        return false;
    }
    if (pixels > static_cast<uint64_t>(INT_MAX)) {
        *reason = size + ", and this program holds at most " + std::to_string(INT_MAX) + " pixels";
        return false;
    }
    if (need > static_cast<double>(maxMemory.value)) {
        const std::string limit = maxMemory.fromDefault
                                      ? "half of this machine's " +
                                            inUnits(static_cast<double>(physicalMemory()))
                                      : "the limit of " +
                                            inUnits(static_cast<double>(maxMemory.value));
        const bool small = need < kGiB;
        const uint64_t enough = static_cast<uint64_t>(need / (small ? kMiB : kGiB)) + 1;
        *reason = size + ", more than " + limit + "; " +
                  howToRaise(maxMemory, std::to_string(enough) + (small ? "M" : "G"));
        return false;
    }
    return true;
}

ReadLimits readLimits() {
    // The decoders' own buffers, and a compressed file read whole, never need
    // more than the raw pixels: up to 8 bytes each. libtiff's small ones (the
    // directory) must pass even under a tiny limit, so that acceptPicture,
    // which says how to raise it, is the one to refuse.
    const uint64_t kLeast = 64 << 20;
    const uint64_t raw = maxPixels.value > UINT64_MAX / 8 ? UINT64_MAX : maxPixels.value * 8;
    const uint64_t cap = std::max(std::min(maxMemory.value, raw), kLeast);
    return ReadLimits{static_cast<size_t>(std::min<uint64_t>(cap, SIZE_MAX)), acceptPicture};
}

// Icons are 20 by 20 pixels: a file declaring far more is refused before it
// costs time or memory, whatever the limits for pictures.
const unsigned kLargestIcon = 1024;

bool acceptIcon(unsigned width, unsigned height, std::string*) {
    return width <= kLargestIcon && height <= kLargestIcon;
}

const ReadLimits kIconLimits = {kLargestIcon * kLargestIcon * 8, acceptIcon};

}  // namespace

ImageRGBA* buildIconAtlas() {
    ImageRGBA* atlas = checkMemory(imageRgbaNew(kIconSize * kIconSize, kAtlasRows), "the icons");
    const Rgba black = {0, 0, 0, 255};
    std::vector<std::string> missing, misfit;
    for (int k = 0; k < kAtlasRows; ++k) {
        Rgba* row = atlas->data + k * kIconSize * kIconSize;
        std::fill_n(row, kIconSize * kIconSize, black);
        const std::string name = iconFile(k);
        if (name.empty()) continue;
        ImageRGBA* tile = imageRgbaReadTIFF(name.c_str(), nullptr, &kIconLimits);
        if (!tile) {
            missing.push_back(name);
            continue;
        }
        if (tile->width != kIconSize || tile->height != kIconSize) {
            misfit.push_back(name + " (" + std::to_string(tile->width) + " by " +
                             std::to_string(tile->height) + ")");
        }
        // The top-left 20 by 20 pixels; whatever a smaller file lacks stays black.
        for (int r = 0; r < std::min(kIconSize, tile->height); ++r) {
            for (int c = 0; c < std::min(kIconSize, tile->width); ++c) {
                row[r * kIconSize + c] = tile->data[r * tile->width + c];
            }
        }
        imageRgbaFree(tile);
    }
    warnList("icons missing or unreadable, shown black", missing);
    warnList("icons not 20 by 20 pixels, cut to their top-left corner", misfit);
    return atlas;
}

void morvaneStart(int* argc, const char** argv) {
    // Reading and writing report through their own per-file handlers; nothing
    // from libtiff goes straight to the terminal.
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    // A save beyond the file-size limit (ulimit -f) then fails with its reason
    // instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Nor may a pipe whose reader went away: that save fails, the rest goes on.
    std::signal(SIGPIPE, SIG_IGN);
    fwkInit(argc, argv);
    takeLimits(argc, argv);
    logfile.open("log.txt", std::ios::out | (logShared ? std::ios::app : std::ios::trunc));
    iconAtlas = buildIconAtlas();

    const char* filename = (argc && *argc == 2) ? argv[1] : "in.tif";
    if (argc && *argc > 2) {
        std::fprintf(stderr,
                     "morvane: the window opens one picture, so \"in.tif\" is opened instead of "
                     "the %d given; --keys with --output-dir takes many\n",
                     *argc - 1);
    }
    const std::string named = std::string("the picture \"") + filename + "\"";
    std::string reason;
    const ReadLimits limits = readLimits();
    ImageRGBA* image = imageRgbaRead(filename, &reason, &limits);
    if (!image) fail("cannot open " + named + ": " + reason);
    if (!reason.empty()) std::fprintf(stderr, "morvane: %s: %s\n", filename, reason.c_str());
    const int width = image->width, height = image->height;
    if (width == 0 || height == 0) {
        imageRgbaFree(image);
        fail("cannot open " + named + ": it has no pixels");
    }

    const std::string copies = "the working copies of " + named + " (" + std::to_string(width) +
                               " by " + std::to_string(height) + " pixels)";
    if (keepsOriginal) original = checkMemory(imageRgbaClone(image), copies);
    ImageRGBA* backup = checkMemory(imageRgbaNew(width, height), copies);
    ImageRGBA* scratch = checkMemory(imageRgbaNew(width, height), copies);
    ImageRGBA* hud = checkMemory(imageRgbaNew(width, height), copies);

    E = new effect(image, backup, scratch, hud, iconAtlas, false, point(0, 0), point(0, 0));
    fwkSetDisplayImage(E->shown);
}

void morvaneShutdown() {
    if (E) {
        ImageRGBA* images[] = {E->image, E->backup, E->scratch, E->hud};
        delete E;
        E = nullptr;
        for (ImageRGBA* img : images) {
            if (img) imageRgbaFree(img);
        }
    }
    if (iconAtlas) imageRgbaFree(iconAtlas);
    iconAtlas = nullptr;
    if (original) imageRgbaFree(original);
    original = nullptr;
    logfile.close();
    logfile.clear();
    inputSinceIdle = true;
    quietIdle = false;
    requested = kNoRequest;
    fwkReset();
}

void changeEffect(int index) {
    if (!E->image) return;
    ImageRGBA *image = E->image, *backup = E->backup, *scratch = E->scratch, *hud = E->hud,
              *icons = E->icons;
    const bool hasArea = E->hasArea;
    const point areaMin = E->areaMin, areaMax = E->areaMax;
    delete E;
    E = nullptr;
    ++switchCount;
    requested = kNoRequest;
    const catalogueEntry* entry = entryOfIndex(index);
    const effectMaker make = entry ? entry->make : build<effect>;
    E = make(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

unsigned long effectSwitchCount() { return switchCount; }

void requestEffect(int index) { requested = index; }

bool effectRequested() { return requested != kNoRequest; }

namespace {
std::string saveTarget = "out.tif";
SaveFormat saveFormat;
unsigned long saveFailures = 0;
bool holdingSaves = false;
ImageRGBA* heldSave = nullptr;

int writeSave(const ImageRGBA* img) {
    std::string reason;
    if (imageRgbaWrite(saveTarget.c_str(), img, saveFormat, &reason) != 0) {
        // A stream has no earlier file: what it got before the failure is gone.
        const char* kept = outputIsStream(saveTarget.c_str()) ? "" : "; any earlier file is unchanged";
        std::fprintf(stderr, "morvane: could not save \"%s\" (%s)%s\n", saveTarget.c_str(),
                     reason.c_str(), kept);
        ++saveFailures;
        return 1;
    }
    return 0;
}

void dropHeldSave() {
    if (heldSave) imageRgbaFree(heldSave);
    heldSave = nullptr;
}
}  // namespace

void setSaveTarget(const char* path, bool holdSaves, SaveFormat format) {
    saveTarget = path ? path : "out.tif";
    saveFormat = path ? format : SaveFormat();
    holdingSaves = holdSaves;
    dropHeldSave();
}

unsigned long saveFailureCount() { return saveFailures; }

int saveImage() {
    if (!holdingSaves) return writeSave(E->image);
    if (heldSave) {
        imageRgbaCopy(E->image, heldSave);
    } else if (!(heldSave = imageRgbaClone(E->image))) {
        std::fprintf(stderr, "morvane: not enough memory to keep the picture for \"%s\"\n",
                     saveTarget.c_str());
        ++saveFailures;
        return 1;
    }
    return 0;
}

int writeHeldSave() {
    const int status = heldSave ? writeSave(heldSave) : 0;
    dropHeldSave();
    return status;
}

void resetImage() {
    if (!E->image || !original) return;
    imageRgbaCopy(original, E->image);
    imageRgbaCopy(original, E->backup);
    imageRgbaCopy(original, E->scratch);
}

namespace {
bool isSaveKey(unsigned char key) {
    return key == '&' || key == '<' || key == '>' || key == '[' || key == ']';
}
}  // namespace

bool keyTakesPicture(unsigned char key) { return key == 8 || key == 13 || isSaveKey(key); }

void keyboardCB(unsigned char key, float x, float y) {
    inputSinceIdle = true;
    E->setXY(x, y);
    if (!E->busy) E->key(key);
    switch (key) {
        case 8:
            resetImage();
            break;
        case 13:
            imageRgbaCopy(E->image, E->backup);
            imageRgbaCopy(E->image, E->scratch);
            break;
        case 27:
            fwkExit(0);
        case '+':
        case '=':
            fwkSetDisplayZoom(fwkGetDisplayZoom() * 2);
            break;
        case '-':
            fwkSetDisplayZoom(fwkGetDisplayZoom() / 2);
            break;
        case '?':
            std::fputs(helpText, stdout);
            std::fflush(stdout);
            break;
        default:
            if (isSaveKey(key)) saveImage();
            break;
    }
    // Only lower-case letters, digits and a few symbols are shortcuts.
    if (key < 128) {
        if (const catalogueEntry* entry = entryOfKey(key)) changeEffect(entry->index);
    }
}

void specialCB(int key, float x, float y) {
    inputSinceIdle = true;
    if (key >= 1 && key <= 12) {
        if (const catalogueEntry* entry = entryOfKey(F(key))) changeEffect(entry->index);
    }
    E->setXY(x, y);
    if (!E->busy) E->specialKey(key);
}

void mouseCB(int button, int state, float x, float y) {
    inputSinceIdle = true;
    E->setXY(x, y);
    if (button == 0) E->LB(state == 0);
    else if (button == 2) E->RB(state == 0);
    if (effectRequested()) changeEffect(requested);
}

void motionCB(float x, float y) {
    inputSinceIdle = true;
    E->setXY(x, y);
    if (!E->busy) E->move();
}

void idleCB() {
    if (!E) return;  // a frame before start-up
    bool quiet = false;
    if (!E->busy) {
        quiet = !inputSinceIdle && !E->leftDown && !E->rightDown;
        quietIdle = quiet;
        E->idle();
        quietIdle = false;
        inputSinceIdle = false;
    }
    // Effects change the picture only in answer to input or while a button is
    // held; after a quiet tick only the overlay may have moved, and it says
    // what it redrew.
    if (!quiet) fwkPostRedisplay();
    E->busy = false;
}

bool idleIsQuiet() { return quietIdle; }

void setLogShared(bool shared) { logShared = shared; }

namespace morvane {
void log(int value) {
    // The whole line in one write: appended lines of processes sharing the file never mix.
    const std::string line = "LOG: " + std::to_string(value) + "\n";
    logfile.write(line.data(), static_cast<std::streamsize>(line.size()));
    logfile.flush();
}
}  // namespace morvane
