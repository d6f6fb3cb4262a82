#include "cli/handoff/nuke_script_command.h"

#include <algorithm>

#include "cli/handoff/nuke_file_name.h"
#include "cli/handoff/nuke_script.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_plan.h"
#include "shot/frame_pattern.h"
#include "shot/plate_sequence.h"

namespace talvik::cli {
namespace {

// Nuke's default Camera aperture, for a script given no film back: the
// projection depends only on focal / haperture.
constexpr double kNukeDefaultHaperture = 24.576;

}  // namespace

int run_nuke_script(const RenderOptions& o, const HandoffOptions& handoff, std::FILE* out, std::FILE* err) {
    // A name Nuke would not read as the files it names is refused before
    // anything is planned; a map pattern is always a pattern, as render
    // reads it.
    nuke_read_file("--plate", o.plate, shot::PlateSequence::names_one_file(o.plate));
    NukeScriptShot shot;
    shot.remove_map = nuke_read_file("--remove-map", handoff.remove_map, false);
    shot.add_map = nuke_read_file("--add-map", handoff.add_map, false);
    const RenderPlan plan = plan_render(o, out, err,
                                        {{shot::FramePattern::parse(handoff.remove_map), "remove-distortion map"},
                                         {shot::FramePattern::parse(handoff.add_map), "add-distortion map"}});
    shot.plate = nuke_read_file("--plate", o.plate, !plan.plates->is_sequence());
    shot.width = plan.format.width();
    shot.height = plan.format.height();
    shot.pixel_aspect = plan.plates->first().attributes.pixelAspectRatio();
    shot.first_frame = *std::min_element(plan.frames.begin(), plan.frames.end());
    shot.last_frame = *std::max_element(plan.frames.begin(), plan.frames.end());
    shot.margins = plan.overscan.margins().value_or(shot::Margins{});
    std::vector<int> frames = plan.frames;
    std::sort(frames.begin(), frames.end());
    shot.cameras = shot::frame_cameras(*plan.node, frames, shot.width, shot.height);
    shot.haperture = handoff.film_back ? handoff.film_back->width : kNukeDefaultHaperture;
    write_json_file(o.document, nuke_script(shot), "Nuke script");
    return 0;
}

}  // namespace talvik::cli
