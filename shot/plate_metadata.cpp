#include "shot/plate_metadata.h"

#include <type_traits>
#include <variant>

namespace talvik::shot {

host::Metadata host_metadata(const PlateHeader& plate) {
    host::Metadata out;
    for (const auto& [key, value] : plate.metadata) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, int>) {
                    out[key] = static_cast<long long>(v);
                } else if constexpr (std::is_same_v<T, std::string>) {
                    out[key] = v;
                } else {
                    out[key] = static_cast<double>(v);
                }
            },
            value);
    }
    return out;
}

void show_plate_frame(host::Host& host, Node& source, const PlateHeader& plate) {
    host.set_metadata(source, host_metadata(plate));
}

}  // namespace talvik::shot
