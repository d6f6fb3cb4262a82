#include "host/fbx/fbx_settings.h"

#include "host/fbx/fbx_values.h"

namespace talvik::fbx::detail {

namespace {

constexpr int64_t kCustomTimeMode = 14;

// The P record named `name`, or nullptr. P records: name, type, label, flags, value...
const Node* find_p(const Node* props70, const std::string& name) {
    if (!props70) return nullptr;
    for (const Node& p : props70->children) {
        if (p.name != "P" || p.props.empty()) continue;
        const std::string* n = as_text(p.props[0]);
        if (n && *n == name) return &p;
    }
    return nullptr;
}

}  // namespace

FrameRate read_frame_rate(const Document& doc) {
    const Node* settings = doc.root("GlobalSettings");
    const Node* props70 = settings ? settings->child("Properties70") : nullptr;
    const Node* mode_p = find_p(props70, "TimeMode");
    if (!mode_p) return default_frame_rate();

    const auto mode = mode_p->props.size() > 4 ? as_integer(mode_p->props[4]) : std::nullopt;
    if (!mode) fail(doc.file, "GlobalSettings TimeMode (" + doc.where(mode_p->offset) + ") has no integer value");
    if (*mode != kCustomTimeMode) {
        if (auto rate = standard_frame_rate(*mode)) return *rate;
        fail(doc.file, "GlobalSettings TimeMode " + std::to_string(*mode) + " is not a known FBX time mode");
    }
    const Node* custom_p = find_p(props70, "CustomFrameRate");
    const auto fps = (custom_p && custom_p->props.size() > 4) ? as_number(custom_p->props[4]) : std::nullopt;
    if (!fps) fail(doc.file, "GlobalSettings TimeMode 14 (custom) but no numeric CustomFrameRate");
    if (auto rate = custom_frame_rate(*fps)) return *rate;
    fail(doc.file, "GlobalSettings CustomFrameRate " + std::to_string(*fps) + " is not a positive frame rate");
}

}  // namespace talvik::fbx::detail
