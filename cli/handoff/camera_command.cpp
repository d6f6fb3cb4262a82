#include "cli/handoff/camera_command.h"

#include "cli/render/render_manifest.h"
#include "cli/render/render_plan.h"
#include "shot/undistorted_camera.h"

namespace talvik::cli {

int run_camera(const RenderOptions& o, const HandoffOptions& handoff, std::FILE* out, std::FILE* err) {
    const RenderPlan plan = plan_render(o, out, err);
    const int width = plan.format.width(), height = plan.format.height();
    const shot::Margins margins = plan.overscan.margins().value_or(shot::Margins{});
    const shot::Json document = shot::camera_document(shot::frame_cameras(*plan.node, plan.frames, width, height),
                                                      width, height, margins, handoff.film_back);
    write_json_file(o.document, shot::json_text(document, 2) + "\n", "camera");
    return 0;
}

}  // namespace talvik::cli
