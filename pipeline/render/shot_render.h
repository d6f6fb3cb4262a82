// A shot rendered from its job: the plan, the overscan report when one is
// asked for, every frame's files, the manifest.
#pragma once

#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

// Renders `job` and writes its files. Throws as plan_render does, and
// io::Stopped when a stop signal arrives (finished frames are kept).
void render_shot(const ShotJob& job, ShotEvents& events);

// Measures or resolves the overscan of `job` and writes its report to
// job.overscan_report, with the undistorted camera per frame.
void measure_overscan(const ShotJob& job, ShotEvents& events);

// The report of a planned shot, written to `path`.
io::FileSeal write_overscan_report(const std::string& path, const ShotJob& job, const RenderPlan& plan);

}  // namespace talvik::pipeline
