// ASCII FBX 7.x: "; comments", "Name: props { children }", "*N { a: ... }" arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/fbx/fbx_node.h"

namespace talvik::fbx::detail {

Document parse_ascii(const uint8_t* data, size_t size, const std::string& file);

}  // namespace talvik::fbx::detail
