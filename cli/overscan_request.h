// --overscan: how far the input's bounding box reaches beyond the format,
// as an AdjustBBox upstream of the node would grow it in Nuke.
#pragma once

#include <string>

namespace talvik::cli {

// Whole pixels beyond the format on each side; bottom is below host row 0.
struct Margins {
    int left = 0;
    int right = 0;
    int bottom = 0;
    int top = 0;
    bool operator==(const Margins& o) const {
        return left == o.left && right == o.right && bottom == o.bottom && top == o.top;
    }
    bool operator!=(const Margins& o) const { return !(*this == o); }
};

// "N" (every side), "XxY" (left and right, bottom and top), "P%" (the box
// P % wider and taller than the format, half on each side, rounded up) or
// "auto" (margins measured from the lens).
struct OverscanRequest {
    enum class Kind { Pixels, Percent, Auto };
    std::string text;  // as given, for messages
    Kind kind = Kind::Pixels;
    int x = 0;  // Pixels: left and right
    int y = 0;  // Pixels: bottom and top
    // Percent: percent_numerator / percent_denominator exactly, so that
    // 10% of 1920 is 96 a side and not 97 through rounding.
    long long percent_numerator = 0;
    long long percent_denominator = 1;
};

// Throws std::invalid_argument naming the text and the forms there are.
OverscanRequest parse_overscan_request(const std::string& text);

// The margins of a Pixels or Percent request around a width x height format.
Margins fixed_margins(const OverscanRequest& request, int width, int height);

}  // namespace talvik::cli
