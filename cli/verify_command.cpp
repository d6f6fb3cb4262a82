#include "cli/verify_command.h"

#include <string>
#include <vector>

#include "cli/farm/chunk_records.h"
#include "cli/farm/job_folder.h"
#include "cli/farm/shot_manifest.h"
#include "cli/output/loaded_files.h"
#include "cli/output/output_paths.h"
#include "cli/output/terminal_print.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_plan.h"
#include "shot/frame_range.h"

namespace talvik::cli {
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

}  // namespace

int run_verify(const RenderOptions& o, const FarmOptions& f, std::FILE* out, std::FILE* err) {
    RenderPlan plan = plan_shot(o, err);
    plan_overscan(o, plan, out, err);
    // The shot manifest replaces neither a frame's file nor an input.
    if (!o.manifest.empty()) {
        std::vector<InputFile> inputs;
        for (const std::string& path : plan.plates ? plan.plates->paths() : std::vector<std::string>{})
            inputs.push_back({path, plan.plates->is_sequence() ? "plate frame" : "plate"});
        if (!o.fbx.empty()) inputs.push_back({o.fbx, "take"});
        if (!o.overscan_from.empty()) inputs.push_back({o.overscan_from, "overscan report"});
        for (const std::string& path : loaded_files()) inputs.push_back({path, "library this run loaded"});
        const SingleOutput manifest{"--manifest", o.manifest};
        check_output_paths(plan.exr_pattern, plan.preview_pattern, plan.frames, inputs, {manifest});
        check_single_output_writable(manifest);
    }
    const std::vector<FrameVerdict> frames = check_shot_files(plan);
    std::vector<int> bad;
    for (const FrameVerdict& frame : frames) {
        if (frame.holds()) continue;
        bad.push_back(frame.frame);
        for (const FileVerdict& file : frame.files)
            if (file.check.state != OutputCheck::State::Current)
                print_message(out, "%s", verdict_line(frame.frame, file).c_str());
    }
    if (!o.quiet) {
        if (bad.empty())
            print_message(out, "verify: all %zu frames hold: every file is there, whole and made from this shot's values",
                          frames.size());
        else
            print_message(out, "verify: %zu of %zu frames do not hold: %s", bad.size(), frames.size(),
                          shot::format_frames(bad).c_str());
    }
    std::fflush(out);
    if (!o.manifest.empty()) {
        const ChunkRecords records =
            ChunkRecords::read(chunk_manifest_folder(job_folder(o.output.empty() ? o.preview : o.output, f.job_dir)));
        write_manifest(o.manifest, shot::json_text(shot_manifest(frames, plan, o, records), 3) + "\n");
    }
    return bad.empty() ? 0 : 1;
}

}  // namespace talvik::cli
