// talvik-stmap plan and submit slurm: a shot as a farm job, printed as
// data for any scheduler, or submitted to Slurm.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"

namespace talvik::cli {

// Prints the job (JSON with --json) to `out`. Returns the exit status.
int run_plan(const RenderOptions& options, const FarmOptions& farm, std::FILE* out, std::FILE* err);

// Submits the job with sbatch and prints its job ids to `out`; with
// --wait, waits for the verify job and returns 0 when it found every
// frame there, whole and current, 1 otherwise.
int run_submit(const RenderOptions& options, const FarmOptions& farm, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
