#include "cli/render/render_notes.h"

#include <stdexcept>

#include "shot/frame_range.h"
#include "cli/output/terminal_print.h"

namespace talvik::cli {

std::string held_frames_warning(const std::vector<int>& frames, int first_key, int last_key) {
    std::vector<int> held;
    for (int frame : frames)
        if (frame < first_key || frame > last_key) held.push_back(frame);
    if (held.empty()) return "";
    return "frame" + std::string(held.size() == 1 ? " " : "s ") + shot::format_frames(held) +
           (held.size() == 1 ? " is" : " are") + " outside the take's keyed range " + std::to_string(first_key) +
           "-" + std::to_string(last_key) + " and hold" + (held.size() == 1 ? "s" : "") +
           " the values of its first or last key";
}

std::string overridden_controls_warning(const std::vector<std::string>& names) {
    if (names.empty()) return "";
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return "--set " + list + " replace" + (names.size() == 1 ? "s" : "") +
           " the take's keys: the value set holds for every frame";
}

void warn(RenderNotes& notes, std::FILE* err, bool strict, const std::string& text) {
    if (strict) throw std::runtime_error(text + " (--strict makes every warning a failure)");
    print_message(err, "warning: %s", text.c_str());
    std::fflush(err);
    notes.warnings.push_back(text);
}

void print_render_notes(std::FILE* out, const RenderNotes& notes) {
    if (!notes.camera.empty()) print_message(out, "%s", notes.camera.c_str());
    if (!notes.overridden.empty()) print_message(out, "%s", overridden_controls_warning(notes.overridden).c_str());
    if (notes.kept > 0)
        print_message(out, "skipped %d frame%s whose files exist from the same values (--skip-existing)", notes.kept,
                      notes.kept == 1 ? "" : "s");
    if (notes.stale > 0) {
        std::string first;
        for (const std::string& path : notes.stale_paths) first += (first.empty() ? "" : ", ") + path;
        print_message(out, "rendered %d frame%s again whose files were incomplete or made from other values: %s%s",
                      notes.stale, notes.stale == 1 ? "" : "s", first.c_str(),
                      notes.stale > static_cast<int>(notes.stale_paths.size()) ? ", ..." : "");
    }
    if (!notes.plugin_path.empty()) print_message(out, "plug-in %s", notes.plugin_path.c_str());
    std::fflush(out);
}

}  // namespace talvik::cli
