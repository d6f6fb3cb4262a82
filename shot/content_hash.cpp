#include "shot/content_hash.h"

#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "io/input_file.h"

namespace talvik::shot {

std::string file_content_hash(const std::string& path) {
    // A FIFO would block and a device never end.
    io::check_input_file(path, "file");
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw std::runtime_error("cannot read \"" + path + "\": " + std::strerror(errno));
    const std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) throw std::bad_alloc();
    std::vector<unsigned char> buffer(1 << 20);
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) XXH3_128bits_update(state.get(), buffer.data(), n);
    if (std::ferror(file.get())) throw std::runtime_error("cannot read \"" + path + "\": " + std::strerror(errno));
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : canonical.digest) {
        hex.push_back(kHex[byte >> 4]);
        hex.push_back(kHex[byte & 15]);
    }
    return hex;
}

}  // namespace talvik::shot
