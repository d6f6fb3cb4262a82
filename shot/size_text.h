// Sizes as the command's options and the Python module's keywords take
// them: a format's "1920x1080", a film back's "36x24" mm. One parser each,
// so both front ends accept and refuse the same.
#pragma once

#include <string>
#include <utility>

#include "shot/undistorted_camera.h"

namespace talvik::shot {

// No image format is wider or taller.
constexpr int kMaxFrameSide = 65536;

// "1920x1080" -> {1920, 1080}, each side 1 to kMaxFrameSide. Throws
// UsageError naming `what` and the part that is wrong.
std::pair<int, int> parse_frame_size(const std::string& what, const std::string& text);

// A film back dimension, 0.1 to 1000 mm: no sensor is smaller or a metre
// wide, and a value far below would be 0 once Nuke's float knobs hold it,
// an aperture its projection divides by. Throws UsageError naming `what`.
double checked_millimetres(const std::string& what, double mm);
double parse_millimetres(const std::string& what, const std::string& text);

// "36x24" -> 36 mm wide, 24 mm high.
FilmBack parse_film_back(const std::string& what, const std::string& text);

}  // namespace talvik::shot
