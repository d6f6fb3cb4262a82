// The picture a preview pushes through an ST map: a tinted 16x9 checkerboard
// with thin grid lines and a centre cross. Tints grow redder to the right
// and greener upwards, so flips and rotations show as clearly as bending.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvik::png {

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

constexpr Rgb8 kCentreColour{255, 40, 40};

// The format's edge in previews of maps whose box reaches beyond it: drawn
// just outside the format. No blue, unlike every pattern colour.
constexpr Rgb8 kFormatEdgeColour{255, 200, 0};

constexpr int kPatternColumns = 16;
constexpr int kPatternRows = 9;

enum class PreviewSampling { Nearest, Bilinear };

// The pattern of one frame size as tables: every pixel's colour is one
// entry of a small table, found from a key of its column and a key of its
// line, so drawing costs no maths library call and no test per pixel.
class PreviewPattern {
public:
    // Tables for a width x height frame (allocates: between frames only).
    void build(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // Pattern pixel (x, y), y counted from the bottom.
    Rgb8 pixel(int x, int y) const;

    // Preview pixel i (i < count) shows the pattern seen at map position
    // (s[columns[i]], t[columns[i]]), or (s[i], t[i]) with no `columns`:
    // 3 bytes each into `rgb`.
    void draw(const float* s, const float* t, const int* columns, int count, PreviewSampling sampling,
              uint8_t* rgb) const;

private:
    int column_key(int x) const { return column_keys_[static_cast<size_t>(x)]; }
    int line_key(int y) const { return line_keys_[static_cast<size_t>(y)]; }
    // A colour packed as 0x00BBGGRR.
    uint32_t colour(int key) const { return colours_[static_cast<size_t>(key)]; }
    uint32_t packed(int x, int y) const { return colour(column_key(x) + line_key(y)); }
    void draw_nearest(const float* s, const float* t, const int* columns, int count, uint8_t* rgb) const;
    void draw_bilinear(const float* s, const float* t, const int* columns, int count, uint8_t* rgb) const;

    int width_ = 0, height_ = 0;
    std::vector<int> column_keys_;  // per column, already scaled by the number of line keys
    std::vector<int> line_keys_;
    // The keys of pixels i - 1 and i (edges clamped), for i = 0 to the
    // size; one more column pair gives the no-source colour.
    struct KeyPair {
        int32_t low, step;  // the first key, and what the second adds
    };
    std::vector<KeyPair> column_pairs_, line_pairs_;
    std::vector<uint32_t> colours_;  // by column key + line key
};

}  // namespace talvik::png
