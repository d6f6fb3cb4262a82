// The version of the maps this lens model makes, raised whenever a change to
// the lens math changes the values of a map, so that maps of an older model
// can be told from current ones. The plug-in reports the version it was
// built with, and the command marks every map with the loaded plug-in's.
//   1: the model when maps first carried the number.
//   2: distorted radii at or beyond the peak of r*F(r) give (0, 0) in
//      Undistort.
//   3: below the peak, a Newton solve that meets the fold, cycles or settles
//      off the rising branch is solved again on that branch.
#pragma once

namespace talvik {

inline constexpr int kLensModelVersion = 3;

}  // namespace talvik
