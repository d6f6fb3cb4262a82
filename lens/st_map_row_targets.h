// The row generators (and point mappers) this build carries, which of them
// the CPU runs, and which one st_map_row picked. Tests and benchmarks force
// each in turn.
#pragma once

#include <cstddef>
#include <vector>

#include "lens/lens_model.h"
#include "lens/st_map_row.h"

namespace talvik {

enum class RowTarget { Scalar, Sse2, Avx2, Avx512 };

using RowFunction = void (*)(const LensModel& lens, FrameSize size, int y, int x0, int x1,
                             float* s, float* t);

// Built in and supported by this CPU (Scalar always is).
bool row_target_runnable(RowTarget target);

// The runnable targets, slowest first.
std::vector<RowTarget> runnable_row_targets();

const char* row_target_name(RowTarget target);

// The widest runnable target: the one st_map_row uses. Allocates nothing
// and takes no lock.
RowTarget dispatched_row_target();

// The generator of a target; st_map_row_scalar for one that is not runnable.
RowFunction row_function(RowTarget target);

// st_map_row on the given target (the scalar one if it is not runnable).
void st_map_row_on(RowTarget target, const LensModel& lens, FrameSize size, int y, int x0,
                   int x1, float* s, float* t);

// map_points on the given target (map_points_scalar if it is not runnable).
void map_points_on(RowTarget target, const LensModel& lens, FrameSize size, const double* xy,
                   double* out, std::size_t count);

}  // namespace talvik
