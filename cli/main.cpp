// talvik-stmap: renders the TalvikDistort node's ST maps without Nuke.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_options.h"
#include "cli/inspect_command.h"
#include "cli/render_command.h"
#include "cli/version_info.h"

namespace {

// --plugin-path first, then TALVIK_PLUGIN_PATH (':'-separated, like
// NUKE_PATH), then the plugins folder of the build this program is part of.
std::vector<std::string> plugin_path(std::vector<std::string> given, const char* argv0) {
    if (const char* env = std::getenv("TALVIK_PLUGIN_PATH")) {
        std::string list = env;
        for (size_t start = 0; start <= list.size();) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) given.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", ec);
    const std::filesystem::path exe = ec ? std::filesystem::path(argv0) : self;
    given.push_back((exe.parent_path().parent_path() / "plugins").string());
    return given;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    talvik::cli::CommandLine cl;
    try {
        cl = talvik::cli::parse_command_line(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvik-stmap: %s\n", e.what());
        return 2;
    }
    try {
        switch (cl.command) {
            case talvik::cli::CommandLine::Command::Help:
                std::fputs(talvik::cli::usage_text(), stdout);
                return 0;
            case talvik::cli::CommandLine::Command::Inspect:
                return talvik::cli::run_inspect(cl.inspect.fbx, stdout, cl.inspect.json);
            case talvik::cli::CommandLine::Command::Version:
                return talvik::cli::run_version(plugin_path(cl.render.plugin_path, argv[0]), stdout, stderr);
            case talvik::cli::CommandLine::Command::Render:
                cl.render.plugin_path = plugin_path(cl.render.plugin_path, argv[0]);
                return talvik::cli::run_render(cl.render, stdout, stderr);
        }
    } catch (const std::invalid_argument& e) {
        // A value the command line gave that turned out wrong: bad usage.
        std::fprintf(stderr, "talvik-stmap: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "talvik-stmap: %s\n", e.what());
        return 1;
    }
    return 1;
}
