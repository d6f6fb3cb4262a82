// What writing an output path may replace: only regular files. A symlink is
// followed, so its target is replaced and the link stays; a folder, device
// node, FIFO or socket at the path is refused rather than renamed over.
#pragma once

#include <string>

namespace talvik::io {

// The path a write to `path` renames onto: the end of its symlink chain
// (relative targets taken from each link's folder), else `path` itself.
// Throws std::runtime_error naming the path when what is there (or at the
// end of the chain) exists and is not a regular file, or the chain loops.
std::string output_target(const std::string& path);

// Throws std::runtime_error naming `path` when it exists and is not a
// regular file; does not follow a symlink at `path` itself.
void check_replaceable(const std::string& path);

}  // namespace talvik::io
