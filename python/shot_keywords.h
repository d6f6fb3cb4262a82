// A shot function's keywords, read into the job values the command fills
// from its options: each keyword is a long option with '-' written '_',
// taking the option's text form or the natural Python value.
#pragma once

#include <pybind11/pybind11.h>

#include <set>
#include <string>

#include "pipeline/job/farm_job.h"
#include "pipeline/job/handoff_job.h"
#include "pipeline/job/points_job.h"
#include "pipeline/job/shot_job.h"

namespace talvik::python {

struct ShotCall {
    pipeline::ShotJob job;
    pipeline::HandoffJob handoff;
    pipeline::PointsJob points;
    pipeline::FarmJob farm;
    pybind11::object progress = pybind11::none();
    std::string mode_word, direction_word;  // as given, resolved once all are read
};

// Reads `kwargs` of a function taking the keywords `allowed` beside the
// shot's inputs (plate, size, fbx, camera, plugin_path, progress), as the
// command of the same name takes those options. Raises TypeError for a keyword the function does not take,
// ValueError for a value it cannot, FileNotFoundError for a take, plate,
// track or report that is not there.
ShotCall read_shot_keywords(const char* function, const pybind11::kwargs& kwargs,
                            const std::set<std::string>& allowed);

}  // namespace talvik::python
