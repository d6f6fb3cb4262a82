// Steps of a render that keep it from hanging or failing without a reason:
// inputs that are not files, a take name the reload will not read and threads
// that cannot be started.
#pragma once

#include <string>

#include "pipeline/job/shot_job.h"
#include "host/runtime/host.h"

namespace talvik::pipeline {

// Throws std::runtime_error when the plate or the take exists but is not
// a regular file.
void check_render_inputs(const ShotJob& options);

// Render threads for the host and compression threads for OpenEXR:
// `threads`, or with 0 the CPUs this process may use (inside a Slurm job,
// at most the CPUs the job was given). Throws
// std::runtime_error ("cannot start N ... threads: reason").
void start_threads(host::Host& host, int threads);

}  // namespace talvik::pipeline
