#include "cli/farm/job_plan.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "cli/farm/job_folder.h"
#include "cli/render/render_plan.h"
#include "shot/frame_range.h"
#include "shot/terminal_text.h"
#include "shot/version_info.h"

namespace talvik::cli {
namespace {

namespace fs = std::filesystem;

// The options every step reads the shot from, paths made absolute.
class Argv {
public:
    Argv(const std::string& executable, const char* command) : argv_{executable, command} {}

    Argv& add(const std::string& option, const std::string& value) {
        argv_.push_back(option);
        argv_.push_back(value);
        return *this;
    }
    Argv& add_if(bool given, const std::string& option, const std::string& value) {
        return given ? add(option, value) : *this;
    }
    Argv& flag(bool given, const std::string& option) {
        if (given) argv_.push_back(option);
        return *this;
    }

    // --plate, --size, --set, --fbx, --camera: what the shot is.
    Argv& shot(const RenderOptions& o) {
        add_if(!o.plate.empty(), "--plate", absolute_path(o.plate));
        if (o.size) add("--size", std::to_string(o.size->first) + "x" + std::to_string(o.size->second));
        for (const auto& [name, value] : o.sets) add("--set", name + "=" + value);
        add_if(!o.fbx.empty(), "--fbx", absolute_path(o.fbx));
        if (o.camera) add("--camera", std::to_string(*o.camera));
        return *this;
    }
    // --threads, --strict, --quiet, --plugin-path: how each task runs.
    // What verify finds is its result, never quietened.
    Argv& run(const RenderOptions& o, const std::string& plugin_folder, bool quiet_allowed = true) {
        add_if(o.threads > 0, "--threads", std::to_string(o.threads));
        flag(o.strict, "--strict");
        flag(o.quiet && quiet_allowed, "--quiet");
        return add("--plugin-path", plugin_folder);
    }

    std::vector<std::string> get() const { return argv_; }

private:
    std::vector<std::string> argv_;
};

// A run of consecutive frames, as a farm's chunking makes them.
bool consecutive(const std::vector<int>& frames) {
    for (size_t i = 1; i < frames.size(); ++i)
        if (static_cast<long long>(frames[i]) != static_cast<long long>(frames[i - 1]) + 1) return false;
    return true;
}

}  // namespace

std::string shell_quoted(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::string("/._-=+,:@%").find(c) != std::string::npos;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

JobPlan plan_job(const RenderOptions& o, const FarmOptions& f, const std::vector<int>& frames,
                 const std::string& executable, const std::string& plugin_folder) {
    JobPlan plan;
    plan.name = output_stem(o.output);
    plan.job_folder = job_folder(o.output, f.job_dir);
    plan.log_folder = (fs::path(plan.job_folder) / "logs").string();
    plan.shot_manifest = o.manifest.empty() ? (fs::path(plan.job_folder) / "shot.json").string() : absolute_path(o.manifest);
    plan.frames = frames;
    plan.chunk = f.chunk;
    plan.threads = o.threads;
    const std::string all_frames = shot::format_frames(frames);
    const bool measure = o.overscan == std::optional<std::string>("auto");
    const std::string report = !measure ? ""
                               : o.overscan_report.empty() ? (fs::path(plan.job_folder) / "overscan.json").string()
                                                           : absolute_path(o.overscan_report);
    // What a render task and the verify read the shot from and where its
    // files are: the shot, its frames, the Mode, the margins, the outputs.
    auto shot_files = [&](const char* command, const std::string& frames_text) {
        Argv argv(executable, command);
        argv.shot(o).add("--frames", frames_text);
        argv.add_if(o.mode.has_value(), "--mode", o.mode.value_or(0) ? "undistort" : "distort");
        if (measure) argv.add("--overscan-from", report);
        else if (o.overscan) argv.add("--overscan", *o.overscan);
        else argv.add_if(!o.overscan_from.empty(), "--overscan-from", absolute_path(o.overscan_from));
        argv.add("-o", absolute_path(o.output)).add_if(!o.preview.empty(), "--preview", absolute_path(o.preview));
        return argv;
    };

    if (measure) {
        Argv argv(executable, "overscan");
        argv.shot(o).add("--frames", all_frames).add("-o", report).run(o, plugin_folder);
        plan.steps.push_back({"overscan", "", true, {{frames, argv.get()}}, argv.get()});
    }

    JobStep render{"render", measure ? "overscan" : "", true, {}, {}};
    const std::string chunks = chunk_manifest_folder(plan.job_folder);
    const bool runs = consecutive(frames);
    auto render_argv = [&](const std::string& frames_text, const std::string& first, const std::string& last) {
        return shot_files("render", frames_text)
            .add("--compression", exr::st_map_compression_name(o.compression))
            .run(o, plugin_folder)
            .flag(true, "--skip-existing")
            .add("--manifest", (fs::path(chunks) / ("frames-" + first + "-" + last + ".json")).string())
            .get();
    };
    for (size_t at = 0; at < frames.size(); at += static_cast<size_t>(f.chunk)) {
        const std::vector<int> chunk(frames.begin() + static_cast<std::ptrdiff_t>(at),
                                     frames.begin() + static_cast<std::ptrdiff_t>(std::min(frames.size(), at + f.chunk)));
        const std::string first = std::to_string(chunk.front()), last = std::to_string(chunk.back());
        render.tasks.push_back({chunk, render_argv(runs ? first + "-" + last : shot::format_frames(chunk), first, last)});
    }
    if (runs) render.argv_template = render_argv("{first}-{last}", "{first}", "{last}");
    plan.steps.push_back(std::move(render));

    const std::vector<std::string> verify = shot_files("verify", all_frames)
                                                .add("--manifest", plan.shot_manifest)
                                                .add("--job-dir", plan.job_folder)
                                                .run(o, plugin_folder, false)
                                                .get();
    plan.steps.push_back({"verify", "render", false, {{frames, verify}}, verify});
    return plan;
}

JobPlan plan_shot_job(const RenderOptions& o, const FarmOptions& f, std::FILE* err) {
    RenderPlan shot = plan_shot(o, err);
    // A report handed in is checked against the shot now, not by every task.
    if (!o.overscan_from.empty()) plan_overscan(o, shot, err, err);
    std::error_code ec;
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    if (ec) throw std::runtime_error("cannot find this program's own path (/proc/self/exe): " + ec.message());
    const std::string plugin = shot::plugin_build("TalvikDistort").path;
    return plan_job(o, f, shot.frames, self.string(), fs::path(plugin).parent_path().string());
}

shot::Json job_plan_json(const JobPlan& plan) {
    shot::Json out = shot::Json::object();
    out["name"] = plan.name;
    out["frames"] = shot::format_frames(plan.frames);
    out["frame_count"] = plan.frames.size();
    out["chunk"] = plan.chunk;
    out["job_folder"] = plan.job_folder;
    out["log_folder"] = plan.log_folder;
    out["shot_manifest"] = plan.shot_manifest;
    out["steps"] = shot::Json::array();
    for (const JobStep& step : plan.steps) {
        shot::Json s = shot::Json::object();
        s["name"] = step.name;
        s["after"] = step.after.empty() ? shot::Json(nullptr)
                                        : shot::Json({{"step", step.after}, {"when", step.after_success ? "succeeded" : "ended"}});
        s["frames"] = shot::format_frames(plan.frames);
        s["argv_template"] = step.argv_template.empty() ? shot::Json(nullptr) : shot::Json(step.argv_template);
        s["tasks"] = shot::Json::array();
        for (const JobTask& task : step.tasks) {
            shot::Json t = shot::Json::object();
            t["frames"] = shot::format_frames(task.frames);
            t["first"] = task.frames.front();
            t["last"] = task.frames.back();
            t["count"] = task.frames.size();
            t["argv"] = task.argv;
            s["tasks"].push_back(std::move(t));
        }
        out["steps"].push_back(std::move(s));
    }
    return out;
}

std::string job_plan_text(const JobPlan& plan) {
    // Names from outside are escaped here, where a line break inside one
    // can still be told from the lines of the text.
    using shot::terminal_text;
    std::string text = "job " + terminal_text(plan.name) + ": frames " + shot::format_frames(plan.frames) + " (" +
                       std::to_string(plan.frames.size()) + "), chunks of " + std::to_string(plan.chunk) +
                       "; job folder " + terminal_text(plan.job_folder) + "\n";
    for (const JobStep& step : plan.steps) {
        text += "\nstep " + step.name;
        if (!step.after.empty()) text += ", after " + step.after + (step.after_success ? " succeeded" : " ended");
        text += ": " + std::to_string(step.tasks.size()) + (step.tasks.size() == 1 ? " task\n" : " tasks\n");
        for (const JobTask& task : step.tasks) {
            text += "  frames " + shot::format_frames(task.frames) + ":";
            for (const std::string& word : task.argv) text += " " + terminal_text(shell_quoted(word));
            text += "\n";
        }
    }
    return text;
}

}  // namespace talvik::cli
