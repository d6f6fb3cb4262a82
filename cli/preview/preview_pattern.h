// The picture a preview pushes through an ST map: a tinted 16x9 checkerboard
// with thin grid lines and a centre cross, computed per pixel rather than
// read from a texture. Tints grow redder to the right and greener upwards,
// so flips and rotations show as clearly as bending.
#pragma once

#include <cstdint>

namespace talvik::cli {

struct Rgb8 {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb8& o) const { return !(*this == o); }
};

// Shown where the map points nowhere: s,t exactly (0,0) (what the host
// writes for positions it could not solve) or outside [0,1]. Dark and with
// less blue than any pattern colour, so it cannot be mistaken for one.
constexpr Rgb8 kNoSourceColour{36, 0, 44};

constexpr Rgb8 kGridColour{250, 250, 250};

// The format's edge in previews of maps whose box reaches beyond it: drawn
// just outside the format. No blue, unlike every pattern colour.
constexpr Rgb8 kFormatEdgeColour{255, 200, 0};

constexpr int kPatternColumns = 16;
constexpr int kPatternRows = 9;

// Pattern pixel (x, y) of a width x height frame, y counted from the bottom.
Rgb8 pattern_pixel(int x, int y, int width, int height);

enum class PreviewSampling { Nearest, Bilinear };

// The pattern seen at map position (s, t) in a width x height frame.
Rgb8 pattern_at(float s, float t, int width, int height, PreviewSampling sampling);

}  // namespace talvik::cli
