#include "cli/options/command_options.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <CLI/CLI.hpp>

#include "cli/options/option_suggestion.h"
#include "cli/options/option_table.h"
#include "pipeline/job/job_checks.h"
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
    // converted in the order of the table; then the operand. An option the
    // command line leaves out takes the config files' values, if any.
    // Returns every option's values and where each came from.
    OptionDefaults apply(const OptionDefaults& defaults) const {
        std::vector<const OptionEntry*> given;
        for (const auto& list : {flags_, values_})
            for (const auto& [option, entry] : list)
                if (option->count() > 0) given.push_back(entry);
        const auto from_files = [&](const OptionEntry* entry) -> const std::vector<OptionValue>* {
            const auto found = defaults.find(entry);
            if (found == defaults.end() || !file_values_apply(*entry, given)) return nullptr;
            return &found->second;
        };
        OptionDefaults taken;
        for (const auto& [option, entry] : flags_) {
            if (option->count() > 0) {
                taken[entry] = {{"true", "", 0}};
                entry->take(cl_, entry_.command, "");
            } else if (const std::vector<OptionValue>* values = from_files(entry)) {
                taken[entry] = *values;
                if (values->back().value == "true") entry->take(cl_, entry_.command, "");
            }
        }
        for (const auto& [option, entry] : values_) {
            const std::string name = spelled(*option);
            const std::vector<std::string>& results = option->results();
            if (entry->takes != Takes::Values && results.size() > 1)
                throw shot::UsageError(name + " given twice (\"" + results[0] + "\" and \"" + results[1] +
                                       "\"): give it once");
            std::vector<OptionValue> values;
            for (const std::string& value : results) values.push_back({value, "", 0});
            if (const std::vector<OptionValue>* files = values.empty() ? from_files(entry) : nullptr) values = *files;
            for (const OptionValue& value : values) {
                try {
                    take_value(name, *entry, value.value);
                } catch (const shot::UsageError& e) {
                    if (value.file.empty()) throw;
                    throw shot::UsageError(config_place(value) + e.what());
                }
            }
            if (!values.empty()) taken[entry] = std::move(values);
        }
        if (operand_)
            for (const std::string& value : operand_->results()) entry_.take_operand(cl_, value);
        return taken;
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
    void take_value(const std::string& name, const OptionEntry& entry, const std::string& value) const {
        if (value.empty()) throw shot::UsageError(name + " needs a value, not an empty one");
        if (looks_like_option(value) && !entry.may_look_like_an_option)
            throw shot::UsageError(name + " needs a value, not the option \"" + value + "\"");
        entry.take(cl_, entry_.command, value);
    }

    CLI::App& app_;
    CommandLine& cl_;
    const CommandEntry& entry_;
    std::vector<std::pair<CLI::Option*, const OptionEntry*>> flags_, values_;
    CLI::Option* operand_ = nullptr;
};

// What the command adds to the library's checks of a job: its terminal
// manners, and printing instead of writing.
void check_manners(const RenderOptions& o) {
    if (o.quiet && o.verbose) throw shot::UsageError("--quiet and --verbose contradict each other: give one");
}

void check_render(const RenderOptions& o) {
    pipeline::check_shot_job(o);
    if (o.output.empty() && o.preview.empty() && !o.print_controls) {
        throw shot::UsageError("nothing to do: give -o, --preview or --print-controls");
    }
}

// plan and submit: what a render takes, and what a job of chunks needs.
void check_farm(const RenderOptions& o, const FarmOptions& f) {
    pipeline::check_farm_job(o, f);
    if (o.print_controls) throw shot::UsageError("--print-controls prints, a farm job renders: leave it out");
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
    if (cl.command != Command::Inspect) check_manners(o);
    switch (cl.command) {
        case Command::Render:
            check_render(o);
            return;
        case Command::Overscan:
            if (o.overscan_report.empty()) throw shot::UsageError("overscan writes its report to -o FILE.json: give -o");
            o.overscan = "auto";
            o.overscan_report_name = "-o";
            pipeline::check_shot_job(o);
            return;
        case Command::Camera:
            pipeline::check_camera_job(o);
            return;
        case Command::NukeScript:
            pipeline::check_nuke_script_job(o, cl.handoff);
            return;
        case Command::Points:
            if (looks_like_option(cl.points.track))
                throw shot::UsageError("points takes one track CSV, not \"" + cl.points.track + "\"");
            pipeline::check_points_job(o, cl.points);
            return;
        case Command::Plan:
        case Command::Submit:
            check_farm(o, cl.farm);
            return;
        case Command::Verify:
            if (!pipeline::check_map_pair(o, cl.farm)) pipeline::check_verify_job(o);
            else pipeline::check_shot_job(o);
            return;
        case Command::Inspect: {
            const std::string& fbx = cl.inspect.fbx;
            if (fbx.empty()) throw shot::UsageError("inspect takes exactly one FBX file");
            if (looks_like_option(fbx))
                throw shot::UsageError("inspect takes one FBX file and optionally --json, not \"" + fbx + "\"");
            pipeline::check_take_name("inspect", fbx);
            return;
        }
        case Command::Help:
        case Command::Version:
        case Command::Config:
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
    CommandParser(CommandLine& cl, const ConfigFiles& config)
        : cl_(cl), config_(config), top_(app_, cl, command_entry(Command::Version)) {
        app_.set_help_flag("-h,--help");
        app_.require_subcommand(0, 1);
        app_.allow_extras();
        for (const CommandEntry& entry : command_table()) {
            if (entry.command == Command::Config) continue;  // parsed before CLI11 sees the line
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

    // `whole`: also what the command needs beyond its options' own values
    // (config shows values without running the command).
    Command command(bool whole = true) {
        const bool version = app_.count("--version") > 0;
        const OptionTable* chosen = parsed();
        if (version && chosen && chosen->entry().command != Command::Version)
            throw shot::UsageError("--version goes alone or with --plugin-path (see --help)");
        if (chosen || version) {
            const CommandEntry& entry = command_entry(chosen ? chosen->entry().command : Command::Version);
            cl_.command = entry.command;
            const std::string where = std::string(" for ") + entry.name;
            const OptionDefaults defaults = config_.defaults_for(bit(entry.command));
            // --version's options may come before or after the word version:
            // those given either way win over the files.
            OptionDefaults taken;
            if (entry.command == Command::Version) taken = top_.apply(chosen ? OptionDefaults{} : defaults);
            if (chosen)
                for (auto& [option, values] : chosen->apply(taken.empty() ? defaults : OptionDefaults{}))
                    taken[option] = std::move(values);
            cl_.config.commands.push_back(
                {entry.command == Command::Version ? "version" : entry.name, std::move(taken)});
            if (whole && entry.command == Command::Submit && cl_.farm.scheduler != "slurm")
                throw shot::UsageError(cl_.farm.scheduler.empty()
                                           ? "submit takes the scheduler first: talvik-stmap submit slurm ..."
                                           : "submit submits to slurm, not \"" + cl_.farm.scheduler +
                                                 "\"; other farms take the job talvik-stmap plan --json prints");
            if (chosen) refuse_leftovers(*chosen, entry.command == Command::Submit ? where + " slurm" : where);
            if (entry.command == Command::Version) refuse_leftovers(top_, where);
            if (whole) check_command(cl_);
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
    const ConfigFiles& config_;
    CLI::App app_{"talvik-stmap"};
    OptionTable top_;
    std::vector<std::unique_ptr<OptionTable>> commands_;
};

// config [--json] [COMMAND [OPTIONS]]: the options after COMMAND are
// that command's, taken as it takes them but not run.
CommandLine parse_config_command(const std::vector<std::string>& args, const ConfigFiles& config) {
    CommandLine cl;
    cl.command = Command::Config;
    size_t at = 1;
    for (; at < args.size() && looks_like_option(args[at]); ++at) {
        if (args[at] == "-h" || args[at] == "--help") {
            cl.command = Command::Help;
            cl.help_for = Command::Config;
            return cl;
        }
        if (args[at] == "--no-config") continue;  // main read no file
        if (args[at] != "--json") throw shot::UsageError("unknown option \"" + args[at] + "\" for config (see --help)");
        cl.config.json = true;
    }
    std::vector<std::vector<std::string>> shown;
    if (at < args.size()) {
        const CommandEntry* entry = find_command(args[at]);
        if (!entry || entry->command == Command::Config)
            throw shot::UsageError("config shows a command's values: \"" + args[at] + "\" is not one (" +
                                   command_names() + ")");
        cl.config.command = args[at];
        shown.emplace_back(args.begin() + static_cast<std::ptrdiff_t>(at), args.end());
        if (entry->command == Command::Version) shown.back()[0] = "version";
    } else {
        for (const CommandEntry& entry : command_table())
            if (entry.command != Command::Config)
                shown.push_back({entry.command == Command::Version ? "version" : entry.name});
    }
    for (const std::vector<std::string>& command : shown) {
        CommandLine values;
        CommandParser parser(values, config);
        if (!parser.parse(command)) {
            cl.command = Command::Help;
            cl.help_for = values.help_for;
            return cl;
        }
        parser.command(false);
        cl.config.commands.push_back(std::move(values.config.commands.front()));
    }
    cl.config.files = config.paths();
    return cl;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args, const ConfigFiles& config) {
    CommandLine cl;
    if (args.empty() || args[0] == "help") return cl;
    if (args[0] == "config") return parse_config_command(args, config);
    CommandParser parser(cl, config);
    if (parser.parse(args)) cl.command = parser.command();
    return cl;
}

}  // namespace talvik::cli
