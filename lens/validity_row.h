// One row of an ST map's validity: whether each pixel holds a position or
// the (0, 0) the lens gives where it has none (past the fold of a strong
// barrel lens, say). Stored as half floats, 1 or 0, beside the map.
#pragma once

#include <cstdint>

#include "lens/lens_model.h"
#include "lens/st_map_row.h"

namespace talvik {

// The bits of half-float 1.0 and 0.0.
inline constexpr uint16_t kHalfOne = 0x3C00;
inline constexpr uint16_t kHalfZero = 0x0000;

// a[i] for the `count` pixels x0 .. x0 + count - 1 of row y, whose map
// values are s[i], t[i]: 1 where the map holds a position, 0 where the lens
// has none. Only a pixel holding exactly (0, 0) asks the lens, so a position
// that is (0, 0) itself keeps its 1. Allocates nothing.
void validity_row(const LensModel& lens, FrameSize size, int y, int x0, int count, const float* s,
                  const float* t, uint16_t* a);

}  // namespace talvik
