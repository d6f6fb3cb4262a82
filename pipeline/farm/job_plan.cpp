#include "pipeline/farm/job_plan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "pipeline/farm/job_folder.h"
#include "shot/frame_pattern.h"
#include "pipeline/render/render_plan.h"
#include "shot/frame_range.h"
#include "shot/json_formats.h"
#include "shot/terminal_text.h"
#include "shot/usage_error.h"
#include "shot/version_info.h"
#include "pipeline/job/job_checks.h"

namespace talvik::pipeline {
namespace {

namespace fs = std::filesystem;

// The options every step reads the shot from, paths made absolute.
// How each task runs: its threads, and what the shot's own run asked of
// its warnings and progress.
struct TaskRun {
    int threads = 0;
    bool strict = false;
    bool quiet = false;
    bool verbose = false;
};

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
    Argv& shot(const ShotJob& o) {
        add_if(!o.plate.empty(), "--plate", absolute_path(o.plate));
        if (o.size) add("--size", std::to_string(o.size->first) + "x" + std::to_string(o.size->second));
        for (const auto& [name, value] : o.sets) add("--set", name + "=" + value);
        add_if(!o.fbx.empty(), "--fbx", absolute_path(o.fbx));
        if (o.camera) add("--camera", std::to_string(*o.camera));
        return *this;
    }
    // --threads, --strict, --quiet, --verbose, --task-log, --plugin-path: how
    // each task runs.
    // What verify finds is its result, never quietened.
    Argv& run(const TaskRun& r, const std::string& plugin_folder, bool quiet_allowed = true) {
        add_if(r.threads > 0, "--threads", std::to_string(r.threads));
        flag(r.strict, "--strict");
        flag(r.quiet && quiet_allowed, "--quiet");
        flag(r.verbose, "--verbose");
        flag(true, "--task-log");
        return add("--plugin-path", plugin_folder);
    }

    // A task takes the values of the plan alone, never a farm machine's
    // config file.
    std::vector<std::string> get() const {
        std::vector<std::string> all = argv_;
        all.push_back("--no-config");
        return all;
    }

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

std::string default_job_name(const std::vector<std::string>& maps) {
    const shot::FramePattern first = shot::FramePattern::parse(maps.front());
    const fs::path folder = absolute_path(first.fixed_folder().empty() ? "." : first.fixed_folder());
    std::string shot = folder.filename().string();
    for (fs::path at = folder; !at.filename().empty(); at = at.parent_path()) {
        const std::string name = at.filename().string();
        if (std::any_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            shot = name;
            break;
        }
    }
    std::string name = maps.size() == 1 ? (shot.empty() ? "" : shot + "-") + output_stem(maps.front()) : shot;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
    return name.empty() ? "stmap" : name.substr(0, kJobNameLimit);
}

JobPlan plan_job(const ShotJob& options, const FarmJob& f, const std::vector<int>& frames,
                 const std::string& executable, const std::string& plugin_folder, const FrameSizes& sizes) {
    // The tasks are made when asked for, long after this returns: what
    // they are made from is held by them.
    const auto shared = std::make_shared<const ShotJob>(options);
    const ShotJob& o = *shared;
    const TaskRun task_run{o.threads, f.strict_tasks, f.quiet_tasks, f.verbose_tasks};
    const FarmMaps maps = farm_maps(o, f);
    JobPlan plan;
    plan.name = output_stem(maps.maps.front().job.output);
    plan.job_folder = maps.job_folder;
    plan.log_folder = (fs::path(plan.job_folder) / "logs").string();
    plan.shot_manifest = maps.maps.front().job.manifest;
    for (const FarmMap& map : maps.maps) {
        plan.maps.push_back(map.job.output);
        plan.shot_manifests.push_back(map.job.manifest);
    }
    plan.job_name = f.job_name.empty() ? default_job_name(plan.maps) : f.job_name;
    plan.frames = frames;
    plan.chunk = f.chunk;
    plan.threads = o.threads;
    const std::string all_frames = shot::format_frames(frames);
    const bool measure = o.overscan == std::optional<std::string>("auto");
    const std::string report = !measure ? ""
                               : o.overscan_report.empty() ? (fs::path(plan.job_folder) / "overscan.json").string()
                                                           : absolute_path(o.overscan_report);
    plan.overscan_report = report;
    // What a render task and the verify read the shot from: the shot, its
    // frames, the Mode, the margins.
    auto shot_values = [executable, measure, report](const ShotJob& o, const char* command, const std::string& frames_text) {
        Argv argv(executable, command);
        argv.shot(o).add("--frames", frames_text);
        argv.add_if(o.mode.has_value(), "--mode", o.mode.value_or(0) ? "undistort" : "distort");
        if (measure) argv.add("--overscan-from", report);
        else if (o.overscan) argv.add("--overscan", *o.overscan);
        else argv.add_if(!o.overscan_from.empty(), "--overscan-from", absolute_path(o.overscan_from));
        return argv;
    };
    // ... and where its files are.
    auto shot_files = [shot_values](const ShotJob& o, const char* command, const std::string& frames_text) {
        return shot_values(o, command, frames_text)
            .add("-o", absolute_path(o.output))
            .add_if(!o.preview.empty(), "--preview", absolute_path(o.preview));
    };
    const std::string base = plan.job_name;
    const int cpus = std::max(o.threads, 1);
    auto named = [&base](const std::string& label, const char* kind) {
        return base + (label.empty() ? "" : "-" + label) + "-" + kind;
    };
    // A step of one task over every frame.
    auto single = [&](const char* kind, const std::vector<std::string>& after, bool after_success,
                      const std::vector<std::string>& argv) {
        JobTask task{frames, argv};
        return JobStep{kind, after, after_success, 1, [task](size_t) { return task; }, argv, kind, named("", kind), cpus, std::nullopt};
    };
    const auto memory = [&](int width, int height, const shot::FrameWork& work) {
        return width > 0 && height > 0 ? std::optional<uint64_t>(shot::frame_memory_need(width, height, work)) : std::nullopt;
    };

    if (measure) {
        Argv argv(executable, "overscan");
        argv.shot(o).add("--frames", all_frames).add("-o", report).run(task_run, plugin_folder);
        plan.steps.push_back(single("overscan", {}, true, argv.get()));
        plan.steps.back().memory = memory(sizes.format_width, sizes.format_height, {std::nullopt, cpus, 0});
    }

    std::vector<std::string> renders;
    const auto all = std::make_shared<const std::vector<int>>(frames);
    const size_t chunk = static_cast<size_t>(f.chunk);
    const bool runs = consecutive(frames);
    for (const FarmMap& map : maps.maps) {
        const auto job = std::make_shared<const ShotJob>(map.job);
        const std::string chunks = chunk_manifest_folder(map.folder);
        auto render_argv = [job, shot_files, task_run, plugin_folder, chunks](
                               const std::string& frames_text, const std::string& first, const std::string& last) {
            return shot_files(*job, "render", frames_text)
                .add("--compression", exr::st_map_compression_name(job->compression))
                .run(task_run, plugin_folder)
                .flag(true, "--skip-existing")
                .add("--manifest", (fs::path(chunks) / ("frames-" + first + "-" + last + ".json")).string())
                .get();
        };
        JobStep render{map.label.empty() ? "render" : "render-" + map.label,
                       measure ? std::vector<std::string>{"overscan"} : std::vector<std::string>{},
                       true, (frames.size() + chunk - 1) / chunk, {}, {}, "render", named(map.label, "render"), cpus,
                       memory(sizes.box_width, sizes.box_height, render_frame_work(map.job, cpus))};
        render.task = [all, chunk, runs, render_argv](size_t i) {
            const auto begin = all->begin() + static_cast<std::ptrdiff_t>(i * chunk);
            const std::vector<int> part(begin, begin + static_cast<std::ptrdiff_t>(std::min(chunk, all->size() - i * chunk)));
            const std::string first = std::to_string(part.front()), last = std::to_string(part.back());
            return JobTask{part, render_argv(runs ? first + "-" + last : shot::format_frames(part), first, last)};
        };
        // A farm fills every "{first}" and "{last}" of the template: one a path
        // holds would be filled too.
        const auto placeholder = [](const std::string& word) {
            return word.find("{first}") != std::string::npos || word.find("{last}") != std::string::npos;
        };
        if (runs && render.task_count > 0) {
            const std::vector<std::string> words = render.task(0).argv;
            if (std::none_of(words.begin(), words.end(), placeholder))
                render.argv_template = render_argv("{first}-{last}", "{first}", "{last}");
        }
        renders.push_back(render.name);
        plan.steps.push_back(std::move(render));
    }

    // A map is judged by its compression too: verify asks for the one
    // rendered. Both maps are verified by one task, which finds each map's
    // folder by the same rule as this plan.
    const FarmMap& only = maps.maps.front();
    Argv verify = maps.maps.size() == 1 ? shot_files(only.job, "verify", all_frames)
                                        : shot_values(o, "verify", all_frames)
                                              .add("--remove-map", maps.maps[0].job.output)
                                              .add("--add-map", maps.maps[1].job.output);
    verify.add_if(o.compression != exr::StMapCompression::Zip, "--compression", exr::st_map_compression_name(o.compression));
    if (maps.maps.size() == 1) verify.add("--manifest", only.job.manifest).add("--job-dir", only.folder);
    else verify.add_if(!f.job_dir.empty(), "--job-dir", plan.job_folder);
    plan.steps.push_back(single("verify", renders, false, verify.run(task_run, plugin_folder, false).get()));
    return plan;
}

JobPlan plan_shot_job(const ShotJob& o, const FarmJob& f, ShotEvents& events) {
    check_farm_job(o, f);
    const FarmMaps maps = farm_maps(o, f);
    RenderPlan shot = plan_shot(maps.maps.front().job, events);
    std::error_code ec;
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    if (ec) throw std::runtime_error("cannot find this program's own path (/proc/self/exe): " + ec.message());
    const std::string plugin = shot::plugin_build("TalvikDistort").path;
    // Margins given or handed in are checked against the shot now, not by
    // every task; `auto`'s are measured by the overscan step, so its renders
    // are estimated on the format.
    const bool measure = o.overscan == std::optional<std::string>("auto");
    if (!measure) plan_overscan(maps.maps.front().job, shot, events);
    FrameSizes sizes{shot.format.width(), shot.format.height(), shot.format.width(), shot.format.height()};
    for (int frame : measure ? std::vector<int>{} : shot.box_per_frame() ? shot.frames : std::vector<int>{shot.frames.front()}) {
        const DD::Image::Box box = shot.box_at(frame);
        sizes.box_width = std::max(sizes.box_width, box.w());
        sizes.box_height = std::max(sizes.box_height, box.h());
    }
    JobPlan plan = plan_job(o, f, shot.frames, self.string(), fs::path(plugin).parent_path().string(), sizes);
    // The files written once, the report and each shot manifest, where the
    // job puts them, checked with the maps as a render checks its own.
    for (const FarmMap& map : maps.maps) {
        ShotJob written = map.job;
        written.overscan_report = plan.overscan_report;
        shot.exr_pattern = shot::FramePattern::parse(written.output);
        try {
            shot::check_pattern_fits_frames(*shot.exr_pattern, shot.frames);
            check_render_outputs(written, shot);
        } catch (const shot::UsageError&) {
            throw;
        } catch (const std::runtime_error& e) {
            throw shot::UsageError(e.what());
        }
    }
    if (maps.maps.size() == 2) {
        const int first = shot.frames.front();
        const std::string file = shot::FramePattern::parse(plan.maps[0]).path_for(first);
        if (file == shot::FramePattern::parse(plan.maps[1]).path_for(first))
            throw shot::UsageError("--remove-map and --add-map both name " + file + ": give each map its own files");
    }
    return plan;
}

void check_task_count(const JobPlan& plan, size_t limit, const std::string& limit_name) {
    for (const JobStep& step : plan.steps) {
        if (step.task_count <= 1 || step.task_count <= limit) continue;
        // Each task of the largest chunk that fits; one task is no array.
        const size_t fits = limit > 1 ? (plan.frames.size() + limit - 1) / limit : plan.frames.size();
        throw shot::UsageError("the " + step.name + " step would be " + std::to_string(step.task_count) +
                               " tasks (--chunk " + std::to_string(plan.chunk) + "), more than " + limit_name +
                               " of " + std::to_string(limit) + " takes in one job array: give --chunk " +
                               std::to_string(fits) + " or more");
    }
}

namespace {

// Writes to `out`, saying why when it cannot.
class Output {
public:
    explicit Output(std::FILE* out) : out_(out) {}
    Output& operator<<(const std::string& text) {
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), out_) != text.size()) fail();
        return *this;
    }
    void finish() {
        errno = 0;
        if (std::fflush(out_) != 0 || std::ferror(out_)) fail();
    }

private:
    [[noreturn]] static void fail() {
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno ? errno : EIO));
    }
    std::FILE* out_;
};

// `"key": value` as a member of an object `depth` levels down, written
// across lines as shot::json_text(plan, 3) writes it.
std::string member(const char* key, const shot::Json& value, int depth, bool first) {
    return std::string(first ? "" : ",") + "\n" + std::string(2 * depth, ' ') + shot::json_string(key) + ": " +
           shot::json_text(value);
}

// What a task's exit status says of trying it again: a usage error is the
// same on every try, a failure in the work may not be, and a task stopped
// by a signal was stopped, not failed.
shot::Json retry_rule() {
    return {{"never_succeeds", {2}}, {"may_succeed", {1}}, {"stopped", {129, 130, 143}}};
}

}  // namespace

void write_job_plan_json(const JobPlan& plan, std::FILE* file) {
    Output out(file);
    out << "{" << member("format_version", shot::kJobPlanFormat.version, 1, true) << member("name", plan.name, 1, false) << member("frames", shot::format_frames(plan.frames), 1, false)
        << member("frame_count", plan.frames.size(), 1, false) << member("chunk", plan.chunk, 1, false)
        << member("job_folder", plan.job_folder, 1, false) << member("log_folder", plan.log_folder, 1, false)
        << member("shot_manifest", plan.shot_manifest, 1, false) << member("job_name", plan.job_name, 1, false);
    shot::Json maps = shot::Json::array();
    for (size_t m = 0; m < plan.maps.size(); ++m) maps.push_back({{"output", plan.maps[m]}, {"shot_manifest", plan.shot_manifests[m]}});
    out << member("maps", maps, 1, false) << ",\n  \"steps\": [";
    for (size_t s = 0; s < plan.steps.size(); ++s) {
        const JobStep& step = plan.steps[s];
        shot::Json after = shot::Json::array();
        for (const std::string& before : step.after)
            after.push_back({{"step", before}, {"when", step.after_success ? "succeeded" : "ended"}});
        out << (s ? "," : "") << "\n    {" << member("name", step.name, 3, true) << member("kind", step.kind, 3, false)
            << member("job_name", step.job_name, 3, false) << member("after", after, 3, false)
            << member("frames", shot::format_frames(plan.frames), 3, false)
            << member("argv_template", step.argv_template.empty() ? shot::Json(nullptr) : shot::Json(step.argv_template), 3, false)
            << member("cpus", step.cpus, 3, false)
            << member("memory_bytes", step.memory ? shot::Json(*step.memory) : shot::Json(nullptr), 3, false)
            << member("retry", retry_rule(), 3, false)
            << ",\n      \"tasks\": [";
        for (size_t i = 0; i < step.task_count; ++i) {
            const JobTask task = step.task(i);
            shot::Json t = shot::Json::object();
            t["frames"] = shot::format_frames(task.frames);
            t["first"] = task.frames.front();
            t["last"] = task.frames.back();
            t["count"] = task.frames.size();
            t["argv"] = task.argv;
            out << (i ? ", " : "") << shot::json_text(t);
        }
        out << "]\n    }";
    }
    out << "\n  ]\n}\n";
    out.finish();
}

void write_job_plan_text(const JobPlan& plan, std::FILE* file) {
    // Names from outside are escaped here, where a line break inside one
    // can still be told from the lines of the text.
    using shot::terminal_text;
    Output out(file);
    out << "job " + terminal_text(plan.name) + ": frames " + shot::format_frames(plan.frames) + " (" +
               std::to_string(plan.frames.size()) + "), chunks of " + std::to_string(plan.chunk) + "; job folder " +
               terminal_text(plan.job_folder) + "\n";
    for (const JobStep& step : plan.steps) {
        std::string head = "\nstep " + step.name;
        for (size_t i = 0; i < step.after.size(); ++i)
            head += (i ? " and " : ", after ") + step.after[i] +
                    (i + 1 < step.after.size() ? "" : step.after_success ? " succeeded" : " ended");
        head += " (job " + terminal_text(step.job_name) + ")";
        out << head + ": " + std::to_string(step.task_count) + (step.task_count == 1 ? " task\n" : " tasks\n");
        for (size_t i = 0; i < step.task_count; ++i) {
            const JobTask task = step.task(i);
            std::string line = "  frames " + shot::format_frames(task.frames) + ":";
            for (const std::string& word : task.argv) line += " " + terminal_text(shell_quoted(word));
            out << line + "\n";
        }
    }
    out.finish();
}

}  // namespace talvik::pipeline
