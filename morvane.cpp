#include "morvane.h"

#include "effects/classes.h"
#include "effects/color.h"
#include "effects/tools.h"
#include "framewk/framewk.h"
#include "image/imagergba.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

effect* E = nullptr;
ImageRGBA* original = nullptr;
std::ofstream logfile;

const char* const helpText =
    "Keyboard Shortcuts:\n"
    "-------------------------------------------------------------------------------\n"
    "  s     Save image as `out.tif'.\n"
    "  +/-   Zoom in/out.\n"
    "  q     Quit this application.\n"
    "  ?     This help.\n";

namespace {

unsigned long switchCount = 0;
ImageRGBA* iconAtlas = nullptr;

const int kIconSize = 20;
const int kAtlasRows = 113;

// Atlas rows 0 to 49; from row 3 on, row k is the icon of catalogue index k.
const char* const kIconFiles[50] = {
    "save",       "backwards", "close",     "paint",   "selection", "scroll",    "telescope",
    "zoomin",     "zoomout",   "brightness", "contrast", "saturation", "hue",     "colorize",
    "channel",    "gray",      "invert",    "posterize", "solarize", "ripple",   "bubble",
    "twirl",      "lens",      "wave",      "buttonize", "glass",    "mosaic",   "box",
    "comb",       "dots",      "lines",     "rgbdots",  "noise",     "blur",     "sharpen",
    "edge",       "emboss",    "separate",  "halfblur", "whiteblur", "blackblur", "chrome",
    "bw",         "relief",    "cutout",    "brush",    "spatter",   "strokes",  "starlight",
    "shine"};

std::string iconFile(int row) {
    if (row < 50) return std::string("menu/") + kIconFiles[row] + ".tif";
    if (row >= 93 && row <= 100) return "menu/glass_texture" + std::to_string(101 - row) + ".tif";
    if (row >= 101 && row <= 108) return "menu/" + std::to_string(row - 100) + ".tif";
    static const char* const slider[] = {"regler_start", "regler_mid", "regler_end", "regler"};
    if (row >= 109) return std::string("menu/") + slider[row - 109] + ".tif";
    return "";
}

void warnList(const char* what, const std::string& list) {
    if (!list.empty()) std::fprintf(stderr, "morvane: %s: %s\n", what, list.c_str());
}

// What every effect is built on, handed from one effect to the next.
struct EffectArgs {
    ImageRGBA *image, *backup, *scratch, *hud, *icons;
    bool hasArea;
    point areaMin, areaMax;
};

template <class T>
effect* build(const EffectArgs& a) {
    return new T(a.image, a.backup, a.scratch, a.hud, a.icons, a.hasArea, a.areaMin, a.areaMax);
}

// Catalogue: the class for each index; anything else is the plain effect.
effect* makeEffect(int index, const EffectArgs& a) {
    switch (index) {
        // Tools
        case 3: return build<draw>(a);
        case 4: return build<selection>(a);
        case 5: return build<scroll>(a);
        case 6: return build<telescope>(a);

        // Colour adjustments
        case 9: return build<brightness>(a);
        case 10: return build<contrast>(a);
        case 11: return build<saturation>(a);
        case 12: return build<hue>(a);
        case 13: return build<colorize>(a);
        case 14: return build<channel>(a);
        case 15: return build<gray>(a);
        case 16: return build<invert>(a);
        case 17: return build<posterize>(a);
        case 18: return build<solarize>(a);

        // Convolution filters

        default: return build<effect>(a);
    }
}

// Lower-case letters, digits and a few symbols select the effects 9 to 49,
// in catalogue order.
int shortcutIndex(unsigned char key) {
    static const char keys[] = "1234567890qwertzyuiop*()xcvbnm,.asdfghjkl";
    static_assert(sizeof(keys) - 1 == 49 - 9 + 1, "one key per effect from 9 to 49");
    const char* found = key ? std::strchr(keys, key) : nullptr;
    return found ? 9 + static_cast<int>(found - keys) : -1;
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "morvane: %s\n", message.c_str());
    fwkExit(1);
}

ImageRGBA* checkMemory(ImageRGBA* img, int width, int height) {
    if (!img) {
        fail("not enough memory for the working copies of a " + std::to_string(width) + " by " +
             std::to_string(height) + " picture");
    }
    return img;
}

ImageRGBA* newImageOrFail(int width, int height) {
    return checkMemory(imageRgbaNew(width, height), width, height);
}

}  // namespace

ImageRGBA* buildIconAtlas() {
    ImageRGBA* atlas = newImageOrFail(kIconSize * kIconSize, kAtlasRows);
    const Rgba black = {0, 0, 0, 255};
    std::string missing, misfit;
    for (int k = 0; k < kAtlasRows; ++k) {
        Rgba* row = atlas->data + k * kIconSize * kIconSize;
        std::fill_n(row, kIconSize * kIconSize, black);
        const std::string name = iconFile(k);
        if (name.empty()) continue;
        ImageRGBA* tile = imageRgbaReadTIFF(name.c_str());
        if (!tile) {
            missing += (missing.empty() ? "" : ", ") + name;
            continue;
        }
        if (tile->width != kIconSize || tile->height != kIconSize) {
            misfit += (misfit.empty() ? "" : ", ") + name + " (" + std::to_string(tile->width) +
                      " by " + std::to_string(tile->height) + ")";
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
    fwkInit(argc, argv);
    logfile.open("log.txt", std::ios::out | std::ios::trunc);
    iconAtlas = buildIconAtlas();

    const char* filename = (argc && *argc == 2) ? argv[1] : "in.tif";
    std::string reason;
    original = imageRgbaReadTIFF(filename, &reason);
    if (!original) fail(std::string("cannot open the picture \"") + filename + "\": " + reason);
    if (original->width == 0 || original->height == 0) {
        fail(std::string("cannot open the picture \"") + filename + "\": it has no pixels");
    }

    ImageRGBA* image = checkMemory(imageRgbaClone(original), original->width, original->height);
    ImageRGBA* backup = newImageOrFail(original->width, original->height);
    ImageRGBA* scratch = newImageOrFail(original->width, original->height);
    ImageRGBA* hud = newImageOrFail(original->width, original->height);

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
    fwkReset();
}

void changeEffect(int index) {
    if (!E->image) return;
    const EffectArgs args = {E->image, E->backup,  E->scratch, E->hud,
                             E->icons, E->hasArea, E->areaMin, E->areaMax};
    delete E;
    E = nullptr;
    ++switchCount;
    E = makeEffect(index, args);
}

unsigned long effectSwitchCount() { return switchCount; }

int saveImage() {
    std::string reason;
    if (imageRgbaWriteTIFF("out.tif", E->image, &reason) != 0) {
        std::fprintf(stderr, "morvane: could not save \"out.tif\" (%s); any earlier file is unchanged\n",
                     reason.c_str());
        return 1;
    }
    return 0;
}

void resetImage() {
    if (!E->image) return;
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
    const int index = shortcutIndex(key);
    if (index >= 0) changeEffect(index);
}

void specialCB(int key, float x, float y) {
    if (key >= 9 && key <= 12) changeEffect(key - 6);
    E->setXY(x, y);
    if (!E->busy) E->specialKey(key);
}

void mouseCB(int button, int state, float x, float y) {
    E->setXY(x, y);
    if (button == 0) E->LB(state == 0);
    else if (button == 2) E->RB(state == 0);
}

void motionCB(float x, float y) {
    E->setXY(x, y);
    if (!E->busy) E->move();
}

void idleCB() {
    if (!E->busy) E->idle();
    fwkPostRedisplay();
    E->busy = false;
}

namespace morvane {
void log(int value) {
    logfile << "LOG: " << value << '\n';
    logfile.flush();
}
}  // namespace morvane
