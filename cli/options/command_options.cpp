#include "cli/options/command_options.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <CLI/CLI.hpp>

#include "cli/options/option_suggestion.h"
#include "cli/options/option_table.h"
#include "shot/frame_pattern.h"
#include "shot/usage_error.h"

namespace talvik::cli {

namespace {

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

// One command's options in CLI11, made from the option table. CLI11
// collects what was given; each value is then checked by the table's take
// so that every message names the option it is about.
class OptionTable {
public:
    OptionTable(CLI::App& app, CommandLine& cl, const CommandEntry& entry) : app_(app), cl_(cl), entry_(entry) {
        for (const OptionEntry* o : options_of(entry.command)) {
            if (o->takes == Takes::Help) continue;
            if (o->takes == Takes::Flag)
                flags_.push_back({app_.add_flag(o->names, o->help), o});
            else
                values_.push_back({app_.add_option(o->names, o->help)->multi_option_policy(
                                       CLI::MultiOptionPolicy::TakeAll),
                                   o});
        }
        if (*entry.operand) operand_ = app_.add_option("operand");
    }

    // After CLI11 has parsed: the flags, then the values, checked and
    // converted in the order of the table; then the operand.
    void apply() const {
        for (const auto& [option, entry] : flags_)
            if (option->count() > 0) entry->take(cl_, entry_.command, "");
        for (const auto& [option, entry] : values_) {
            const std::string name = spelled(*option);
            const std::vector<std::string>& given = option->results();
            if (entry->takes != Takes::Values && given.size() > 1)
                throw shot::UsageError(name + " given twice (\"" + given[0] + "\" and \"" + given[1] +
                                       "\"): give it once");
            for (const std::string& value : given) {
                if (value.empty()) throw shot::UsageError(name + " needs a value, not an empty one");
                if (looks_like_option(value) && !entry->may_look_like_an_option)
                    throw shot::UsageError(name + " needs a value, not the option \"" + value + "\"");
                entry->take(cl_, entry_.command, value);
            }
        }
        if (operand_)
            for (const std::string& value : operand_->results()) entry_.take_operand(cl_, value);
    }

    CLI::App& app() const { return app_; }
    const CommandEntry& entry() const { return entry_; }

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
    CommandLine& cl_;
    const CommandEntry& entry_;
    std::vector<std::pair<CLI::Option*, const OptionEntry*>> flags_, values_;
    CLI::Option* operand_ = nullptr;
};

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
    if (o.quiet && o.verbose) throw shot::UsageError("--quiet and --verbose contradict each other: give one");
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

// plan, submit and verify: the maps are -o's (its Mode as given), or
// named by their direction, not both. Returns whether by their direction.
bool check_map_pair(const RenderOptions& o, const FarmOptions& f) {
    const bool remove = !f.remove_map.empty(), add = !f.add_map.empty();
    if (!remove && !add) return false;
    const std::string given = remove && add ? "--remove-map and --add-map" : remove ? "--remove-map" : "--add-map";
    if (!o.output.empty())
        throw shot::UsageError("-o and " + given + " both name the maps: give -o (with --direction) or " + given);
    if (o.mode)
        throw shot::UsageError(given + " give the maps' direction themselves: leave --direction and --mode out");
    if (remove && add && !o.preview.empty())
        throw shot::UsageError("--preview names the previews of one map: give it with -o, --remove-map or --add-map alone");
    if (remove && add && !o.manifest.empty())
        throw shot::UsageError("--manifest names one map's shot manifest: with " + given +
                               " each map's is shot.json in its job folder");
    for (const std::string* map : {&f.remove_map, &f.add_map})
        if (!map->empty()) shot::FramePattern::parse(*map);
    return true;
}

// plan and submit: what a render takes, and what a job of chunks needs.
void check_farm(const RenderOptions& o, const FarmOptions& f) {
    if (check_map_pair(o, f)) {
        check_overscan_options(o);
        check_shot(o);
    } else {
        if (o.output.empty()) throw shot::UsageError("a farm job renders maps: give -o PATTERN (or --remove-map and --add-map)");
        check_render(o);
    }
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
    if (!o.mode) throw shot::UsageError("points needs --direction remove or add (or --mode undistort or distort)");
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


// What each command needs beyond its options' own values, once all are
// taken.
void check_command(CommandLine& cl) {
    RenderOptions& o = cl.render;
    switch (cl.command) {
        case Command::Render:
            check_render(o);
            return;
        case Command::Overscan:
            check_shot(o);
            if (o.overscan_report.empty()) throw shot::UsageError("overscan writes its report to -o FILE.json: give -o");
            o.overscan = "auto";
            o.overscan_report_name = "-o";
            return;
        case Command::Camera:
            check_handoff(o, "camera", "its JSON");
            if (o.plate.empty() && !o.size) throw shot::UsageError("camera gives pixels of the format: give --plate or --size");
            return;
        case Command::NukeScript:
            check_handoff(o, "nuke-script", "the script");
            if (o.plate.empty()) throw shot::UsageError("nuke-script reads the plate in the script: give --plate");
            if (cl.handoff.remove_map.empty() || cl.handoff.add_map.empty())
                throw shot::UsageError("nuke-script reads the maps in the script: give --remove-map and --add-map");
            for (const std::string* map : {&cl.handoff.remove_map, &cl.handoff.add_map}) shot::FramePattern::parse(*map);
            return;
        case Command::Points:
            check_points(o, cl.points);
            return;
        case Command::Plan:
        case Command::Submit:
            check_farm(o, cl.farm);
            return;
        case Command::Verify:
            check_overscan_options(o);
            check_shot(o);
            if (!check_map_pair(o, cl.farm) && o.output.empty() && o.preview.empty())
                throw shot::UsageError("nothing to verify: give -o, --preview or both, as the render had them");
            return;
        case Command::Inspect: {
            const std::string& fbx = cl.inspect.fbx;
            if (fbx.empty()) throw shot::UsageError("inspect takes exactly one FBX file");
            if (looks_like_option(fbx))
                throw shot::UsageError("inspect takes one FBX file and optionally --json, not \"" + fbx + "\"");
            check_take_name("inspect", fbx);
            return;
        }
        case Command::Help:
        case Command::Version:
            return;
    }
}

// "render, overscan, ..., inspect or --help": what the unknown-command
// message offers.
std::string command_names() {
    std::string names;
    for (const CommandEntry& c : command_table())
        if (c.command != Command::Version) names += std::string(c.name) + ", ";
    return names.substr(0, names.size() - 2) + " or --help";
}

// The command line's grammar in CLI11, made from the tables: the top level
// (--version, --help) and a subcommand per command, each with its options.
// The word "version" is --version's hidden twin.
class CommandParser {
public:
    explicit CommandParser(CommandLine& cl) : cl_(cl), top_(app_, cl, command_entry(Command::Version)) {
        app_.set_help_flag("-h,--help");
        app_.require_subcommand(0, 1);
        app_.allow_extras();
        for (const CommandEntry& entry : command_table()) {
            CLI::App* sub = app_.add_subcommand(entry.command == Command::Version ? "version" : entry.name);
            if (entry.command == Command::Version) sub->group("");
            sub->allow_extras();
            commands_.push_back(std::make_unique<OptionTable>(*sub, cl, entry));
        }
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
            const OptionTable* chosen = parsed();
            if (chosen) cl_.help_for = chosen->entry().command;
            return false;
        }
        return true;
    }

    Command command() {
        const bool version = app_.count("--version") > 0;
        const OptionTable* chosen = parsed();
        if (version && chosen && chosen->entry().command != Command::Version)
            throw shot::UsageError("--version goes alone or with --plugin-path (see --help)");
        if (chosen || version) {
            const CommandEntry& entry = command_entry(chosen ? chosen->entry().command : Command::Version);
            cl_.command = entry.command;
            const std::string where = std::string(" for ") + entry.name;
            if (chosen) chosen->apply();
            if (entry.command == Command::Submit && cl_.farm.scheduler != "slurm")
                throw shot::UsageError(cl_.farm.scheduler.empty()
                                           ? "submit takes the scheduler first: talvik-stmap submit slurm ..."
                                           : "submit submits to slurm, not \"" + cl_.farm.scheduler +
                                                 "\"; other farms take the job talvik-stmap plan --json prints");
            if (chosen) refuse_leftovers(*chosen, entry.command == Command::Submit ? where + " slurm" : where);
            if (entry.command == Command::Version) {
                refuse_leftovers(top_, where);
                top_.apply();
            }
            check_command(cl_);
            return entry.command;
        }
        const std::vector<std::string> left = app_.remaining();
        if (!left.empty() && !looks_like_option(left.front()))
            throw shot::UsageError("unknown command \"" + left.front() + "\" (" + command_names() + ")");
        refuse_leftovers(top_, "");
        throw shot::UsageError("--plugin-path goes with --version or render (see --help)");
    }

private:
    // The command CLI11 found, if any: at most one.
    const OptionTable* parsed() const {
        for (const auto& table : commands_)
            if (table->app().parsed()) return table.get();
        return nullptr;
    }

    CommandLine& cl_;
    CLI::App app_{"talvik-stmap"};
    OptionTable top_;
    std::vector<std::unique_ptr<OptionTable>> commands_;
};

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine cl;
    if (args.empty() || args[0] == "help") return cl;
    CommandParser parser(cl);
    if (parser.parse(args)) cl.command = parser.command();
    return cl;
}

}  // namespace talvik::cli
