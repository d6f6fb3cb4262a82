#include "shot/terminal_text.h"

#include <cstdio>

namespace talvik::shot {
namespace {

// Length of the valid UTF-8 sequence starting at `at`, 0 if there is none.
size_t utf8_length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

// U+0080-U+009F: C1 controls, which some terminals obey.
bool is_c1(std::string_view sequence) {
    return sequence.size() == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
           static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

void escape(unsigned char c, std::string& out) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c == 0x1B) out += "\\e";
    else {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
        out += escaped;
    }
}

}  // namespace

std::string terminal_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            const size_t length = utf8_length(text, i);
            if (is_c1(text.substr(i, length))) {
                escape(c, out);
                escape(static_cast<unsigned char>(text[i + 1]), out);
                i += 2;
                continue;
            }
            // A byte outside UTF-8 is text in some older encoding (Latin-1
            // for one) and kept, unless a terminal would read it as a C1
            // control.
            const size_t kept = length ? length : c >= 0xA0 ? 1 : 0;
            if (kept) {
                out.append(text.substr(i, kept));
                i += kept;
                continue;
            }
        }
        escape(c, out);
        ++i;
    }
    return out;
}

}  // namespace talvik::shot
