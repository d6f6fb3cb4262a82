#include "shot/json_formats.h"

#include <stdexcept>

namespace talvik::shot {

Json versioned_object(const JsonFormat& format) {
    Json out = Json::object();
    out["format_version"] = format.version;
    return out;
}

void check_format_version(const Json& document, const JsonFormat& format, const std::string& file) {
    const auto it = document.find("format_version");
    if (it == document.end()) return;
    const std::string what = std::string(format.kind) + " \"" + file + "\"";
    if (!it->is_number_integer() || it->get<long long>() < 1)
        throw std::runtime_error(what + " has \"format_version\" " + json_text(*it) + ", not a version (1 or more)");
    const long long version = it->get<long long>();
    if (version > format.version)
        throw std::runtime_error(what + " is of format version " + std::to_string(version) + "; this talvik-stmap reads " +
                                 std::string(format.kind) + "s up to version " + std::to_string(format.version) +
                                 ": use the talvik-stmap that wrote it, or a later one");
}

}  // namespace talvik::shot
