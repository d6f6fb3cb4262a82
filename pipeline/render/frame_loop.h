// Renders a plan's frames in order and writes each frame's files: a map
// whose controls and box equal the last frame's is not rendered again, and
// its EXR reuses the chunks just written.
#pragma once

#include <cstdio>

#include "pipeline/job/shot_job.h"
#include "pipeline/render/render_manifest.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

// Each frame's values and the progress reach `events`.
// Returns what was written, for the manifest. Throws io::Stopped when a
// stop signal arrives; the files of finished frames are kept.
RenderManifest render_frames(RenderPlan& plan, const ShotJob& options, ShotEvents& events);

}  // namespace talvik::pipeline
