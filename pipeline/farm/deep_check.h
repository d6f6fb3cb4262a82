// verify --deep: a map decoded chunk by chunk and compared bit for bit with
// the map this shot's values make, rendered in memory. Rendering is
// deterministic, so any difference is in the file: a damaged or rewritten
// map found without a record, or with one in doubt.
#pragma once

#include <optional>
#include <string>

#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

// Nothing when the map at `path` holds exactly what frame `frame` makes;
// otherwise why, naming the first differing pixel (EXR coordinates) and the
// size of the difference, or the chunk that does not decode.
std::optional<std::string> deep_difference(RenderPlan& plan, int frame, const std::string& path);

}  // namespace talvik::pipeline
