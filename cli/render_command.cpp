#include "cli/render_command.h"

#include "cli/render/frame_loop.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_notes.h"
#include "cli/render/render_plan.h"
#include "cli/render/version_info.h"

namespace talvik::cli {

int run_render(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    RenderPlan plan = plan_render(o, out, err);
    RenderManifest manifest = render_frames(plan, o, out, err);

    RenderNotes& notes = plan.notes;
    notes.skipped = plan.outputs->frames_skipped();
    notes.plugin_path = plugin_build("TalvikDistort").path;
    if (plan.rendering() && !o.quiet) print_render_notes(err, notes);
    if (!o.manifest.empty()) {
        for (const std::string& path : plan.outputs->skipped_paths()) manifest.add_skipped(path);
        write_manifest(o.manifest, manifest.json(notes.plugin_path));
    }
    return 0;
}

}  // namespace talvik::cli
