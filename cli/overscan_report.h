// How the command tells the margins of --overscan: a line for the artist,
// a JSON line for scripts, attributes on every map.
#pragma once

#include <string>
#include <vector>

#include "cli/overscan_request.h"
#include "exr/st_map_exr_writer.h"

namespace talvik::cli {

// "overscan: left 12, right 12, bottom 7, top 7 px; render CG at 1944x1094"
std::string overscan_summary(const Margins& m, int width, int height);

// {"overscan": {"left": 12, "right": 12, "bottom": 7, "top": 7, "width": 1944, "height": 1094}}
std::string overscan_json(const Margins& m, int width, int height);

// talvik/overscan/left, right, bottom and top, as ints.
std::vector<ExtraAttribute> overscan_attributes(const Margins& m);

}  // namespace talvik::cli
