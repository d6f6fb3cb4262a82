// One row of an ST map (red = s, green = t) from the normalized lens members.
#pragma once

#include "lens/lens_model.h"

namespace talvik {

// Frame size in pixels, as floats. The host's 0 means "unknown" and is
// replaced by the default; every other value, negative ones too, is kept.
struct FrameSize {
    float width = 4320.0f;
    float height = 2160.0f;
};

FrameSize frame_size_from(int width, int height);

// Writes s[x] and t[x] for x0 <= x < x1 of row y, nothing else. Reads only
// the lens members: safe to call from many threads at once, allocates nothing.
// This is the scalar definition every faster row generator must match bit
// for bit.
void st_map_row_scalar(const LensModel& lens, FrameSize size, int y, int x0, int x1,
                       float* s, float* t);

}  // namespace talvik

namespace talvik {

// The row generator renders use: the fastest implementation this CPU runs,
// bit-identical to st_map_row_scalar.
void st_map_row(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                float* t);

}  // namespace talvik
