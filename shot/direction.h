// Which way positions go through the lens: remove takes plate positions to
// undistorted ones, add the other way. The node's Mode names the same two
// ways from its maps' side, and a point pushed through a Mode's lens goes
// against that Mode's map, so the words map to directions by what they
// are applied to.
#pragma once

#include <string>

namespace talvik::shot {

enum class Direction { Remove, Add };

// The words a caller accepts for a direction.
enum class DirectionWords {
    Directions,  // remove, add
    MapModes,    // the Mode of a map: distort (its map removes), undistort (its map adds)
    PointModes,  // the Mode of a point's lens: distort (adds), undistort (removes)
};

// Throws std::invalid_argument "takes remove or add, not \"WORD\"" (the
// accepted words), for the caller to put the option's name before.
Direction parse_direction(const std::string& word, DirectionWords accepted);

// The node's Mode (0 Distort, 1 Undistort) whose map goes that way: the
// Distort map holds, at each undistorted pixel, its plate position, so
// reading a plate through it removes the distortion.
int map_mode(Direction direction);

// The node's Mode whose lens takes points that way: Undistort's lens takes
// a plate position to its undistorted one.
int point_mode(Direction direction);

}  // namespace talvik::shot
