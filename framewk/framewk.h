// Display framework: one window showing one image as a texture, zoomed and
// panned by a hot spot that follows the pointer.
#pragma once

// Generic image as the display reads it: 1 (grey) or 4 (RGBA) bytes a pixel.
struct Image {
    int width;
    int height;
    int bytesPerPixel;
    void* data;
};

void fwkInit(int* argc, const char** argv);
[[noreturn]] void fwkMainLoop();
void fwkSetDisplayImage(const void* img);
const void* fwkGetDisplayImage();
float fwkGetDisplayZoom();
void fwkSetDisplayZoom(float zoom);
void fwkSetDisplayHotSpot(int x, int y);
// The shown image changed: all of it, only the given rectangle of it, or
// nothing (the view moved). The redraw follows at the next frame.
void fwkPostRedisplay();
void fwkPostRedisplayPart(int x, int y, int width, int height);
void fwkPostRedisplayNoChange();
void fwkWindowToImageCoordinates(int x, int y, float* ix, float* iy);

// Window title and program exit go through here so that they can be observed.
void fwkSetWindowTitle(const char* title);
const char* fwkGetWindowTitle();
[[noreturn]] void fwkExit(int status);
// Batch mode: fwkInit opens no window, so no GLUT or OpenGL call is ever made,
// and fwkExit hands its status to `onExit` (which must not return) instead of
// ending the process. Null: the window again.
void fwkSetHeadless(void (*onExit)(int status));

// Internals, visible for tests.
bool fwkUpdateRasterPos();
unsigned nextPowerOfTwo(unsigned n);
double fwkGetRasterX();
double fwkGetRasterY();
bool fwkDisplayChanged();
bool fwkFramePending();
// One frame: the shell's idle tick, then the redraw if anything is new to
// show. The platform calls it when the frame the framework asked for is due.
void fwkFrameCB();
void fwkRedrawCB();
void fwkKeyboardCB(unsigned char key, int x, int y);
void fwkSpecialCB(int key, int x, int y);
void fwkMouseCB(int button, int state, int x, int y);
void fwkMotionCB(int x, int y);
void fwkPassiveMotionCB(int x, int y);
// Back to the state at program start (no window, zoom 1, no image).
void fwkReset();
