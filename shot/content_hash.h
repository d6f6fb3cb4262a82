// What a file is by its bytes, not by the name it was given: XXH3-128 of
// its content (xxHash), as 32 hex digits. The same take reached through
// another path, a link or a farm's path mapping hashes the same; another
// take written over the same path does not.
#pragma once

#include <string>

namespace talvik::shot {

// Throws std::runtime_error naming the file when it cannot be read.
std::string file_content_hash(const std::string& path);

}  // namespace talvik::shot
