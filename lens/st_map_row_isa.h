// Row generators and point mappers (map_points) compiled for one
// instruction set each. Call one only on a
// CPU that has its instruction set: st_map_row_targets.h checks that.
#pragma once

#include "lens/lens_model.h"
#include "lens/st_map_row.h"

namespace talvik::isa {

void st_map_row_sse2(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                     float* t);
void st_map_row_avx2(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                     float* t);
void st_map_row_avx512(const LensModel& lens, FrameSize size, int y, int x0, int x1, float* s,
                       float* t);

void map_points_sse2(const LensModel& lens, FrameSize size, const double* xy, double* out,
                     unsigned long count);
void map_points_avx2(const LensModel& lens, FrameSize size, const double* xy, double* out,
                     unsigned long count);
void map_points_avx512(const LensModel& lens, FrameSize size, const double* xy, double* out,
                       unsigned long count);

}  // namespace talvik::isa
