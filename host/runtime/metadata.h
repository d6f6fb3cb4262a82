// Image metadata as the host passes it down the node graph.
#pragma once

#include <map>
#include <string>
#include <variant>

namespace talvik::host {

using MetaValue = std::variant<std::string, long long, double>;
using Metadata = std::map<std::string, MetaValue>;

}  // namespace talvik::host
