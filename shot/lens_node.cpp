#include "shot/lens_node.h"

#include <variant>

#include "host/python/python_scripting.h"

namespace talvik::shot {

std::unique_ptr<host::Host> create_lens_host(std::vector<std::string> plugin_path) {
    auto host = std::make_unique<host::Host>(std::move(plugin_path));
    host::enable_python_scripting(*host);
    return host;
}

Node& add_lens_node(host::Host& host, const DD::Image::Format& format, host::Metadata metadata) {
    Node& node = host.create_node("TalvikDistort");
    host.connect(node, 0, &host.create_source(format, std::move(metadata)));
    host.open_panel(node);
    return node;
}

LensModel panel_lens(const std::vector<ControlValue>& values) {
    LensModel lens;
    for (const ControlValue& v : values) {
        if (const auto* entry = std::get_if<std::string>(&v.value)) {
            if (v.name == "Mode") lens.mode = *entry == "Distort" ? 0 : 1;
            continue;
        }
        const float number = std::holds_alternative<float>(v.value) ? std::get<float>(v.value)
                                                                     : static_cast<float>(std::get<int>(v.value));
        if (v.name == "cx") lens.cx = number;
        else if (v.name == "cy") lens.cy = number;
        else if (v.name == "fx") lens.fx = number;
        else if (v.name == "fy") lens.fy = number;
        else if (v.name == "k1") lens.k1 = number;
        else if (v.name == "k2") lens.k2 = number;
        else if (v.name == "anamorphic") lens.anamorphic = number != 0.0f;
    }
    return lens;
}

}  // namespace talvik::shot
