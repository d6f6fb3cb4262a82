// Where the radial model folds back. r * F(r) rises from 0 while its
// derivative D(r) = 1 + 3 k1 r^2 + 5 k2 r^4 + 7 k3 r^6 stays positive; at the
// first zero of D it peaks, and distorted radii at or beyond that peak value
// have no undistorted position. Found once per lens, in double precision.
#pragma once

namespace talvik {

struct RadialFold {
    // The undistorted radius where D first reaches 0 (rounded to float).
    float radius;
    // The largest float below the peak value of r * F(r): a float distorted
    // radius rd has an undistorted position exactly when rd <= max_rd (a NaN
    // rd is left to the solve). +infinity when the lens does not fold, so
    // every radius, +infinity included, passes.
    float max_rd;
};

// A lens whose D stays positive for every radius.
inline constexpr RadialFold kNoRadialFold = {__builtin_inff(), __builtin_inff()};

// The fold of the radial factor with these coefficients; kNoRadialFold when D
// has no positive zero or a coefficient is not finite (the solve's own NaN
// and infinity handling then applies unchanged).
RadialFold find_radial_fold(float k1, float k2, float k3);

}  // namespace talvik
