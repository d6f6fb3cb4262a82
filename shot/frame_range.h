// Frame ranges as artists type them in Nuke: "1001-1100", "1001-1100x2",
// "1,5,10-20", "1 3 4 8", "1-4x1 8-10x1", "-5--1". Items are separated by
// commas, blanks, or both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvik::shot {

// Largest number of frames one range may expand to; guards against a typo
// such as "1-1000000000" allocating gigabytes before anything is rendered.
constexpr long long kMaxFramesInRange = 1'000'000;

// Frames in the order given. A frame listed again later is dropped: each
// output file is rendered once, where it first appears.
// Throws UsageError quoting the text and saying what is wrong.
std::vector<int> parse_frame_range(std::string_view text);

// Compact form for messages, e.g. {1,2,3,7,9,11} -> "1-3,7-11x2".
// parse_frame_range(format_frames(f)) == f for any list without repeats.
std::string format_frames(const std::vector<int>& frames);

}  // namespace talvik::shot
