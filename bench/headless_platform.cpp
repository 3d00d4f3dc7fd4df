// The benchmarks run without a window: the framework's calls into GLUT and
// OpenGL do nothing here.
#include "framewk/platform.h"

#include <cstdlib>

int platformCreateWindow(int*, char**, int, int, const char*) { return 1; }
// Nothing here enters the event loop; an empty endless loop would be
// undefined behaviour.
[[noreturn]] void platformMainLoop() { std::abort(); }
void platformPostRedisplay() {}
void platformScheduleFrame(int) {}
void platformSetWindowTitle(const char*) {}
void platformGetViewport(int viewport[4]) {
    viewport[0] = viewport[1] = 0;
    viewport[2] = viewport[3] = 512;
}
int platformMaxTextureSize() { return 16384; }
unsigned platformDrawFrame(const FrameDraw&) { return 1; }
void platformDeleteTexture(unsigned) {}
