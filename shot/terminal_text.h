// Text from outside (file names, a plate's attributes, a script's output)
// made safe to show on a terminal: control characters, which could move the
// cursor, retitle the window or fake a line, are shown escaped.
#pragma once

#include <string>
#include <string_view>

namespace talvik::shot {

// `text` with every control character written as \xNN (\n, \r, \t, \e
// for the common ones): C0 and DEL, line breaks included, and C1, whether
// as UTF-8 (U+0080-U+009F) or as a lone byte 0x80-0x9F. Everything else is
// kept byte for byte: UTF-8, and bytes of an older encoding (Latin-1 names
// show on a Latin-1 terminal as they were written).
std::string terminal_text(std::string_view text);

}  // namespace talvik::shot
