#include "cli/options/option_table.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "io/usable_cpus.h"
#include "shot/direction.h"
#include "shot/size_text.h"
#include "shot/usage_error.h"

namespace talvik::cli {

namespace {


int parse_int(const std::string& option, const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw shot::UsageError(option + " takes a whole number, not \"" + text + "\"");
    }
    if (value < low || value > high) {
        throw shot::UsageError(option + " " + text + " is out of range (" + std::to_string(low) +
                                    " to " + std::to_string(high) + ")");
    }
    return value;
}

exr::StMapCompression compression(const std::string& text) {
    try {
        return exr::parse_st_map_compression(text);
    } catch (const std::invalid_argument& e) {
        throw shot::UsageError(e.what());
    }
}

std::pair<std::string, std::string> parse_set(const std::string& v) {
    const auto eq = v.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw shot::UsageError("--set takes NAME=VALUE, not \"" + v + "\"");
    }
    return {v.substr(0, eq), v.substr(eq + 1)};
}

// A file the command writes: "-" is not taken for standard output, nor
// for a file of that name, which a user meaning standard output would
// not look for.
void output_to(std::string& target, const char* option, const std::string& v) {
    if (v == "-")
        throw shot::UsageError(std::string(option) +
                               " \"-\" is not standard output here: give a file name (./- for a file named \"-\")");
    target = v;
}

// The maps nuke-script reads, or those a farm job makes (written) or
// verify checks (read).
void map_pattern(CommandLine& cl, Command c, const std::string& v, std::string HandoffOptions::*handoff,
                 std::string FarmOptions::*farm, const char* option) {
    if (c == Command::NukeScript) cl.handoff.*handoff = v;
    else if (c == Command::Verify) cl.farm.*farm = v;
    else output_to(cl.farm.*farm, option, v);
}

// A job name as sbatch's --job-name and --output take it and a wrangler's
// queue shows it: one word, no folder, a length a queue's columns hold.
std::string job_name(const std::string& v) {
    if (v.size() > pipeline::kJobNameLimit)
        throw shot::UsageError("--job-name \"" + v.substr(0, 20) + "...\" is longer than " +
                               std::to_string(pipeline::kJobNameLimit) + " characters");
    for (char c : v)
        if (std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c)) || c == '/' ||
            c == '\\')
            throw shot::UsageError("--job-name takes one word without spaces, control characters, '/' or '\\', not \"" +
                                   v + "\"");
    return v;
}

// An argument for sbatch. The job's arrays are ours: sbatch takes --array
// (and any start of it down to --ar) and -a as one, which would make the
// render step other tasks than its chunks, or run a one-task step again.
void sbatch_arg(std::vector<std::string>& args, const char* option, const std::string& v) {
    const std::string name = v.substr(0, v.find('='));
    if ((name.size() >= 4 && std::string("--array").compare(0, name.size(), name) == 0) ||
        (v.size() >= 2 && v[0] == '-' && v[1] == 'a'))
        throw shot::UsageError(std::string(option) + " \"" + v +
                               "\": the job makes its own arrays (a render task per --chunk frames, one overscan and "
                               "one verify task), so it takes no --array");
    args.push_back(v);
}

const char* mode_name(int mode) { return mode == 0 ? "distort" : "undistort"; }

// --mode and --direction both set the Mode; given both, they must agree.
// Points go through the lens against the map's way (shot/direction.h).
void take_direction(CommandLine& cl, Command command, const std::string& v, bool direction_word) {
    const bool points = command == Command::Points;
    const shot::DirectionWords words = direction_word ? shot::DirectionWords::Directions
                                       : points       ? shot::DirectionWords::PointModes
                                                      : shot::DirectionWords::MapModes;
    shot::Direction direction{};
    try {
        direction = shot::parse_direction(v, words);
    } catch (const std::invalid_argument& e) {
        throw shot::UsageError(std::string(direction_word ? "--direction " : "--mode ") + e.what());
    }
    const int mode = points ? shot::point_mode(direction) : shot::map_mode(direction);
    std::optional<int>& given = cl.render.mode;
    if (given && *given != mode) {
        const std::string direction_text = direction_word ? v : (direction == shot::Direction::Remove ? "add" : "remove");
        const std::string mode_text = direction_word ? mode_name(*given) : v;
        throw shot::UsageError("--direction " + direction_text + " and --mode " + mode_text + " disagree (--direction " +
                               direction_text + " is --mode " + mode_name(direction_word ? mode : *given) +
                               " here): give one");
    }
    given = mode;
}

constexpr CommandSet kShot = bit(Command::Render) | bit(Command::Overscan) | bit(Command::Plan) |
                             bit(Command::Submit) | bit(Command::Verify) | bit(Command::Camera) |
                             bit(Command::NukeScript);
constexpr CommandSet kFormatAndTake = kShot | bit(Command::Points);
constexpr CommandSet kRenders = bit(Command::Render) | bit(Command::Plan) | bit(Command::Submit);
constexpr CommandSet kMaps = kRenders | bit(Command::Verify);
constexpr CommandSet kOverscanned = kMaps | bit(Command::Camera) | bit(Command::NukeScript);
constexpr CommandSet kHandoff = bit(Command::Camera) | bit(Command::NukeScript);
constexpr CommandSet kFarm = bit(Command::Plan) | bit(Command::Submit);
constexpr CommandSet kFarmTask = bit(Command::Render) | bit(Command::Overscan) | bit(Command::Verify);
constexpr CommandSet kMapPair = kFarm | bit(Command::Verify) | bit(Command::NukeScript);
constexpr CommandSet kAll = kFormatAndTake | bit(Command::Inspect) | bit(Command::Version) | bit(Command::Config);

using T = Takes;

const std::vector<OptionEntry> kOptions = {
    {"--plate", "FILE.exr",
     "The plate: its display window is the format, its header attributes the metadata (pixels are never read). "
     "plate.####.exr: a sequence, each frame's own header at that frame.",
     kFormatAndTake, T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.render.plate = v; }, false,
     true, "", true},
    {"--size", "WxH", "The frame size instead of a plate (neither: 4320x2160).", kFormatAndTake, T::Value,
     [](CommandLine& cl, Command, const std::string& v) { cl.render.size = parse_size(v); }},
    {"--fbx", "TAKE.fbx",
     "The FBX take to reload (sets fbx_file_path). Only names ending in a lower-case .fbx are read, as the node does.",
     kFormatAndTake, T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.render.fbx = v; }, false, true, "", true},
    {"--camera", "N",
     "The take's camera number (default: the digit before .fbx or the plate's unreal/cameraName, which must agree).",
     kFormatAndTake, T::Value,
     [](CommandLine& cl, Command, const std::string& v) { cl.render.camera = parse_int("--camera", v, 0, 999999); }, false, false,
     "", true},
    {"--set", "NAME=VALUE",
     "Set a control by name before the reload (repeatable): numbers, true/false, texts, Mode entry names. A --set of "
     "Mode, fbx_file_path or camera_index must agree with --mode, --fbx or --camera.",
     kShot, T::Values, [](CommandLine& cl, Command, const std::string& v) { cl.render.sets.push_back(parse_set(v)); }},
    {"--frames", "RANGE",
     "The frames: 1001-1100, 1001-1100x2, 1,5,10-20 or \"1 3 4 8\" (default: a plate sequence's frames, else the "
     "take's keyed range, else frame 1).",
     kShot, T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.render.frames = v; }, false, false, "", true},
    {"--overscan", "MARGINS",
     "Grow the box beyond the format: N pixels a side, XxY, L,R,B,T, P% or auto (what the add-distortion map reaches "
     "over the whole shot; prints the CG render size).",
     kOverscanned, T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.render.overscan = v; }, false,
     false, "auto"},
    {"--overscan-from", "FILE.json", "The margins of an overscan report.", kOverscanned, T::Value,
     [](CommandLine& cl, Command, const std::string& v) { cl.render.overscan_from = v; }, false, true, "", true},
    {"--overscan-report", "FILE.json",
     "Write the overscan report: margins, CG render size, the CG camera's film back and Nuke window.", kRenders,
     T::Value,
     [](CommandLine& cl, Command, const std::string& v) { output_to(cl.render.overscan_report, "--overscan-report", v); },
     false, true, "", true},
    {"--direction", "remove|add",
     "remove: plate positions to undistorted ones (the remove-distortion map, --mode distort); add: the other way "
     "(points: remove is --mode undistort).",
     kMaps | bit(Command::Points), T::Value,
     [](CommandLine& cl, Command c, const std::string& v) { take_direction(cl, c, v, true); }, false, false,
     "remove add"},
    {"--mode", "distort|undistort",
     "The node's Mode, as --direction says it: distort makes the remove-distortion map; for points, distort takes "
     "undistorted positions to the plate's.",
     kMaps | bit(Command::Points), T::Value,
     [](CommandLine& cl, Command c, const std::string& v) { take_direction(cl, c, v, false); }, false, false,
     "distort undistort"},
    {"-o,--output", "OUT",
     "What the command writes: the maps, an EXR per frame (#### or %04d for the frame number); overscan: the report; "
     "camera: the camera JSON; nuke-script: the script; points: the track CSV.",
     kFormatAndTake, T::Value,
     [](CommandLine& cl, Command c, const std::string& v) {
         RenderOptions& o = cl.render;
         if (c == Command::Verify) o.output = v;  // read, not written
         else if (c == Command::Overscan) output_to(o.overscan_report, "-o", v);
         else if (c == Command::Camera || c == Command::NukeScript) output_to(o.document, "-o", v);
         else output_to(o.output, "-o", v);
     },
     false, true, "", true},
    {"--compression", "NAME", "EXR compression: none, rle, zips, zip (default) or piz, all lossless.", kMaps,
     T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.render.compression = compression(v); }, false,
     false, "none rle zips zip piz"},
    {"--alpha", "", "An A channel (half) in each map: 1 where it holds a position, 0 where the lens has none.", kMaps,
     T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.render.alpha = true; }},
    {"--preview", "PATTERN", "A PNG per frame: a checkerboard pushed through the map.", kMaps, T::Value,
     [](CommandLine& cl, Command c, const std::string& v) {
         if (c == Command::Verify) cl.render.preview = v;  // read, not written
         else output_to(cl.render.preview, "--preview", v);
     },
     false, true, "", true},
    {"--print-controls", "", "Print one JSON object per frame with every control's value.", kRenders, T::Flag,
     [](CommandLine& cl, Command, const std::string&) { cl.render.print_controls = true; }},
    {"--threads", "N",
     "Render and compression threads, at most 4 per usable CPU (default: the CPUs this process may use).", kShot,
     T::Value,
     [](CommandLine& cl, Command, const std::string& v) {
         cl.render.threads = parse_int("--threads", v, 1, io::thread_limit());
     }},
    {"-q,--quiet", "", "No progress and no summary; errors and warnings still reach standard error.", kFormatAndTake,
     T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.render.quiet = true; }},
    {"--verbose", "", "Also the lines the take's reload script prints (\"File reloaded\").", kFormatAndTake, T::Flag,
     [](CommandLine& cl, Command, const std::string&) { cl.render.verbose = true; }},
    {"--strict", "", "Every warning (held frames, unusable lenses, gaps in a plate sequence, ...) fails the run.",
     kFormatAndTake, T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.render.strict = true; }},
    {"--plugin-path", "DIR",
     "Where TalvikDistort.so is (repeatable; also TALVIK_PLUGIN_PATH): the only folders looked in. Default: the "
     "plug-in installed or built beside the command.",
     kFormatAndTake | bit(Command::Version), T::Values,
     [](CommandLine& cl, Command, const std::string& v) { cl.render.plugin_path.push_back(v); }, false, true},
    {"--task-log", "",
     "Standard error is a farm task's log: it starts with the time (UTC), host, version and arguments, and each "
     "progress line with the time (plan and submit give it to every task).",
     kFarmTask, T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.render.task_log = true; },
     false, false, "", true},
    {"--skip-existing", "",
     "Leave frames whose files exist, were made from this run's values and, where the manifests beside --manifest "
     "record them, hold the bytes written; render the others.",
     kRenders, T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.render.skip_existing = true; }},
    {"--manifest", "FILE.json",
     "List every file written, its frame and controls (plan, submit, verify: the shot manifest verify writes).", kMaps,
     T::Value, [](CommandLine& cl, Command, const std::string& v) { output_to(cl.render.manifest, "--manifest", v); },
     false, true, "", true},
    {"--chunk", "N", "Frames per render task.", kFarm, T::Value,
     [](CommandLine& cl, Command, const std::string& v) { cl.farm.chunk = parse_int("--chunk", v, 1, 1000000); }},
    {"--job-dir", "DIR",
     "Where the job keeps its overscan report, batch scripts, logs and manifests (default: NAME.job beside the "
     "outputs).",
     kFarm | bit(Command::Verify), T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.farm.job_dir = v; },
     false, true, "", true},
    {"--json", "", "JSON: plan, the job; submit, the job ids; inspect, the take's cameras; config, the values.",
     kFarm | bit(Command::Inspect) | bit(Command::Config), T::Flag,
     [](CommandLine& cl, Command c, const std::string&) {
         (c == Command::Inspect ? cl.inspect.json : c == Command::Config ? cl.config.json : cl.farm.json) = true;
     }},
    {"--deep", "",
     "Also decode every map and compare it bit for bit with the map this shot's values make (a render in memory).",
     bit(Command::Verify), T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.farm.deep = true; }},
    {"--wait", "", "Wait for the verify job: exit 0 when every frame is there, whole and current, 1 otherwise.",
     bit(Command::Submit), T::Flag, [](CommandLine& cl, Command, const std::string&) { cl.farm.wait = true; }},
    {"--sbatch-arg", "ARG", "Passed to every sbatch (repeatable), e.g. --sbatch-arg=--partition=comp.",
     bit(Command::Submit), T::Values,
     [](CommandLine& cl, Command, const std::string& v) { sbatch_arg(cl.farm.sbatch_args, "--sbatch-arg", v); }, true},
    {"--overscan-sbatch-arg", "ARG", "Passed to the overscan step's sbatch only, after --sbatch-arg (repeatable).",
     bit(Command::Submit), T::Values,
     [](CommandLine& cl, Command, const std::string& v) {
         sbatch_arg(cl.farm.overscan_sbatch_args, "--overscan-sbatch-arg", v);
     },
     true},
    {"--render-sbatch-arg", "ARG",
     "Passed to the render steps' sbatch only, after --sbatch-arg (repeatable), e.g. --render-sbatch-arg=--mem=8G.",
     bit(Command::Submit), T::Values,
     [](CommandLine& cl, Command, const std::string& v) { sbatch_arg(cl.farm.render_sbatch_args, "--render-sbatch-arg", v); },
     true},
    {"--verify-sbatch-arg", "ARG", "Passed to the verify step's sbatch only, after --sbatch-arg (repeatable).",
     bit(Command::Submit), T::Values,
     [](CommandLine& cl, Command, const std::string& v) { sbatch_arg(cl.farm.verify_sbatch_args, "--verify-sbatch-arg", v); },
     true},
    {"--job-name", "NAME",
     "The base of the job names: steps add -overscan, -render, -verify (default: the shot's folder and the maps' "
     "name, sh010-rm).",
     kFarm, T::Value, [](CommandLine& cl, Command, const std::string& v) { cl.farm.job_name = job_name(v); }, false,
     false, "", true},
    {"--film-back", "WxH", "The CG camera's film back in mm (36x24): adds the focal length and apertures in mm.",
     kHandoff, T::Value,
     [](CommandLine& cl, Command, const std::string& v) {
         if (cl.handoff.film_back)
             throw shot::UsageError("--film-back and --haperture both give the film back: give one");
         cl.handoff.film_back = shot::parse_film_back("--film-back", v);
     }},
    {"--haperture", "MM", "The film back from its horizontal aperture alone (nuke-script without either: 24.576).",
     kHandoff, T::Value,
     [](CommandLine& cl, Command, const std::string& v) {
         if (cl.handoff.film_back)
             throw shot::UsageError("--film-back and --haperture both give the film back: give one");
         cl.handoff.film_back = shot::FilmBack{shot::parse_millimetres("--haperture", v), std::nullopt};
     }},
    {"--remove-map", "PATTERN",
     "The remove-distortion maps (render --direction remove): those the script reads; plan, submit, verify: instead "
     "of -o, with --add-map both maps from one overscan measurement.",
     kMapPair, T::Value,
     [](CommandLine& cl, Command c, const std::string& v) { map_pattern(cl, c, v, &HandoffOptions::remove_map, &FarmOptions::remove_map, "--remove-map"); },
     false, true},
    {"--add-map", "PATTERN",
     "The add-distortion maps (render --direction add): those the script reads; plan, submit, verify: instead of -o, "
     "with --remove-map.",
     kMapPair, T::Value,
     [](CommandLine& cl, Command c, const std::string& v) { map_pattern(cl, c, v, &HandoffOptions::add_map, &FarmOptions::add_map, "--add-map"); },
     false, true},
    {"--origin", "bottom-left|top-left",
     "The track's pixel convention (default bottom-left, y up as in Nuke; pixel centres at i + 0.5 either way).",
     bit(Command::Points), T::Value,
     [](CommandLine& cl, Command, const std::string& v) {
         if (v != "bottom-left" && v != "top-left")
             throw shot::UsageError("--origin takes bottom-left or top-left, not \"" + v + "\"");
         cl.points.top_left = v == "top-left";
     },
     false, false, "bottom-left top-left"},
    {"--no-config", "",
     "Read no config file: the command line and the defaults only (as a farm job's tasks run, whatever the farm's "
     "files say).",
     kAll, T::Flag, [](CommandLine&, Command, const std::string&) {}, false, false, "", true},
    {"--version", "", "Print the versions of the command, the plug-in and the lens model.", bit(Command::Version),
     T::Flag, [](CommandLine&, Command, const std::string&) {}, false, false, "", true},
    {"-h,--help", "", "Print this help.", kAll, T::Help, nullptr},
};

const std::vector<CommandEntry> kCommands = {
    {Command::Render, "render", "Render the shot's ST maps, an EXR per frame.", "[OPTIONS] -o PATTERN", "", "", nullptr},
    {Command::Overscan, "overscan", "Measure the overscan the shot's maps need and write the report.",
     "[OPTIONS] -o REPORT.json", "", "", nullptr},
    {Command::Camera, "camera", "Write the undistorted CG camera of each frame as JSON.", "[OPTIONS] -o CAMERA.json",
     "", "", nullptr},
    {Command::NukeScript, "nuke-script", "Write a Nuke script that reads the plate through the maps.",
     "[OPTIONS] --remove-map PATTERN --add-map PATTERN -o SHOT.nk", "", "", nullptr},
    {Command::Points, "points", "Push a 2D track through the lens of each of its frames.",
     "[OPTIONS] --fbx TAKE.fbx --direction remove|add TRACK.csv -o OUT.csv", "TRACK.csv",
     "The track: a header name,frame,x,y (other columns are carried through), a point per line, in pixels.",
     [](CommandLine& cl, const std::string& v) { cl.points.track = v; }},
    {Command::Plan, "plan", "Print the shot as a farm job: overscan, render chunks, verify.",
     "[OPTIONS] -o PATTERN --chunk N", "", "", nullptr},
    {Command::Submit, "submit", "Submit the shot's farm job to Slurm.", "slurm [OPTIONS] -o PATTERN --chunk N", "slurm",
     "The scheduler; other farms take the job that plan --json prints.", [](CommandLine& cl, const std::string& v) { cl.farm.scheduler = v; }},
    {Command::Verify, "verify",
     "Check every frame's files: there, whole, made from this shot's values and the bytes their render recorded.",
     "[OPTIONS] -o PATTERN", "", "", nullptr},
    {Command::Inspect, "inspect", "List the lens cameras of an FBX take.", "[--json] TAKE.fbx", "TAKE.fbx",
     "The take, its name ending in a lower-case .fbx.", [](CommandLine& cl, const std::string& v) { cl.inspect.fbx = v; }},
    {Command::Config, "config", "Print each option's value and where it came from: a config file, the command line "
     "or the default.", "[--json] [COMMAND [OPTIONS]]", "COMMAND",
     "The command whose values to show, with its options as it would be given them (default: every command).",
     [](CommandLine& cl, const std::string& v) { cl.config.command = v; }},
    {Command::Version, "--version", "Print the versions of the command, the plug-in and the lens model.",
     "[--plugin-path DIR]", "", "", nullptr},
};

const std::vector<NamedMeaning> kExitStatuses = {
    {"0", "done"},
    {"1", "a failure in the work (bad input, a frame that could not be made, a failed write)"},
    {"2", "bad usage: an unknown option, a value out of range, options that contradict each other"},
    {"129, 130, 143", "stopped by SIGHUP, SIGINT or SIGTERM (128 + the signal); frames already written are kept"},
    {"141", "standard output closed by its reader (SIGPIPE), without a message"},
};

const std::vector<NamedMeaning> kEnvironment = {
    {"TALVIK_CONFIG",
     "The one config file to read instead of $XDG_CONFIG_HOME/talvik/config and $XDG_CONFIG_DIRS/talvik/config "
     "(set but empty: none)."},
    {"XDG_CONFIG_HOME, XDG_CONFIG_DIRS",
     "Where the user's (default ~/.config) and the system's (default /etc/xdg) talvik/config are; the user's keys win."},
    {"TALVIK_PLUGIN_PATH", "Folders to look for TalvikDistort.so in, ':'-separated, after --plugin-path."},
    {"TALVIK_SCRIPT_NAMESPACES",
     "shared (default) or separate: whether a reload script's globals and locals are one namespace or two, as "
     "some hosts run knob scripts."},
    {"SLURM_JOB_ID, SLURM_CPUS_PER_TASK, SLURM_CPUS_ON_NODE",
     "Inside a Slurm job, the CPUs the job was given cap the threads used."},
};

}  // namespace

std::pair<int, int> parse_size(const std::string& text) { return shot::parse_frame_size("--size", text); }

const std::vector<OptionEntry>& option_table() { return kOptions; }
const std::vector<CommandEntry>& command_table() { return kCommands; }
const std::vector<NamedMeaning>& exit_statuses() { return kExitStatuses; }
const std::vector<NamedMeaning>& environment_variables() { return kEnvironment; }

const CommandEntry* find_command(const std::string& name) {
    if (name == "version") return &command_entry(Command::Version);
    for (const CommandEntry& c : kCommands)
        if (c.command != Command::Version && name == c.name) return &c;
    return nullptr;
}

const CommandEntry& command_entry(Command command) {
    for (const CommandEntry& c : kCommands)
        if (c.command == command) return c;
    throw std::logic_error("no such command");
}

std::vector<const OptionEntry*> options_of(Command command) {
    std::vector<const OptionEntry*> found;
    for (const OptionEntry& o : kOptions)
        if (o.commands & bit(command)) found.push_back(&o);
    return found;
}

std::string spelled_names(const OptionEntry& option) {
    std::string names = option.names;
    for (size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2))
        names.replace(comma, 1, ", ");
    return names;
}

}  // namespace talvik::cli
