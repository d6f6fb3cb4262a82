#include "png/preview_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace talvik::png {
namespace {

// What one pixel's column (or line) says about it: its cell, whether it
// lies on a grid line, and how near the centre cross's arm it is.
struct AxisKey {
    int cell = 0;
    bool grid = false;
    bool on_bar = false;  // within the bar's half width of the frame's centre
    bool on_arm = false;  // within the arm's reach of it
};
constexpr int kAxisFlags = 8;  // grid, bar and arm

int code(const AxisKey& k, int cells) {
    return k.cell + cells * ((k.grid ? 1 : 0) + 2 * (k.on_bar ? 1 : 0) + 4 * (k.on_arm ? 1 : 0));
}

AxisKey decode(int key, int cells) {
    const int flags = key / cells;
    return {key % cells, (flags & 1) != 0, (flags & 2) != 0, (flags & 4) != 0};
}

// Whether pixel i lies on one of the `cells` + 1 lines splitting `size`
// pixels: each line is `line` whole pixels wide, centred on its boundary
// and pulled inside the frame at the edges, so every line is drawn and
// none gets thinner or vanishes with the cell size.
bool on_grid_line(int i, int size, int cells, int line) {
    const int nearest = static_cast<int>(std::lround((i + 0.5) * cells / size));
    const int boundary = static_cast<int>(std::lround(static_cast<double>(nearest) * size / cells));
    const int start = std::clamp(boundary - line / 2, 0, std::max(0, size - line));
    return i >= start && i < start + line;
}

AxisKey axis_key(int i, int size, int cells, int line, double arm) {
    const double centre = i + 0.5;
    const double from_middle = std::abs(centre - 0.5 * size);
    AxisKey k;
    k.cell = std::clamp(static_cast<int>(centre / (static_cast<double>(size) / cells)), 0, cells - 1);
    k.grid = on_grid_line(i, size, cells, line);
    k.on_bar = from_middle < line;
    k.on_arm = from_middle < arm;
    return k;
}

Rgb8 colour_of(const AxisKey& column, const AxisKey& line) {
    if ((column.on_bar && line.on_arm) || (line.on_bar && column.on_arm)) return kCentreColour;
    if (column.grid || line.grid) return kGridColour;
    const Rgb8 tint{static_cast<uint8_t>(90 + 150 * column.cell / (kPatternColumns - 1)),
                    static_cast<uint8_t>(90 + 150 * line.cell / (kPatternRows - 1)), 170};
    if ((column.cell + line.cell) % 2 == 0) return tint;
    return {static_cast<uint8_t>(tint.r * 3 / 5), static_cast<uint8_t>(tint.g * 3 / 5),
            static_cast<uint8_t>(tint.b * 3 / 5)};
}

uint32_t pack(Rgb8 c) { return c.r | static_cast<uint32_t>(c.g) << 8 | static_cast<uint32_t>(c.b) << 16; }

// A colour's channels in lanes: red, green, blue, one unused.
using Channels = int32_t __attribute__((vector_size(16)));
using FloatChannels = float __attribute__((vector_size(16)));

Channels channels_of(uint32_t c) {
    return Channels{static_cast<int32_t>(c & 255), static_cast<int32_t>(c >> 8 & 255),
                    static_cast<int32_t>(c >> 16 & 255), 0};
}

// a + (b - a) * f in single precision, rounded half away from zero, per
// channel: the blend a scalar lround gives, without the call.
Channels blend(Channels a, Channels b, float f) {
    const FloatChannels v =
        __builtin_convertvector(a, FloatChannels) + __builtin_convertvector(b - a, FloatChannels) * f;
    const Channels whole = __builtin_convertvector(v, Channels);  // truncated; v is never negative
    const FloatChannels fraction = v - __builtin_convertvector(whole, FloatChannels);
    return whole - (fraction >= 0.5f);  // a true comparison is -1
}

// Positions of four preview pixels, one per lane.
using Lanes = int32_t __attribute__((vector_size(16)));
using FloatLanes = float __attribute__((vector_size(16)));
using Doubles = double __attribute__((vector_size(32)));
constexpr int kLanes = 4;

// (0, 0) is what the host writes where it found no position; NaN fails
// every comparison. -1 in lanes with a source, 0 elsewhere.
Lanes has_source(FloatLanes s, FloatLanes t) {
    return (s >= 0.0f) & (s <= 1.0f) & (t >= 0.0f) & (t <= 1.0f) & ~((s == 0.0f) & (t == 0.0f));
}

// The pattern pixels right of (above) positions and their weights, lane by
// lane: floor(p + 0.5) and p + 0.5 past it for p = `scale` times `at`, in
// double as the positions are. p + 0.5 is never negative, so truncating
// it floors it.
void corners(FloatLanes at, double scale, int32_t* next, float* weight) {
    const Doubles q = __builtin_convertvector(at, Doubles) * scale + 0.5;
    const Lanes whole = __builtin_convertvector(q, Lanes);
    const FloatLanes past = __builtin_convertvector(q - __builtin_convertvector(whole, Doubles), FloatLanes);
    std::memcpy(next, &whole, sizeof whole);
    std::memcpy(weight, &past, sizeof past);
}

void put_rgb(uint32_t colour, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(colour);
    rgb[1] = static_cast<uint8_t>(colour >> 8);
    rgb[2] = static_cast<uint8_t>(colour >> 16);
}

void put_le32(uint32_t word, uint8_t* at) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    std::memcpy(at, &word, sizeof word);
}

// Four packed colours as 12 bytes of RGB, in three words.
void put_rgb4(const uint32_t* c, uint8_t* rgb) {
    put_le32(c[0] | c[1] << 24, rgb);
    put_le32(c[1] >> 8 | c[2] << 16, rgb + 4);
    put_le32(c[2] >> 16 | c[3] << 8, rgb + 8);
}

}  // namespace

void PreviewPattern::build(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
    // Two pixels wide at HD, never thinner than one.
    const int line = std::max(1, static_cast<int>(std::lround(std::min(width_, height_) / 540.0)));
    const double arm = 0.5 * std::min(static_cast<double>(width_) / kPatternColumns,
                                      static_cast<double>(height_) / kPatternRows);
    const int line_key_count = kPatternRows * kAxisFlags;
    column_keys_.resize(static_cast<size_t>(width_));
    for (int x = 0; x < width_; ++x)
        column_keys_[static_cast<size_t>(x)] =
            line_key_count * code(axis_key(x, width_, kPatternColumns, line, arm), kPatternColumns);
    line_keys_.resize(static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y)
        line_keys_[static_cast<size_t>(y)] = code(axis_key(y, height_, kPatternRows, line, arm), kPatternRows);
    // Pixel pairs around positions: pair i holds pixels i - 1 and i,
    // clamped to the frame.
    auto pairs = [](const std::vector<int>& keys, std::vector<KeyPair>& out) {
        const int size = static_cast<int>(keys.size());
        out.resize(keys.size() + 1);
        for (int i = 0; i <= size; ++i) {
            const int low = keys[static_cast<size_t>(std::max(i - 1, 0))];
            out[static_cast<size_t>(i)] = {low, keys[static_cast<size_t>(std::min(i, size - 1))] - low};
        }
    };
    pairs(column_keys_, column_pairs_);
    pairs(line_keys_, line_pairs_);
    // One more column key, after the pattern's, holds the no-source colour
    // on every line: the pair past the last is where positions without a
    // source look.
    const int column_key_count = kPatternColumns * kAxisFlags;
    colours_.assign(static_cast<size_t>((column_key_count + 1) * line_key_count), pack(kNoSourceColour));
    for (int c = 0; c < column_key_count; ++c)
        for (int l = 0; l < line_key_count; ++l)
            colours_[static_cast<size_t>(c * line_key_count + l)] =
                pack(colour_of(decode(c, kPatternColumns), decode(l, kPatternRows)));
    column_pairs_.push_back({column_key_count * line_key_count, 0});
}

Rgb8 PreviewPattern::pixel(int x, int y) const {
    const uint32_t c = packed(x, y);
    return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
}

void PreviewPattern::draw_nearest(const float* s, const float* t, const int* columns, int count, uint8_t* rgb) const {
    const double width = width_, height = height_;
    const uint32_t none = pack(kNoSourceColour);
    for (int i = 0; i < count; ++i) {
        const int column = columns ? columns[i] : i;
        const float ps = s[column], pt = t[column];
        const bool source = has_source(FloatLanes{} + ps, FloatLanes{} + pt)[0] != 0;  // in every lane
        const int x = std::min(static_cast<int>(static_cast<double>(source ? ps : 0.0f) * width), width_ - 1);
        const int y = std::min(static_cast<int>(static_cast<double>(source ? pt : 0.0f) * height), height_ - 1);
        put_rgb(source ? packed(x, y) : none, rgb + 3 * i);
    }
}

// In blocks of pixels: their positions four at a time, then each one's
// colour from the tables, then, where the four pattern pixels around a
// position differ, their blend.
void PreviewPattern::draw_bilinear(const float* s, const float* t, const int* columns, int count,
                                   uint8_t* rgb) const {
    constexpr int kBlock = 64;
    alignas(16) int32_t next_x[kBlock], next_y[kBlock];
    alignas(16) float weight_x[kBlock], weight_y[kBlock];
    alignas(16) uint32_t colour[kBlock];
    int blended[kBlock];
    const Lanes nowhere = Lanes{} + (width_ + 1);  // the no-source pair
    for (int first = 0; first < count; first += kBlock) {
        const int n = std::min(kBlock, count - first);
        for (int i = 0; i < n; i += kLanes) {
            FloatLanes ps, pt;
            if (!columns && first + i + kLanes <= count) {
                std::memcpy(&ps, s + first + i, sizeof ps);
                std::memcpy(&pt, t + first + i, sizeof pt);
            } else {
                // Lanes past the end repeat the last pixel: made, never shown.
                auto at = [&](int lane) {
                    const int k = std::min(first + i + lane, count - 1);
                    return columns ? columns[k] : k;
                };
                const int c0 = at(0), c1 = at(1), c2 = at(2), c3 = at(3);
                ps = FloatLanes{s[c0], s[c1], s[c2], s[c3]};
                pt = FloatLanes{t[c0], t[c1], t[c2], t[c3]};
            }
            const Lanes source = has_source(ps, pt);
            // (Casts between vectors keep the bits.)
            corners(FloatLanes(Lanes(ps) & source), width_, next_x + i, weight_x + i);
            corners(FloatLanes(Lanes(pt) & source), height_, next_y + i, weight_y + i);
            Lanes x;
            std::memcpy(&x, next_x + i, sizeof x);
            x = (x & source) | (nowhere & ~source);
            std::memcpy(next_x + i, &x, sizeof x);
        }
        int blends = 0;
        for (int i = 0; i < n; ++i) {
            const KeyPair x = column_pairs_[static_cast<size_t>(next_x[i])];
            const KeyPair y = line_pairs_[static_cast<size_t>(next_y[i])];
            colour[i] = this->colour(x.low + y.low);
            // Inside a cell the four pixels around share their keys, and so
            // their colour, which every blend returns.
            blended[blends] = i;
            blends += (x.step | y.step) != 0;
        }
        for (int b = 0; b < blends; ++b) {
            const int i = blended[b];
            const KeyPair x = column_pairs_[static_cast<size_t>(next_x[i])];
            const KeyPair y = line_pairs_[static_cast<size_t>(next_y[i])];
            const int right = x.low + x.step, above = y.low + y.step;
            const Channels bottom = blend(channels_of(this->colour(x.low + y.low)),
                                          channels_of(this->colour(right + y.low)), weight_x[i]);
            const Channels top = blend(channels_of(this->colour(x.low + above)),
                                       channels_of(this->colour(right + above)), weight_x[i]);
            const Channels mixed = blend(bottom, top, weight_y[i]);
            colour[i] = static_cast<uint32_t>(mixed[0]) | static_cast<uint32_t>(mixed[1]) << 8 |
                        static_cast<uint32_t>(mixed[2]) << 16;
        }
        uint8_t* out = rgb + 3 * first;
        int i = 0;
        for (; i + kLanes <= n; i += kLanes) put_rgb4(colour + i, out + 3 * i);
        for (; i < n; ++i) put_rgb(colour[i], out + 3 * i);
    }
}

void PreviewPattern::draw(const float* s, const float* t, const int* columns, int count, PreviewSampling sampling,
                          uint8_t* rgb) const {
    if (sampling == PreviewSampling::Nearest)
        draw_nearest(s, t, columns, count, rgb);
    else
        draw_bilinear(s, t, columns, count, rgb);
}

}  // namespace talvik::png
