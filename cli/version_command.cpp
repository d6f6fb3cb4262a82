#include "cli/version_command.h"

#include <exception>
#include <string>

#include "cli/output/terminal_print.h"
#include "shot/version_info.h"
#include "host/runtime/host.h"

namespace talvik::cli {

int run_version(const std::vector<std::string>& plugin_path, std::FILE* out, std::FILE* err) {
    print_message(out, "talvik-stmap %s", shot::command_version());
    int status = 0;
    try {
        host::Host host(plugin_path);
        host.create_node("TalvikDistort");
        const shot::PluginBuild plugin = shot::plugin_build("TalvikDistort");
        print_message(out, "TalvikDistort plug-in built %s, %s", plugin.compiled.c_str(), plugin.path.c_str());
        print_message(out, "lens model %d", plugin.lens_model);
        const std::string other_model = shot::lens_model_warning(plugin);
        if (!other_model.empty()) print_message(err, "warning: %s", other_model.c_str());
    } catch (const std::exception& e) {
        print_message(out, "TalvikDistort plug-in: not loaded");
        print_message(err, "talvik-stmap: %s", e.what());
        status = 1;
    }
    print_message(out, "OpenEXR %s", shot::openexr_version().c_str());
    return status;
}

}  // namespace talvik::cli
