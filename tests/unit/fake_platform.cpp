// Stands in for GLUT and OpenGL so the framework and the shell run headless.
#include "tests/unit/fake_platform.h"

#include "framewk/platform.h"

#include <cstdlib>

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

void platformSetWindowTitle(const char* title) { fakePlatform.titles.push_back(title); }

void platformGetViewport(int viewport[4]) {
    for (int i = 0; i < 4; ++i) viewport[i] = fakePlatform.viewport[i];
}

int platformMaxTextureSize() { return fakePlatform.maxTextureSize; }

unsigned platformDrawFrame(const FrameDraw& frame) {
    fakePlatform.frames.push_back(frame);
    if (!frame.image) return 0;
    return frame.texture ? frame.texture : ++fakePlatform.lastTexture;
}

void platformDeleteTexture(unsigned texture) { fakePlatform.deletedTextures.push_back(texture); }
