// A farm job submitted to Slurm through its own commands: each step a batch
// script in the job folder (the render step one array task per chunk),
// submitted with sbatch, each waiting for the step before; and the wait for
// a job to end, read from scontrol (sacct where the job has left
// slurmctld's memory).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pipeline/farm/job_plan.h"

namespace talvik::cli {

using pipeline::JobPlan;
using pipeline::JobStep;

struct SubmittedStep {
    std::string step;  // "overscan", "render", "verify"
    std::string id;    // Slurm's job id (the array's for the render step)
    size_t tasks = 1;
    std::string log;   // its log file, %A/%a left for Slurm to fill
    std::vector<std::string> logs;  // each task's log file
    std::string job_name;
};

// What sbatch is given beyond the job's own options, after them so they
// may override them: every step's, then each kind of step's own.
struct SbatchArgs {
    std::vector<std::string> every, overscan, render, verify;
};

// The batch script of a step: one exec of the task's argv, or for several
// tasks a case on SLURM_ARRAY_TASK_ID. Every word is quoted.
std::string batch_script(const JobPlan& plan, const JobStep& step);

// A submission that failed half-way: why, what Slurm's command said (its
// lines, as it wrote them), and what became of the steps submitted before.
class SubmitFailed : public std::runtime_error {
public:
    SubmitFailed(const std::string& why, const std::string& said, const std::string& outcome);
    const std::string& why() const { return why_; }
    const std::vector<std::string>& said() const { return said_; }
    const std::string& outcome() const { return outcome_; }

private:
    std::string why_;
    std::vector<std::string> said_;
    std::string outcome_;
};

// Writes the scripts and submits the steps in order, each held until all
// are in, then releases them, with the `sbatch_args` of each. First, a job array
// larger than the cluster's MaxArraySize (as `scontrol show config` says
// it) is refused with UsageError, nothing submitted. Throws SubmitFailed
// when sbatch is missing or refuses a step; the held steps submitted
// before are cancelled with scancel, and the outcome names them (and says
// so when they could not be). A stop signal between steps cancels them
// too: io::Stopped says what became of them.
std::vector<SubmittedStep> submit_to_slurm(const JobPlan& plan, const SbatchArgs& sbatch_args);

struct JobEnd {
    std::string state;  // COMPLETED, FAILED, CANCELLED, TIMEOUT, ...
    int exit_code = 0;
    bool succeeded() const { return state == "COMPLETED" && exit_code == 0; }
};

// Polls until job `id` ends. Returns nothing when a stop signal arrives
// first. Throws std::runtime_error when neither scontrol nor sacct knows
// the job.
std::optional<JobEnd> wait_for_slurm_job(const std::string& id);

}  // namespace talvik::cli
