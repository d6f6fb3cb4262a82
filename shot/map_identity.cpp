#include "shot/map_identity.h"

#include <ImfChannelList.h>
#include <ImfFloatAttribute.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <exception>

#include "exr/st_map_channels.h"
#include "shot/json_output.h"

namespace talvik::shot {
namespace {

using AttributeValue = std::variant<int, float, std::string>;

// Provenance, not identity: where the take was and what its bytes were.
constexpr const char* kTakeHash = "talvik/takeHash";
constexpr const char* kTakePath = "talvik/fbx_file_path";

std::string value_text(const AttributeValue& value) {
    if (const auto* i = std::get_if<int>(&value)) return std::to_string(*i);
    if (const auto* f = std::get_if<float>(&value)) return json_text(Json(json_float(*f)));
    return json_string(std::get<std::string>(value));
}

// The attribute as the header holds it, in the expected one's type;
// nothing when absent or of another type.
std::optional<AttributeValue> header_value(const Imf::Header& header, const exr::ExtraAttribute& expected) {
    if (std::holds_alternative<int>(expected.value)) {
        if (const auto* a = header.findTypedAttribute<Imf::IntAttribute>(expected.name)) return a->value();
    } else if (std::holds_alternative<float>(expected.value)) {
        if (const auto* a = header.findTypedAttribute<Imf::FloatAttribute>(expected.name)) return a->value();
    } else if (const auto* a = header.findTypedAttribute<Imf::StringAttribute>(expected.name)) {
        return a->value();
    }
    return std::nullopt;
}

// EXR lines run top-down from the top of the display window; host rows
// bottom-up from its bottom.
Imath::Box2i exr_data_window(const MapIdentity& id) {
    const DD::Image::Box& b = id.box;
    return Imath::Box2i(Imath::V2i(b.x(), id.format_height - b.t()),
                        Imath::V2i(b.r() - 1, id.format_height - 1 - b.y()));
}

std::string window_text(const Imath::Box2i& w) {
    return "(" + std::to_string(w.min.x) + "," + std::to_string(w.min.y) + ")-(" + std::to_string(w.max.x) + "," +
           std::to_string(w.max.y) + ")";
}

// Maps of a plug-in that does not say its lens model (talvik/lensModel 0)
// may come from any model: none is known to be current.
bool model_known(const MapIdentity& id) {
    for (const exr::ExtraAttribute& a : id.attributes)
        if (a.name == "talvik/lensModel") {
            const int* model = std::get_if<int>(&a.value);
            return !model || *model != 0;
        }
    return false;
}

// "left 24, right 24, bottom 13, top 13", or "none".
std::string margins_text(const std::vector<std::optional<AttributeValue>>& values) {
    static const char* const kSides[] = {"left", "right", "bottom", "top"};
    std::string text;
    for (size_t i = 0; i < values.size() && i < 4; ++i)
        if (values[i]) text += (text.empty() ? "" : ", ") + std::string(kSides[i]) + " " + value_text(*values[i]);
    return text.empty() ? "none" : text;
}

// The overscan margins the map was made with against this shot's: what a
// changed measurement of the whole shot does to every frame.
std::optional<std::string> margins_difference(const Imf::Header& header, const MapIdentity& id) {
    static const char* const kNames[] = {"talvik/overscan/left", "talvik/overscan/right", "talvik/overscan/bottom",
                                         "talvik/overscan/top"};
    std::vector<std::optional<AttributeValue>> have, want;
    for (const char* name : kNames) {
        have.push_back(header_value(header, exr::ExtraAttribute{name, 0}));
        std::optional<AttributeValue> wanted;
        for (const exr::ExtraAttribute& a : id.margins)
            if (a.name == name) wanted = a.value;
        want.push_back(wanted);
    }
    if (have == want) return std::nullopt;
    return "the overscan margins changed from " + margins_text(have) + " to " + margins_text(want);
}

const char* const kUnknownModel = "made by a plug-in that does not name its lens model (talvik/lensModel 0)";

}  // namespace

std::vector<exr::ExtraAttribute> map_attributes(int frame, const std::vector<ControlValue>& values,
                                                const std::string& take_hash) {
    std::vector<exr::ExtraAttribute> out = control_attributes(frame, values);
    if (!take_hash.empty()) out.push_back({kTakeHash, take_hash});
    return out;
}

MapIdentity map_identity(int frame, const std::vector<ControlValue>& values, const DD::Image::Format& format,
                         const DD::Image::Box& box, std::vector<exr::ExtraAttribute> margins, bool alpha,
                         exr::StMapCompression compression) {
    MapIdentity id;
    id.alpha = alpha;
    id.compression = compression;
    id.margins = std::move(margins);
    for (exr::ExtraAttribute& a : control_attributes(frame, values))
        if (a.name != "talvik/version" && a.name != kTakePath) id.attributes.push_back(std::move(a));
    id.format_width = format.width();
    id.format_height = format.height();
    id.box = box;
    return id;
}

std::string identity_text(const MapIdentity& id) {
    Json text = Json::object();
    text["format"] = {id.format_width, id.format_height};
    text["box"] = {id.box.x(), id.box.y(), id.box.r(), id.box.t()};
    for (const exr::ExtraAttribute& a : id.attributes) {
        if (const auto* f = std::get_if<float>(&a.value)) text[a.name] = json_float(*f);
        else std::visit([&](const auto& x) { text[a.name] = x; }, a.value);
    }
    return json_text(text);
}

std::optional<std::string> exr_identity_difference(const std::string& path, const MapIdentity& id) {
    if (!model_known(id)) return kUnknownModel;
    try {
        const Imf::InputFile file(path.c_str());
        const Imf::Header& header = file.header();
        const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(id.format_width - 1, id.format_height - 1));
        if (header.displayWindow() != display)
            return "its format (display window) is " + window_text(header.displayWindow()) + ", this shot's " +
                   window_text(display);
        if (const auto changed = margins_difference(header, id)) return changed;
        if (header.dataWindow() != exr_data_window(id))
            return "its box (data window) is " + window_text(header.dataWindow()) + ", this shot's " +
                   window_text(exr_data_window(id));
        if (auto wrong = exr::st_map_channel_difference(header.channels(), id.alpha)) return wrong;
        if (header.compression() != exr::exr_compression_id(id.compression))
            return std::string("it is not compressed as this run writes (") +
                   exr::st_map_compression_name(id.compression) + ")";
        for (const exr::ExtraAttribute& a : id.attributes) {
            const auto value = header_value(header, a);
            if (!value) return "it has no " + a.name;
            if (*value != a.value) return a.name + " is " + value_text(*value) + ", this shot's " + value_text(a.value);
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return "it is no map OpenEXR can read";
    }
}

std::optional<std::string> preview_identity_difference(const std::string& text, const MapIdentity& id) {
    if (!model_known(id)) return kUnknownModel;
    if (text.empty()) return "it does not say which map it shows";
    const std::string expected = identity_text(id);
    if (text == expected) return std::nullopt;
    // Name the first member that differs; the texts are ours, one object each.
    Json have = Json::parse(text, nullptr, false);
    const Json want = Json::parse(expected);
    if (!have.is_object()) return "its identity is not ours";
    // Previews made when the take's content was part of the identity.
    have.erase(kTakeHash);
    if (have == want) return std::nullopt;
    for (const auto& [name, value] : want.items()) {
        const auto it = have.find(name);
        if (it == have.end()) return "it has no " + name;
        if (*it != value) return name + " is " + json_text(*it) + ", this shot's " + json_text(value);
    }
    return "its identity names more than this shot's";
}

}  // namespace talvik::shot
