// A shot as a farm job, the same for any scheduler: the steps (measure the
// overscan, render the chunks, verify the shot), what each waits for, and
// each task's frames and full argument vector. `plan` prints it; `submit
// slurm` submits it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/farm/farm_maps.h"
#include "pipeline/job/farm_job.h"
#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"
#include "shot/json_output.h"

namespace talvik::pipeline {

struct JobTask {
    std::vector<int> frames;
    std::vector<std::string> argv;
};

struct JobStep {
    // "overscan", "render", "verify"; a job of two maps has a render step
    // per map, "render-LABEL" (farm_maps.h).
    std::string name;
    std::vector<std::string> after;  // the steps this one waits for
    // Whether it waits for those steps to succeed, or only to end (the
    // verify step runs whatever became of the chunks, to say so).
    bool after_success = true;
    size_t task_count = 0;
    // Task i (0 <= i < task_count), made when asked for: a shot of a
    // million frames in chunks of one is a million tasks of a few hundred
    // bytes each, more than is worth holding at once.
    std::function<JobTask(size_t)> task;
    // With "{first}" and "{last}" for a task's first and last frame, when
    // every task is a run of consecutive frames as a farm's own chunking
    // makes them and no other word holds "{first}" or "{last}"; empty
    // otherwise.
    std::vector<std::string> argv_template;
    std::string kind;      // "overscan", "render" or "verify": what the step does
    std::string job_name;  // the scheduler's name of its job: "sh010-rm-render"
    // What each task asks the scheduler for: --threads N asks N CPUs
    // (without, the scheduler's default, one), and the memory the render's
    // own guard (shot/memory_check.h) says a frame takes beyond the
    // process; nothing where it is not estimated.
    int cpus = 1;
    std::optional<uint64_t> memory;
};

struct JobPlan {
    std::string name;            // the (first) map's stem: "undist" for undist.####.exr
    std::string job_name;        // the steps' job names' base: "sh010-undist"
    std::string job_folder;      // absolute: reports, scripts, logs, the chunks' manifests
    std::string log_folder;      // job_folder/logs
    std::string shot_manifest;   // what verify writes (of the first map)
    std::vector<std::string> maps;            // each map's pattern, absolute
    std::vector<std::string> shot_manifests;  // each map's shot manifest
    std::string overscan_report; // what the overscan step writes; empty: no such step
    std::vector<int> frames;
    int chunk = 0;
    int threads = 0;             // each task's --threads; 0: the CPUs it is given
    std::vector<JobStep> steps;
};

// The frames a job's tasks make, for the memory each asks for: the format
// the overscan is measured over, and the largest box a map is rendered
// over (the format where `auto`'s margins are yet to be measured). 0: not
// known, nothing estimated.
struct FrameSizes {
    int format_width = 0, format_height = 0;
    int box_width = 0, box_height = 0;
};

// The plan of a render's options over `frames` (decided as the render
// would), run by `executable` with the plug-in of `plugin_folder`. Paths
// are made absolute, so a task means the same from any working folder.
JobPlan plan_job(const ShotJob& options, const FarmJob& farm, const std::vector<int>& frames,
                 const std::string& executable, const std::string& plugin_folder, const FrameSizes& sizes = {});

// The same, the frames decided and the plug-in loaded as a render of
// `options` would: the take is reloaded and checked, and an overscan
// report given checked against the shot, and the files the job writes
// checked as a render checks its outputs, now, so that a job that cannot
// render is refused before it is submitted: an output a render would
// refuse is a UsageError here, as every try of its task would fail again.
// Warnings go to `err`.
JobPlan plan_shot_job(const ShotJob& options, const FarmJob& farm, ShotEvents& events);

// The base of a job's names: the nearest folder above the first map
// whose name holds a digit (the shot: "sh010"; none: the map's own
// folder), then for a job of one map its stem: "sh010-rm". Letters,
// digits, '.', '_' and '-' only, at most kJobNameLimit characters.
std::string default_job_name(const std::vector<std::string>& maps);

// Slurm's largest MaxArraySize: no cluster takes a job array of more tasks.
constexpr size_t kSlurmArrayLimit = 4000001;

// Throws UsageError when a step of `plan` has more tasks than `limit`,
// naming the step, the limit (`limit_name`) and the --chunk that fits.
void check_task_count(const JobPlan& plan, size_t limit, const std::string& limit_name);

// The plan as JSON on `out`, written as it is made, task by task; throws
// std::runtime_error when it cannot be written.
void write_job_plan_json(const JobPlan& plan, std::FILE* out);

// For people, on `out` likewise: each step, what it waits for, and each
// task's command line quoted for a POSIX shell.
void write_job_plan_text(const JobPlan& plan, std::FILE* out);

// A word quoted for a POSIX shell: 'it'\''s'.
std::string shell_quoted(const std::string& word);

}  // namespace talvik::pipeline
