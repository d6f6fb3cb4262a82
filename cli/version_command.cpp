#include "cli/version_command.h"

#include <exception>
#include <string>

#include "shot/version_info.h"
#include "shot/terminal_text.h"
#include "host/runtime/host.h"

namespace talvik::cli {

int run_version(const std::vector<std::string>& plugin_path, std::FILE* out, std::FILE* err) {
    std::fprintf(out, "talvik-stmap %s\n", shot::command_version());
    int status = 0;
    try {
        host::Host host(plugin_path);
        host.create_node("TalvikDistort");
        const shot::PluginBuild plugin = shot::plugin_build("TalvikDistort");
        std::fprintf(out, "TalvikDistort plug-in built %s, %s\n", plugin.compiled.c_str(),
                     shot::terminal_text(plugin.path).c_str());
        std::fprintf(out, "lens model %d\n", plugin.lens_model);
        const std::string other_model = shot::lens_model_warning(plugin);
        if (!other_model.empty()) std::fprintf(err, "warning: %s\n", shot::terminal_text(other_model).c_str());
    } catch (const std::exception& e) {
        std::fprintf(out, "TalvikDistort plug-in: not loaded\n");
        std::fprintf(err, "talvik-stmap: %s\n", shot::terminal_text(e.what()).c_str());
        status = 1;
    }
    std::fprintf(out, "OpenEXR %s\n", shot::openexr_version().c_str());
    return status;
}

}  // namespace talvik::cli
