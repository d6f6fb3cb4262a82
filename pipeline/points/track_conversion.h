// A 2D track through a shot's lens, each point with the lens of its own
// frame, as the ST map of the job's mode maps it.
#pragma once

#include "pipeline/job/points_job.h"
#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"

namespace talvik::pipeline {

// Reads points.track, reloads the take as a render does and writes the
// converted track to job.output (safely), a batch of points at a time.
// Warnings name points with no position and why, and frames outside the
// keys. Throws UsageError or std::runtime_error naming the culprit.
void convert_track(const ShotJob& job, const PointsJob& points, ShotEvents& events);

}  // namespace talvik::pipeline
