#include "cli/job_commands.h"

#include <fstream>
#include <sstream>
#include <string>

#include "pipeline/farm/job_plan.h"
#include "cli/farm/slurm_submit.h"
#include "cli/output/terminal_events.h"
#include "cli/output/terminal_print.h"
#include "io/stop_signal.h"
#include "shot/json_formats.h"
#include "shot/json_output.h"
#include "shot/terminal_text.h"

namespace talvik::cli {
namespace {

using pipeline::JobPlan;

// Names from outside are escaped here, where a line break inside one can
// still be told from the lines of the text.
std::string submitted_text(const JobPlan& plan, const std::vector<SubmittedStep>& steps) {
    using shot::terminal_text;
    std::string text = "submitted job " + terminal_text(plan.job_name) + " to Slurm:";
    for (size_t i = 0; i < steps.size(); ++i) {
        text += (i ? ", " : " ") + steps[i].step + " " + terminal_text(steps[i].id);
        if (steps[i].tasks > 1) text += " (" + std::to_string(steps[i].tasks) + " tasks)";
    }
    return text + "\nlogs in " + terminal_text(plan.log_folder) + "\nshot manifest " +
           terminal_text(plan.shot_manifest) + "\n";
}

shot::Json submitted_json(const JobPlan& plan, const std::vector<SubmittedStep>& steps) {
    shot::Json out = shot::versioned_object(shot::kSubmittedJobFormat);
    out["name"] = plan.name;
    out["job_folder"] = plan.job_folder;
    out["log_folder"] = plan.log_folder;
    out["shot_manifest"] = plan.shot_manifest;
    out["jobs"] = shot::Json::array();
    for (const SubmittedStep& s : steps)
        out["jobs"].push_back({{"step", s.step}, {"job_name", s.job_name}, {"id", s.id}, {"tasks", s.tasks}, {"log", s.log}, {"logs", s.logs}});
    return out;
}

// The verify job's log: which frames do not hold, or that all do.
std::string read_log(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The shot's job for the farm: its tasks warn and report as this run was
// asked to.
JobPlan plan_farm_job(const RenderOptions& o, const FarmOptions& f, std::FILE* err) {
    pipeline::FarmJob farm = f;
    farm.strict_tasks = o.strict;
    farm.quiet_tasks = o.quiet;
    farm.verbose_tasks = o.verbose;
    TerminalEvents events(err, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    return plan_shot_job(o, farm, events);
}

}  // namespace

int run_plan(const RenderOptions& o, const FarmOptions& f, std::FILE* out, std::FILE* err) {
    const JobPlan plan = plan_farm_job(o, f, err);
    pipeline::check_task_count(plan, pipeline::kSlurmArrayLimit, "Slurm's largest MaxArraySize");
    if (f.json)
        pipeline::write_job_plan_json(plan, out);
    else
        pipeline::write_job_plan_text(plan, out);
    return 0;
}

int run_submit(const RenderOptions& o, const FarmOptions& f, std::FILE* out, std::FILE* err) {
    const JobPlan plan = plan_farm_job(o, f, err);
    std::vector<SubmittedStep> steps;
    try {
        steps = submit_to_slurm(plan, {f.sbatch_args, f.overscan_sbatch_args, f.render_sbatch_args, f.verify_sbatch_args});
    } catch (const io::Stopped& e) {
        print_message(err, "talvik-stmap: submit stopped by %s: %s", io::stop_signal_name(), e.what());
        return io::stopped_exit_code();
    } catch (const SubmitFailed& e) {
        // What Slurm's command said keeps its lines, each made safe to show.
        print_message(err, "talvik-stmap: %s%s", e.why().c_str(), e.said().empty() ? "" : ":");
        for (const std::string& line : e.said()) print_message(err, "  %s", line.c_str());
        print_message(err, "talvik-stmap: %s", e.outcome().c_str());
        return 1;
    }
    if (f.json)
        print_line(out, shot::json_text(submitted_json(plan, steps), 2));
    else
        print_lines(out, submitted_text(plan, steps));
    std::fflush(out);
    if (!f.wait) return 0;

    const SubmittedStep& verify = steps.back();
    const std::optional<JobEnd> end = wait_for_slurm_job(verify.id);
    if (!end) {
        std::string ids;
        for (const SubmittedStep& s : steps) ids += (ids.empty() ? "" : ", ") + s.id;
        print_message(err, "talvik-stmap: stopped waiting by %s; the jobs keep running: %s (scancel them to stop the shot)",
                      io::stop_signal_name(), ids.c_str());
        return io::stopped_exit_code();
    }
    print_lines(err, read_log(verify.logs.front()));
    if (end->succeeded()) return 0;
    print_message(err, "talvik-stmap: the shot does not hold: verify job %s ended %s (exit %d)", verify.id.c_str(),
                  end->state.c_str(), end->exit_code);
    return 1;
}

}  // namespace talvik::cli
