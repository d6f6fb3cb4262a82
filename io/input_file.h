// Inputs are read from regular files only: a FIFO would block for good and
// a device such as /dev/zero would be read until memory runs out.
#pragma once

#include <sys/types.h>

#include <string>

namespace talvik::io {

// Throws std::runtime_error ("<what> \"<path>\" is a FIFO, not a regular
// file") when the path exists and, followed through symlinks, is not a
// regular file. A missing file is left to the reader to report.
void check_input_file(const std::string& path, const std::string& what);

// Whether both paths exist and are one file (device and inode).
bool same_file(const std::string& a, const std::string& b);

// "a folder", "a FIFO", "a character device", ... for a stat mode.
const char* file_kind(mode_t mode);

}  // namespace talvik::io
