#include "cli/render/render_notes.h"

#include "cli/options/frame_range.h"

namespace talvik::cli {

std::string held_frames_warning(const std::vector<int>& frames, int first_key, int last_key) {
    std::vector<int> held;
    for (int frame : frames)
        if (frame < first_key || frame > last_key) held.push_back(frame);
    if (held.empty()) return "";
    return "warning: frame" + std::string(held.size() == 1 ? " " : "s ") + format_frames(held) +
           (held.size() == 1 ? " is" : " are") + " outside the take's keyed range " + std::to_string(first_key) +
           "-" + std::to_string(last_key) + " and hold" + (held.size() == 1 ? "s" : "") +
           " the values of its first or last key";
}

void print_render_notes(std::FILE* out, const RenderNotes& notes) {
    if (!notes.camera.empty()) std::fprintf(out, "%s\n", notes.camera.c_str());
    if (notes.default_size)
        std::fprintf(out, "size %d x %d: the node's default (no --plate or --size given)\n", notes.width,
                     notes.height);
    if (notes.skipped > 0)
        std::fprintf(out, "skipped %d frame%s whose files exist (--skip-existing)\n", notes.skipped,
                     notes.skipped == 1 ? "" : "s");
    if (!notes.plugin_path.empty()) std::fprintf(out, "plug-in %s\n", notes.plugin_path.c_str());
    std::fflush(out);
}

}  // namespace talvik::cli
