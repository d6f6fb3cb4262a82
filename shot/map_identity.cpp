#include "shot/map_identity.h"

#include <ImfChannelList.h>
#include <ImfFloatAttribute.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include <exception>

#include "shot/json_output.h"

namespace talvik::shot {
namespace {

bool attribute_equals(const Imf::Header& header, const exr::ExtraAttribute& expected) {
    if (const auto* i = std::get_if<int>(&expected.value)) {
        const auto* a = header.findTypedAttribute<Imf::IntAttribute>(expected.name);
        return a && a->value() == *i;
    }
    if (const auto* f = std::get_if<float>(&expected.value)) {
        const auto* a = header.findTypedAttribute<Imf::FloatAttribute>(expected.name);
        return a && a->value() == *f;
    }
    const auto* a = header.findTypedAttribute<Imf::StringAttribute>(expected.name);
    return a && a->value() == std::get<std::string>(expected.value);
}

// EXR lines run top-down from the top of the display window; host rows
// bottom-up from its bottom.
Imath::Box2i exr_data_window(const MapIdentity& id) {
    const DD::Image::Box& b = id.box;
    return Imath::Box2i(Imath::V2i(b.x(), id.format_height - b.t()),
                        Imath::V2i(b.r() - 1, id.format_height - 1 - b.y()));
}

}  // namespace

MapIdentity map_identity(int frame, const std::vector<ControlValue>& values, const DD::Image::Format& format,
                         const DD::Image::Box& box, bool alpha) {
    MapIdentity id;
    id.alpha = alpha;
    for (exr::ExtraAttribute& a : control_attributes(frame, values))
        if (a.name != "talvik/version") id.attributes.push_back(std::move(a));
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

namespace {

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

}  // namespace

bool exr_made_from(const std::string& path, const MapIdentity& id) {
    if (!model_known(id)) return false;
    try {
        const Imf::InputFile file(path.c_str());
        const Imf::Header& header = file.header();
        const Imath::Box2i display(Imath::V2i(0, 0), Imath::V2i(id.format_width - 1, id.format_height - 1));
        if (header.displayWindow() != display || header.dataWindow() != exr_data_window(id)) return false;
        const Imf::Channel* a = header.channels().findChannel("A");
        if ((a != nullptr) != id.alpha || (a && a->type != Imf::HALF)) return false;
        for (const exr::ExtraAttribute& a : id.attributes)
            if (!attribute_equals(header, a)) return false;
        return true;
    } catch (const std::exception&) {
        // Not a readable EXR: it is not the map this run would make.
        return false;
    }
}

bool preview_identity_matches(const std::string& text, const MapIdentity& id) {
    if (!model_known(id)) return false;
    return !text.empty() && text == identity_text(id);
}

}  // namespace talvik::shot
