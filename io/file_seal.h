// What a file holds, by its bytes: its size and XXH3-128 (xxHash) as 32 hex
// digits. Recorded for each file a render writes and compared with the file
// found later, so that a file damaged or replaced after it was written is
// told from the one written.
#pragma once

#include <cstdint>
#include <string>

namespace talvik::io {

struct FileSeal {
    uint64_t size = 0;
    std::string xxh3_128;  // empty: not known
};

// Reads the whole file; throws std::runtime_error naming it when it cannot.
FileSeal file_seal(const std::string& path);

}  // namespace talvik::io
