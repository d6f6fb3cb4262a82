// talvik-stmap: renders the TalvikDistort node's ST maps without Nuke.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/config_command.h"
#include "cli/handoff_commands.h"
#include "cli/inspect_command.h"
#include "cli/job_commands.h"
#include "cli/options/command_options.h"
#include "cli/options/help_text.h"
#include "cli/output/terminal_print.h"
#include "cli/points_command.h"
#include "shot/plugin_search.h"
#include "shot/take_reload.h"
#include "shot/usage_error.h"
#include "cli/render_command.h"
#include "cli/task_log.h"
#include "cli/verify_command.h"
#include "cli/version_command.h"
#include "io/stop_signal.h"

namespace {

// Where the plug-in is looked for: the folders asked for, --plugin-path
// first, then TALVIK_PLUGIN_PATH (':'-separated, like NUKE_PATH; an empty
// entry is no folder), and only those; asked for nothing, the plug-in
// beside this program: lib/talvik/plugins of the installed tree it is part
// of, or the plugins folder of its build. A folder asked for that is not
// there is an error, never a reason to fall back on the bundled plug-in.
std::vector<std::string> plugin_path(std::vector<std::string> given, const char* argv0) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", ec);
    const std::filesystem::path exe = ec ? std::filesystem::path(argv0) : self;
    const std::filesystem::path prefix = exe.parent_path().parent_path();
    return talvik::shot::plugin_search_path(
        std::move(given), "--plugin-path",
        {(prefix / "lib" / "talvik" / "plugins").string(), (prefix / "plugins").string()});
}

// Output that never reached standard output (a full disk, a closed pipe)
// fails the command like any other failed write.
void finish_stdout() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw std::runtime_error(std::string("cannot write to standard output: ") +
                                 std::strerror(errno ? errno : EIO));
}

// Messages quote names from outside (file names, a plate's attributes):
// their control characters are shown escaped. A script's traceback keeps
// its lines.
void print_error(const std::exception& e) {
    using talvik::cli::print_message;
    const auto* script = dynamic_cast<const talvik::shot::ReloadScriptFailed*>(&e);
    if (!script) {
        print_message(stderr, "talvik-stmap: %s", e.what());
        return;
    }
    print_message(stderr, "talvik-stmap: reload of %s failed:", script->take().c_str());
    talvik::cli::print_lines(stderr, script->traceback());
}

int run(const talvik::cli::CommandLine& cl) {
    switch (cl.command) {
        case talvik::cli::CommandLine::Command::Help:
        {
            // Longer than stdio's buffer: a write that fails on the way is
            // reported with its own reason.
            using talvik::cli::CommandLine;
            const std::string help = cl.help_for == CommandLine::Command::Help
                                         ? talvik::cli::overview_help()
                                         : talvik::cli::command_help(cl.help_for);
            errno = 0;
            if (std::fputs(help.c_str(), stdout) == EOF)
                throw std::runtime_error(std::string("cannot write to standard output: ") +
                                         std::strerror(errno ? errno : EIO));
            return 0;
        }
        case talvik::cli::CommandLine::Command::Inspect:
            return talvik::cli::run_inspect(cl.inspect.fbx, stdout, cl.inspect.json);
        case talvik::cli::CommandLine::Command::Version:
            return talvik::cli::run_version(cl.render.plugin_path, stdout, stderr);
        case talvik::cli::CommandLine::Command::Render:
            return talvik::cli::run_render(cl.render, stdout, stderr);
        case talvik::cli::CommandLine::Command::Overscan:
            return talvik::cli::run_overscan(cl.render, stdout, stderr);
        case talvik::cli::CommandLine::Command::Plan:
            return talvik::cli::run_plan(cl.render, cl.farm, stdout, stderr);
        case talvik::cli::CommandLine::Command::Submit:
            return talvik::cli::run_submit(cl.render, cl.farm, stdout, stderr);
        case talvik::cli::CommandLine::Command::Verify:
            return talvik::cli::run_verify(cl.render, cl.farm, stdout, stderr);
        case talvik::cli::CommandLine::Command::Camera:
            return talvik::cli::run_camera(cl.render, cl.handoff, stdout, stderr);
        case talvik::cli::CommandLine::Command::NukeScript:
            return talvik::cli::run_nuke_script(cl.render, cl.handoff, stdout, stderr);
        case talvik::cli::CommandLine::Command::Points:
            return talvik::cli::run_points(cl, stderr);
        case talvik::cli::CommandLine::Command::Config:
            return talvik::cli::run_config(cl.config, stdout);
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    talvik::io::install_stop_handlers();
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Nothing asked: how to ask, where a mistaken call is seen.
    if (args.empty()) {
        std::fputs(talvik::cli::short_usage().c_str(), stderr);
        return 2;
    }
    try {
        // --no-config: not even a broken file stops the run; nor does it stop
        // help, which shows no value.
        const bool no_config = args[0] == "help" || std::any_of(args.begin(), args.end(), [](const std::string& a) {
                                   return a == "--no-config" || a == "-h" || a == "--help";
                               });
        talvik::cli::CommandLine cl = talvik::cli::parse_command_line(
            args, no_config ? talvik::cli::ConfigFiles{} : talvik::cli::ConfigFiles::from_environment());
        cl.render.command_line.assign(argv, argv + argc);
        using Command = talvik::cli::CommandLine::Command;
        if (cl.command == Command::Render || cl.command == Command::Overscan || cl.command == Command::Camera ||
            cl.command == Command::NukeScript || cl.command == Command::Points || cl.command == Command::Version ||
            cl.command == Command::Plan || cl.command == Command::Submit || cl.command == Command::Verify)
            cl.render.plugin_path = plugin_path(cl.render.plugin_path, argv[0]);
        if (cl.render.task_log) talvik::cli::print_task_log_header(stderr, cl.render.command_line);
        const int status = run(cl);
        finish_stdout();
        return status;
    } catch (const std::exception& e) {
        // A stop signal makes writes fail on their way out; the signal is
        // the reason, not the failure it caused.
        if (talvik::io::stop_requested().load()) {
            // A closed pipe is how a reader says it has seen enough.
            if (talvik::io::stop_signal() != SIGPIPE)
                talvik::cli::print_message(stderr, "talvik-stmap: stopped by %s; frames already written are kept",
                                           talvik::io::stop_signal_name());
            return talvik::io::stopped_exit_code();
        }
        print_error(e);
        return dynamic_cast<const talvik::shot::UsageError*>(&e) ? 2 : 1;
    }
}
