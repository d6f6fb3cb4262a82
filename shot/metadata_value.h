// A header attribute's value as the command shows and passes it on: numbers
// and strings as they are, every other attribute type as readable text.
#pragma once

#include <ImfForward.h>

#include <string>
#include <variant>

namespace talvik::shot {

using MetadataValue = std::variant<int, float, double, std::string>;

// Vectors "x y", boxes "minx miny maxx maxy", matrices their numbers row by
// row, rationals "24/1", timecodes "HH:MM:SS:FF" (';' before FF when drop
// frame), enums by their name, string vectors joined with ", ", and any type
// this build does not know as "<type name>".
MetadataValue metadata_value_of(const Imf::Attribute& attribute);

// The value as text, numbers in their shortest exact form.
std::string metadata_text(const MetadataValue& value);

}  // namespace talvik::shot
