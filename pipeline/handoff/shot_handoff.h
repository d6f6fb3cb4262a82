// The files a shot hands on: the undistorted camera per frame for CG and a
// Nuke script for comp, each planned as a render plans its maps.
#pragma once

#include "pipeline/job/handoff_job.h"
#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"

namespace talvik::pipeline {

// Writes the camera document of `job`'s frames to job.document.
void write_camera(const ShotJob& job, const HandoffJob& handoff, ShotEvents& events);

// Writes a Nuke script reading the plate and both maps to job.document.
// Refuses names Nuke would not read as the files they name.
void write_nuke_script(const ShotJob& job, const HandoffJob& handoff, ShotEvents& events);

}  // namespace talvik::pipeline
