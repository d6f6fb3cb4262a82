// What a map is made from, so that a re-run (--skip-existing) can tell a
// file made from this run's values from one made from others: the control
// values at its frame (Mode among them), the lens model's version, the
// format (display window), the box the map covers (data window, which
// the overscan grows) and whether it carries the validity alpha.
#pragma once

#include <string>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "shot/control_values.h"
#include "exr/st_map_exr_writer.h"

namespace talvik::shot {

struct MapIdentity {
    // The talvik/... attributes a map carries that say what it was made
    // from: every control, talvik/frame and talvik/lensModel.
    std::vector<exr::ExtraAttribute> attributes;
    int format_width = 0;
    int format_height = 0;
    DD::Image::Box box;  // host rows, bottom-up
    // An A channel (HALF) beside R and G. Previews look the same either
    // way: only an EXR is judged by it.
    bool alpha = false;
};

MapIdentity map_identity(int frame, const std::vector<ControlValue>& values, const DD::Image::Format& format,
                         const DD::Image::Box& box, bool alpha = false);

// One line of text holding the whole identity, for a preview PNG's chunk.
std::string identity_text(const MapIdentity& identity);

// Whether the EXR at `path` says it was made from `identity`: every
// attribute equal in type and value, the same display and data windows,
// and an A channel (HALF) exactly when the identity has one. False for a
// file that cannot be read.
bool exr_made_from(const std::string& path, const MapIdentity& identity);

// The same for a preview PNG, given the text of its identity chunk (empty
// when it has none).
bool preview_identity_matches(const std::string& text, const MapIdentity& identity);

}  // namespace talvik::shot
