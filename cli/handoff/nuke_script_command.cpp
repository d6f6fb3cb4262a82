#include "cli/handoff/nuke_script_command.h"

#include <algorithm>
#include <filesystem>

#include "cli/handoff/nuke_script.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_plan.h"
#include "shot/frame_pattern.h"

namespace talvik::cli {
namespace {

// Nuke's default Camera aperture, for a script given no film back: the
// projection depends only on focal / haperture.
constexpr double kNukeDefaultHaperture = 24.576;

// A file or sequence as the script's Read names it: absolute (Nuke reads
// relative names from its own working folder), the frame as ####.
std::string nuke_file(const std::string& pattern) {
    return std::filesystem::absolute(shot::FramePattern::parse(pattern).nuke_text()).lexically_normal().string();
}

}  // namespace

int run_nuke_script(const RenderOptions& o, const HandoffOptions& handoff, std::FILE* out, std::FILE* err) {
    const RenderPlan plan = plan_render(o, out, err);
    NukeScriptShot shot;
    shot.plate = nuke_file(o.plate);
    shot.remove_map = nuke_file(handoff.remove_map);
    shot.add_map = nuke_file(handoff.add_map);
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
