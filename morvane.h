// The application shell: start-up, event callbacks, effect switching, log.
#pragma once

#include "image/picture.h"

#include <fstream>

class effect;
struct effectInfo;
struct ImageRGBA;
struct point;

extern effect* E;             // the current effect
extern ImageRGBA* original;   // the picture as loaded
extern std::ofstream logfile;

// Steps of start-up up to the event loop; ends the program with status 1 when
// the picture cannot be loaded.
void morvaneStart(int* argc, const char** argv);
// Frees what start-up made, so tests can start the shell again.
void morvaneShutdown();
// Whether start-up keeps the picture as loaded apart from the working one, for
// Backspace; batch mode with nothing to replay needs no such copy (and `original`
// stays null).
void keepOriginal(bool keep);

void keyboardCB(unsigned char key, float x, float y);
// Whether keyboardCB commits (Enter), restores (Backspace) or saves the picture
// for this key, right after the effect has seen it.
bool keyTakesPicture(unsigned char key);
void specialCB(int key, float x, float y);
void mouseCB(int button, int state, float x, float y);
void motionCB(float x, float y);
void idleCB();
// True during an idle tick that follows no input and runs with no button held:
// nothing but the overlay's ants can change in it.
bool idleIsQuiet();
void resetImage();

// The catalogue: one row per effect. The index is also the row of its icon in
// the atlas; the key is an ASCII shortcut or F(n) for function key n. The
// descriptor says what the effect is; indices, keys and menu cells must not
// repeat.
typedef effect* (*effectMaker)(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch,
                               ImageRGBA* hud, ImageRGBA* icons, bool hasArea, point areaMin,
                               point areaMax);
struct catalogueEntry {
    int index;
    effectMaker make;
    const effectInfo* info;
    const char* icon;  // file name in menu/, without ".tif"
    int key;
    int menuX, menuY;  // the top-left corner of its menu cell
};
constexpr int F(int n) { return 256 + n; }
extern const catalogueEntry catalogue[];
extern const int catalogueSize;

// Replaces E by the effect with catalogue index `index`.
void changeEffect(int index);
// Counts the switches.
unsigned long effectSwitchCount();
// An effect asks for another (a click on its menu icon) while it still runs;
// the shell switches once the event that asked has been handled.
void requestEffect(int index);
bool effectRequested();

// Writes the current picture to "out.tif" (or the file set below); reports a
// failure on stderr. Returns 0 on success, 1 on failure.
int saveImage();
// Where saveImage writes, and in which format; null: "out.tif" in TIFF
// again. Batch mode sends the save keys to its output. With `holdSaves`
// (batch mode on a pipe or a device, which would receive every save one after
// another) saveImage only keeps the picture, and writeHeldSave writes the
// last one kept.
void setSaveTarget(const char* path, bool holdSaves = false, SaveFormat format = SaveFormat());
int writeHeldSave();
// Counts failed saves, so batch mode can tell that one happened.
unsigned long saveFailureCount();

// The help text printed by '?'.
extern const char* const helpText;

// Builds the 400 by 113 icon atlas from the files in "menu/"; warns on stderr
// about files that are missing or of the wrong size.
ImageRGBA* buildIconAtlas();

namespace morvane {
void log(int value);
}
// Whether start-up opens log.txt to append to it, one whole line a write,
// instead of emptying it: batch runs side by side in one folder share it.
void setLogShared(bool shared);
