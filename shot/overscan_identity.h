// What an overscan report was measured on, written into the report and
// compared when it is handed on (--overscan-from): the margins of one
// take, camera, format or lens model are wrong for another, and nothing
// else would notice.
#pragma once

#include <optional>
#include <string>

#include "shot/json_output.h"

namespace talvik::shot {

struct MeasuredOn {
    std::string take_hash;      // content_hash.h of the take; empty without one
    std::string take_path;      // as given, for people; never compared
    std::optional<int> camera;  // the take's camera; none without a take
    int width = 0, height = 0;  // the format
    double pixel_aspect = 1.0;  // the plate's; 1 without one
    int lens_model = 0;
    // The map whose extent gives the margins: `auto` measures the
    // Undistort map whatever the render's Mode, so one report serves both
    // maps of a shot. Empty for margins given as numbers.
    // The request as typed is the report's own "request".
    std::string mode;
};

Json measured_on_json(const MeasuredOn& measured);

// Throws std::runtime_error naming `where` and the member that is missing
// or of the wrong type.
MeasuredOn measured_on_from_json(const Json& object, const std::string& where);

// What of `shot` differs from what the report was measured on, as "the
// take's content (a1b2... in the report, 9f8e... here), camera 1 (2
// here)"; empty when the take, camera, format, pixel aspect and lens model
// all agree.
std::string measured_on_difference(const MeasuredOn& report, const MeasuredOn& shot);

}  // namespace talvik::shot
