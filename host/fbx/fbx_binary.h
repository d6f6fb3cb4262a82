// Binary FBX 7.x: header, record tree and property values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/fbx/fbx_node.h"

namespace talvik::fbx::detail {

// True when the data starts like a binary FBX file ("Kaydara"), so a damaged
// binary header is reported as such rather than as bad ASCII.
bool looks_binary(const uint8_t* data, size_t size);

Document parse_binary(const uint8_t* data, size_t size, const std::string& file);

// Bounds on arrays, checked while parsing so nothing is ever allocated from an
// unchecked count: raw arrays must fill their stored bytes exactly; zlib
// arrays may expand at most kMaxInflateRatio times (deflate cannot do better)
// and to at most kMaxArrayBytes.
constexpr uint64_t kMaxArrayBytes = uint64_t{1} << 28;
constexpr uint64_t kMaxInflateRatio = 1032;

}  // namespace talvik::fbx::detail
