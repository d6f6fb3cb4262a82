#include "cli/options/command_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <thread>

#include <CLI/CLI.hpp>

#include "cli/options/option_suggestion.h"
#include "shot/frame_pattern.h"
#include "shot/usage_error.h"

namespace talvik::cli {

namespace {

constexpr int kMaxSide = 65536;

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

// A film back dimension in millimetres, from 0.1 to 1000: no sensor is
// smaller or a metre wide, and a value far below would be 0 once Nuke's
// float knobs hold it, an aperture its projection divides by.
double parse_mm(const std::string& option, const std::string& text) {
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        throw shot::UsageError(option + " takes millimetres, not \"" + text + "\"");
    if (!(value >= 0.1) || value > 1000.0)
        throw shot::UsageError(option + " " + text + " is out of range (0.1 to 1000 mm)");
    return value;
}

// "36x24" -> 36 mm wide, 24 mm high.
shot::FilmBack parse_film_back(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos)
        throw shot::UsageError("--film-back takes WIDTHxHEIGHT in mm (36x24), not \"" + text + "\"");
    return {parse_mm("--film-back width", text.substr(0, x)), parse_mm("--film-back height", text.substr(x + 1))};
}

// More threads than four per core only cost memory; far more can exhaust it.
int parse_threads(const std::string& text) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return parse_int("--threads", text, 1, 4 * cores);
}

exr::StMapCompression compression(const std::string& text) {
    try {
        return exr::parse_st_map_compression(text);
    } catch (const std::invalid_argument& e) {
        throw shot::UsageError(e.what());
    }
}

int parse_mode(const std::string& text) {
    if (text == "distort") return 0;
    if (text == "undistort") return 1;
    throw shot::UsageError("--mode takes distort or undistort, not \"" + text + "\"");
}

std::pair<std::string, std::string> parse_set(const std::string& v) {
    const auto eq = v.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw shot::UsageError("--set takes NAME=VALUE, not \"" + v + "\"");
    }
    return {v.substr(0, eq), v.substr(eq + 1)};
}

// "-h", "--help", "--plate": what a value must not be. Negative numbers
// ("-5--1" for --frames) are values.
bool looks_like_option(const std::string& v) {
    return v.size() >= 2 && v != "--" && v[0] == '-' &&
           (v[1] == '-' || std::isalpha(static_cast<unsigned char>(v[1])));
}

// "-o/--output": every spelling, as the user may have typed either.
std::string spelled(const CLI::Option& option) {
    std::string names;
    for (const std::string& s : option.get_snames()) names += (names.empty() ? "-" : "/-") + s;
    for (const std::string& l : option.get_lnames()) names += (names.empty() ? "--" : "/--") + l;
    return names;
}

// An option with a value. CLI11 collects what was given; each value is then
// checked here so that every message names the option it is about.
struct ValueOption {
    CLI::Option* option;
    bool repeatable;
    std::function<void(const std::string&)> take;
    bool may_look_like_an_option = false;  // --sbatch-arg=--partition=comp
};

class OptionTable {
public:
    explicit OptionTable(CLI::App& app) : app_(app) {}

    void value(const std::string& names, const std::string& help, bool repeatable,
               std::function<void(const std::string&)> take, bool may_look_like_an_option = false) {
        CLI::Option* o = app_.add_option(names, help)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        options_.push_back({o, repeatable, std::move(take), may_look_like_an_option});
    }
    void flag(const std::string& names, const std::string& help, bool& target) {
        flags_.push_back({app_.add_flag(names, help), &target});
    }

    // After CLI11 has parsed: the values, checked and converted in the
    // order the options are listed.
    void apply() const {
        for (const auto& [option, target] : flags_) *target = option->count() > 0;
        for (const ValueOption& v : options_) {
            const std::string name = spelled(*v.option);
            const std::vector<std::string>& given = v.option->results();
            if (!v.repeatable && given.size() > 1)
                throw shot::UsageError(name + " given twice (\"" + given[0] + "\" and \"" + given[1] +
                                 "\"): give it once");
            for (const std::string& value : given) {
                if (value.empty()) throw shot::UsageError(name + " needs a value, not an empty one");
                if (looks_like_option(value) && !v.may_look_like_an_option)
                    throw shot::UsageError(name + " needs a value, not the option \"" + value + "\"");
                v.take(value);
            }
        }
    }

    CLI::App& app() const { return app_; }

    // "--plate", "-o", "--output", ... for "did you mean".
    std::vector<std::string> names() const {
        std::vector<std::string> all;
        for (const CLI::Option* o : app_.get_options()) {
            for (const std::string& s : o->get_snames()) all.push_back("-" + s);
            for (const std::string& l : o->get_lnames()) all.push_back("--" + l);
        }
        return all;
    }

private:
    CLI::App& app_;
    std::vector<ValueOption> options_;
    std::vector<std::pair<CLI::Option*, bool*>> flags_;
};

auto text_to(std::string& target) {
    return [&target](const std::string& v) { target = v; };
}

// A file the command writes: "-" is not taken for standard output, nor
// for a file of that name, which a user meaning standard output would
// not look for.
auto output_to(std::string& target, const char* option) {
    return [&target, option](const std::string& v) {
        if (v == "-")
            throw shot::UsageError(std::string(option) +
                                   " \"-\" is not standard output here: give a file name (./- for a file named \"-\")");
        target = v;
    };
}

// The format (a plate or a size) and the take with its camera.
void add_format_and_take_options(OptionTable& t, RenderOptions& o) {
    t.value("--plate", "input plate", false, text_to(o.plate));
    t.value("--size", "frame size", false, [&o](const std::string& v) { o.size = parse_size(v); });
    t.value("--fbx", "FBX take", false, text_to(o.fbx));
    t.value("--camera", "camera number", false,
            [&o](const std::string& v) { o.camera = parse_int("--camera", v, 0, 999999); });
}

// What both render and overscan read the shot from.
void add_shot_options(OptionTable& t, RenderOptions& o) {
    add_format_and_take_options(t, o);
    t.value("--set", "NAME=VALUE", true, [&o](const std::string& v) { o.sets.push_back(parse_set(v)); });
    t.value("--frames", "frame range", false, text_to(o.frames));
}

// What every command that loads the plug-in says, and where the plug-in is.
void add_message_options(OptionTable& t, RenderOptions& o) {
    t.flag("-q,--quiet", "no progress or summary", o.quiet);
    t.flag("--strict", "warnings fail", o.strict);
    t.value("--plugin-path", "plug-in folder", true, [&o](const std::string& v) { o.plugin_path.push_back(v); });
}

// How both render and overscan run: threads, messages, the plug-in.
void add_run_options(OptionTable& t, RenderOptions& o) {
    t.value("--threads", "threads", false, [&o](const std::string& v) { o.threads = parse_threads(v); });
    add_message_options(t, o);
}

void add_points_options(OptionTable& t, RenderOptions& o, PointsOptions& p) {
    add_format_and_take_options(t, o);
    t.value("--mode", "distort|undistort", false, [&o](const std::string& v) { o.mode = parse_mode(v); });
    t.value("--origin", "bottom-left|top-left", false, [&p](const std::string& v) {
        if (v != "bottom-left" && v != "top-left")
            throw shot::UsageError("--origin takes bottom-left or top-left, not \"" + v + "\"");
        p.top_left = v == "top-left";
    });
    t.value("-o,--output", "CSV", false, output_to(o.output, "-o"));
    add_message_options(t, o);
    t.app().add_option("track", p.track);
}

void add_render_options(OptionTable& t, RenderOptions& o) {
    add_shot_options(t, o);
    t.value("--overscan", "margins", false, [&o](const std::string& v) { o.overscan = v; });
    t.value("--overscan-from", "overscan report", false, text_to(o.overscan_from));
    t.value("--overscan-report", "overscan report", false, output_to(o.overscan_report, "--overscan-report"));
    t.value("--mode", "distort|undistort", false, [&o](const std::string& v) { o.mode = parse_mode(v); });
    t.value("-o,--output", "output pattern", false, output_to(o.output, "-o"));
    t.value("--compression", "EXR compression", false,
            [&o](const std::string& v) { o.compression = compression(v); });
    t.flag("--alpha", "validity alpha", o.alpha);
    t.value("--preview", "preview pattern", false, output_to(o.preview, "--preview"));
    t.flag("--print-controls", "controls as JSON", o.print_controls);
    add_run_options(t, o);
    t.flag("--skip-existing", "leave existing frames", o.skip_existing);
    t.value("--manifest", "manifest", false, output_to(o.manifest, "--manifest"));
}

// plan and submit: a render's options, and how to cut the shot into tasks.
void add_farm_options(OptionTable& t, RenderOptions& o, FarmOptions& f) {
    add_render_options(t, o);
    t.value("--chunk", "frames per task", false, [&f](const std::string& v) { f.chunk = parse_int("--chunk", v, 1, 1000000); });
    t.value("--job-dir", "job folder", false, text_to(f.job_dir));
    t.flag("--json", "JSON", f.json);
}

// submit slurm: the scheduler, and what goes to sbatch.
void add_submit_options(OptionTable& t, RenderOptions& o, FarmOptions& f) {
    add_farm_options(t, o, f);
    t.flag("--wait", "wait for the verify job", f.wait);
    t.value("--sbatch-arg", "sbatch option", true, [&f](const std::string& v) { f.sbatch_args.push_back(v); }, true);
    t.app().add_option("scheduler", f.scheduler);
}

// verify: what a render of the shot would read and write, and where its
// job folder is.
void add_verify_options(OptionTable& t, RenderOptions& o, FarmOptions& f) {
    add_shot_options(t, o);
    t.value("--overscan", "margins", false, [&o](const std::string& v) { o.overscan = v; });
    t.value("--overscan-from", "overscan report", false, text_to(o.overscan_from));
    t.value("--mode", "distort|undistort", false, [&o](const std::string& v) { o.mode = parse_mode(v); });
    t.value("-o,--output", "output pattern", false, text_to(o.output));
    t.flag("--alpha", "validity alpha", o.alpha);
    t.value("--preview", "preview pattern", false, text_to(o.preview));
    t.value("--manifest", "shot manifest", false, output_to(o.manifest, "--manifest"));
    t.value("--job-dir", "job folder", false, text_to(f.job_dir));
    add_run_options(t, o);
}

// `overscan` measures the same shot as a render; -o names the report.
void add_measure_options(OptionTable& t, RenderOptions& o) {
    add_shot_options(t, o);
    t.value("-o,--output", "report", false, output_to(o.overscan_report, "-o"));
    add_run_options(t, o);
}

// camera and nuke-script: the shot as a render reads it, its overscan, the
// CG camera's film back and the document they write.
void add_handoff_options(OptionTable& t, RenderOptions& o, HandoffOptions& h) {
    add_shot_options(t, o);
    t.value("--overscan", "margins", false, [&o](const std::string& v) { o.overscan = v; });
    t.value("--overscan-from", "overscan report", false, text_to(o.overscan_from));
    t.value("--film-back", "WxH mm", false, [&h](const std::string& v) {
        if (h.film_back) throw shot::UsageError("--film-back and --haperture both give the film back: give one");
        h.film_back = parse_film_back(v);
    });
    t.value("--haperture", "mm", false, [&h](const std::string& v) {
        if (h.film_back) throw shot::UsageError("--film-back and --haperture both give the film back: give one");
        h.film_back = shot::FilmBack{parse_mm("--haperture", v), std::nullopt};
    });
    t.value("-o,--output", "output", false, output_to(o.document, "-o"));
    add_run_options(t, o);
}

void add_nuke_script_options(OptionTable& t, RenderOptions& o, HandoffOptions& h) {
    add_handoff_options(t, o, h);
    t.value("--remove-map", "remove-distortion maps", false, text_to(h.remove_map));
    t.value("--add-map", "add-distortion maps", false, text_to(h.add_map));
}

void check_overscan_options(const RenderOptions& o) {
    if (o.overscan && !o.overscan_from.empty())
        throw shot::UsageError("--overscan and --overscan-from both give the margins: give one");
    if (!o.overscan_report.empty() && !o.overscan && o.overscan_from.empty())
        throw shot::UsageError("--overscan-report writes the margins of --overscan: give --overscan too");
}

// The node's reload reads a take only under a name ending in a lower-case
// ".fbx" (in Nuke too), so neither render nor inspect reads another.
void check_take_name(const std::string& what, const std::string& take) {
    if (take.size() >= 4 && take.compare(take.size() - 4, 4, ".fbx") == 0) return;
    throw shot::UsageError(what + " \"" + take + "\": a take's name must end in a lower-case .fbx, the only names "
                                  "the node's reload reads; link or copy it under such a name");
}

void check_shot(const RenderOptions& o) {
    if (!o.fbx.empty()) check_take_name("--fbx", o.fbx);
    if (!o.plate.empty() && o.size) {
        throw shot::UsageError("--plate and --size both set the frame size: give one");
    }
    if (o.camera && o.fbx.empty()) {
        throw shot::UsageError("--camera picks a camera of the --fbx take: give --fbx too");
    }
}

// What camera and nuke-script need before the host starts.
void check_handoff(const RenderOptions& o, const std::string& command, const std::string& document) {
    check_overscan_options(o);
    check_shot(o);
    if (o.document.empty())
        throw shot::UsageError(command + " writes " + document + " to -o: give -o");
}

void check_render(const RenderOptions& o) {
    check_overscan_options(o);
    check_shot(o);
    if (o.output.empty() && o.preview.empty() && !o.print_controls) {
        throw shot::UsageError("nothing to do: give -o, --preview or --print-controls");
    }
}

// plan and submit: what a render takes, and what a job of chunks needs.
void check_farm(const RenderOptions& o, const FarmOptions& f) {
    if (o.output.empty()) throw shot::UsageError("a farm job renders maps: give -o PATTERN");
    check_render(o);
    if (f.chunk < 1) throw shot::UsageError("give --chunk N, the frames of each render task");
    if (o.print_controls) throw shot::UsageError("--print-controls prints, a farm job renders: leave it out");
    if (!o.overscan_report.empty() && o.overscan != std::optional<std::string>("auto"))
        throw shot::UsageError("--overscan-report names the report the overscan step writes: give --overscan auto");
}

void check_points(const RenderOptions& o, const PointsOptions& p) {
    check_shot(o);
    if (p.track.empty()) throw shot::UsageError("points takes one track CSV (name,frame,x,y)");
    if (looks_like_option(p.track)) throw shot::UsageError("points takes one track CSV, not \"" + p.track + "\"");
    if (o.fbx.empty()) throw shot::UsageError("points needs the take: give --fbx");
    if (!o.mode) throw shot::UsageError("points needs --mode distort or --mode undistort");
    if (o.plate.empty() && !o.size) throw shot::UsageError("points needs the format: give --plate or --size");
    if (o.output.empty()) throw shot::UsageError("points writes the track to -o FILE.csv: give -o");
}

// What CLI11 left over: an unknown option (with the nearest known name) or
// a stray word.
void refuse_leftovers(const OptionTable& table, const std::string& where) {
    const std::vector<std::string> left = table.app().remaining();
    if (left.empty()) return;
    for (const std::string& arg : left) {
        if (!looks_like_option(arg)) continue;
        const std::string option = arg.substr(0, arg.find('='));
        // Every one-letter option is a slip away from every other.
        const std::string near = option.size() > 2 ? nearest_option(option, table.names()) : "";
        throw shot::UsageError("unknown option \"" + option + "\"" + where +
                         (near.empty() ? "" : "; did you mean " + near + "?") + " (see --help)");
    }
    for (const std::string& arg : left)
        if (arg != "--") throw shot::UsageError("unexpected \"" + arg + "\"" + where + " (see --help)");
}

// Translates what CLI11 refuses (a value missing at the end of the line,
// for one) into the command's own usage failure.
template <typename Parse>
void parse_or_refuse(Parse&& parse) {
    try {
        parse();
    } catch (const CLI::CallForHelp&) {
        throw;
    } catch (const CLI::ParseError& e) {
        const std::string what = e.what();
        const auto colon = what.find(": ");
        if (colon != std::string::npos && what.find("required", colon) != std::string::npos &&
            what.find("missing", colon) != std::string::npos)
            throw shot::UsageError(what.substr(0, colon) + " needs a value");
        throw shot::UsageError(what);
    }
}

}  // namespace

std::pair<int, int> parse_size(const std::string& text) {
    const auto x = text.find('x');
    if (x == std::string::npos) {
        throw shot::UsageError("--size takes WIDTHxHEIGHT, not \"" + text + "\"");
    }
    return {parse_int("--size width", text.substr(0, x), 1, kMaxSide),
            parse_int("--size height", text.substr(x + 1), 1, kMaxSide)};
}

namespace {

// The command line's grammar in CLI11: the top level (--version, --help),
// render, overscan, camera, nuke-script, inspect and the word "version",
// each with its options.
class CommandParser {
public:
    explicit CommandParser(CommandLine& cl)
        : cl_(cl), top_(app_), render_(*app_.add_subcommand("render")), measure_(*app_.add_subcommand("overscan")),
          camera_(*app_.add_subcommand("camera")), nuke_(*app_.add_subcommand("nuke-script")),
          inspect_(*app_.add_subcommand("inspect")), version_(*app_.add_subcommand("version")->group("")),
          points_(*app_.add_subcommand("points")), plan_(*app_.add_subcommand("plan")),
          submit_(*app_.add_subcommand("submit")), verify_(*app_.add_subcommand("verify")) {
        app_.set_help_flag("-h,--help");
        app_.require_subcommand(0, 1);
        for (CLI::App* app : {&app_, &render_.app(), &measure_.app(), &camera_.app(), &nuke_.app(), &inspect_.app(),
                              &version_.app(), &points_.app(), &plan_.app(), &submit_.app(), &verify_.app()})
            app->allow_extras();
        auto plugin_path = [&cl](const std::string& v) { cl.render.plugin_path.push_back(v); };
        top_.flag("--version", "version", version_flag_);
        top_.value("--plugin-path", "plug-in folder", true, plugin_path);
        add_render_options(render_, cl.render);
        add_measure_options(measure_, cl.render);
        add_farm_options(plan_, cl.render, cl.farm);
        add_submit_options(submit_, cl.render, cl.farm);
        add_verify_options(verify_, cl.render, cl.farm);
        add_handoff_options(camera_, cl.render, cl.handoff);
        add_nuke_script_options(nuke_, cl.render, cl.handoff);
        inspect_.flag("--json", "JSON", cl.inspect.json);
        inspect_.app().add_option("fbx", cl.inspect.fbx);
        version_.value("--plugin-path", "plug-in folder", true, plugin_path);
        add_points_options(points_, cl.render, cl.points);
    }

    // False when help was asked for.
    bool parse(const std::vector<std::string>& args) {
        // CLI11 reads "--frames=" as "--frames" taking the next argument.
        for (const std::string& a : args)
            if (a.size() > 3 && a.compare(0, 2, "--") == 0 && a.find('=') == a.size() - 1)
                throw shot::UsageError(a.substr(0, a.size() - 1) + " needs a value, not an empty one");
        // CLI11 takes the arguments last to first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        try {
            parse_or_refuse([&] { app_.parse(reversed); });
        } catch (const CLI::CallForHelp&) {
            return false;
        }
        return true;
    }

    CommandLine::Command command() {
        const bool version = app_.count("--version") > 0;
        if (version && (render_.app().parsed() || measure_.app().parsed() || camera_.app().parsed() ||
                        nuke_.app().parsed() || inspect_.app().parsed() || points_.app().parsed() ||
                        plan_.app().parsed() || submit_.app().parsed() || verify_.app().parsed()))
            throw shot::UsageError("--version goes alone or with --plugin-path (see --help)");
        if (render_.app().parsed()) {
            render_.apply();
            refuse_leftovers(render_, " for render");
            check_render(cl_.render);
            return CommandLine::Command::Render;
        }
        if (measure_.app().parsed()) {
            measure_.apply();
            refuse_leftovers(measure_, " for overscan");
            check_shot(cl_.render);
            if (cl_.render.overscan_report.empty())
                throw shot::UsageError("overscan writes its report to -o FILE.json: give -o");
            cl_.render.overscan = "auto";
            cl_.render.overscan_report_name = "-o";
            return CommandLine::Command::Overscan;
        }
        if (camera_.app().parsed()) {
            camera_.apply();
            refuse_leftovers(camera_, " for camera");
            check_handoff(cl_.render, "camera", "its JSON");
            if (cl_.render.plate.empty() && !cl_.render.size)
                throw shot::UsageError("camera gives pixels of the format: give --plate or --size");
            return CommandLine::Command::Camera;
        }
        if (nuke_.app().parsed()) {
            nuke_.apply();
            refuse_leftovers(nuke_, " for nuke-script");
            check_handoff(cl_.render, "nuke-script", "the script");
            if (cl_.render.plate.empty()) throw shot::UsageError("nuke-script reads the plate in the script: give --plate");
            if (cl_.handoff.remove_map.empty() || cl_.handoff.add_map.empty())
                throw shot::UsageError("nuke-script reads the maps in the script: give --remove-map and --add-map");
            for (const std::string* map : {&cl_.handoff.remove_map, &cl_.handoff.add_map})
                shot::FramePattern::parse(*map);
            return CommandLine::Command::NukeScript;
        }
        if (points_.app().parsed()) {
            points_.apply();
            refuse_leftovers(points_, " for points");
            check_points(cl_.render, cl_.points);
            return CommandLine::Command::Points;
        }
        if (plan_.app().parsed()) {
            plan_.apply();
            refuse_leftovers(plan_, " for plan");
            check_farm(cl_.render, cl_.farm);
            return CommandLine::Command::Plan;
        }
        if (submit_.app().parsed()) {
            submit_.apply();
            if (cl_.farm.scheduler != "slurm")
                throw shot::UsageError(cl_.farm.scheduler.empty()
                                           ? "submit takes the scheduler first: talvik-stmap submit slurm ..."
                                           : "submit submits to slurm, not \"" + cl_.farm.scheduler +
                                                 "\"; other farms take the job talvik-stmap plan --json prints");
            refuse_leftovers(submit_, " for submit slurm");
            check_farm(cl_.render, cl_.farm);
            return CommandLine::Command::Submit;
        }
        if (verify_.app().parsed()) {
            verify_.apply();
            refuse_leftovers(verify_, " for verify");
            check_overscan_options(cl_.render);
            check_shot(cl_.render);
            if (cl_.render.output.empty() && cl_.render.preview.empty())
                throw shot::UsageError("nothing to verify: give -o, --preview or both, as the render had them");
            return CommandLine::Command::Verify;
        }
        if (inspect_.app().parsed()) {
            inspect_.apply();
            refuse_leftovers(inspect_, " for inspect");
            const std::string& fbx = cl_.inspect.fbx;
            if (fbx.empty()) throw shot::UsageError("inspect takes exactly one FBX file");
            if (looks_like_option(fbx))
                throw shot::UsageError("inspect takes one FBX file and optionally --json, not \"" + fbx + "\"");
            check_take_name("inspect", fbx);
            return CommandLine::Command::Inspect;
        }
        if (version_.app().parsed() || version) {
            refuse_leftovers(version_, " for --version");
            refuse_leftovers(top_, " for --version");
            version_.apply();
            top_.apply();
            return CommandLine::Command::Version;
        }
        const std::vector<std::string> left = app_.remaining();
        if (!left.empty() && !looks_like_option(left.front()))
            throw shot::UsageError("unknown command \"" + left.front() +
                                   "\" (render, overscan, camera, nuke-script, points, plan, submit, verify, inspect or --help)");
        refuse_leftovers(top_, "");
        throw shot::UsageError("--plugin-path goes with --version or render (see --help)");
    }

private:
    CommandLine& cl_;
    CLI::App app_{"talvik-stmap"};
    bool version_flag_ = false;
    OptionTable top_, render_, measure_, camera_, nuke_, inspect_, version_, points_, plan_, submit_, verify_;
};

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty() || args[0] == "help") return cl;
    CommandParser parser(cl);
    if (parser.parse(args)) cl.command = parser.command();
    return cl;
}

const char* usage_text() {
    return R"(talvik-stmap: ST maps of the TalvikDistort node, without Nuke

usage:
  talvik-stmap render [options] -o OUT.####.exr
  talvik-stmap overscan [--plate|--size] [--fbx --camera --frames --set] -o REPORT.json
  talvik-stmap camera [shot options] [--film-back WxH|--haperture MM] -o CAMERA.json
  talvik-stmap nuke-script [shot options] --remove-map PATTERN --add-map PATTERN
               [--film-back WxH|--haperture MM] -o SHOT.nk
  talvik-stmap points --fbx TAKE.fbx --plate P|--size WxH --mode M TRACK.csv -o OUT.csv
  talvik-stmap plan [render options] -o OUT.####.exr --chunk N [--job-dir DIR] [--json]
  talvik-stmap submit slurm [render options] -o OUT.####.exr --chunk N [--job-dir DIR]
                     [--sbatch-arg=ARG]... [--wait] [--json]
  talvik-stmap verify [render options] -o OUT.####.exr [--manifest SHOT.json] [--job-dir DIR]
  talvik-stmap inspect [--json] TAKE.fbx
  talvik-stmap --version [--plugin-path DIR]

render options:
  --plate FILE.exr       input plate: its display window is the format and its
                         header attributes the metadata ("exr/<name>"); pixels
                         are never read. plate.####.exr: a sequence, each
                         frame's own header at that frame
  --size WxH             frame size instead of a plate (neither: 4320x2160)
  --overscan MARGINS     grow the input's bounding box beyond the format: N
                         pixels a side, XxY (left/right, bottom/top), L,R,B,T
                         (each side), P% (the box P% wider and taller) or
                         auto (what the Undistort map reaches over the whole
                         shot: every keyed frame of the take or every frame
                         of a plate sequence, and the frames asked; prints
                         the CG render size)
  --overscan-from FILE.json
                         the margins of an overscan report (same format)
  --overscan-report FILE.json
                         write the overscan report: margins, CG render size
                         and the CG camera's film back and Nuke window
  --mode distort|undistort
  --set NAME=VALUE       set any control by name (repeatable), before a reload:
                         numbers, true/false, texts, Mode entry names; a --set
                         of Mode, fbx_file_path or camera_index must agree
                         with --mode, --fbx or --camera (equal values do)
  --fbx FILE             FBX take to reload (sets fbx_file_path), then press
                         "reload"; the camera is the digit before ".fbx" or the
                         plate's unreal/cameraName, which must agree. Only
                         names ending in a lower-case ".fbx" are read (by
                         render, overscan and inspect alike), as the node does
  --camera N             camera number of the take (overrides both)
  --frames RANGE         1001-1100, 1001-1100x2, 1,5,10-20, 1 3 4 8 (default:
                         a plate sequence's frames, else the keyed range
                         after a reload, else frame 1)
  -o PATTERN             EXR per frame, #### or %04d for the frame number
  --compression NAME     none, rle, zips, zip (default) or piz (lossless only)
  --alpha                an A channel (half) in each map: 1 where it holds a
                         position, 0 where the lens has none (past its fold)
  --preview PATTERN      PNG per frame: a checkerboard pushed through the map
  --print-controls       one JSON object per frame with every control's value
  --threads N            render and compression threads, at most 4 per core
                         (default: the CPUs this process may use)
  --quiet                no progress and no summary; errors and warnings
                         still reach stderr
  --strict               every warning (held frames, frames whose lens makes
                         no usable map, gaps in a plate sequence, keys given
                         twice, the default size, --set replacing a take's
                         keys) fails the run
  --plugin-path DIR      where TalvikDistort.so is (repeatable; also
                         TALVIK_PLUGIN_PATH). Folders asked for are the only
                         ones looked in and must exist; asked for none, the
                         plug-in installed or built beside the command
  --skip-existing        leave frames whose files exist and say they were
                         made from this run's values (controls at the frame,
                         Mode, format, box, lens model); render the others
  --manifest FILE.json   list every file written, its frame and controls

Outputs (-o, --preview, --manifest, --overscan-report) are file names: "-"
and open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N) are refused;
--print-controls writes to standard output.

camera and nuke-script take the shot as render does (--plate, --size, --fbx,
--camera, --frames, --set, --overscan, --overscan-from) and:
  --film-back WxH        the CG camera's film back in mm (36x24): adds the focal
                         length and vertical aperture in mm per frame
  --haperture MM         the same from the horizontal aperture alone (nuke-script
                         without either: Nuke's default, 24.576)
  -o FILE                camera: the undistorted camera per frame, as JSON;
                         nuke-script: the Nuke script
  --remove-map PATTERN   nuke-script: the remove-distortion maps (render
                         --mode distort with the same overscan), #### or %04d
  --add-map PATTERN      nuke-script: the add-distortion maps (--mode undistort)

points: a 2D track through the lens, each point with its frame's lens
  TRACK.csv              a header name,frame,x,y (other columns are carried
                         through unchanged), one point per line, in pixels
  --mode distort         undistorted positions to the plate's (what the
                         remove-distortion map holds)
  --mode undistort       plate positions to undistorted ones (what the
                         add-distortion map holds); a point at or beyond
                         where the lens folds back gets empty x and y and a
                         warning (a failure under --strict)
  --origin bottom-left|top-left
                         pixel convention of x, y (default bottom-left, as
                         Nuke: y up; pixel centres at i + 0.5 either way)
  --plate, --size, --fbx, --camera, -o, --quiet, --strict, --plugin-path
                         as for render
farm jobs (plan, submit slurm, verify):
  --chunk N              frames per render task
  --job-dir DIR          where the job keeps its overscan report, batch
                         scripts, logs and the chunks' manifests (default:
                         NAME.job beside the outputs, for -o .../NAME.####.exr)
  --json                 plan: the job as JSON; submit: the job ids as JSON
  --sbatch-arg=ARG       passed to every sbatch (repeatable), e.g.
                         --sbatch-arg=--partition=comp
  --wait                 submit: wait for the verify job; exit 0 when every
                         frame is there, whole and current, 1 otherwise
  --manifest FILE.json   plan, submit, verify: the shot manifest verify
                         writes (default: DIR/shot.json for a job)
  verify checks every frame's files: there, whole, made from this shot's
  values; exit 0 when all are, 1 naming each that is not.

exit status: 0 done, 1 a failure in the work, 2 bad usage,
             130/143/129 stopped by SIGINT/SIGTERM/SIGHUP
)";
}

}  // namespace talvik::cli
