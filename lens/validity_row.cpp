// Built with -ffp-contract=off like the rest of the lens math: the pixel
// positions asked about must be the rows' own, bit for bit.
#include "lens/validity_row.h"

namespace talvik {

void validity_row(const LensModel& lens, FrameSize size, int y, int x0, int count, const float* s,
                  const float* t, uint16_t* a) {
    const float v = (static_cast<float>(y) + 0.5f) / size.height;
    for (int i = 0; i < count; ++i) {
        bool valid = s[i] != 0.0f || t[i] != 0.0f;
        if (!valid) {
            const float2 p{(static_cast<float>(x0 + i) + 0.5f) / size.width, v};
            float2 q;
            valid = lens.mode == 0 ? lens.distort_to(p, q) : lens.undistort_to(p, q);
        }
        a[i] = valid ? kHalfOne : kHalfZero;
    }
}

}  // namespace talvik
