#include "pipeline/render/render_notes.h"

#include <stdexcept>

#include "shot/frame_range.h"

namespace talvik::pipeline {

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

void warn(RenderNotes& notes, ShotEvents& events, const std::string& text) {
    events.warning(text);
    notes.warnings.push_back(text);
}

void tell_render_notes(ShotEvents& events, const RenderNotes& notes) {
    if (!notes.camera.empty()) events.note(notes.camera);
    if (!notes.overridden.empty()) events.note(overridden_controls_warning(notes.overridden));
    auto frames = [](int n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); };
    if (notes.kept > 0) events.note("skipped " + frames(notes.kept) + " whose files exist from the same values (--skip-existing)");
    if (notes.stale > 0) {
        std::string first;
        for (const std::string& path : notes.stale_paths) first += (first.empty() ? "" : ", ") + path;
        events.note("rendered " + frames(notes.stale) + " again whose files were incomplete or made from other values: " +
                    first + (notes.stale > static_cast<int>(notes.stale_paths.size()) ? ", ..." : ""));
    }
    if (!notes.plugin_path.empty()) events.note("plug-in " + notes.plugin_path);
}

}  // namespace talvik::pipeline
