// PNG's line filters for 8-bit RGB: each line is stored as its filter type
// byte followed by the differences from a prediction, which turns the
// preview's flat cells into runs of zeros that deflate quickly and well.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talvik::png {

constexpr uint8_t kPngFilterSub = 1;
constexpr uint8_t kPngFilterPaeth = 4;

// `size` bytes of `line` predicted from the pixel to their left: type byte
// and differences, 1 + size bytes into `out`. Needs no other line.
void filter_sub(const uint8_t* line, size_t size, uint8_t* out);

// The same predicted by Paeth's choice among the left, upper and
// upper-left pixels, `above` being the line above.
void filter_paeth(const uint8_t* line, const uint8_t* above, size_t size, uint8_t* out);

}  // namespace talvik::png
