#include "pipeline/render/shot_render.h"

#include <algorithm>
#include <optional>

#include "pipeline/render/frame_loop.h"
#include "pipeline/render/render_manifest.h"
#include "pipeline/render/render_notes.h"
#include "pipeline/render/render_provenance.h"
#include "shot/frame_range.h"
#include "shot/undistorted_camera.h"
#include "shot/version_info.h"
#include "pipeline/job/job_checks.h"

namespace talvik::pipeline {

io::FileSeal write_overscan_report(const std::string& path, const ShotJob& o, const RenderPlan& plan) {
    const int width = plan.format.width(), height = plan.format.height();
    // The CG camera per frame of the shot `auto` measured (or of the frames
    // asked, for fixed margins).
    const std::vector<int>& frames = plan.overscan_frames.empty() ? plan.frames : plan.overscan_frames;
    const std::vector<shot::FrameCamera> cameras = shot::frame_cameras(*plan.node, frames, width, height);
    shot::Json report =
        shot::overscan_report(plan.overscan, width, height, plan.overscan_frames, measured_on(o, plan), cameras);
    report["undistorted_camera"] = shot::undistorted_camera_json(
        cameras, width, height, plan.overscan.margins().value_or(shot::Margins{}), std::nullopt);
    return write_json_file(path, shot::json_text(report, 2) + "\n", "overscan report");
}

void measure_overscan(const ShotJob& o, ShotEvents& events) {
    check_shot_job(o);
    const RenderPlan plan = plan_render(o, events);
    write_overscan_report(o.overscan_report, o, plan);
}

void render_shot(const ShotJob& o, ShotEvents& events) {
    check_shot_job(o);
    const std::string started = utc_time_now();
    RenderPlan plan = plan_render(o, events);
    std::optional<io::FileSeal> report;
    if (!o.overscan_report.empty()) report = write_overscan_report(o.overscan_report, o, plan);
    // A retried farm task keeps what the tries before it recorded; read
    // before rendering, so that a manifest this build cannot read stops
    // the run before it writes anything.
    const shot::Json asked = run_asked(shot::format_frames(plan.frames), o.output, o.preview);
    const shot::Json earlier =
        !o.manifest.empty() && o.skip_existing ? earlier_runs(o.manifest, asked) : shot::Json::array();
    RenderManifest manifest = render_frames(plan, o, events);

    RenderNotes& notes = plan.notes;
    notes.kept = plan.outputs->frames_skipped();
    notes.stale = plan.outputs->frames_stale();
    const std::vector<std::string>& stale = plan.outputs->stale_paths();
    notes.stale_paths.assign(stale.begin(), stale.begin() + std::min<size_t>(stale.size(), 3));
    notes.plugin_path = shot::plugin_build("TalvikDistort").path;
    if (plan.rendering()) tell_render_notes(events, notes);
    if (!o.manifest.empty()) {
        for (const std::string& path : plan.outputs->skipped_paths()) manifest.add_skipped(path);
        for (const std::string& path : plan.outputs->stale_paths()) manifest.add_stale(path);
        if (report) manifest.add_document(o.overscan_report, *report);
        write_manifest(o.manifest, manifest.json(notes.plugin_path, notes,
                                                 render_provenance(o, plan, started, utc_time_now()), asked, earlier));
    }
}

}  // namespace talvik::pipeline
