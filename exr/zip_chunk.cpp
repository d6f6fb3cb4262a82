#include "exr/zip_chunk.h"

#include <cstring>

namespace talvik::exr {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "EXR floats are little-endian: chunks copy the planes' bytes as they are");

// Writes the even bytes (b0, b2) of each float to `even` and the odd ones
// (b1, b3) to `odd`, already delta-coded. `prev_even` / `prev_odd` carry the
// byte before each stream's position across calls.
inline void split_and_predict(const float* values, int count, uint8_t*& even, uint8_t*& odd,
                              uint8_t& prev_even, uint8_t& prev_odd) {
    uint8_t pe = prev_even, po = prev_odd;
    uint8_t* e = even;
    uint8_t* o = odd;
    for (int i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, values + i, sizeof bits);
        const uint8_t b0 = static_cast<uint8_t>(bits), b1 = static_cast<uint8_t>(bits >> 8);
        const uint8_t b2 = static_cast<uint8_t>(bits >> 16), b3 = static_cast<uint8_t>(bits >> 24);
        e[0] = static_cast<uint8_t>(b0 - pe + 128);
        e[1] = static_cast<uint8_t>(b2 - b0 + 128);
        o[0] = static_cast<uint8_t>(b1 - po + 128);
        o[1] = static_cast<uint8_t>(b3 - b1 + 128);
        pe = b2;
        po = b3;
        e += 2;
        o += 2;
    }
    even = e;
    odd = o;
    prev_even = pe;
    prev_odd = po;
}

}  // namespace

void raw_chunk(const cli::StMapView& map, int first_line, int lines, uint8_t* out) {
    const size_t plane_row = static_cast<size_t>(map.width) * sizeof(float);
    for (int line = first_line; line < first_line + lines; ++line) {
        const size_t row = map.index(0, host_row_of_line(map, line));
        std::memcpy(out, map.t + row, plane_row);
        std::memcpy(out + plane_row, map.s + row, plane_row);
        out += 2 * plane_row;
    }
}

void predicted_zip_chunk(const cli::StMapView& map, int first_line, int lines, uint8_t* out) {
    uint8_t* even = out;
    uint8_t* odd = out + chunk_bytes(map, lines) / 2;
    // The first byte is kept as it is (delta from 128 - 128); the odd half
    // continues from the last even byte, b2 of the chunk's last value.
    uint8_t prev_even = 128;
    uint32_t last;
    std::memcpy(&last, map.s + map.index(map.width - 1, host_row_of_line(map, first_line + lines - 1)),
                sizeof last);
    uint8_t prev_odd = static_cast<uint8_t>(last >> 16);
    for (int line = first_line; line < first_line + lines; ++line) {
        const size_t row = map.index(0, host_row_of_line(map, line));
        split_and_predict(map.t + row, map.width, even, odd, prev_even, prev_odd);
        split_and_predict(map.s + row, map.width, even, odd, prev_even, prev_odd);
    }
}

}  // namespace talvik::exr
