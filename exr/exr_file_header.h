// The start of a single-part scan-line EXR file as bytes: magic number,
// version field and the header's attributes, serialized by OpenEXR itself.
#pragma once

#include <ImfHeader.h>

#include <string>

namespace talvik::exr {

// Runs OpenEXR's own sanity check first (throws its exception). Sets the
// long-names flag when a name needs more than 31 characters, as OpenEXR's
// writer does.
std::string exr_file_header(const Imf::Header& header);

}  // namespace talvik::exr
