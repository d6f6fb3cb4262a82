// Reads translation animation from FBX files (binary 7.x and ASCII 7.x).
//
// The reader is for the Axis3 stand-in node: it finds a Model by name,
// follows its "Lcl Translation" curve node to the X/Y/Z AnimationCurves and
// returns their keys exactly as stored, with no resampling, unit or axis
// conversion. Every problem in the file is an FbxError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/fbx/fbx_frame_rate.h"

namespace talvik::fbx {

// Message form: "<file>: <what is wrong>".
class FbxError : public std::runtime_error {
    using runtime_error::runtime_error;
};

// One AnimationCurve exactly as stored.
struct Curve {
    std::vector<int64_t> times;  // KeyTime, FBX ticks (kTicksPerSecond per second)
    std::vector<float> values;   // KeyValueFloat, same length as times
};

// The curves of a model's "Lcl Translation".
struct Translation {
    std::optional<Curve> component[3];  // X, Y, Z; nullopt where that channel has no curve
};

class Scene {
public:
    Scene() = default;
    // For the reader, and for tests that need a scene without a file.
    // `translations` holds the animated models only.
    Scene(FrameRate rate, std::vector<std::string> model_names,
          std::map<std::string, Translation> translations);

    double frames_per_second() const { return rate_.fps; }
    const FrameRate& frame_rate() const { return rate_; }
    // nullopt when the file has no Model of that name, or its translation is
    // not animated. With several Models of one name the first in the file counts.
    std::optional<Translation> translation(const std::string& model_name) const;
    // Every Model's name, in file order.
    std::vector<std::string> model_names() const { return names_; }
    // round(key_time * fps / kTicksPerSecond), halves away from zero,
    // saturated to the int range.
    int frame_of(int64_t key_time) const { return talvik::fbx::frame_of(rate_, key_time); }

private:
    FrameRate rate_ = default_frame_rate();
    std::vector<std::string> names_;
    std::map<std::string, Translation> translations_;
};

// Throws FbxError when the file cannot be read or is not a valid FBX file.
Scene read_scene(const std::string& path);
// `name` is used in messages only.
Scene parse_scene(const uint8_t* data, size_t size, const std::string& name);

}  // namespace talvik::fbx
