// FBX time modes and the key-time to frame conversion.
#pragma once

#include <cstdint>
#include <optional>

namespace talvik::fbx {

// FBX time unit: KeyTime values count these per second.
constexpr int64_t kTicksPerSecond = 46186158000;

struct FrameRate {
    double fps = 24.0;
    // Exact rate numerator / denominator for the standard modes; 0 / 0 for a
    // custom rate, which is only known as the double the file stores.
    int64_t numerator = 24;
    int64_t denominator = 1;
};

// Used when a file has no GlobalSettings TimeMode (or mode 0, "application
// default"): 24 fps, the film rate our pipeline and Nuke default to.
FrameRate default_frame_rate();

// The rate of a standard FBX TimeMode; nullopt for custom (14) and unknown modes.
std::optional<FrameRate> standard_frame_rate(int64_t time_mode);

// A custom rate (TimeMode 14 + CustomFrameRate); nullopt unless finite and > 0.
std::optional<FrameRate> custom_frame_rate(double fps);

int frame_of(const FrameRate& rate, int64_t key_time);

}  // namespace talvik::fbx
