// Draws the menu's icons, mode buttons, slider pieces and glass height maps
// and writes them as 20 by 20 TIFF files:
//
//     makeicons [folder]        (default "menu")
//
// The output depends on nothing but this program (no clock, no unseeded
// randomness), so the committed files can be regenerated and compared byte
// for byte. The files are written from inside the folder under their bare
// names, because the TIFF writer records the name it is given.
//
// Every icon has an opaque one-pixel frame with cut corners, so it stays
// readable over any picture; alpha 0 marks the few places where the picture
// is meant to show through (the selection's inside, the telescope's glass).
//
// Glass height maps, red channel (green and blue equal it), in mode order.
// Each is periodic over the 20 texels, so the tile repeats without seams:
//   1 rough   value noise at three scales
//   2 plates  tilted flat plates, a Voronoi pattern on the torus
//   3 blocks  2 by 2 square blocks with bevelled edges
//   4 curly   two interleaved swirling sine ridges
//   5 rings   concentric ripples in a disc, flat around it
//   6 dots    4 by 4 round bumps
//   7 puzzle  2 by 2 jigsaw pieces with grooves between them
//   8 custom  one gentle pillow, a plain start for a user's own map
#include "image/draw.h"
#include "image/imagergba.h"
#include "image/pi.h"
#include "image/sampling.h"
#include "image/tiff.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kSize = 20;
const int kSub = 4;  // sub-samples per pixel side, for smooth edges

using Region = std::function<bool(float x, float y)>;
using Shader = std::function<Rgba(float x, float y)>;
using Point = std::array<float, 2>;

unsigned char byte(float v) { return static_cast<unsigned char>(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

Rgba rgb(int r, int g, int b) {
    return Rgba{static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b), 255};
}
Rgba grey(int v) { return rgb(v, v, v); }

Rgba mix(Rgba a, Rgba b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return Rgba{byte(a.r + (b.r - a.r) * t), byte(a.g + (b.g - a.g) * t), byte(a.b + (b.b - a.b) * t), 255};
}

Rgba inverse(Rgba c) { return Rgba{static_cast<unsigned char>(255 - c.r), static_cast<unsigned char>(255 - c.g),
                                   static_cast<unsigned char>(255 - c.b), c.a}; }

Rgba& at(ImageRGBA* img, int x, int y) { return img->data[y * img->width + x]; }

// A fixed linear congruential sequence: the same "random" pattern every run.
struct Sequence {
    uint32_t state;
    explicit Sequence(uint32_t seed) : state(seed) {}
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    float unit() { return next() / 16777216.0f; }  // 0 <= u < 1
    float range(float lo, float hi) { return lo + (hi - lo) * unit(); }
};

// Paints `shader` over `inside`; a pixel only partly inside is blended with
// what is there by the share of its sub-samples that are inside.
void paint(ImageRGBA* img, const Region& inside, const Shader& shader) {
    for (int y = 0; y < img->height; ++y) {
        for (int x = 0; x < img->width; ++x) {
            float r = 0, g = 0, b = 0;
            int n = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    float px = x + (sx + 0.5f) / kSub, py = y + (sy + 0.5f) / kSub;
                    if (!inside(px, py)) continue;
                    Rgba c = shader(px, py);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                    ++n;
                }
            }
            if (n == 0) continue;
            Rgba average{byte(r / n), byte(g / n), byte(b / n), 255};
            Rgba& dest = at(img, x, y);
            if (dest.a == 0) {
                if (2 * n >= kSub * kSub) dest = average;
            } else {
                dest = mix(dest, average, static_cast<float>(n) / (kSub * kSub));
            }
        }
    }
}

void fill(ImageRGBA* img, const Region& inside, Rgba c) {
    paint(img, inside, [c](float, float) { return c; });
}

void shade(ImageRGBA* img, const Shader& shader) {
    paint(img, [](float, float) { return true; }, shader);
}

void background(ImageRGBA* img, Rgba c) { imageRgbaSetArea(img, 0, 0, img->width, img->height, c); }

void line(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba c) {
    imageRgbaDrawLine(img, x1, y1, x2, y2, c, 0, 0, -1, -1);
}

const Rgba kFrame = rgb(35, 35, 42);
const Rgba kPaper = rgb(232, 232, 238);
const Rgba kInk = rgb(28, 28, 34);

// The dark frame every icon and button ends with; its corners are cut.
void frame(ImageRGBA* img) {
    for (int i = 0; i < kSize; ++i) {
        at(img, i, 0) = at(img, i, kSize - 1) = at(img, 0, i) = at(img, kSize - 1, i) = kFrame;
    }
    for (int y : {0, kSize - 1})
        for (int x : {0, kSize - 1}) at(img, x, y) = Rgba{0, 0, 0, 0};
}

float length(float x, float y) { return std::sqrt(x * x + y * y); }

// Regions in continuous coordinates; pixel (i, j) covers [i, i+1) x [j, j+1).
Region disc(float cx, float cy, float r) {
    return [=](float x, float y) { return length(x - cx, y - cy) < r; };
}
Region ring(float cx, float cy, float r0, float r1) {
    return [=](float x, float y) {
        float d = length(x - cx, y - cy);
        return d >= r0 && d < r1;
    };
}
Region rect(float x0, float y0, float x1, float y1) {
    return [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}
// A straight stroke of the given width with round ends.
Region stroke(float x1, float y1, float x2, float y2, float width) {
    return [=](float x, float y) {
        float dx = x2 - x1, dy = y2 - y1;
        float t = ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy);
        t = std::clamp(t, 0.0f, 1.0f);
        return length(x - x1 - t * dx, y - y1 - t * dy) < width / 2;
    };
}
Region polygon(std::vector<Point> p) {
    return [p](float x, float y) {
        bool in = false;
        for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) {
            if ((p[i][1] > y) != (p[j][1] > y) &&
                x < (p[j][0] - p[i][0]) * (y - p[i][1]) / (p[j][1] - p[i][1]) + p[i][0])
                in = !in;
        }
        return in;
    };
}
Region either(Region a, Region b) {
    return [=](float x, float y) { return a(x, y) || b(x, y); };
}
Region except(Region a, Region b) {
    return [=](float x, float y) { return a(x, y) && !b(x, y); };
}

Point polar(float cx, float cy, float r, float degrees) {
    float a = degrees * kPiF / 180;
    return {cx + r * std::cos(a), cy + r * std::sin(a)};
}

// ---------------------------------------------------------------- buttons

void drawSave(ImageRGBA* img) {  // a floppy disk
    const Rgba blue = rgb(40, 75, 165);
    background(img, kPaper);
    fill(img, polygon({{3, 3}, {15, 3}, {17, 5}, {17, 17}, {3, 17}}), blue);
    fill(img, rect(6, 3, 14, 8), rgb(205, 208, 218));
    fill(img, rect(11, 4, 13, 7), blue);
    fill(img, rect(5, 10, 15, 17), rgb(252, 252, 252));
    line(img, 6, 12, 13, 12, rgb(150, 150, 165));
    line(img, 6, 14, 13, 14, rgb(150, 150, 165));
    frame(img);
}

void drawBackwards(ImageRGBA* img) {  // a U-turn arrow pointing back
    const Rgba green = rgb(25, 130, 60);
    background(img, kPaper);
    fill(img, except(ring(11, 10.5f, 3.5f, 6), rect(0, 0, 11, 20)), green);
    fill(img, rect(7, 4.5f, 11, 7), green);
    fill(img, rect(4, 14, 11, 16.5f), green);
    fill(img, polygon({{1.8f, 5.75f}, {7.5f, 1.5f}, {7.5f, 10}}), green);
    frame(img);
}

void drawClose(ImageRGBA* img) {
    background(img, rgb(205, 45, 45));
    fill(img, either(stroke(5.5f, 5.5f, 14.5f, 14.5f, 2.8f), stroke(14.5f, 5.5f, 5.5f, 14.5f, 2.8f)),
         rgb(255, 255, 255));
    frame(img);
}

// A magnifying glass; `glass` fills the lens, or the picture shows through
// it when `glass` is empty.
void magnifier(ImageRGBA* img, const Shader& glass) {
    const float cx = 8, cy = 8, r = 4.6f;
    background(img, kPaper);
    fill(img, stroke(12.4f, 12.4f, 16.8f, 16.8f, 3.6f), rgb(125, 75, 35));
    fill(img, ring(cx, cy, r, r + 1.8f), rgb(50, 50, 62));
    if (glass) {
        paint(img, disc(cx, cy, r), glass);
        return;
    }
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (length(x + 0.5f - cx, y + 0.5f - cy) < r) at(img, x, y) = Rgba{0, 0, 0, 0};
    // A glint keeps the glass reading as glass over a plain picture.
    at(img, 5, 6) = at(img, 5, 7) = at(img, 6, 5) = at(img, 7, 5) = rgb(255, 255, 255);
}

void drawZoom(ImageRGBA* img, bool in) {
    magnifier(img, [](float, float) { return rgb(238, 246, 255); });
    fill(img, rect(5, 7, 11, 9), kInk);
    if (in) fill(img, rect(7, 5, 9, 11), kInk);
    frame(img);
}
void drawZoomIn(ImageRGBA* img) { drawZoom(img, true); }
void drawZoomOut(ImageRGBA* img) { drawZoom(img, false); }

// ---------------------------------------------------------------- tools

void drawPaint(ImageRGBA* img) {  // a pencil
    background(img, rgb(248, 248, 250));
    const float tx = 3.5f, ty = 16.5f, half = 2.3f;
    const float ux = std::sqrt(0.5f), uy = -std::sqrt(0.5f);  // along the pencil
    shade(img, [&](float x, float y) -> Rgba {
        float t = (x - tx) * ux + (y - ty) * uy;
        float s = (x - tx) * -uy + (y - ty) * ux;
        if (t < 0) return rgb(248, 248, 250);
        if (t < 4.5f && std::fabs(s) > half * t / 4.5f) return rgb(248, 248, 250);
        if (std::fabs(s) > half) return rgb(248, 248, 250);
        if (t < 1.7f) return rgb(40, 40, 45);
        if (t < 4.5f) return rgb(235, 195, 145);
        if (t < 13.5f) return s < -0.8f ? rgb(255, 220, 90) : s < 0.8f ? rgb(245, 190, 40) : rgb(210, 150, 20);
        if (t < 15) return rgb(190, 190, 200);
        if (t < 17.8f) return rgb(235, 120, 140);
        return rgb(248, 248, 250);
    });
    frame(img);
}

void drawSelection(ImageRGBA* img) {  // marching ants round a patch of the picture
    background(img, kPaper);
    for (int y = 4; y <= 15; ++y)
        for (int x = 4; x <= 15; ++x) at(img, x, y) = Rgba{0, 0, 0, 0};
    // Walk the outline once round so the dashes run on at the corners.
    int i = 0;
    auto dash = [&](int x, int y) { imageRgbaDrawPoint(img, x, y, (i++ / 2) % 2 ? rgb(255, 255, 255) : kInk); };
    for (int x = 3; x < 16; ++x) dash(x, 3);
    for (int y = 3; y < 16; ++y) dash(16, y);
    for (int x = 16; x > 3; --x) dash(x, 16);
    for (int y = 16; y > 3; --y) dash(3, y);
    frame(img);
}

void drawScroll(ImageRGBA* img) {  // arrows in four directions
    const Rgba blue = rgb(30, 70, 155);
    background(img, kPaper);
    fill(img, either(rect(9, 5, 11, 15), rect(5, 9, 15, 11)), blue);
    fill(img, polygon({{10, 1.6f}, {6.2f, 5.6f}, {13.8f, 5.6f}}), blue);
    fill(img, polygon({{10, 18.4f}, {6.2f, 14.4f}, {13.8f, 14.4f}}), blue);
    fill(img, polygon({{1.6f, 10}, {5.6f, 6.2f}, {5.6f, 13.8f}}), blue);
    fill(img, polygon({{18.4f, 10}, {14.4f, 6.2f}, {14.4f, 13.8f}}), blue);
    frame(img);
}

void drawTelescope(ImageRGBA* img) {
    magnifier(img, nullptr);
    frame(img);
}

// ---------------------------------------------------------------- colour

void drawBrightness(ImageRGBA* img) {  // a sun
    const Rgba sun = rgb(255, 215, 40);
    background(img, rgb(40, 60, 130));
    fill(img, disc(10, 10, 3.9f), sun);
    for (int k = 0; k < 8; ++k) {
        Point a = polar(10, 10, 5.7f, k * 45.0f), b = polar(10, 10, 8.2f, k * 45.0f);
        fill(img, stroke(a[0], a[1], b[0], b[1], 1.7f), sun);
    }
    frame(img);
}

void drawContrast(ImageRGBA* img) {  // a disc, half black, half white
    background(img, grey(128));
    paint(img, disc(10, 10, 7), [](float x, float) { return x < 10 ? grey(255) : grey(0); });
    fill(img, ring(10, 10, 7, 8), grey(0));
    frame(img);
}

void drawSaturation(ImageRGBA* img) {  // bars from grey to full colour
    background(img, grey(55));
    const Rgba hues[3] = {rgb(240, 30, 30), rgb(30, 200, 40), rgb(40, 80, 250)};
    for (int k = 0; k < 3; ++k) {
        Rgba h = hues[k];
        paint(img, rect(2, 2 + 6 * k, 18, 6 + 6 * k), [h](float x, float) { return mix(grey(140), h, (x - 2) / 15); });
    }
    frame(img);
}

void drawHue(ImageRGBA* img) {  // a colour wheel
    background(img, grey(45));
    paint(img, disc(10, 10, 8.4f), [](float x, float y) {
        float h = std::atan2(y - 10, x - 10) * 180 / kPiF;
        if (h < 0) h += 360;
        if (h >= 360) h -= 360;
        return HSVtoRGB(Hsva{h, std::min(1.0f, length(x - 10, y - 10) / 6), 1, 255});
    });
    frame(img);
}

void drawColorize(ImageRGBA* img) {  // a drop of colour over grey
    shade(img, [](float x, float) { return grey(static_cast<int>(40 + (x - 1) * 10)); });
    const float cx = 10, cy = 12.5f, r = 4.7f, apexY = 2.5f;
    float d = cy - apexY, s = std::sqrt(d * d - r * r);
    float tx = r * s / d, ty = cy - r * r / d;  // where the sides touch the round bottom
    Region drop = either(disc(cx, cy, r), polygon({{cx, apexY}, {cx + tx, ty}, {cx - tx, ty}}));
    paint(img, drop, [](float x, float y) {
        return mix(rgb(255, 200, 120), rgb(220, 95, 10), std::min(1.0f, length(x - 8, y - 10) / 5));
    });
    frame(img);
}

void drawChannel(ImageRGBA* img) {  // red, green and blue discs adding up
    Region red = disc(10, 7.3f, 4.8f), green = disc(7.3f, 12, 4.8f), blue = disc(12.7f, 12, 4.8f);
    shade(img, [=](float x, float y) {
        return rgb(red(x, y) ? 255 : 0, green(x, y) ? 255 : 0, blue(x, y) ? 255 : 0);
    });
    frame(img);
}

void drawGray(ImageRGBA* img) {  // a grey ramp
    shade(img, [](float x, float) { return grey(static_cast<int>((x - 1) / 18 * 255)); });
    frame(img);
}

void drawInvert(ImageRGBA* img) {  // a picture and its negative
    Region sun = disc(10, 10, 5.5f);
    shade(img, [=](float x, float y) {
        Rgba c = sun(x, y) ? rgb(250, 160, 40) : rgb(40, 110, 205);
        return x < 10 ? c : inverse(c);
    });
    frame(img);
}

void drawPosterize(ImageRGBA* img) {  // steps of flat colour
    background(img, kPaper);
    const Rgba tones[4] = {rgb(55, 35, 110), rgb(115, 65, 170), rgb(185, 110, 205), rgb(240, 180, 235)};
    for (int k = 0; k < 4; ++k) fill(img, rect(2 + 4 * k, 14 - 3.7f * k, 6 + 4 * k, 18), tones[k]);
    frame(img);
}

void drawSolarize(ImageRGBA* img) {  // a ramp folded back, and its tone curve
    shade(img, [](float x, float) { return grey(static_cast<int>(255 * (1 - std::fabs(x - 10) / 9))); });
    fill(img, either(stroke(2, 17, 10, 3.5f, 1.6f), stroke(10, 3.5f, 18, 17, 1.6f)), rgb(255, 120, 0));
    frame(img);
}

// ---------------------------------------------------------------- warps

// A checkerboard seen through the mapping from icon to pattern position.
Shader warped(std::function<Point(float, float)> source, float cell, Rgba a, Rgba b) {
    return [=](float x, float y) {
        Point p = source(x, y);
        int k = static_cast<int>(std::floor(p[0] / cell) + std::floor(p[1] / cell));
        return k % 2 ? a : b;
    };
}

void drawRipple(ImageRGBA* img) {  // rings on water
    shade(img, [](float x, float y) {
        float r = length(x - 10, y - 10);
        float wave = 0.5f + 0.5f * std::cos(2 * kPiF * r / 4.2f) * std::exp(-r / 14);
        return mix(rgb(15, 60, 140), rgb(170, 225, 255), wave);
    });
    frame(img);
}

void drawBubble(ImageRGBA* img) {  // a checkerboard bulging out in the middle
    shade(img, warped(
                   [](float x, float y) -> Point {
                       float dx = x - 10, dy = y - 10, r = length(dx, dy), R = 9;
                       if (r >= R || r == 0) return {x, y};
                       float k = std::pow(r / R, 0.8f);
                       return {10 + dx * k, 10 + dy * k};
                   },
                   10.0f / 3, rgb(250, 250, 250), rgb(50, 110, 210)));
    frame(img);
}

void drawTwirl(ImageRGBA* img) {  // stripes swirled round the middle
    shade(img, [](float x, float y) {
        float dx = x - 10, dy = y - 10, r = length(dx, dy), R = 9.5f;
        float a = std::atan2(dy, dx);
        if (r < R) a += 3.2f * (1 - r / R) * (1 - r / R);
        float sx = 10 + r * std::cos(a);
        return static_cast<int>(std::floor(sx / 2.5f)) % 2 ? rgb(250, 245, 235) : rgb(225, 100, 30);
    });
    frame(img);
}

void drawLens(ImageRGBA* img) {  // a grid, magnified in a disc
    ImageRGBA* grid = imageRgbaNew(kSize, kSize);
    background(grid, rgb(245, 245, 245));
    for (int k = 2; k < kSize; k += 4) {
        line(grid, k, 0, k, kSize - 1, rgb(70, 110, 200));
        line(grid, 0, k, kSize - 1, k, rgb(70, 110, 200));
    }
    imageRgbaCopy(grid, img);
    // Twice the size through the lens: sample the grid at half the distance.
    paint(img, disc(10, 10, 7), [grid](float x, float y) {
        Rgba c = imageRgbaInterpolate(grid, 9.5f + (x - 10) / 2, 9.5f + (y - 10) / 2);
        return mix(c, rgb(255, 240, 150), 0.3f);
    });
    fill(img, ring(10, 10, 7, 8.2f), rgb(60, 60, 70));
    imageRgbaFree(grid);
    frame(img);
}

void drawWave(ImageRGBA* img) {  // stripes bent into a sine
    shade(img, [](float x, float y) {
        float sy = y + 2.3f * std::sin(2 * kPiF * x / 10);
        return static_cast<int>(std::floor(sy / 3 + 10)) % 2 ? rgb(245, 250, 255) : rgb(30, 110, 200);
    });
    frame(img);
}

void drawButtonize(ImageRGBA* img) {  // a raised, bevelled button
    background(img, grey(115));
    paint(img, rect(3, 3, 17, 17), [](float x, float y) {
        float lit = std::min(x - 3, y - 3), dark = std::min(17 - x, 17 - y);
        if (std::min(lit, dark) >= 2.5f) return rgb(180, 185, 200);
        return lit < dark ? rgb(248, 248, 252) : rgb(65, 65, 80);
    });
    frame(img);
}

// ---------------------------------------------------------------- distortions

void drawGlass(ImageRGBA* img) {  // stripes seen through a bumpy pane
    shade(img, [](float x, float y) {
        bool pane = x >= 3 && x < 17 && y >= 3 && y < 17;
        float sy = pane ? y + 1.6f * std::sin(2 * kPiF * x / 5) * std::sin(2 * kPiF * y / 7) : y;
        Rgba c = static_cast<int>(std::floor(sy / 3)) % 2 ? rgb(70, 85, 105) : rgb(215, 220, 228);
        return pane ? mix(c, rgb(150, 230, 245), 0.45f) : c;
    });
    for (int k = 3; k < 17; ++k) {
        at(img, k, 3) = at(img, k, 16) = at(img, 3, k) = at(img, 16, k) = rgb(40, 120, 140);
    }
    fill(img, either(stroke(5.5f, 9.5f, 9.5f, 5.5f, 1.2f), stroke(6, 13.5f, 13.5f, 6, 1.2f)), rgb(255, 255, 255));
    frame(img);
}

const Rgba kPhoto[9] = {rgb(90, 150, 225), rgb(125, 175, 235), rgb(250, 205, 70),
                        rgb(70, 150, 80),  rgb(110, 185, 90),  rgb(55, 120, 65),
                        rgb(155, 110, 60), rgb(120, 85, 45),   rgb(180, 140, 85)};

void drawMosaic(ImageRGBA* img) {  // flat tiles with gaps
    background(img, rgb(250, 250, 250));
    const int from[3] = {1, 7, 14}, to[3] = {6, 13, 19};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) imageRgbaSetArea(img, from[i], from[j], to[i], to[j], kPhoto[3 * j + i]);
    frame(img);
}

void drawBox(ImageRGBA* img) {  // little lit boxes
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            int x0 = 1 + 6 * i, y0 = 1 + 6 * j;
            Rgba face = kPhoto[3 * j + i];
            imageRgbaSetArea(img, x0, y0, x0 + 6, y0 + 6, mix(face, grey(0), 0.45f));
            imageRgbaSetArea(img, x0, y0, x0 + 5, y0 + 5, mix(face, grey(255), 0.55f));
            imageRgbaSetArea(img, x0 + 1, y0 + 1, x0 + 5, y0 + 5, face);
        }
    }
    frame(img);
}

void drawComb(ImageRGBA* img) {  // a tiling of triangles
    const Rgba tones[3] = {rgb(235, 150, 40), rgb(200, 70, 50), rgb(250, 215, 120)};
    shade(img, [&](float x, float y) {
        int row = std::clamp(static_cast<int>((y - 1) / 6), 0, 2);
        float ly = (y - 1) / 6 - row;
        float u = (x - 1) / 3 + (row % 2 ? 1 : 0) + 2;
        int k = static_cast<int>(std::floor(u));
        float f = u - k;
        int t = k % 2 ? k + (ly < f ? 1 : 0) : k + (ly >= 1 - f ? 1 : 0);
        return tones[(t + row) % 3];
    });
    frame(img);
}

void drawDots(ImageRGBA* img) {  // the picture seen through round holes
    background(img, rgb(25, 25, 32));
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            float cx = 3.25f + 4.5f * i, cy = 3.25f + 4.5f * j;
            fill(img, disc(cx, cy, 1.95f), HSVtoRGB(Hsva{200.0f - 35 * j + 12 * i, 0.75f, 1, 255}));
        }
    }
    frame(img);
}

void drawLines(ImageRGBA* img) {  // rows broken into runs of one colour
    Sequence random(7);
    for (int row = 0; row < 6; ++row) {
        int y0 = 1 + 3 * row;
        Rgba base = mix(rgb(70, 140, 230), rgb(200, 120, 50), row / 5.0f);
        for (int x = 1; x < kSize - 1;) {
            int run = 2 + static_cast<int>(random.unit() * 5);
            int x1 = std::min(kSize - 1, x + run);
            imageRgbaSetArea(img, x, y0, x1, y0 + 3, mix(base, grey(random.unit() < 0.5f ? 0 : 255), random.range(0.1f, 0.45f)));
            x = x1;
        }
    }
    frame(img);
}

void drawRgbDots(ImageRGBA* img) {  // cells of red, green and blue phosphor dots
    background(img, grey(0));
    Sequence random(11);
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            float cx = 4 + 6 * i, cy = 4 + 6 * j;
            fill(img, disc(cx - 1.5f, cy + 1, random.range(0.9f, 1.5f)), rgb(255, 40, 40));
            fill(img, disc(cx + 1.5f, cy + 1, random.range(0.9f, 1.5f)), rgb(40, 230, 40));
            fill(img, disc(cx, cy - 1.5f, random.range(0.9f, 1.5f)), rgb(60, 110, 255));
        }
    }
    frame(img);
}

void drawNoise(ImageRGBA* img) {  // speckles over grey
    background(img, grey(125));
    Sequence random(3);
    for (int y = 1; y < kSize - 1; ++y) {
        for (int x = 1; x < kSize - 1; ++x) {
            if (random.unit() < 0.45f) continue;
            imageRgbaDrawPoint(img, x, y, rgb(random.next() % 256, random.next() % 256, random.next() % 256));
        }
    }
    frame(img);
}

// ---------------------------------------------------------------- convolution filters

float softStep(float d, float width) { return 1 / (1 + std::exp(d / width)); }

void drawBlur(ImageRGBA* img) {  // a soft blob
    shade(img, [](float x, float y) {
        float r = length(x - 10, y - 10);
        return mix(rgb(250, 250, 250), rgb(35, 75, 190), std::exp(-r * r / 22));
    });
    frame(img);
}

void drawSharpen(ImageRGBA* img) {  // a crisp, pointed prism
    background(img, kPaper);
    fill(img, polygon({{10, 2.5f}, {17.2f, 16.8f}, {2.8f, 16.8f}}), rgb(25, 55, 150));
    fill(img, polygon({{10, 2.5f}, {10, 16.8f}, {2.8f, 16.8f}}), rgb(70, 120, 225));
    frame(img);
}

void drawEdge(ImageRGBA* img) {  // bright outlines on black
    background(img, grey(0));
    imageRgbaDrawEllipse(img, 8, 8, 5, 5, rgb(80, 230, 255), 0, 0, -1, -1);
    line(img, 9, 9, 16, 9, rgb(255, 255, 255));
    line(img, 16, 9, 16, 16, rgb(255, 255, 255));
    line(img, 16, 16, 9, 16, rgb(255, 255, 255));
    line(img, 9, 16, 9, 9, rgb(255, 255, 255));
    frame(img);
}

Region star(float cx, float cy, float outer, float inner) {
    std::vector<Point> p;
    for (int k = 0; k < 10; ++k) p.push_back(polar(cx, cy, k % 2 ? inner : outer, -90 + 36 * k));
    return polygon(p);
}

void drawEmboss(ImageRGBA* img) {  // a star pressed out of grey
    Region shape = star(10, 10.6f, 8, 3.6f);
    shade(img, [=](float x, float y) {
        int v = 128 + 115 * (shape(x + 1, y + 1) - shape(x - 1, y - 1));
        return grey(v);
    });
    frame(img);
}

void drawSeparate(ImageRGBA* img) {  // one shape, doubled and pulled apart
    Region a = ring(8, 8, 3.2f, 5.6f), b = ring(12, 12, 3.2f, 5.6f);
    shade(img, [=](float x, float y) {
        float v = 250;
        if (a(x, y)) v *= 0.45f;
        if (b(x, y)) v *= 0.45f;
        return mix(grey(static_cast<int>(v)), rgb(40, 40, 140), v < 200 ? 0.25f : 0);
    });
    frame(img);
}

void drawHalfblur(ImageRGBA* img) {  // a disc, crisp on the left, soft on the right
    Region sharp = disc(10, 10, 5.5f);
    shade(img, [=](float x, float y) {
        float t = x < 10 ? (sharp(x, y) ? 1 : 0) : softStep(length(x - 10, y - 10) - 5.5f, 1.1f);
        return mix(rgb(250, 250, 250), rgb(150, 30, 55), t);
    });
    frame(img);
}

void drawWhiteblur(ImageRGBA* img) {  // a white glow on dark
    shade(img, [](float x, float y) {
        float r = length(x - 10, y - 10);
        return mix(rgb(25, 30, 65), rgb(255, 255, 255), std::max(r < 2.6f ? 1.0f : 0.0f, std::exp(-r * r / 30)));
    });
    frame(img);
}

void drawBlackblur(ImageRGBA* img) {  // a dark haze on light
    shade(img, [](float x, float y) {
        float r = length(x - 10, y - 10);
        return mix(rgb(240, 238, 225), rgb(0, 0, 0), std::max(r < 2.6f ? 1.0f : 0.0f, 0.92f * std::exp(-r * r / 30)));
    });
    frame(img);
}

// ---------------------------------------------------------------- artistic filters

void drawChrome(ImageRGBA* img) {  // a chrome ball mirroring sky and ground
    background(img, grey(70));
    paint(img, disc(10, 10, 8.2f), [](float x, float y) {
        float nx = (x - 10) / 8.2f, ny = (y - 10) / 8.2f;
        float h = ny + 0.3f * nx * nx;  // the horizon bends with the ball
        Rgba c;
        if (h < 0.12f) c = mix(rgb(255, 255, 255), rgb(120, 160, 215), (h + 1) / 1.12f);
        else if (h < 0.32f) c = rgb(35, 35, 45);
        else c = mix(rgb(110, 95, 80), rgb(225, 215, 200), (h - 0.32f) / 0.9f);
        return mix(c, grey(20), 0.5f * std::pow(nx * nx + ny * ny, 2.0f));
    });
    fill(img, disc(7, 6.5f, 1.5f), rgb(255, 255, 255));
    frame(img);
}

void drawBw(ImageRGBA* img) {  // a landscape in two levels
    shade(img, [](float x, float y) {
        float ridge = 12.5f - 5.5f * std::max(0.0f, 1 - std::fabs(x - 6) / 5.5f) -
                      3.5f * std::max(0.0f, 1 - std::fabs(x - 14) / 4.5f);
        bool black = y > ridge || length(x - 14.5f, y - 5) < 2.6f;
        return black ? grey(0) : grey(255);
    });
    frame(img);
}

void drawRelief(ImageRGBA* img) {  // flat colour regions with outlines
    auto region = [](float x, float y) {
        if (length(x - 14, y - 5.5f) < 3) return 1;
        if (y > 12 + 3 * std::sin(x * 0.45f)) return 3;
        if (y > 8 + 0.25f * (x - 4) * (x - 4) * 0.4f && x < 13) return 2;
        return 0;
    };
    const Rgba fills[4] = {rgb(120, 185, 240), rgb(250, 210, 60), rgb(80, 165, 70), rgb(160, 110, 60)};
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) at(img, x, y) = fills[region(x + 0.5f, y + 0.5f)];
    for (int y = 0; y < kSize - 1; ++y) {
        for (int x = 0; x < kSize - 1; ++x) {
            int here = region(x + 0.5f, y + 0.5f);
            if (here != region(x + 1.5f, y + 0.5f) || here != region(x + 0.5f, y + 1.5f))
                at(img, x, y) = kInk;
        }
    }
    frame(img);
}

void drawCutout(ImageRGBA* img) {  // layered paper shapes with shadows
    background(img, rgb(242, 236, 220));
    const std::vector<Point> shapes[3] = {
        {{2, 17}, {8, 5}, {13, 17}},
        {{7, 17}, {12, 8}, {18, 17}},
        {{11, 3}, {17, 3}, {17, 8}, {13, 9}},
    };
    const Rgba colours[3] = {rgb(225, 110, 40), rgb(35, 140, 140), rgb(245, 195, 40)};
    for (int k = 0; k < 3; ++k) {
        std::vector<Point> shadow = shapes[k];
        for (Point& p : shadow) p = {p[0] + 1, p[1] + 1};
        fill(img, polygon(shadow), rgb(120, 110, 100));
        fill(img, polygon(shapes[k]), colours[k]);
    }
    frame(img);
}

void drawBrush(ImageRGBA* img) {  // a paintbrush and its stroke
    const Rgba red = rgb(205, 30, 45);
    background(img, rgb(248, 248, 250));
    fill(img, [](float x, float y) {  // the wavy stroke it left
        return x > 5 && x < 17.8f && std::fabs(y - (16.3f + 0.9f * std::sin((x - 5) * 0.7f))) < 1.1f;
    }, red);
    fill(img, stroke(17, 2.8f, 11, 8.8f, 2.6f), rgb(150, 90, 40));
    fill(img, stroke(11.4f, 8.4f, 9, 10.8f, 3.4f), rgb(190, 190, 205));
    fill(img, polygon({{7.4f, 9.6f}, {10.2f, 12.4f}, {7.6f, 14.8f}, {4.6f, 15.6f}, {5.4f, 12.6f}}), red);
    frame(img);
}

void drawSpatter(ImageRGBA* img) {  // drops of colour
    background(img, rgb(250, 250, 250));
    Sequence random(5);
    const Point centres[3] = {{6.5f, 7}, {13.5f, 8}, {9, 14}};
    const Rgba colours[3] = {rgb(220, 40, 50), rgb(35, 90, 210), rgb(40, 160, 60)};
    for (int k = 0; k < 3; ++k) {
        Point c = centres[k];
        fill(img, disc(c[0], c[1], 2.4f), colours[k]);
        for (int drop = 0; drop < 6; ++drop) {
            Point p = polar(c[0], c[1], random.range(3, 5.2f), random.range(0, 360));
            fill(img, disc(p[0], p[1], random.range(0.6f, 1.2f)), colours[k]);
        }
    }
    frame(img);
}

void drawStrokes(ImageRGBA* img) {  // short straight strokes every which way
    background(img, rgb(245, 240, 225));
    Sequence random(9);
    const Rgba colours[4] = {rgb(40, 90, 170), rgb(200, 70, 40), rgb(60, 140, 70), rgb(220, 160, 30)};
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            float cx = 3 + 4.6f * i + random.range(-0.8f, 0.8f), cy = 3 + 4.6f * j + random.range(-0.8f, 0.8f);
            float a = random.range(0, 180);
            Point p = polar(cx, cy, 2.6f, a), q = polar(cx, cy, -2.6f, a);
            fill(img, stroke(p[0], p[1], q[0], q[1], 1.5f), colours[(i + 2 * j) % 4]);
        }
    }
    frame(img);
}

void drawStarlight(ImageRGBA* img) {  // a sparkling star
    shade(img, [](float x, float y) {
        float dx = std::fabs(x - 10), dy = std::fabs(y - 10);
        float u = std::fabs(dx - dy) * 0.7071f, v = (dx + dy) * 0.7071f;
        float light = std::exp(-dy * 1.8f - dx / 3.5f) + std::exp(-dx * 1.8f - dy / 3.5f) +
                      0.6f * std::exp(-u * 2.2f - v / 1.8f) + std::exp(-(dx * dx + dy * dy) / 2);
        return mix(rgb(15, 20, 60), rgb(255, 250, 215), light);
    });
    imageRgbaDrawPoint(img, 4, 15, rgb(220, 220, 255));
    imageRgbaDrawPoint(img, 16, 4, rgb(220, 220, 255));
    imageRgbaDrawPoint(img, 15, 15, rgb(160, 160, 220));
    frame(img);
}

void drawShine(ImageRGBA* img) {  // rays fanning out from a point
    shade(img, [](float x, float y) {
        float dx = x - 2.5f, dy = 17.5f - y, r = length(dx, dy);
        float a = std::atan2(dy, dx);
        float ray = 0.5f + 0.5f * std::cos(a * 14);
        float light = ray * ray * std::max(0.0f, 1 - r / 24) + std::exp(-r * r / 6);
        return mix(rgb(30, 20, 45), rgb(255, 225, 100), light);
    });
    frame(img);
}

// ---------------------------------------------------------------- mode buttons

// 5 by 7 digits, one string per row, drawn at twice the size.
const char* const kDigits[8][7] = {
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
};

void drawDigit(ImageRGBA* img, int n) {
    shade(img, [](float, float y) { return mix(rgb(250, 250, 252), rgb(195, 200, 212), y / 20); });
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 5; ++c)
            if (kDigits[n - 1][r][c] == '#') imageRgbaSetArea(img, 5 + 2 * c, 3 + 2 * r, 7 + 2 * c, 5 + 2 * r, rgb(20, 40, 110));
    frame(img);
}

// ---------------------------------------------------------------- slider

const Rgba kPanel = rgb(70, 72, 82);

// The whole track of four cells (start, middle, middle, end) in one 80 by 20
// image, so the cells join without a seam. Its middle, x 20 to 59, repeats
// every 20 pixels, so either middle cell can stand for both.
ImageRGBA* drawTrack() {
    ImageRGBA* track = imageRgbaNew(4 * kSize, kSize);
    background(track, Rgba{0, 0, 0, 0});
    auto panel = [](float x, float y) {
        const float x0 = 0.5f, x1 = 79.5f, y0 = 1.5f, y1 = 18.5f, round = 3.5f;
        float cx = std::clamp(x, x0 + round, x1 - round), cy = std::clamp(y, y0 + round, y1 - round);
        return length(x - cx, y - cy) < round;
    };
    fill(track, panel, rgb(20, 20, 25));
    fill(track, [&](float x, float y) { return panel(x - 1, y) && panel(x + 1, y) && panel(x, y - 1) && panel(x, y + 1); },
         kPanel);
    // The groove spans the knob's centre positions, x 10 to 70.
    fill(track, either(stroke(9, 10, 71, 10, 2.2f), rect(8, 9, 72, 11)), rgb(15, 15, 18));
    line(track, 9, 11, 71, 11, rgb(125, 128, 140));
    for (int x = 10; x <= 70; x += 10) line(track, x, 14, x, 15, rgb(165, 168, 180));
    return track;
}

void cutTrack(ImageRGBA* track, int cell, ImageRGBA* img) {
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) at(img, x, y) = at(track, cell * kSize + x, y);
}

// Only the top-left 7 by 14 pixels are used: a knob whose centre column marks
// the value. The rest stays transparent.
void drawKnob(ImageRGBA* img) {
    background(img, Rgba{0, 0, 0, 0});
    for (int y = 0; y < 14; ++y) {
        for (int x = 0; x < 7; ++x) {
            Rgba c = rgb(212, 214, 224);
            if (x == 1 || y == 1) c = rgb(250, 250, 255);
            if (x == 5 || y == 12) c = rgb(140, 142, 156);
            if (x == 0 || y == 0 || x == 6 || y == 13) c = rgb(15, 15, 20);
            if (x == 3 && y >= 3 && y <= 10) c = rgb(210, 30, 30);
            at(img, x, y) = c;
        }
    }
    // Round the corners against the panel it slides on.
    at(img, 0, 0) = at(img, 6, 0) = at(img, 0, 13) = at(img, 6, 13) = kPanel;
}

// ---------------------------------------------------------------- glass height maps

using HeightMap = std::function<float(int x, int y)>;

float wrapDelta(float d) {  // the shortest way round the 20-texel torus
    while (d > kSize / 2.0f) d -= kSize;
    while (d < -kSize / 2.0f) d += kSize;
    return d;
}

// Smooth value noise with `n` lattice points per side (n divides 20): every
// lattice value is reached again one tile further on.
HeightMap valueNoise(int n, uint32_t seed) {
    std::vector<float> lattice(n * n);
    Sequence random(seed);
    for (float& v : lattice) v = random.range(-1, 1);
    return [=](int x, int y) {
        float cell = static_cast<float>(kSize) / n;
        float u = x / cell, v = y / cell;
        int i = static_cast<int>(u), j = static_cast<int>(v);
        float fu = u - i, fv = v - j;
        fu = fu * fu * (3 - 2 * fu);
        fv = fv * fv * (3 - 2 * fv);
        auto L = [&](int a, int b) { return lattice[(b % n) * n + (a % n)]; };
        float top = L(i, j) + (L(i + 1, j) - L(i, j)) * fu;
        float bottom = L(i, j + 1) + (L(i + 1, j + 1) - L(i, j + 1)) * fu;
        return top + (bottom - top) * fv;
    };
}

float roughGlass(int x, int y) {
    static const HeightMap coarse = valueNoise(5, 21), middle = valueNoise(10, 22), fine = valueNoise(20, 23);
    return 128 + 40 * coarse(x, y) + 18 * middle(x, y) + 8 * fine(x, y);
}

float glassPlates(int x, int y) {
    struct Plate { float x, y, gx, gy; };
    static const std::vector<Plate> plates = [] {
        std::vector<Plate> p;
        Sequence random(31);
        for (int k = 0; k < 6; ++k) p.push_back({random.range(0, 20), random.range(0, 20), random.range(-10, 10), random.range(-10, 10)});
        return p;
    }();
    const Plate* best = nullptr;
    float bestDistance = 1e9f, bx = 0, by = 0;
    for (const Plate& p : plates) {
        float dx = wrapDelta(x - p.x), dy = wrapDelta(y - p.y);
        if (length(dx, dy) < bestDistance) {
            bestDistance = length(dx, dy);
            best = &p;
            bx = dx;
            by = dy;
        }
    }
    return 128 + best->gx * bx + best->gy * by;
}

float glassBlocks(int x, int y) {
    auto edge = [](int v) { float t = (v % 10) + 0.5f; return std::min(t, 10 - t); };
    return 60 + 20 * std::min(3.5f, std::min(edge(x), edge(y)));
}

float curlyGlass(int x, int y) {
    // Sines bent by sines: whole periods only, so the tile still repeats.
    float u = 2 * kPiF * x / kSize, v = 2 * kPiF * y / kSize;
    return 128 + 30 * std::sin(2 * u + 2 * std::sin(2 * v + 1.2f * std::sin(u))) +
           18 * std::sin(3 * v + 1.5f * std::sin(2 * u + 1));
}

float glassRings(int x, int y) {
    float r = std::min(10.0f, length(x - 10.0f, y - 10.0f));
    return 128 + 34 * std::cos(2 * kPiF * r / 5);  // r = 10 is a crest: flat beyond
}

float dottedGlass(int x, int y) {
    float dx = wrapDelta(static_cast<float>(x % 5) - 2), dy = wrapDelta(static_cast<float>(y % 5) - 2);
    float d = length(dx, dy);
    return d < 2.6f ? 90 + 70 * 0.5f * (1 + std::cos(kPiF * d / 2.6f)) : 90;
}

// Puzzle pieces are 10 by 10 texels, named by their column and row on the
// unbounded plane; every edge carries a round tab whose direction alternates
// like a checkerboard, which repeats every two pieces, that is every tile.
struct Piece {
    int i, j;
    bool operator!=(const Piece& o) const { return i != o.i || j != o.j; }
};

Piece puzzlePiece(float x, float y) {
    const float side = 10, reach = 1.6f, radius = 2.3f;
    int i = static_cast<int>(std::floor(x / side)), j = static_cast<int>(std::floor(y / side));
    auto flip = [](int a, int b) { return ((a + b) % 2 + 2) % 2 ? -1.0f : 1.0f; };
    // The tabs on the four edges of piece (i, j), each named by the piece left
    // of or above its edge; a tab belongs to the piece it grows out of.
    const struct { int i, j; bool vertical; } edges[4] = {
        {i - 1, j, true}, {i, j, true}, {i, j - 1, false}, {i, j, false}};
    for (const auto& e : edges) {
        int ai = e.i, aj = e.j;
        bool vertical = e.vertical;
        float sign = vertical ? flip(ai, aj) : -flip(ai, aj);
        float cx = vertical ? side * (ai + 1) + reach * sign : side * ai + side / 2;
        float cy = vertical ? side * aj + side / 2 : side * (aj + 1) + reach * sign;
        if (length(x - cx, y - cy) >= radius) continue;
        if (sign > 0) return {ai, aj};
        return vertical ? Piece{ai + 1, aj} : Piece{ai, aj + 1};
    }
    return {i, j};
}

float puzzle(int x, int y) {
    // Grooves along the outlines: the height rises with the distance to the
    // nearest point of another piece, averaged over sub-samples.
    float sum = 0;
    for (int s = 0; s < 16; ++s) {
        float px = x - 0.375f + (s % 4) * 0.25f, py = y - 0.375f + (s / 4) * 0.25f;
        Piece here = puzzlePiece(px, py);
        float nearest = 2;
        for (float dy = -2; dy <= 2; dy += 0.25f)
            for (float dx = -2; dx <= 2; dx += 0.25f)
                if (length(dx, dy) < nearest && puzzlePiece(px + dx, py + dy) != here) nearest = length(dx, dy);
        float t = std::min(1.0f, nearest / 1.5f);
        sum += 80 + 115 * t * t * (3 - 2 * t);
    }
    return sum / 16;
}

float customGlass(int x, int y) {
    return 128 + 24 * std::cos(2 * kPiF * x / kSize) * std::cos(2 * kPiF * y / kSize);
}

void drawHeightMap(ImageRGBA* img, const HeightMap& height) {
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            unsigned char v = byte(height(x, y));
            at(img, x, y) = Rgba{v, v, v, 255};
        }
    }
}

// ---------------------------------------------------------------- files

struct IconFile {
    std::string name;
    std::function<void(ImageRGBA*)> draw;
};

std::vector<IconFile> iconFiles() {
    std::vector<IconFile> files = {
        {"save", drawSave},           {"backwards", drawBackwards}, {"close", drawClose},
        {"paint", drawPaint},         {"selection", drawSelection}, {"scroll", drawScroll},
        {"telescope", drawTelescope}, {"zoomin", drawZoomIn},       {"zoomout", drawZoomOut},
        {"brightness", drawBrightness}, {"contrast", drawContrast}, {"saturation", drawSaturation},
        {"hue", drawHue},             {"colorize", drawColorize},   {"channel", drawChannel},
        {"gray", drawGray},           {"invert", drawInvert},       {"posterize", drawPosterize},
        {"solarize", drawSolarize},   {"ripple", drawRipple},       {"bubble", drawBubble},
        {"twirl", drawTwirl},         {"lens", drawLens},           {"wave", drawWave},
        {"buttonize", drawButtonize}, {"glass", drawGlass},         {"mosaic", drawMosaic},
        {"box", drawBox},             {"comb", drawComb},           {"dots", drawDots},
        {"lines", drawLines},         {"rgbdots", drawRgbDots},     {"noise", drawNoise},
        {"blur", drawBlur},           {"sharpen", drawSharpen},     {"edge", drawEdge},
        {"emboss", drawEmboss},       {"separate", drawSeparate},   {"halfblur", drawHalfblur},
        {"whiteblur", drawWhiteblur}, {"blackblur", drawBlackblur}, {"chrome", drawChrome},
        {"bw", drawBw},               {"relief", drawRelief},       {"cutout", drawCutout},
        {"brush", drawBrush},         {"spatter", drawSpatter},     {"strokes", drawStrokes},
        {"starlight", drawStarlight}, {"shine", drawShine},
    };
    const HeightMap glass[8] = {roughGlass, glassPlates, glassBlocks, curlyGlass,
                                glassRings, dottedGlass, puzzle,      customGlass};
    for (int m = 1; m <= 8; ++m) {
        HeightMap h = glass[m - 1];
        files.push_back({"glass_texture" + std::to_string(m), [h](ImageRGBA* img) { drawHeightMap(img, h); }});
    }
    for (int n = 1; n <= 8; ++n) files.push_back({std::to_string(n), [n](ImageRGBA* img) { drawDigit(img, n); }});
    static const char* const pieces[3] = {"regler_start", "regler_mid", "regler_end"};
    for (int k = 0; k < 3; ++k) {
        int cell = k;  // start = cell 0, middle = cell 1, end = cell 3
        if (k == 2) cell = 3;
        files.push_back({pieces[k], [cell](ImageRGBA* img) {
                             ImageRGBA* track = drawTrack();
                             cutTrack(track, cell, img);
                             imageRgbaFree(track);
                         }});
    }
    files.push_back({"regler", drawKnob});
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [folder]\n", argv[0]);
        return 2;
    }
    const char* folder = argc == 2 ? argv[1] : "menu";
    if (mkdir(folder, 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "makeicons: cannot create %s: %s\n", folder, std::strerror(errno));
        return 1;
    }
    if (chdir(folder) != 0) {
        std::fprintf(stderr, "makeicons: cannot enter %s: %s\n", folder, std::strerror(errno));
        return 1;
    }
    int failures = 0;
    for (const IconFile& file : iconFiles()) {
        ImageRGBA* img = imageRgbaNew(kSize, kSize);
        background(img, Rgba{0, 0, 0, 255});
        file.draw(img);
        std::string name = file.name + ".tif", reason;
        if (imageRgbaWriteTIFF(name.c_str(), img, &reason) != 0) {
            std::fprintf(stderr, "makeicons: cannot write %s/%s: %s\n", folder, name.c_str(), reason.c_str());
            ++failures;
        }
        imageRgbaFree(img);
    }
    return failures ? 1 : 0;
}
