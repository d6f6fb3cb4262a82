#include "shot/control_values.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "DDImage/Knobs.h"
#include "shot/usage_error.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"
#include "shot/version_info.h"

namespace talvik::shot {

using DD::Image::Knob;

namespace {

bool holds_value(const Knob& k) {
    return !k.name().empty() && k.type() != PYSCRIPT_KNOB && k.type() != TEXT_KNOB &&
           k.store_type() != DD::Image::Custom;
}

const char* const* entries_of(const Knob& k) {
    return k.type() == ENUMERATION_KNOB ? static_cast<const char* const*>(k.extra()) : nullptr;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

double parse_number(const std::string& name, const std::string& text) {
    // A leading '+' is how some tools write positive numbers; from_chars
    // takes only '-'.
    const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+';
    const char* begin = text.data() + (plus ? 1 : 0);
    const char* end = text.data() + text.size();
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc::result_out_of_range) {
        throw UsageError("--set " + name + ": \"" + text + "\" is beyond the range of a number");
    }
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) {
        throw UsageError("--set " + name + ": \"" + text + "\" is not a number" +
                                    (std::isnan(value) || std::isinf(value) ? " (only finite values)" : ""));
    }
    return value;
}

}  // namespace

std::vector<ControlValue> control_values(const Node& node, double frame) {
    std::vector<ControlValue> out;
    for (const auto& owned : node.knobs()) {
        const Knob& k = *owned;
        if (!holds_value(k)) continue;
        ControlValue v{k.name(), 0};
        if (k.store_type() == DD::Image::StringPtr) {
            v.value = std::string(k.get_text());
        } else if (const char* const* entries = entries_of(k)) {
            const long at = std::lround(k.value_at(frame));
            std::string name = std::to_string(at);
            for (long i = 0; entries[i]; ++i) {
                if (i == at) name = entries[i];
            }
            v.value = name;
        } else if (k.type() == INT_KNOB || k.type() == BOOL_KNOB) {
            v.value = static_cast<int>(std::lround(k.value_at(frame)));
        } else {
            v.value = static_cast<float>(k.value_at(frame));
        }
        out.push_back(std::move(v));
    }
    return out;
}

void set_control(host::Host& host, Node& node, const std::string& name, const std::string& text) {
    Knob* k = node.knob(name);
    if (!k || !holds_value(*k)) {
        std::string names;
        for (const auto& owned : node.knobs()) {
            if (holds_value(*owned)) names += (names.empty() ? "" : ", ") + owned->name();
        }
        throw UsageError("--set: no control named \"" + name + "\" (controls: " + names + ")");
    }
    if (k->store_type() == DD::Image::StringPtr) {
        host.set_text(node, name, text);
        return;
    }
    double value = 0.0;
    if (const char* const* entries = entries_of(*k)) {
        bool found = false;
        for (int i = 0; entries[i]; ++i) {
            if (lower(text) == lower(entries[i]) || text == std::to_string(i)) {
                value = i;
                found = true;
            }
        }
        if (!found) {
            std::string names;
            for (int i = 0; entries[i]; ++i) names += (i ? ", " : "") + std::string(entries[i]);
            throw UsageError("--set " + name + ": \"" + text + "\" is none of " + names);
        }
    } else if (k->type() == BOOL_KNOB) {
        const std::string t = lower(text);
        if (t == "true" || t == "on" || t == "yes" || t == "1") {
            value = 1.0;
        } else if (t == "false" || t == "off" || t == "no" || t == "0") {
            value = 0.0;
        } else {
            throw UsageError("--set " + name + ": \"" + text + "\" is not true or false");
        }
    } else {
        value = parse_number(name, text);
        if (k->type() == INT_KNOB && value != std::floor(value)) {
            throw UsageError("--set " + name + ": \"" + text + "\" is not a whole number");
        }
        if (k->type() == INT_KNOB && (value < INT_MIN || value > INT_MAX)) {
            throw UsageError("--set " + name + ": " + text + " is out of range (" +
                                        std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX) + ")");
        }
        // Number controls hold 32-bit floats: a larger value would become infinite.
        if (k->type() != INT_KNOB && std::fabs(value) > FLT_MAX) {
            throw UsageError("--set " + name + ": " + text +
                                        " is beyond the range of a 32-bit float (at most 3.4e38)");
        }
    }
    // A value typed on the command line holds for every frame.
    k->clear_animated();
    host.set_value(node, name, value);
}

namespace {

std::string frame_line(Json line, int frame, const std::vector<ControlValue>& values) {
    line["frame"] = frame;
    line.update(controls_object(values));
    return json_text(line);
}

}  // namespace

std::string controls_json(int frame, const std::vector<ControlValue>& values) {
    return frame_line(Json::object(), frame, values);
}

std::string controls_line(int frame, const std::vector<ControlValue>& values) {
    return frame_line(versioned_object(kControlsFormat), frame, values);
}

Json controls_object(const std::vector<ControlValue>& values) {
    Json out = Json::object();
    for (const ControlValue& v : values) {
        if (const auto* i = std::get_if<int>(&v.value)) {
            out[v.name] = *i;
        } else if (const auto* f = std::get_if<float>(&v.value)) {
            out[v.name] = json_float(*f);
        } else {
            out[v.name] = std::get<std::string>(v.value);
        }
    }
    return out;
}

std::vector<exr::ExtraAttribute> control_attributes(int frame, const std::vector<ControlValue>& values) {
    std::vector<exr::ExtraAttribute> out;
    for (const ControlValue& v : values) {
        exr::ExtraAttribute a;
        a.name = "talvik/" + v.name;
        std::visit([&](const auto& x) { a.value = x; }, v.value);
        out.push_back(std::move(a));
    }
    out.push_back({"talvik/frame", frame});
    out.push_back({"talvik/version", std::string(command_version())});
    out.push_back({"talvik/lensModel", lens_model_version()});
    return out;
}

std::vector<int> keyed_frames(const Node& node) {
    bool any = false;
    double first = 0.0, last = 0.0;
    for (const auto& k : node.knobs()) {
        for (int c = 0; c < k->components(); ++c) {
            for (const Knob::Key& key : k->keys(c)) {
                first = any ? std::min(first, key.frame) : key.frame;
                last = any ? std::max(last, key.frame) : key.frame;
                any = true;
            }
        }
    }
    std::vector<int> frames;
    if (!any) return frames;
    for (long f = std::lround(std::ceil(first)); f <= std::lround(std::floor(last)); ++f) {
        frames.push_back(static_cast<int>(f));
    }
    return frames;
}

}  // namespace talvik::shot
