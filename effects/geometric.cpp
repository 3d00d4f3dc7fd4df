#include "effects/geometric.h"

// ---------------------------------------------------------------------------
// Warps

// ---------------------------------------------------------------------------
// Glass

#include "image/bands.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Name, modes, tile size (value1) and strength (value2): start, lowest,
// highest and arrow step. Each mode sets its own tile size, and texture m is
// the 20 by 20 icon 101 - m of the atlas.
constexpr effectInfo kGlass = {"Glass",
                               {"Rough Glass", "Glass Plates", "Glass Blocks", "Curly Glass",
                                "Glass Rings", "Dotted Glass", "Puzzle", "Custom"},
                               {40, 5, distort::largerSide, 1},
                               {10, 1, 50, 1}};
constexpr int kGlassTile[8] = {50, 50, 30, 20, 40, 20, 50, 60};
constexpr int kTextureSide = 20;
constexpr int textureOffset(int mode) { return (101 - mode) * kTextureSide * kTextureSide; }
constexpr Rgba kLightColour = {255, 255, 255, 255};

// The light: azimuth (param1), elevation (param2) and intensity (param3),
// their start values, key steps and limits.
constexpr float kPi = 3.14159265358979f;
constexpr float kAzimuthStart = kPi / 4, kAzimuthStep = kPi / 16, kFullTurn = 2 * kPi;
constexpr float kElevationStart = kPi / 8, kElevationStep = kPi / 32;
constexpr float kElevationLow = kPi / 16, kElevationHigh = kPi / 2;
constexpr float kIntensityStep = 0.25f, kIntensityHigh = 2;
constexpr unsigned char kDelete = 127;
constexpr int kPageUp = 104, kPageDown = 105, kHome = 106, kEnd = 107, kInsert = 108;

constexpr double kPiD = 3.14159265358979323846;
// Facets kept per core at most (12 bytes each).
constexpr size_t kKeptFacets = size_t(1) << 18;

// Rounding must never take an arcsine out of its domain.
inline double asinClamped(double v) { return std::asin(std::max(-1.0, std::min(1.0, v))); }

inline float clampTo(float v, int lo, int hi) {
    if (v > static_cast<float>(hi)) return static_cast<float>(hi);
    if (v < static_cast<float>(lo)) return static_cast<float>(lo);
    return v;
}

// What the glass does at offset (a, b) of a tile: the displacement and how
// much light the facet there catches (0 to 1).
struct Facet {
    float dx, dy, shade;
};

struct GlassSettings {
    ImageRGBA* texture;
    int offset;
    float tile, strength;
    bool lit;
    double azimuth, elevation;
};

Facet facetAt(const GlassSettings& g, int a, int b) {
    const float u = static_cast<float>(a) / g.tile * kTextureSide;
    const float v = static_cast<float>(b) / g.tile * kTextureSide;
    auto height = [&](float x, float y) {
        return imageRgbaInterpolateSubImage(g.texture, x, y, kTextureSide, kTextureSide, g.offset);
    };
    const int left = height(u - 1, v), right = height(u + 1, v);
    const int up = height(u, v - 1), down = height(u, v + 1);
    Facet f{g.strength * (static_cast<float>(left - right) / 2) / 255 * kTextureSide,
            g.strength * (static_cast<float>(up - down) / 2) / 255 * kTextureSide, 0};
    if (!g.lit) return f;
    // The facet leans toward -(dx, dy); flat below a slope of 2.
    double alpha = 0;
    if (f.dx != 0 || f.dy != 0) {
        alpha = std::atan2(-static_cast<double>(f.dx), -static_cast<double>(f.dy));
        if (alpha < 0) alpha += 2 * kPiD;
    }
    float q = (std::fabs(f.dx) + std::fabs(f.dy)) / 2;
    if (q < 2) q = 0;
    const double s = q / (3 * g.strength);
    const double tilt = asinClamped(s / std::sqrt(s * s + 2));
    const double facing = std::sin(tilt) * std::cos(alpha) * std::cos(g.elevation) * std::cos(g.azimuth) +
                          std::sin(tilt) * std::sin(alpha) * std::cos(g.elevation) * std::sin(g.azimuth) +
                          std::cos(tilt) * std::sin(g.elevation);
    f.shade = static_cast<float>(asinClamped(std::fabs(facing)) / (kPiD / 2));
    return f;
}

}  // namespace

glass::glass(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    beginOnArea(kGlass, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    imageRgbaCopy(this->image, this->backup);
    usesColor = true;
    color = kLightColour;
    param1 = kAzimuthStart;
    param2 = kElevationStart;
    param3 = 0;
    changeMode(1);
}

// Tiles are drawn in order and a destination beyond the area is clamped onto
// its last column or row, so the last write there wins: the one from the
// last tile's last column or row. Each pixel is worked out directly from the
// write that lands last on it, which lets every core take whole rows.
void glass::LBAction() {
    if (!leftDown) return;
    const pixelRect r = areaInPicture();
    const int w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
    const float tile = value1;
    if (w <= 0 || h <= 0 || !(tile >= 1) || mode < 1 || mode > kGlass.modeCount()) return;
    const int offset = textureOffset(mode);
    if (!icons || static_cast<long long>(icons->width) * icons->height < offset + 400) return;
    const GlassSettings g{icons, offset, tile, value2, param3 > 0, param1, param2};
    const int side = static_cast<int>(tile);
    const int lastCol = truncToInt(w / tile + 1) - 1, lastRow = truncToInt(h / tile + 1) - 1;
    const int beyondX = r.x0 + lastCol * side + side - 1, beyondY = r.y0 + lastRow * side + side - 1;
    const int across = std::min(side, w - 1);  // offsets of the columns before the last
    const float intensity = param3;
    const float light[3] = {static_cast<float>(color.r), static_cast<float>(color.g),
                            static_cast<float>(color.b)};
    const limit bytes = byteRange;
    const Rgba* source = backup->data;
    const size_t stride = static_cast<size_t>(backup->width);

    // A row's facets depend on its offset in the tile only. They are worked
    // out once per offset and core and kept, unless the table would be large
    // (tiles nearly as large as the area, whose rows hardly repeat).
    const size_t width = static_cast<size_t>(std::max(across, 0)) + 1;  // the last column's last
    const size_t offsets = static_cast<size_t>(std::min(side, h));
    const bool keep = offsets * width <= kKeptFacets;
    inBands(0, h - 1, static_cast<double>(w) * h, [&](int first, int last) {
        const size_t kept = keep ? offsets : 0;
        std::vector<Facet> table((kept + 1) * width);  // the last row for those not kept
        std::vector<char> ready(kept, 0);
        auto facetsOf = [&](int b) {
            const size_t at = static_cast<size_t>(b) < kept ? static_cast<size_t>(b) : kept;
            Facet* row = &table[at * width];
            if (at < kept && ready[at]) return row;
            for (int a = 0; a < across; ++a) row[a] = facetAt(g, a, b);
            row[across] = facetAt(g, side - 1, b);
            if (at < kept) ready[at] = 1;
            return row;
        };
        auto draw = [&](int y, float py, const Facet* facets) {
            Rgba* out = image->data + static_cast<size_t>(y) * image->width;
            int a = 0;
            for (int x = r.x0; x <= r.x1; ++x) {
                const bool lastColumn = x == r.x1;
                const Facet& f = facets[lastColumn ? across : a];
                const float px = static_cast<float>(lastColumn ? beyondX : x);
                if (++a == side) a = 0;
                const int sx = static_cast<int>(clampTo(px + f.dx, r.x0, r.x1));
                const int sy = static_cast<int>(clampTo(py + f.dy, r.y0, r.y1));
                const Rgba in = source[static_cast<size_t>(sy) * stride + sx];
                if (!g.lit) {
                    out[x] = in;
                    continue;
                }
                const float gain = intensity * f.shade;
                out[x].r = distort::toByte(bytes, in.r + gain * light[0]);
                out[x].g = distort::toByte(bytes, in.g + gain * light[1]);
                out[x].b = distort::toByte(bytes, in.b + gain * light[2]);
            }
        };
        // Rows before the last use their offset; the last row takes the last
        // tile's last row.
        for (int row = first; row <= std::min(last, h - 2); ++row) {
            draw(r.y0 + row, static_cast<float>(r.y0 + row), facetsOf(row % side));
        }
        if (last == h - 1) draw(r.y1, static_cast<float>(beyondY), facetsOf(side - 1));
    });
}

void glass::colorChangeAction() { reapply(); }

void glass::key(unsigned char c) {
    effect::key(c);
    if (c != kDelete) return;
    param3 = std::max(param3 - kIntensityStep, 0.0f);
    drawLightningMenu();
}

// The light keys only move the light and show it in the panel; the next
// application uses it.
void glass::specialKey(int k) {
    effect::specialKey(k);
    switch (k) {
        case kPageDown:
            param3 = std::min(param3 + kIntensityStep, kIntensityHigh);
            break;
        case kInsert:
            param1 += kAzimuthStep;
            if (param1 > kFullTurn) param1 = 0;
            break;
        case kPageUp:
            param1 -= kAzimuthStep;
            if (param1 < 0) param1 = kFullTurn;
            break;
        case kHome:
            param2 = std::min(param2 + kElevationStep, kElevationHigh);
            break;
        case kEnd:
            param2 = std::max(param2 - kElevationStep, kElevationLow);
            break;
        default:
            return;
    }
    drawLightningMenu();
}

void glass::changeMode(char m) {
    if (m < 1 || m > kGlass.modeCount()) return;  // no texture for it
    showMode(m);
    value1 = static_cast<float>(kGlassTile[m - 1]);  // beyond value1Range on a small area
    reapply();
}

// A black square with the horizon circle; the light's marker sits on its
// azimuth, nearer the centre the higher the light, filled grey by intensity.
void glass::drawLightningMenu() {
    const Rgba white = {255, 255, 255, 255};
    imageRgbaSetArea(image, 0, 0, std::min(150, image->width), std::min(150, image->height),
                     Rgba{0, 0, 0, 255});
    imageRgbaDrawEllipse(image, 75, 75, 50, 50, white, 0, 0, -1, -1);
    const double toward = static_cast<double>(param1) + kPiD, up = param2;
    const int mx = truncToInt(std::cos(up) * std::sin(toward) * 50 + 75);
    const int my = truncToInt(std::cos(up) * std::cos(toward) * 50 + 75);
    const int rx = truncToInt(std::sin(toward) * 50 + 75), ry = truncToInt(std::cos(toward) * 50 + 75);
    imageRgbaDrawLine(image, mx, my, rx, ry, white, 0, 0, -1, -1);
    const unsigned char level = static_cast<unsigned char>(byteRange.intForceLimit(param3 * 127));
    const Rgba grey = {level, level, level, 255};
    for (int k = -7; k <= 6; ++k) {
        const float e = std::sqrt(static_cast<float>(49 - k * k)) + 1;
        for (int c = truncToInt(-e); c < truncToInt(e); ++c) imageRgbaDrawPoint(image, mx + c, my + k, grey);
    }
    imageRgbaDrawEllipse(image, mx, my, 7, 7, white, 0, 0, -1, -1);
}
