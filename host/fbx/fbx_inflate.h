// zlib-compressed FBX arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvik::fbx::detail {

// Inflates `stored` into exactly `expected` bytes; throws FbxError naming
// `file` and `what` when the stream is damaged or has a different length.
std::vector<uint8_t> inflate_exact(std::string_view stored, size_t expected,
                                   const std::string& file, const std::string& what);

}  // namespace talvik::fbx::detail
