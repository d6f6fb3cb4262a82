#include "pipeline/farm/shot_verify.h"

#include "pipeline/render/chunk_records.h"
#include "pipeline/farm/job_folder.h"
#include "pipeline/output/loaded_files.h"
#include "pipeline/output/output_paths.h"
#include "pipeline/render/render_manifest.h"
#include "pipeline/render/render_plan.h"
#include "shot/frame_range.h"
#include "pipeline/job/job_checks.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {
namespace {

std::string verdict_line(int frame, const FileVerdict& file) {
    std::string line = "frame " + std::to_string(frame) + ": " + file.path + " is " + state_name(file.check.state);
    if (file.check.state == OutputCheck::State::Missing) {
        // "No such file or directory" says nothing more than "missing".
        if (file.check.why.rfind("is ", 0) == 0) line += " (it " + file.check.why + ")";
    } else {
        line += ": " + file.check.why;
    }
    return line;
}

// The shot manifest replaces neither a frame's file nor an input.
void check_manifest_path(const ShotJob& o, const RenderPlan& plan) {
    std::vector<InputFile> inputs;
    for (const std::string& path : plan.plates ? plan.plates->paths() : std::vector<std::string>{})
        inputs.push_back({path, plan.plates->is_sequence() ? "plate frame" : "plate"});
    if (!o.fbx.empty()) inputs.push_back({o.fbx, "take"});
    if (!o.overscan_from.empty()) inputs.push_back({o.overscan_from, "overscan report"});
    for (const std::string& path : loaded_files()) inputs.push_back({path, "library this run loaded"});
    const SingleOutput manifest{field_name(o.naming, "--manifest"), o.manifest};
    check_output_paths(plan.exr_pattern, plan.preview_pattern, plan.frames, inputs, {manifest}, o.naming);
    check_single_output_writable(manifest);
}

}  // namespace

std::vector<std::string> ShotVerdict::file_lines() const {
    std::vector<std::string> lines;
    for (const FrameVerdict& frame : frames)
        for (const FileVerdict& file : frame.files)
            if (file.check.state != OutputCheck::State::Current) lines.push_back(verdict_line(frame.frame, file));
    return lines;
}

std::string ShotVerdict::summary() const {
    if (failing.empty())
        return "verify: all " + std::to_string(frames.size()) +
               " frames hold: every file is there, whole and made from this shot's values";
    return "verify: " + std::to_string(failing.size()) + " of " + std::to_string(frames.size()) +
           " frames do not hold: " + shot::format_frames(failing);
}

ShotVerdict verify_shot(const ShotJob& o, const FarmJob& f, ShotEvents& events) {
    check_verify_job(o);
    RenderPlan plan = plan_shot(o, events);
    plan_overscan(o, plan, events);
    if (!o.manifest.empty()) check_manifest_path(o, plan);
    // What the job's renders recorded of each file they wrote.
    const ChunkRecords records =
        ChunkRecords::read(chunk_manifest_folder(job_folder(o.output.empty() ? o.preview : o.output, f.job_dir)));
    ShotVerdict verdict;
    verdict.frames = check_shot_files(plan, records, f.deep);
    for (const FrameVerdict& frame : verdict.frames)
        if (!frame.holds()) verdict.failing.push_back(frame.frame);
    if (!o.manifest.empty()) {
        write_manifest(o.manifest, shot::json_text(shot_manifest(verdict.frames, plan, o, records), 3) + "\n");
    }
    return verdict;
}

}  // namespace talvik::pipeline
