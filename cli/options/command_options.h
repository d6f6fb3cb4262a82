// The command line of talvik-stmap, parsed into what each subcommand needs.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/options/config_file.h"
#include "exr/st_map_exr_writer.h"
#include "pipeline/job/farm_job.h"
#include "pipeline/job/handoff_job.h"
#include "pipeline/job/points_job.h"
#include "pipeline/job/shot_job.h"
#include "shot/undistorted_camera.h"

namespace talvik::cli {

// The shot job, and how the command tells about it.
struct RenderOptions : pipeline::ShotJob {
    bool print_controls = false;  // --print-controls
    bool quiet = false;           // --quiet: no progress or summary; warnings still
    bool verbose = false;         // --verbose: the reload script's own lines too
    bool strict = false;          // --strict: every warning fails the run
    bool task_log = false;        // --task-log: a farm task's log, headed and timed
};

// camera and nuke-script: what they hand to CG and comp beyond the shot.
struct HandoffOptions : pipeline::HandoffJob {};

struct InspectOptions {
    std::string fbx;
    bool json = false;                         // --json
};

// plan, submit and verify: the shot as a farm job.
struct FarmOptions : pipeline::FarmJob {
    bool json = false;                     // --json
    bool wait = false;                     // --wait: until the verify job ends (submit)
    std::vector<std::string> sbatch_args;  // --sbatch-arg=ARG, in order (submit slurm): every step's
    std::vector<std::string> overscan_sbatch_args, render_sbatch_args, verify_sbatch_args;  // one step's, after
    std::string scheduler;                 // submit's first word: "slurm"
};

// points keeps its take, format, mode, output and run options in
// RenderOptions; these are its own.
struct PointsOptions : pipeline::PointsJob {};

// config: each option's values for a command, and where each came from.
struct ConfigOptions {
    bool json = false;                 // --json
    std::string command;               // the command asked about; "" for each
    std::vector<std::string> files;    // the config files read, least important first
    // Per command shown (its name), the options with a value: from the
    // command line, else the config files.
    std::vector<std::pair<std::string, OptionDefaults>> commands;
};

struct CommandLine {
    enum class Command {
        Help, Render, Overscan, Camera, NukeScript, Inspect, Version, Points, Plan, Submit, Verify, Config
    } command = Command::Help;
    // Help: the command whose help was asked for; Help for the overview.
    Command help_for = Command::Help;
    // The shot of overscan, camera, nuke-script, points, plan, submit and
    // verify too; --version uses its plugin_path.
    RenderOptions render;
    HandoffOptions handoff;
    InspectOptions inspect;
    PointsOptions points;
    FarmOptions farm;
    ConfigOptions config;
};

// Throws UsageError naming the option or value that is wrong (and the
// file and line of one from `config`). An option the command line gives
// takes only its values there, the files' values of it are not used.
CommandLine parse_command_line(const std::vector<std::string>& args, const ConfigFiles& config = ConfigFiles{});

// "1920x1080" -> {1920, 1080}; both at least 1 and at most 65536.
std::pair<int, int> parse_size(const std::string& text);

}  // namespace talvik::cli
