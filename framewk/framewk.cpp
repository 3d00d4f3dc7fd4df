#include "framewk/framewk.h"

#include "framewk/platform.h"
#include "image/check.h"
#include "image/imagergba.h"
#include "morvane.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

// The shell hands ImageRGBA records to fwkSetDisplayImage, read here as Image.
static_assert(std::is_standard_layout_v<Image> && std::is_standard_layout_v<ImageRGBA>,
              "both records are read through each other's fields");
static_assert(sizeof(Image) == sizeof(ImageRGBA), "Image and ImageRGBA differ in size");
static_assert(offsetof(Image, width) == offsetof(ImageRGBA, width) &&
                  offsetof(Image, height) == offsetof(ImageRGBA, height) &&
                  offsetof(Image, bytesPerPixel) == offsetof(ImageRGBA, bytesPerPixel) &&
                  offsetof(Image, data) == offsetof(ImageRGBA, data),
              "Image and ImageRGBA place their fields differently");
template <class A, class B>
constexpr bool kSameType = std::is_same_v<A, B>;
static_assert(kSameType<decltype(Image::width), decltype(ImageRGBA::width)> &&
                  kSameType<decltype(Image::height), decltype(ImageRGBA::height)> &&
                  kSameType<decltype(Image::bytesPerPixel), decltype(ImageRGBA::bytesPerPixel)> &&
                  sizeof(Image::data) == sizeof(ImageRGBA::data),
              "Image and ImageRGBA give their fields different types");

namespace {

using Clock = std::chrono::steady_clock;
// One frame per display refresh at most.
const Clock::duration kFrameTime = std::chrono::microseconds(1000000 / 60);

const Image* displayImage = nullptr;
double displayZoom = 1.0;
int displayHotSpotX = 0, displayHotSpotY = 0;
double displayRasterX = 0, displayRasterY = 0;
bool displayChanged = true;
int glutWindowId = -1;
unsigned texId = 0;
unsigned texWidth = 0, texHeight = 0;
std::string windowTitle;
bool warnedTextureLimit = false;
void (*headlessExit)(int status) = nullptr;

// Frame pacing: frames run on a timer, one per refresh at most, and only
// while something happens: input, a button held (drags render every frame)
// or a picture that changed in the last frame. Otherwise the program sleeps
// until the next event.
UploadPart uploadParts[kMaxUploadParts];  // what changed, when not everything did
int uploadPartCount = 0;
bool redrawWanted = false;
bool frameScheduled = false;
bool inFrame = false;
bool inputSinceFrame = false;
unsigned buttonsDown = 0;
Clock::time_point lastFrame{};

void requestFrame() {
    if (glutWindowId < 0 || frameScheduled || inFrame) return;
    const Clock::duration wait = lastFrame + kFrameTime - Clock::now();
    const long long ms =
        std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    frameScheduled = true;
    platformScheduleFrame(static_cast<int>(ms));
}

void wantRedraw() {
    redrawWanted = true;
    requestFrame();
}

void noteInput() {
    inputSinceFrame = true;
    requestFrame();
}

double rasterPosition(double viewport, double size, double hotSpot) {
    if (viewport >= size) return (viewport - size) / 2;
    return hotSpot - size * hotSpot / viewport;
}

}  // namespace

void fwkInit(int* argc, const char** argv) {
    static int fallbackArgc = 1;
    static const char* fallbackArgv[] = {"morvane", nullptr};
    if (!(argc && *argc > 0 && argv)) {
        argc = &fallbackArgc;
        argv = fallbackArgv;
    }
    if (headlessExit) {
        windowTitle = "Morvane Application";
        return;
    }
    glutWindowId = platformCreateWindow(argc, const_cast<char**>(argv), 512, 512,
                                        "Morvane Application");
    windowTitle = "Morvane Application";
}

void fwkMainLoop() { platformMainLoop(); }

void fwkSetDisplayImage(const void* img) {
    // The line is pinned so the message stays the same whatever moves above it.
    ((((const Image *)img)->bytesPerPixel == 1 || ((const Image *)img)->bytesPerPixel == 4)
         ? static_cast<void>(0)
         : morvaneAssertFail(
               "((const Image *)img)->bytesPerPixel == 1 || ((const Image *)img)->bytesPerPixel == 4",
               "framewk/framewk", 399, __func__));
    const Image* image = static_cast<const Image*>(img);
    if (image == displayImage || glutWindowId < 0) {
        displayImage = image;
        return;
    }
    displayImage = image;
    // The texture holds the other picture: this one goes up whole.
    fwkPostRedisplay();
}

const void* fwkGetDisplayImage() { return displayImage; }

float fwkGetDisplayZoom() { return static_cast<float>(displayZoom); }

void fwkSetDisplayZoom(float zoom) {
    // Halving or doubling without end reaches 0 or infinity, where halving and
    // doubling stop working: the picture would stay invisible for good. The
    // zoom stays at the last value that can still come back.
    if (!(zoom > 0) || std::isinf(zoom)) return;
    if (zoom == displayZoom) return;
    displayZoom = zoom;
    fwkPostRedisplayNoChange();
}

void fwkSetDisplayHotSpot(int x, int y) {
    if (x == displayHotSpotX && y == displayHotSpotY) return;
    int vp[4];
    platformGetViewport(vp);
    if (vp[0] <= x && x < vp[0] + vp[2]) displayHotSpotX = x;
    if (vp[1] <= y && y < vp[1] + vp[3]) displayHotSpotY = y;
    if (fwkUpdateRasterPos()) fwkPostRedisplayNoChange();
}

void fwkPostRedisplay() {
    displayChanged = true;
    uploadPartCount = 0;
    wantRedraw();
}

void fwkPostRedisplayPart(int x, int y, int width, int height) {
    if (width <= 0 || height <= 0) return;
    if (!displayChanged) {
        if (uploadPartCount < kMaxUploadParts) {
            uploadParts[uploadPartCount++] = UploadPart{x, y, width, height};
        } else {
            displayChanged = true;
            uploadPartCount = 0;
        }
    }
    wantRedraw();
}

void fwkPostRedisplayNoChange() { wantRedraw(); }

void fwkFrameCB() {
    frameScheduled = false;
    lastFrame = Clock::now();
    const bool input = inputSinceFrame;
    inputSinceFrame = false;
    inFrame = true;
    idleCB();
    inFrame = false;
    const bool redraw = redrawWanted;
    redrawWanted = false;
    if (redraw) platformPostRedisplay();
    if (buttonsDown != 0 || input || redraw) requestFrame();
}

void fwkWindowToImageCoordinates(int x, int y, float* ix, float* iy) {
    *ix = static_cast<float>((x + 0.5 - displayRasterX) / displayZoom);
    *iy = static_cast<float>((y + 0.5 - displayRasterY) / displayZoom);
}

void fwkSetWindowTitle(const char* title) {
    windowTitle = title;
    if (glutWindowId >= 0) platformSetWindowTitle(title);
}

const char* fwkGetWindowTitle() { return windowTitle.c_str(); }

void fwkExit(int status) {
    if (headlessExit) headlessExit(status);
    std::exit(status);
}

void fwkSetHeadless(void (*onExit)(int status)) { headlessExit = onExit; }

bool fwkUpdateRasterPos() {
    if (!displayImage) return false;
    int vp[4];
    platformGetViewport(vp);
    double x = rasterPosition(vp[2], displayImage->width * displayZoom, displayHotSpotX);
    double y = rasterPosition(vp[3], displayImage->height * displayZoom, displayHotSpotY);
    bool changed = x != displayRasterX || y != displayRasterY;
    displayRasterX = x;
    displayRasterY = y;
    return changed;
}

unsigned nextPowerOfTwo(unsigned n) {
    unsigned bits = 0;
    for (unsigned v = n; v; v >>= 1) ++bits;
    if (bits == 0) return 1;
    unsigned low = 1u << (bits - 1);
    if (low == n) return n;
    return bits < 32 ? 1u << bits : 0;  // no power of two above 2^31 fits
}

double fwkGetRasterX() { return displayRasterX; }
double fwkGetRasterY() { return displayRasterY; }
bool fwkDisplayChanged() { return displayChanged; }
bool fwkFramePending() { return frameScheduled; }

void fwkRedrawCB() {
    FrameDraw frame{};
    redrawWanted = false;
    if (!displayImage) {
        platformDrawFrame(frame);
        displayChanged = false;
        uploadPartCount = 0;
        return;
    }
    const Image& im = *displayImage;
    frame.image = displayImage;
    platformGetViewport(frame.viewport);
    fwkUpdateRasterPos();

    // A picture beyond the largest texture is shown only as far as it fits.
    const unsigned maxSize = static_cast<unsigned>(std::max(1, platformMaxTextureSize()));
    frame.uploadWidth = static_cast<int>(std::min<unsigned>(im.width, maxSize));
    frame.uploadHeight = static_cast<int>(std::min<unsigned>(im.height, maxSize));
    if ((frame.uploadWidth < im.width || frame.uploadHeight < im.height) && !warnedTextureLimit) {
        warnedTextureLimit = true;
        std::fprintf(stderr,
                     "morvane: the picture (%d by %d) is larger than this display's largest "
                     "texture (%u); only its top-left part is shown, editing and saving still "
                     "work\n",
                     im.width, im.height, maxSize);
    }
    if (texId == 0 || displayChanged) {
        unsigned tw = std::min(nextPowerOfTwo(frame.uploadWidth), maxSize);
        unsigned th = std::min(nextPowerOfTwo(frame.uploadHeight), maxSize);
        if (texId != 0 && (tw != texWidth || th != texHeight)) {
            platformDeleteTexture(texId);
            texId = 0;
        }
        if (texId == 0) {
            frame.reallocate = true;
            texWidth = tw;
            texHeight = th;
        }
        frame.upload = true;
    } else if (uploadPartCount > 0) {
        // Only these parts changed; each cut to the corner the texture holds.
        for (int i = 0; i < uploadPartCount; ++i) {
            const UploadPart p = uploadParts[i];
            const int x0 = std::max(p.x, 0), y0 = std::max(p.y, 0);
            const int x1 = std::min(p.x + p.width, frame.uploadWidth);
            const int y1 = std::min(p.y + p.height, frame.uploadHeight);
            if (x0 < x1 && y0 < y1) {
                frame.parts[frame.partCount++] = UploadPart{x0, y0, x1 - x0, y1 - y0};
            }
        }
        frame.upload = frame.partCount > 0;
    }
    frame.texture = texId;
    frame.texWidth = texWidth;
    frame.texHeight = texHeight;
    frame.s1 = static_cast<float>(frame.uploadWidth) / texWidth;
    frame.t1 = static_cast<float>(frame.uploadHeight) / texHeight;
    frame.x0 = static_cast<float>(displayRasterX);
    frame.y0 = static_cast<float>(displayRasterY);
    frame.x1 = static_cast<float>(displayRasterX + frame.uploadWidth * displayZoom);
    frame.y1 = static_cast<float>(displayRasterY + frame.uploadHeight * displayZoom);
    texId = platformDrawFrame(frame);
    displayChanged = false;
    uploadPartCount = 0;
}

namespace {
template <typename Forward>
void routeEvent(int x, int y, Forward forward) {
    fwkSetDisplayHotSpot(x, y);
    float ix, iy;
    fwkWindowToImageCoordinates(x, y, &ix, &iy);
    forward(ix, iy);
}
}  // namespace

void fwkKeyboardCB(unsigned char key, int x, int y) {
    noteInput();
    routeEvent(x, y, [key](float ix, float iy) { keyboardCB(key, ix, iy); });
}

void fwkSpecialCB(int key, int x, int y) {
    noteInput();
    routeEvent(x, y, [key](float ix, float iy) { specialCB(key, ix, iy); });
}

void fwkMouseCB(int button, int state, int x, int y) {
    if (button >= 0 && button < 32) {
        const unsigned bit = 1u << button;
        buttonsDown = state == 0 ? buttonsDown | bit : buttonsDown & ~bit;
    }
    noteInput();
    routeEvent(x, y, [button, state](float ix, float iy) { mouseCB(button, state, ix, iy); });
}

void fwkMotionCB(int x, int y) {
    noteInput();
    routeEvent(x, y, [](float ix, float iy) { motionCB(ix, iy); });
}

void fwkPassiveMotionCB(int x, int y) { fwkSetDisplayHotSpot(x, y); }

void fwkReset() {
    displayImage = nullptr;
    displayZoom = 1.0;
    displayHotSpotX = displayHotSpotY = 0;
    displayRasterX = displayRasterY = 0;
    displayChanged = true;
    glutWindowId = -1;
    texId = 0;
    texWidth = texHeight = 0;
    windowTitle.clear();
    warnedTextureLimit = false;
    uploadPartCount = 0;
    redrawWanted = frameScheduled = inFrame = inputSinceFrame = false;
    buttonsDown = 0;
    lastFrame = Clock::time_point{};
}
