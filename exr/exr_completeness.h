// Whether a single-part scan-line EXR file in place holds every chunk it
// announces. OpenEXR opens a file cut short as long as its header and
// offset table are whole, and only fails (or shows black) on the lines
// that are missing; a re-run that keeps such a map, or a shot check that
// passes it, hands a broken map on. Only the header, the offset table and
// each chunk's 8-byte lead are read, so the check costs a few reads
// whatever the frame size.
#pragma once

#include <optional>
#include <string>

namespace talvik::exr {

// Nothing when the file is whole: a single-part scan-line image whose
// header parses, whose offset table lies inside the file, whose every
// chunk starts after the table, holds the lines its table entry says,
// lies inside the file without overlapping another, and whose last chunk
// ends where the file ends. Otherwise why not, in a few words naming the
// byte counts ("cut short: chunk 12 of 17 (line 176) ends at byte 734210
// of 409600").
std::optional<std::string> exr_incompleteness(const std::string& path);

}  // namespace talvik::exr
