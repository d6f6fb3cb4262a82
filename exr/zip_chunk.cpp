#include "exr/zip_chunk.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    int i = 0;
#ifdef __SSE2__
    // Eight values at a time: the low and high byte of each 16-bit half,
    // packed, then each byte minus the one before it.
    const __m128i low_bytes = _mm_set1_epi16(0x00ff);
    const __m128i bias = _mm_set1_epi8(static_cast<char>(128));
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i + 4));
        const __m128i evens = _mm_packus_epi16(_mm_and_si128(a, low_bytes), _mm_and_si128(b, low_bytes));
        const __m128i odds = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        const __m128i evens_before = _mm_or_si128(_mm_slli_si128(evens, 1), _mm_cvtsi32_si128(pe));
        const __m128i odds_before = _mm_or_si128(_mm_slli_si128(odds, 1), _mm_cvtsi32_si128(po));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(e), _mm_add_epi8(_mm_sub_epi8(evens, evens_before), bias));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_add_epi8(_mm_sub_epi8(odds, odds_before), bias));
        pe = static_cast<uint8_t>(_mm_extract_epi16(evens, 7) >> 8);
        po = static_cast<uint8_t>(_mm_extract_epi16(odds, 7) >> 8);
        e += 16;
        o += 16;
    }
#endif
    for (; i < count; ++i) {
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

// The same for half values, two bytes each: the low byte to `even`, the
// high byte to `odd`.
inline void split_and_predict(const uint16_t* values, int count, uint8_t*& even, uint8_t*& odd,
                              uint8_t& prev_even, uint8_t& prev_odd) {
    uint8_t pe = prev_even, po = prev_odd;
    for (int i = 0; i < count; ++i) {
        const uint8_t low = static_cast<uint8_t>(values[i]), high = static_cast<uint8_t>(values[i] >> 8);
        even[i] = static_cast<uint8_t>(low - pe + 128);
        odd[i] = static_cast<uint8_t>(high - po + 128);
        pe = low;
        po = high;
    }
    even += count;
    odd += count;
    prev_even = pe;
    prev_odd = po;
}

}  // namespace

void raw_chunk(const io::StMapView& map, int first_line, int lines, uint8_t* out) {
    const size_t plane_row = static_cast<size_t>(map.width) * sizeof(float);
    for (int line = first_line; line < first_line + lines; ++line) {
        const size_t row = map.index(0, host_row_of_line(map, line));
        if (map.a) {
            const size_t alpha_row = static_cast<size_t>(map.width) * sizeof(uint16_t);
            std::memcpy(out, map.a + row, alpha_row);
            out += alpha_row;
        }
        std::memcpy(out, map.t + row, plane_row);
        std::memcpy(out + plane_row, map.s + row, plane_row);
        out += 2 * plane_row;
    }
}

void predicted_zip_chunk(const io::StMapView& map, int first_line, int lines, uint8_t* out) {
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
        if (map.a) split_and_predict(map.a + row, map.width, even, odd, prev_even, prev_odd);
        split_and_predict(map.t + row, map.width, even, odd, prev_even, prev_odd);
        split_and_predict(map.s + row, map.width, even, odd, prev_even, prev_odd);
    }
}

}  // namespace talvik::exr
