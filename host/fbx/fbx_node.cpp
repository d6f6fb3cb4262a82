#include "host/fbx/fbx_node.h"

#include <algorithm>

#include "host/fbx/fbx_scene.h"

namespace talvik::fbx::detail {

std::string Document::where(size_t offset) const {
    if (binary || data == nullptr) return "offset " + std::to_string(offset);
    const size_t end = std::min(offset, size);
    const size_t line = 1 + static_cast<size_t>(std::count(data, data + end, uint8_t{'\n'}));
    return "line " + std::to_string(line);
}

void fail(const std::string& file, const std::string& what) {
    throw FbxError(file + ": " + what);
}

}  // namespace talvik::fbx::detail
