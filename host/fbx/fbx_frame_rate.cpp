#include "host/fbx/fbx_frame_rate.h"

#include <climits>
#include <cmath>

namespace talvik::fbx {

namespace {

FrameRate exact(int64_t num, int64_t den) {
    return FrameRate{static_cast<double>(num) / static_cast<double>(den), num, den};
}

int saturate(long double v) {
    if (v >= static_cast<long double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<long double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

}  // namespace

FrameRate default_frame_rate() { return exact(24, 1); }

std::optional<FrameRate> standard_frame_rate(int64_t time_mode) {
    switch (time_mode) {
    case 0: return default_frame_rate();  // "default mode": the application's choice
    case 1: return exact(120, 1);
    case 2: return exact(100, 1);
    case 3: return exact(60, 1);
    case 4: return exact(50, 1);
    case 5: return exact(48, 1);
    case 6: return exact(30, 1);
    case 7: return exact(30, 1);          // drop-frame labelling, 30 frames a second
    case 8: return exact(30000, 1001);    // NTSC drop frame
    case 9: return exact(30000, 1001);    // NTSC full frame
    case 10: return exact(25, 1);
    case 11: return exact(24, 1);
    case 12: return exact(1000, 1);
    case 13: return exact(24000, 1001);
    case 15: return exact(96, 1);
    case 16: return exact(72, 1);
    case 17: return exact(60000, 1001);
    case 18: return exact(120000, 1001);
    default: return std::nullopt;
    }
}

std::optional<FrameRate> custom_frame_rate(double fps) {
    if (!std::isfinite(fps) || fps <= 0.0) return std::nullopt;
    return FrameRate{fps, 0, 0};
}

int frame_of(const FrameRate& rate, int64_t key_time) {
    if (rate.denominator > 0 && rate.numerator > 0) {
        // Exact: key_time * num / (den * ticks), rounded half away from zero.
        using Wide = __int128;
        const Wide a = static_cast<Wide>(key_time) * rate.numerator;
        const Wide b = static_cast<Wide>(rate.denominator) * kTicksPerSecond;
        const Wide mag = ((a < 0 ? -a : a) * 2 + b) / (b * 2);
        const Wide q = a < 0 ? -mag : mag;
        if (q > INT_MAX) return INT_MAX;
        if (q < INT_MIN) return INT_MIN;
        return static_cast<int>(q);
    }
    const long double v = static_cast<long double>(key_time) * rate.fps /
                          static_cast<long double>(kTicksPerSecond);
    return saturate(std::round(v));
}

}  // namespace talvik::fbx
