// Stands in for GLUT and OpenGL so the framework and the shell run headless.
#include "tests/unit/fake_platform.h"

#include "framewk/framewk.h"
#include "framewk/platform.h"

#include <cstdlib>
#include <cstring>

FakePlatform fakePlatform;

void FakePlatform::reset() { *this = FakePlatform(); }

int platformCreateWindow(int* argc, char** argv, int, int, const char* title) {
    fakePlatform.windowCreated = true;
    fakePlatform.titles.push_back(title);
    // GLUT takes its own options out of the command line; these tests pass none.
    (void)argc;
    (void)argv;
    return 1;
}

// Nothing here enters the event loop; an empty endless loop would be
// undefined behaviour.
[[noreturn]] void platformMainLoop() { std::abort(); }

void platformPostRedisplay() { ++fakePlatform.redisplays; }

void platformScheduleFrame(int milliseconds) { fakePlatform.scheduledFrames.push_back(milliseconds); }

void platformSetWindowTitle(const char* title) { fakePlatform.titles.push_back(title); }

void platformGetViewport(int viewport[4]) {
    for (int i = 0; i < 4; ++i) viewport[i] = fakePlatform.viewport[i];
}

int platformMaxTextureSize() { return fakePlatform.maxTextureSize; }

unsigned platformDrawFrame(const FrameDraw& frame) {
    fakePlatform.frames.push_back(frame);
    if (!frame.image) return 0;
    FakePlatform& f = fakePlatform;
    if (frame.reallocate) {
        f.texWidth = frame.texWidth;
        f.texels.assign(static_cast<size_t>(frame.texWidth) * frame.texHeight * 4, 0xee);
    }
    if (frame.upload && frame.image->bytesPerPixel == 4) {
        const UploadPart all{0, 0, frame.uploadWidth, frame.uploadHeight};
        const int count = frame.partCount > 0 ? frame.partCount : 1;
        for (int i = 0; i < count; ++i) {
            const UploadPart& p = frame.partCount > 0 ? frame.parts[i] : all;
            for (int y = p.y; y < p.y + p.height; ++y) {
                std::memcpy(&f.texels[(static_cast<size_t>(y) * f.texWidth + p.x) * 4],
                            static_cast<const unsigned char*>(frame.image->data) +
                                (static_cast<size_t>(y) * frame.image->width + p.x) * 4,
                            static_cast<size_t>(p.width) * 4);
            }
        }
    }
    return frame.texture ? frame.texture : ++fakePlatform.lastTexture;
}

bool FakePlatform::textureHolds(const void* rgba, int imageWidth, int w, int h) const {
    if (static_cast<int>(texWidth) < w || texels.size() < static_cast<size_t>(texWidth) * h * 4) {
        return false;
    }
    for (int y = 0; y < h; ++y) {
        if (std::memcmp(&texels[static_cast<size_t>(y) * texWidth * 4],
                        static_cast<const unsigned char*>(rgba) + static_cast<size_t>(y) * imageWidth * 4,
                        static_cast<size_t>(w) * 4) != 0) {
            return false;
        }
    }
    return true;
}

void platformDeleteTexture(unsigned texture) { fakePlatform.deletedTextures.push_back(texture); }
