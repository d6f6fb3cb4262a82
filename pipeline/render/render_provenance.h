// Where a render came from, for its manifest: the command line, the plate
// (the pattern given and the files read), the take and the camera with the
// reason it was chosen, the overscan margins, the version, the host and
// when the run started and ended. The warnings sit beside it in the
// manifest.
#pragma once

#include <string>

#include "pipeline/job/shot_job.h"
#include "shot/json_output.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

// Now, in UTC: "2026-12-08T04:35:07Z".
std::string utc_time_now();

// This machine's name; empty when it has none.
std::string host_name();

shot::Json render_provenance(const ShotJob& options, const RenderPlan& plan, const std::string& started,
                       const std::string& ended);

}  // namespace talvik::pipeline
