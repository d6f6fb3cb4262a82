#include "io/file_seal.h"

#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace talvik::io {

FileSeal file_seal(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw std::runtime_error("cannot read \"" + path + "\": " + std::strerror(errno));
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) throw std::bad_alloc();
    FileSeal seal;
    std::vector<unsigned char> buffer(1 << 20);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
        XXH3_128bits_update(state.get(), buffer.data(), n);
        seal.size += n;
    }
    if (std::ferror(file.get())) throw std::runtime_error("cannot read \"" + path + "\": " + std::strerror(errno));
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char byte : canonical.digest) {
        seal.xxh3_128.push_back(kHex[byte >> 4]);
        seal.xxh3_128.push_back(kHex[byte & 15]);
    }
    return seal;
}

}  // namespace talvik::io
