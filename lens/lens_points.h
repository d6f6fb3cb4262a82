// Positions in pixels mapped as the ST map of the lens's mode maps them, at
// any position rather than only at pixel centres: tracks, corners, samples.
#pragma once

#include <cstddef>

#include "lens/lens_model.h"
#include "lens/st_map_row.h"

namespace talvik {

// `count` points (x, y), interleaved in `xy`, in pixels of a `size` frame:
// x across, y along the host's row numbering (in Nuke from the bottom line
// up), the centre of pixel (i, j) at (i + 0.5, j + 0.5). Writes each mapped
// point to `out` (which may be `xy`) in the same units: _distort when
// `lens.mode` is 0, _undistort_v2 otherwise, on the normalized lens. A point
// with no position (where the map holds (0, 0) for want of one) comes out
// as NaN, NaN. At a pixel centre the result is the map's value there times
// the frame size, bit for bit: coordinates are rounded to float first, as
// the rows form them. Allocates nothing; safe from many threads at once.
// This is the scalar definition; map_points runs the fastest target this
// CPU has (see st_map_row_targets.h), which gives the same values (NaN for
// NaN).
void map_points_scalar(const LensModel& lens, FrameSize size, const double* xy, double* out,
                       std::size_t count);
void map_points(const LensModel& lens, FrameSize size, const double* xy, double* out, std::size_t count);

}  // namespace talvik
