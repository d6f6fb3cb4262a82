// Steps of a render that keep it from hanging or failing without a reason:
// inputs that are not files, a take name the reload will not read, threads
// that cannot be started, output that never reached standard output.
#pragma once

#include <cstdio>
#include <string>

#include "cli/options/command_options.h"
#include "host/runtime/host.h"

namespace talvik::cli {

// Throws std::runtime_error when the plate or the take exists but is not
// a regular file.
void check_render_inputs(const RenderOptions& options);

// Render threads for the host and compression threads for OpenEXR:
// `threads`, or with 0 the CPUs this process may use (inside a Slurm job,
// at most the CPUs the job was given). Throws
// std::runtime_error ("cannot start N ... threads: reason").
void start_threads(host::Host& host, int threads);

// One line on `out`, flushed; throws std::runtime_error with the reason
// when it cannot be written.
void print_line(std::FILE* out, const std::string& line);

}  // namespace talvik::cli
