// Whether a PNG in place is whole: a preview cut short after its identity
// chunk still says which map it shows, and libpng reads its header
// happily.
#pragma once

#include <optional>
#include <string>

namespace talvik::png {

// Nothing when the file is a PNG signature followed by whole chunks, each
// with its CRC right, the first IHDR and the last IEND, ending where IEND
// ends. Otherwise why not, in a few words ("cut short: chunk 4 (IDAT) ends
// at byte 9120 of 4096").
std::optional<std::string> png_incompleteness(const std::string& path);

}  // namespace talvik::png
