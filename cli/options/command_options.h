// The command line of talvik-stmap, parsed into what each subcommand needs.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exr/st_map_exr_writer.h"
#include "shot/undistorted_camera.h"

namespace talvik::cli {

struct RenderOptions {
    std::string plate;                         // --plate
    std::optional<std::pair<int, int>> size;   // --size WxH
    std::optional<std::string> overscan;       // --overscan MARGINS, unparsed
    std::string overscan_from;                 // --overscan-from FILE.json, a report's margins
    std::string overscan_report;               // --overscan-report FILE.json; -o of overscan
    std::string overscan_report_option = "--overscan-report";  // as messages name it
    std::optional<int> mode;                   // --mode or --direction: 0 distort, 1 undistort
    std::vector<std::pair<std::string, std::string>> sets;  // --set NAME=VALUE, in order
    std::string fbx;                           // --fbx
    std::optional<int> camera;                 // --camera
    std::string frames;                        // --frames, unparsed
    std::string output;                        // -o
    std::string preview;                       // --preview
    bool print_controls = false;               // --print-controls
    int threads = 0;                           // --threads; 0: the CPUs this process may use
    bool quiet = false;                        // --quiet: no progress or summary; warnings still
    bool verbose = false;                      // --verbose: the reload script's own lines too
    bool strict = false;                       // --strict: every warning fails the run
    exr::StMapCompression compression = exr::StMapCompression::Zip;
    bool alpha = false;                        // --alpha: the validity as a half A channel
    std::vector<std::string> plugin_path;      // --plugin-path, then TALVIK_PLUGIN_PATH
    bool skip_existing = false;                // --skip-existing
    std::string manifest;                      // --manifest
    std::string document;                      // -o of camera and nuke-script
    std::vector<std::string> command_line;     // as typed, for the manifest
};

// camera and nuke-script: what they hand to CG and comp beyond the shot.
struct HandoffOptions {
    std::optional<shot::FilmBack> film_back;  // --film-back WxH or --haperture MM
    std::string remove_map;                   // nuke-script --remove-map PATTERN
    std::string add_map;                      // nuke-script --add-map PATTERN
};

struct InspectOptions {
    std::string fbx;
    bool json = false;                         // --json
};

// plan, submit and verify: the shot as a farm job.
struct FarmOptions {
    int chunk = 0;                         // --chunk N: frames per render task
    std::string job_dir;                   // --job-dir; empty: beside the outputs
    bool json = false;                     // --json
    bool wait = false;                     // --wait: until the verify job ends (submit)
    std::vector<std::string> sbatch_args;  // --sbatch-arg=ARG, in order (submit slurm)
    std::string scheduler;                 // submit's first word: "slurm"
};

// points keeps its take, format, mode, output and run options in
// RenderOptions; these are its own.
struct PointsOptions {
    std::string track;      // the CSV read
    bool top_left = false;  // --origin top-left: y down from the top line
};

struct CommandLine {
    enum class Command {
        Help, Render, Overscan, Camera, NukeScript, Inspect, Version, Points, Plan, Submit, Verify
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
};

// Throws UsageError naming the option or value that is wrong.
CommandLine parse_command_line(const std::vector<std::string>& args);

// "1920x1080" -> {1920, 1080}; both at least 1 and at most 65536.
std::pair<int, int> parse_size(const std::string& text);

}  // namespace talvik::cli
