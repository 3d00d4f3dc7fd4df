// What the framework needs from GLUT and OpenGL. The program links the real
// implementation (glut.cpp); tests link a recording one.
#pragma once

struct Image;

// Initialises GLUT, creates the window and registers the framework's
// callbacks; returns the window identifier.
int platformCreateWindow(int* argc, char** argv, int width, int height, const char* title);
[[noreturn]] void platformMainLoop();
void platformPostRedisplay();
void platformSetWindowTitle(const char* title);
void platformGetViewport(int viewport[4]);
int platformMaxTextureSize();

// Calls fwkFrameCB once, `milliseconds` from now; the framework never has
// more than one call pending.
void platformScheduleFrame(int milliseconds);

// A rectangle of image pixels to upload.
struct UploadPart {
    int x, y, width, height;
};
const int kMaxUploadParts = 8;

// One frame: clear to the background, optionally (re)allocate and upload the
// texture, draw the textured quad, swap. A null image only clears and swaps.
struct FrameDraw {
    const Image* image;       // null: nothing to show
    int viewport[4];
    unsigned texture;         // texture name to use, 0: allocate a new one
    bool reallocate;          // allocate texWidth x texHeight before uploading
    bool upload;              // upload the visible pixels again: all of them,
    int partCount;            // or, when this is above 0, only these parts of
    UploadPart parts[kMaxUploadParts];  // them (inside the uploaded corner)
    unsigned texWidth, texHeight;
    int uploadWidth, uploadHeight;  // the part of the image the texture holds
    float s1, t1;             // texture coordinates of the far corner
    float x0, y0, x1, y1;     // quad corners in window pixels
};
// Returns the texture name in use after the frame (new when one was made).
unsigned platformDrawFrame(const FrameDraw& frame);
void platformDeleteTexture(unsigned texture);
