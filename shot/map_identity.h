// What a map is made from, so that a re-run (--skip-existing) or a shot
// check (verify) can tell a file made from this run's values from one made
// from others: the control values at its frame (Mode among them), the lens
// model's version, the format (display window), the box the map covers
// (data window, which the overscan margins grow), whether it carries the
// validity alpha, and its compression. The take it came from is provenance,
// not identity: a take exported again with the same keys makes the same
// maps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "shot/control_values.h"
#include "exr/st_map_exr_writer.h"

namespace talvik::shot {

struct MapIdentity {
    // The talvik/... attributes a map carries that say what it was made
    // from: every control but the take's path, talvik/frame and
    // talvik/lensModel.
    std::vector<exr::ExtraAttribute> attributes;
    // talvik/overscan/...: the margins that grew the box; none without.
    std::vector<exr::ExtraAttribute> margins;
    exr::StMapCompression compression = exr::StMapCompression::Zip;  // an EXR's
    int format_width = 0;
    int format_height = 0;
    DD::Image::Box box;  // host rows, bottom-up
    // An A channel (HALF) beside R and G. Previews look the same either
    // way: only an EXR is judged by it.
    bool alpha = false;
};

// `margins`: overscan_attributes of the shot's margins; empty without.
MapIdentity map_identity(int frame, const std::vector<ControlValue>& values, const DD::Image::Format& format,
                         const DD::Image::Box& box, std::vector<exr::ExtraAttribute> margins = {},
                         bool alpha = false, exr::StMapCompression compression = exr::StMapCompression::Zip);

// Every talvik/... attribute a map carries: talvik/<control> for every
// control, talvik/frame, talvik/version, talvik/lensModel and, with a
// take, talvik/takeHash.
std::vector<exr::ExtraAttribute> map_attributes(int frame, const std::vector<ControlValue>& values,
                                                const std::string& take_hash);

// One line of text holding the identity, for a preview PNG's chunk: all
// but the compression, which an EXR's alone.
std::string identity_text(const MapIdentity& identity);

// What of `identity` the EXR at `path` does not say, in a few words
// ("talvik/k1 is 0.2, this shot's 0.3"); nothing when it says every
// attribute equal in type and value, the same margins, display and data
// windows and compression, and has an A channel (HALF) exactly when the
// identity has one. A file that cannot be read differs too.
std::optional<std::string> exr_identity_difference(const std::string& path, const MapIdentity& identity);

// The same for a preview PNG, given the text of its identity chunk (empty
// when it has none).
std::optional<std::string> preview_identity_difference(const std::string& text, const MapIdentity& identity);

}  // namespace talvik::shot
