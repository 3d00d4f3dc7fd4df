#include "morvane.h"

#include "effects/classes.h"
#include "effects/artistic.h"
#include "effects/color.h"
#include "effects/distort.h"
#include "effects/geometric.h"
#include "effects/matrices.h"
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

}  // namespace

// Index, class, icon, shortcut and menu cell of every effect.
const catalogueEntry catalogue[] = {
    // tools
    {3, build<draw>, "paint", F(9), 0, 30},
    {4, build<selection>, "selection", F(10), 20, 30},
    {5, build<scroll>, "scroll", F(11), 40, 30},
    {6, build<telescope>, "telescope", F(12), 60, 30},
    // colour adjustments
    {9, build<brightness>, "brightness", '1', 0, 60},
    {10, build<contrast>, "contrast", '2', 20, 60},
    {11, build<saturation>, "saturation", '3', 40, 60},
    {12, build<hue>, "hue", '4', 60, 60},
    {13, build<colorize>, "colorize", '5', 80, 60},
    {14, build<channel>, "channel", '6', 100, 60},
    {15, build<gray>, "gray", '7', 130, 60},
    {16, build<invert>, "invert", '8', 150, 60},
    {17, build<posterize>, "posterize", '9', 170, 60},
    {18, build<solarize>, "solarize", '0', 190, 60},
    // geometric warps
    {19, build<ripple>, "ripple", 'q', 0, 80},
    {20, build<bubble>, "bubble", 'w', 20, 80},
    {21, build<twirl>, "twirl", 'e', 40, 80},
    {22, build<lens>, "lens", 'r', 60, 80},
    {23, build<wave>, "wave", 't', 80, 80},
    {24, build<buttonize>, "buttonize", 'z', 110, 80},
    // distortions
    {25, build<effect>, "glass", 'y', 130, 80},
    {26, build<effect>, "mosaic", 'u', 0, 100},
    {27, build<effect>, "box", 'i', 20, 100},
    {28, build<effect>, "comb", 'o', 40, 100},
    {29, build<effect>, "dots", 'p', 60, 100},
    {30, build<effect>, "lines", '*', 90, 100},
    {31, build<effect>, "rgbdots", '(', 110, 100},
    {32, build<effect>, "noise", ')', 130, 100},
    // convolution filters
    {33, build<effect>, "blur", 'x', 0, 120},
    {34, build<effect>, "sharpen", 'c', 20, 120},
    {35, build<effect>, "edge", 'v', 40, 120},
    {36, build<effect>, "emboss", 'b', 60, 120},
    {37, build<effect>, "separate", 'n', 80, 120},
    {38, build<effect>, "halfblur", 'm', 100, 120},
    {39, build<effect>, "whiteblur", ',', 120, 120},
    {40, build<effect>, "blackblur", '.', 140, 120},
    // artistic filters
    {41, build<effect>, "chrome", 'a', 0, 140},
    {42, build<effect>, "bw", 's', 20, 140},
    {43, build<effect>, "relief", 'd', 40, 140},
    {44, build<effect>, "cutout", 'f', 60, 140},
    {45, build<effect>, "brush", 'g', 90, 140},
    {46, build<effect>, "spatter", 'h', 110, 140},
    {47, build<effect>, "strokes", 'j', 130, 140},
    {48, build<effect>, "starlight", 'k', 160, 140},
    {49, build<effect>, "shine", 'l', 180, 140},
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

void warnList(const char* what, const std::string& list) {
    if (!list.empty()) std::fprintf(stderr, "morvane: %s: %s\n", what, list.c_str());
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
    ImageRGBA *image = E->image, *backup = E->backup, *scratch = E->scratch, *hud = E->hud,
              *icons = E->icons;
    const bool hasArea = E->hasArea;
    const point areaMin = E->areaMin, areaMax = E->areaMax;
    delete E;
    E = nullptr;
    ++switchCount;
    const catalogueEntry* entry = entryOfIndex(index);
    const effectMaker make = entry ? entry->make : build<effect>;
    E = make(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
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
    // Only lower-case letters, digits and a few symbols are shortcuts.
    if (key < 128) {
        if (const catalogueEntry* entry = entryOfKey(key)) changeEffect(entry->index);
    }
}

void specialCB(int key, float x, float y) {
    if (key >= 1 && key <= 12) {
        if (const catalogueEntry* entry = entryOfKey(F(key))) changeEffect(entry->index);
    }
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
