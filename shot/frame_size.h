// A format's size as text, "1920x1080": how the command's --size and the
// Python module's size= take it.
#pragma once

#include <string>
#include <utility>

namespace talvik::shot {

// No image format is wider or taller.
constexpr int kMaxFrameSide = 65536;

// "1920x1080" -> {1920, 1080}, each side 1 to kMaxFrameSide. Throws
// UsageError naming `what` and the part that is wrong.
std::pair<int, int> parse_frame_size(const std::string& what, const std::string& text);

}  // namespace talvik::shot
