// What the command needs from a plate: its size, the place of its pixels and
// its header metadata.
// Only the header is read, never the pixels, so a plate whose pixel data is
// cut short still gives both.
#pragma once

#include <ImathBox.h>
#include <ImfHeader.h>

#include <map>
#include <string>

#include "shot/metadata_value.h"

namespace talvik::shot {

struct PlateHeader {
    std::string path;
    Imath::Box2i display_window;
    int width = 0;   // display window, inclusive bounds
    int height = 0;
    Imath::Box2i data_window;
    // The data window in host pixels, inclusive bounds: x from the display
    // window's left column, y up from its bottom line (EXR lines run
    // top-down, so host row y is EXR line height - 1 - y counted from the
    // display window's top). It may reach beyond the display window or lie
    // inside it.
    Imath::Box2i bbox;
    // Every attribute of part 0 keyed "exr/<attribute name>", as Nuke's Read
    // node names them.
    std::map<std::string, MetadataValue> metadata;
    // The same attributes typed, for carrying over to written files.
    Imf::Header attributes;
};

// Throws std::runtime_error naming the file and the problem: missing or
// unreadable, not an OpenEXR file, a version this library cannot read, a
// header cut short, without a display or data window, or a data window so
// far from the display window that host pixels cannot number it.
PlateHeader read_plate_header(const std::string& path);

}  // namespace talvik::shot
