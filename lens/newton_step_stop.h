// How the Newton solve of solve_undistorted_radius stops: its budget, and
// float forms of its step test fabs((double)step) < 1e-5. Vector rows use
// these instead of widening every step to double; tests/simd walks the
// floats to prove they decide exactly as the double comparison does.
#pragma once

namespace talvik {

// Passes of the solve, scalar and vector alike: at most this many updates.
inline constexpr int kNewtonBudget = 50;

// The largest float below 1e-5 (1e-5f rounds down): for every float step,
// fabs(step) <= kNewtonStopStepMax exactly when fabs((double)step) < 1e-5.
inline constexpr float kNewtonStopStepMax = 0x1.4f8b58p-17f;

// A shortcut that settles the stop without dividing: with D > 0, when
// fabs(g) * kNewtonStopShortcutScale < D (float product) then g / D rounds to
// a step that stops. The scale is at least 1 / M, M being the midpoint
// between kNewtonStopStepMax and the next float up (every real below M
// rounds to a stopping step); rounding is monotone, so the float product
// being below the float D implies the exact product is, hence |g| / D < M.
// When the shortcut does not hold the caller divides and tests the step.
inline constexpr float kNewtonStopShortcutScale = 100000.0f;

}  // namespace talvik
