// The framework's calls into GLUT and OpenGL.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstddef>

#include "framewk/framewk.h"
#include "framewk/platform.h"
#include "morvane.h"

int platformCreateWindow(int* argc, char** argv, int width, int height, const char* title) {
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutInitWindowSize(width, height);
    int id = glutCreateWindow(title);
    glutDisplayFunc(fwkRedrawCB);
    glutKeyboardFunc(fwkKeyboardCB);
    glutSpecialFunc(fwkSpecialCB);
    glutMouseFunc(fwkMouseCB);
    glutMotionFunc(fwkMotionCB);
    glutPassiveMotionFunc(fwkPassiveMotionCB);
    // No idle callback: GLUT would call it without pause. Frames come by timer.
    return id;
}

namespace {
void frameTimer(int) { fwkFrameCB(); }
}  // namespace

void platformScheduleFrame(int milliseconds) {
    glutTimerFunc(static_cast<unsigned>(milliseconds), frameTimer, 0);
}

void platformMainLoop() {
    glutMainLoop();
    fwkExit(0);  // freeglut returns only when told to; the program ends here too
}

void platformPostRedisplay() { glutPostRedisplay(); }

void platformSetWindowTitle(const char* title) { glutSetWindowTitle(title); }

void platformGetViewport(int viewport[4]) { glGetIntegerv(GL_VIEWPORT, viewport); }

int platformMaxTextureSize() {
    static GLint size = 0;
    if (size == 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size > 0 ? size : 1024;
}

void platformDeleteTexture(unsigned texture) {
    GLuint name = texture;
    glDeleteTextures(1, &name);
}

unsigned platformDrawFrame(const FrameDraw& f) {
    if (!f.image) {
        glClear(GL_COLOR_BUFFER_BIT);
        glutSwapBuffers();
        return 0;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, f.viewport[2], f.viewport[3], 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glClearColor(0.2f, 0.2f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    GLuint texture = f.texture;
    const GLenum format = f.image->bytesPerPixel == 4 ? GL_RGBA : GL_LUMINANCE;
    if (texture == 0) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
    }
    if (f.reallocate) {
        glTexImage2D(GL_TEXTURE_2D, 0, f.image->bytesPerPixel, f.texWidth, f.texHeight, 0, format,
                     GL_UNSIGNED_BYTE, nullptr);
    }
    if (f.upload) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, f.image->width);
        if (f.partCount == 0) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, f.uploadWidth, f.uploadHeight, format,
                            GL_UNSIGNED_BYTE, f.image->data);
        }
        for (int i = 0; i < f.partCount; ++i) {
            const UploadPart& p = f.parts[i];
            const unsigned char* pixels = static_cast<const unsigned char*>(f.image->data) +
                                          (static_cast<size_t>(p.y) * f.image->width + p.x) *
                                              f.image->bytesPerPixel;
            glTexSubImage2D(GL_TEXTURE_2D, 0, p.x, p.y, p.width, p.height, format,
                            GL_UNSIGNED_BYTE, pixels);
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);

    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(f.x0, f.y0);
    glTexCoord2f(f.s1, 0);
    glVertex2f(f.x1, f.y0);
    glTexCoord2f(f.s1, f.t1);
    glVertex2f(f.x1, f.y1);
    glTexCoord2f(0, f.t1);
    glVertex2f(f.x0, f.y1);
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);

    glutSwapBuffers();
    return texture;
}
