// A PNG read back with libpng's simplified API, as 8-bit RGB, top line
// first, and its chunks as they lie in the file.
#pragma once

#include <png.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace talvik::test {

struct DecodedPng {
    int width = 0, height = 0;
    bool had_alpha = false, had_colour = false;
    std::vector<uint8_t> rgb;
    std::array<int, 3> at(int x, int line) const {
        const size_t i = (static_cast<size_t>(line) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

inline DecodedPng decode_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        throw std::runtime_error("libpng cannot read " + path + ": " + image.message);
    DecodedPng out;
    out.had_alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    out.had_colour = (image.format & PNG_FORMAT_FLAG_COLOR) != 0;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr))
        throw std::runtime_error("libpng cannot decode " + path + ": " + image.message);
    return out;
}

// Type and data of each chunk after the signature; stops at bytes that do
// not frame a chunk.
inline std::vector<std::pair<std::string, std::string>> png_chunks(const std::string& bytes) {
    std::vector<std::pair<std::string, std::string>> chunks;
    size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])); };
        const size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        if (at + 12 + length > bytes.size()) break;
        chunks.emplace_back(bytes.substr(at + 4, 4), bytes.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

}  // namespace talvik::test
