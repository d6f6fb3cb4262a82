// Run-time choice of the row generator. Vector targets exist only in x86
// builds (CMake defines TALVIK_ROW_SIMD_X86 when it compiles them).
#include "lens/st_map_row_targets.h"

#include <iterator>

#include "lens/lens_points.h"
#include "lens/st_map_row_isa.h"

namespace talvik {

namespace {

constexpr RowTarget kAllTargets[] = {RowTarget::Scalar, RowTarget::Sse2, RowTarget::Avx2,
                                     RowTarget::Avx512};

bool cpu_runs(RowTarget target) {
#if defined(TALVIK_ROW_SIMD_X86)
    __builtin_cpu_init();
    switch (target) {
        case RowTarget::Scalar:
            return true;
        case RowTarget::Sse2:
            return __builtin_cpu_supports("sse2");
        case RowTarget::Avx2:
            return __builtin_cpu_supports("avx2");
        case RowTarget::Avx512:
            return __builtin_cpu_supports("avx512f");
    }
    return false;
#else
    return target == RowTarget::Scalar;
#endif
}

}  // namespace

// Asked each time, without a static: st_map_row's choice runs while the
// library loads and must neither lock nor allocate. The answer is a read of
// the CPU description the runtime filled in at start-up.
bool row_target_runnable(RowTarget target) {
    for (RowTarget known : kAllTargets) {
        if (known == target) return cpu_runs(target);
    }
    return false;
}

std::vector<RowTarget> runnable_row_targets() {
    std::vector<RowTarget> targets;
    for (RowTarget target : kAllTargets) {
        if (row_target_runnable(target)) targets.push_back(target);
    }
    return targets;
}

const char* row_target_name(RowTarget target) {
    switch (target) {
        case RowTarget::Scalar:
            return "Scalar";
        case RowTarget::Sse2:
            return "SSE2";
        case RowTarget::Avx2:
            return "AVX2";
        case RowTarget::Avx512:
            return "AVX-512";
    }
    return "unknown";
}

RowTarget dispatched_row_target() {
    for (auto it = std::rbegin(kAllTargets); it != std::rend(kAllTargets); ++it) {
        if (row_target_runnable(*it)) return *it;
    }
    return RowTarget::Scalar;
}

RowFunction row_function(RowTarget target) {
    if (!row_target_runnable(target)) return st_map_row_scalar;
#if defined(TALVIK_ROW_SIMD_X86)
    switch (target) {
        case RowTarget::Sse2:
            return isa::st_map_row_sse2;
        case RowTarget::Avx2:
            return isa::st_map_row_avx2;
        case RowTarget::Avx512:
            return isa::st_map_row_avx512;
        case RowTarget::Scalar:
            break;
    }
#endif
    return st_map_row_scalar;
}

void st_map_row_on(RowTarget target, const LensModel& lens, FrameSize size, int y, int x0,
                   int x1, float* s, float* t) {
    row_function(target)(lens, size, y, x0, x1, s, t);
}

void map_points_on(RowTarget target, const LensModel& lens, FrameSize size, const double* xy,
                   double* out, std::size_t count) {
    if (row_target_runnable(target)) {
#if defined(TALVIK_ROW_SIMD_X86)
        switch (target) {
            case RowTarget::Sse2:
                return isa::map_points_sse2(lens, size, xy, out, count);
            case RowTarget::Avx2:
                return isa::map_points_avx2(lens, size, xy, out, count);
            case RowTarget::Avx512:
                return isa::map_points_avx512(lens, size, xy, out, count);
            case RowTarget::Scalar:
                break;
        }
#endif
    }
    map_points_scalar(lens, size, xy, out, count);
}

}  // namespace talvik
