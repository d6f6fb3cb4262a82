#include "pipeline/handoff/shot_handoff.h"

#include <algorithm>

#include "pipeline/handoff/nuke_file_name.h"
#include "pipeline/handoff/nuke_script.h"
#include "pipeline/render/render_manifest.h"
#include "pipeline/render/render_plan.h"
#include "shot/frame_pattern.h"
#include "shot/plate_sequence.h"
#include "pipeline/job/job_checks.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {
namespace {

// Nuke's default Camera aperture, for a script given no film back: the
// projection depends only on focal / haperture.
constexpr double kNukeDefaultHaperture = 24.576;

}  // namespace

void write_camera(const ShotJob& o, const HandoffJob& handoff, ShotEvents& events) {
    check_camera_job(o);
    const RenderPlan plan = plan_render(o, events);
    const int width = plan.format.width(), height = plan.format.height();
    const shot::Margins margins = plan.overscan.margins().value_or(shot::Margins{});
    const shot::Json document = shot::camera_document(shot::frame_cameras(*plan.node, plan.frames, width, height),
                                                      width, height, margins, handoff.film_back);
    write_json_file(o.document, shot::json_text(document, 2) + "\n", "camera");
}

void write_nuke_script(const ShotJob& o, const HandoffJob& handoff, ShotEvents& events) {
    check_nuke_script_job(o, handoff);
    // A name Nuke would not read as the files it names is refused before
    // anything is planned; a map pattern is always a pattern, as render
    // reads it.
    nuke_read_file(field_name(o.naming, "--plate"), o.plate, shot::PlateSequence::names_one_file(o.plate));
    NukeScriptShot shot;
    shot.remove_map = nuke_read_file(field_name(o.naming, "--remove-map"), handoff.remove_map, false);
    shot.add_map = nuke_read_file(field_name(o.naming, "--add-map"), handoff.add_map, false);
    const RenderPlan plan = plan_render(o, events,
                                        {{shot::FramePattern::parse(handoff.remove_map), "remove-distortion map"},
                                         {shot::FramePattern::parse(handoff.add_map), "add-distortion map"}});
    shot.plate = nuke_read_file(field_name(o.naming, "--plate"), o.plate, !plan.plates->is_sequence());
    shot.width = plan.format.width();
    shot.height = plan.format.height();
    shot.pixel_aspect = plan.plates->first().attributes.pixelAspectRatio();
    shot.first_frame = *std::min_element(plan.frames.begin(), plan.frames.end());
    shot.last_frame = *std::max_element(plan.frames.begin(), plan.frames.end());
    shot.margins = plan.overscan.margins().value_or(shot::Margins{});
    // The Reads play every frame from first to last, whatever step the maps
    // were made at: the Camera is keyed at each of them.
    std::vector<int> frames;
    for (int frame = shot.first_frame; frame <= shot.last_frame; ++frame) frames.push_back(frame);
    shot.cameras = shot::frame_cameras(*plan.node, frames, shot.width, shot.height);
    shot.haperture = handoff.film_back ? handoff.film_back->width : kNukeDefaultHaperture;
    write_json_file(o.document, nuke_script(shot), "Nuke script");
}

}  // namespace talvik::pipeline
