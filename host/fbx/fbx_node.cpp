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

namespace {

// Length of the well-formed UTF-8 sequence starting at `at`, 0 if none.
size_t utf8_length(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    const size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = at + 1; i < at + length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

std::string printable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += text[i++];
        } else if (const size_t n = c >= 0x80 ? utf8_length(text, i) : 0) {
            out.append(text, i, n);
            i += n;
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
            ++i;
        }
    }
    return out;
}

void fail(const std::string& file, const std::string& what) {
    // Names read from a damaged file may hold any byte; a NUL or a control
    // byte must not cut the message short or garble the terminal.
    throw FbxError(file + ": " + printable(what));
}

}  // namespace talvik::fbx::detail
