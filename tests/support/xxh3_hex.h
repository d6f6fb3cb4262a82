// XXH3-128 of bytes in memory as xxHash itself writes it (canonical, 32 hex
// digits): what the command's checksums and take hashes are checked against.
#pragma once

#include <xxhash.h>

#include <cstdio>
#include <string>

namespace talvik::test {

inline std::string xxh3_128_hex(const std::string& bytes) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
    std::string hex;
    char digits[3];
    for (unsigned char b : canonical.digest) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        hex += digits;
    }
    return hex;
}

}  // namespace talvik::test
