// What the command needs from a plate: its size and its header metadata.
// Only the header is read, never the pixels, so a plate whose pixel data is
// cut short still gives both.
#pragma once

#include <ImathBox.h>
#include <ImfHeader.h>

#include <map>
#include <string>

#include "cli/metadata_value.h"

namespace talvik::cli {

struct PlateHeader {
    std::string path;
    Imath::Box2i display_window;
    int width = 0;   // display window, inclusive bounds
    int height = 0;
    // Every attribute of part 0 keyed "exr/<attribute name>", as Nuke's Read
    // node names them.
    std::map<std::string, MetadataValue> metadata;
    // The same attributes typed, for carrying over to written files.
    Imf::Header attributes;
};

// Throws std::runtime_error naming the file and the problem: missing or
// unreadable, not an OpenEXR file, a version this library cannot read, a
// header cut short or without a display window.
PlateHeader read_plate_header(const std::string& path);

}  // namespace talvik::cli
