// Reads property values the same way whichever format they came from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/fbx/fbx_node.h"

namespace talvik::fbx::detail {

// Integer kinds (Y C I L) or an ASCII number written as an integer.
std::optional<int64_t> as_integer(const Property& p);
// Any numeric scalar, including ASCII numbers.
std::optional<double> as_number(const Property& p);
// S, R or an ASCII string / bare word.
const std::string* as_text(const Property& p);

// Array of int64 (binary 'l' or an ASCII integer array); throws FbxError
// naming `what` when the property is another kind or damaged.
std::vector<int64_t> int64_array(const Document& doc, const Property& p, const std::string& what);
// Array of float32 (binary 'f' or an ASCII number array, each value rounded
// once from its decimal text to float).
std::vector<float> float_array(const Document& doc, const Property& p, const std::string& what);

}  // namespace talvik::fbx::detail
