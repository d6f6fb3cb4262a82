#include "png/png_line_filter.h"

#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talvik::png {
namespace {

constexpr size_t kPixel = 3;

// The predictor as the PNG standard states it, ties to left, then above.
int paeth(int left, int above, int above_left) {
    const int pa = std::abs(above - above_left), pb = std::abs(left - above_left),
              pc = std::abs(left + above - 2 * above_left);
    if (pa <= pb && pa <= pc) return left;
    return pb <= pc ? above : above_left;
}

#if defined(__SSE2__)
__m128i magnitude(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

__m128i choose(__m128i mask, __m128i if_set, __m128i if_clear) {
    return _mm_or_si128(_mm_and_si128(mask, if_set), _mm_andnot_si128(mask, if_clear));
}

// The predictor on eight 16-bit lanes, where the sums cannot wrap.
__m128i paeth(__m128i a, __m128i b, __m128i c) {
    const __m128i from_a = _mm_sub_epi16(a, c), from_b = _mm_sub_epi16(b, c);
    const __m128i pa = magnitude(from_b), pb = magnitude(from_a), pc = magnitude(_mm_add_epi16(from_a, from_b));
    const __m128i not_a = _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc));
    return choose(not_a, choose(_mm_cmpgt_epi16(pb, pc), c, b), a);
}

__m128i load(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
#endif

}  // namespace

void filter_sub(const uint8_t* line, size_t size, uint8_t* out) {
    out[0] = kPngFilterSub;
    ++out;
    for (size_t i = 0; i < size && i < kPixel; ++i) out[i] = line[i];
    for (size_t i = kPixel; i < size; ++i) out[i] = static_cast<uint8_t>(line[i] - line[i - kPixel]);
}

void filter_paeth(const uint8_t* line, const uint8_t* above, size_t size, uint8_t* out) {
    out[0] = kPngFilterPaeth;
    ++out;
    // The first pixel has nothing to its left: predicted from above.
    size_t i = 0;
    for (; i < size && i < kPixel; ++i) out[i] = static_cast<uint8_t>(line[i] - above[i]);
#if defined(__SSE2__)
    // Sixteen bytes at a time, predicted in two halves.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i a = load(line + i - kPixel), b = load(above + i), c = load(above + i - kPixel);
        const __m128i low = paeth(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
        const __m128i high = paeth(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
        const __m128i difference = _mm_sub_epi8(load(line + i), _mm_packus_epi16(low, high));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), difference);
    }
#endif
    for (; i < size; ++i)
        out[i] = static_cast<uint8_t>(line[i] - paeth(line[i - kPixel], above[i], above[i - kPixel]));
}

}  // namespace talvik::png
