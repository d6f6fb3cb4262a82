// Small ASCII FBX takes written on the fly: models with chosen translation
// channels keyed on chosen frames, at 24 frames per second.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace talvik::test {

struct ChannelKeys {
    std::vector<int> frames;
    std::vector<float> values;
};

struct TakeModel {
    std::string name;
    std::map<int, ChannelKeys> channels;  // 0 X, 1 Y, 2 Z; absent = no curve
};

std::string ascii_take(const std::vector<TakeModel>& models);

// A full lens take of camera n: every lens value keyed on frames [first, last],
// value = base + step * (frame - first).
std::vector<TakeModel> lens_take(int camera, int first, int last, float base = 1.0f,
                                 float step = 0.5f);

// Writes text to a new file in a per-test temporary folder; returns its path.
std::string write_temp_file(const std::string& name, const std::string& text);

}  // namespace talvik::test
