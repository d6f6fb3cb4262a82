#include "cli/options/command_options.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <thread>

#include "cli/options/usage_error.h"

namespace talvik::cli {

namespace {

constexpr int kMaxSide = 65536;

int parse_int(const std::string& option, const std::string& text, int low, int high) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        throw UsageError(option + " takes a whole number, not \"" + text + "\"");
    }
    if (value < low || value > high) {
        throw UsageError(option + " " + text + " is out of range (" + std::to_string(low) +
                                    " to " + std::to_string(high) + ")");
    }
    return value;
}

// More threads than four per core only cost memory; far more can exhaust it.
int parse_threads(const std::string& text) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = parse_int("--threads", text, 1, 1 << 20);
    if (threads > 4 * cores)
        throw UsageError("--threads " + text + " is more than 4 per core (" + std::to_string(cores) +
                                    " cores: at most " + std::to_string(4 * cores) + ")");
    return threads;
}

exr::StMapCompression compression(const std::string& text) {
    try {
        return exr::parse_st_map_compression(text);
    } catch (const std::invalid_argument& e) {
        throw UsageError(e.what());
    }
}

int parse_mode(const std::string& text) {
    if (text == "distort") return 0;
    if (text == "undistort") return 1;
    throw UsageError("--mode takes distort or undistort, not \"" + text + "\"");
}

RenderOptions parse_render(const std::vector<std::string>& args) {
    RenderOptions o;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            return args[++i];
        };
        if (arg == "--plate") {
            o.plate = value();
        } else if (arg == "--size") {
            o.size = parse_size(value());
        } else if (arg == "--overscan") {
            o.overscan = value();
        } else if (arg == "--mode") {
            o.mode = parse_mode(value());
        } else if (arg == "--set") {
            const std::string& v = value();
            const auto eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                throw UsageError("--set takes NAME=VALUE, not \"" + v + "\"");
            }
            o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (arg == "--fbx") {
            o.fbx = value();
        } else if (arg == "--camera") {
            o.camera = parse_int("--camera", value(), 0, 999999);
        } else if (arg == "--frames") {
            o.frames = value();
        } else if (arg == "-o" || arg == "--output") {
            o.output = value();
        } else if (arg == "--preview") {
            o.preview = value();
        } else if (arg == "--print-controls") {
            o.print_controls = true;
        } else if (arg == "--threads") {
            o.threads = parse_threads(value());
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--strict") {
            o.strict = true;
        } else if (arg == "--compression") {
            o.compression = compression(value());
        } else if (arg == "--plugin-path") {
            o.plugin_path.push_back(value());
        } else if (arg == "--skip-existing") {
            o.skip_existing = true;
        } else if (arg == "--manifest") {
            o.manifest = value();
        } else {
            throw UsageError("unknown option \"" + arg + "\" for render (see --help)");
        }
    }
    if (!o.plate.empty() && o.size) {
        throw UsageError("--plate and --size both set the frame size: give one");
    }
    if (o.camera && o.fbx.empty()) {
        throw UsageError("--camera picks a camera of the --fbx take: give --fbx too");
    }
    if (o.output.empty() && o.preview.empty() && !o.print_controls) {
        throw UsageError("nothing to do: give -o, --preview or --print-controls");
    }
    return o;
}

InspectOptions parse_inspect(const std::vector<std::string>& args) {
    InspectOptions o;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--json") {
            o.json = true;
        } else if (args[i].empty() || args[i][0] == '-' || !o.fbx.empty()) {
            throw UsageError("inspect takes one FBX file and optionally --json, not \"" + args[i] + "\"");
        } else {
            o.fbx = args[i];
        }
    }
    if (o.fbx.empty()) throw UsageError("inspect takes exactly one FBX file");
    return o;
}

std::vector<std::string> parse_version(const std::vector<std::string>& args) {
    std::vector<std::string> plugin_path;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] != "--plugin-path" || i + 1 >= args.size())
            throw UsageError("--version takes only --plugin-path DIR, not \"" + args[i] + "\"");
        plugin_path.push_back(args[++i]);
    }
    return plugin_path;
}

}  // namespace

std::pair<int, int> parse_size(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) {
        throw UsageError("--size takes WIDTHxHEIGHT, not \"" + text + "\"");
    }
    return {parse_int("--size width", text.substr(0, x), 1, kMaxSide),
            parse_int("--size height", text.substr(x + 1), 1, kMaxSide)};
}

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") return cl;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") return cl;
    }
    if (args[0] == "render") {
        cl.command = CommandLine::Command::Render;
        cl.render = parse_render(args);
    } else if (args[0] == "inspect") {
        cl.command = CommandLine::Command::Inspect;
        cl.inspect = parse_inspect(args);
    } else if (args[0] == "--version" || args[0] == "version") {
        cl.command = CommandLine::Command::Version;
        cl.render.plugin_path = parse_version(args);
    } else {
        throw UsageError("unknown command \"" + args[0] + "\" (render, inspect or --help)");
    }
    return cl;
}

const char* usage_text() {
    return R"(talvik-stmap: ST maps of the TalvikDistort node, without Nuke

usage:
  talvik-stmap render [options] -o OUT.####.exr
  talvik-stmap inspect [--json] TAKE.fbx
  talvik-stmap --version [--plugin-path DIR]

render options:
  --plate FILE.exr       input plate: its display window is the format and its
                         header attributes the metadata ("exr/<name>"); pixels
                         are never read. plate.####.exr: a sequence, each
                         frame's own header at that frame
  --size WxH             frame size instead of a plate (neither: 4320x2160)
  --overscan MARGINS     grow the input's bounding box beyond the format: N
                         pixels a side, XxY (left/right, bottom/top), P% (the
                         box P% wider and taller) or auto (what the Undistort
                         map reaches; prints the CG render size)
  --mode distort|undistort
  --set NAME=VALUE       set any control by name (repeatable), before a reload:
                         numbers, true/false, texts, Mode entry names
  --fbx FILE             FBX take to reload (sets fbx_file_path), then press
                         "reload"; the camera is the digit before ".fbx" or the
                         plate's unreal/cameraName, which must agree
  --camera N             camera number of the take (overrides both)
  --frames RANGE         1001-1100, 1001-1100x2, 1,5,10-20, 1 3 4 8 (default:
                         a plate sequence's frames, else the keyed range
                         after a reload, else frame 1)
  -o PATTERN             EXR per frame, #### or %04d for the frame number
  --compression NAME     none, rle, zips, zip (default) or piz (lossless only)
  --preview PATTERN      PNG per frame: a checkerboard pushed through the map
  --print-controls       one JSON object per frame with every control's value
  --threads N            render and compression threads, at most 4 per core
                         (default: the CPUs this process may use)
  --quiet                no progress and no summary; errors and warnings
                         still reach stderr
  --strict               every warning (held frames, the default size,
                         --set replacing a take's keys) fails the run
  --plugin-path DIR      where TalvikDistort.so is (repeatable; also
                         TALVIK_PLUGIN_PATH, then the build's plugins folder)
  --skip-existing        leave frames whose files exist and say they were
                         made from this run's values (controls at the frame,
                         Mode, format, box, lens model); render the others
  --manifest FILE.json   list every file written, its frame and controls

exit status: 0 done, 1 a failure in the work, 2 bad usage,
             130/143/129 stopped by SIGINT/SIGTERM/SIGHUP
)";
}

}  // namespace talvik::cli
