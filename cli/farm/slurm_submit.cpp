#include "cli/farm/slurm_submit.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>

#include "cli/farm/program_run.h"
#include "pipeline/render/render_manifest.h"
#include "io/stop_signal.h"

namespace talvik::cli {
namespace {

namespace fs = std::filesystem;

std::string command_line(const std::vector<std::string>& argv) {
    std::string line = "exec";
    for (const std::string& word : argv) line += " " + pipeline::shell_quoted(word);
    return line;
}

std::string job_id(const std::string& parsable) {
    // "1234" or "1234;cluster".
    std::string id = parsable.substr(0, parsable.find(';'));
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "";
    return id;
}

// Cancels the held jobs of a submission that failed; says what became of them.
std::string cancel(const std::vector<SubmittedStep>& submitted) {
    if (submitted.empty()) return "no job was submitted";
    std::vector<std::string> argv = {"scancel"};
    std::string ids;
    for (const SubmittedStep& s : submitted) {
        argv.push_back(s.id);
        ids += (ids.empty() ? "" : ", ") + s.id + " (" + s.step + ")";
    }
    const ProgramResult r = run_program(argv);
    if (r.started && r.status == 0) return "cancelled the jobs submitted (held, none had started): " + ids;
    return "these jobs were submitted, held, and could not be cancelled: " + ids + " (scancel: " +
           (r.started ? program_said(r) : r.why_not) + "); cancel them with scancel";
}

void sleep_seconds(double seconds) {
    // In short naps, so a stop signal is seen soon.
    for (double slept = 0.0; slept < seconds && !io::stop_requested().load(); slept += 0.1) {
        const timespec nap{0, 100 * 1000 * 1000};
        nanosleep(&nap, nullptr);
    }
}

// "JobState=COMPLETED ... ExitCode=0:0" from scontrol's one-line form.
std::string field(const std::string& text, const std::string& name) {
    size_t at = 0;
    while ((at = text.find(name + "=", at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == ' ' || text[at - 1] == '\n') {
            const size_t start = at + name.size() + 1;
            return text.substr(start, text.find_first_of(" \n", start) - start);
        }
        at += name.size();
    }
    return "";
}

int exit_code_of(const std::string& code) {
    // "1:0": the exit status, then the signal that ended it.
    const size_t colon = code.find(':');
    try {
        const int status = std::stoi(code.substr(0, colon));
        const int signal = colon == std::string::npos ? 0 : std::stoi(code.substr(colon + 1));
        return signal ? 128 + signal : status;
    } catch (const std::exception&) {
        return -1;
    }
}

bool ended(const std::string& state) {
    static const std::set<std::string> kEnded = {"COMPLETED", "FAILED",        "CANCELLED", "TIMEOUT",
                                                 "NODE_FAIL", "PREEMPTED",     "BOOT_FAIL", "DEADLINE",
                                                 "OUT_OF_MEMORY"};
    // sacct writes "CANCELLED by 0".
    return kEnded.count(state.substr(0, state.find(' '))) > 0;
}

// sbatch's --output reads '%' as the start of a field: a literal one is
// "%%". A backslash would turn every field off, so every task would write
// one log: refused.
std::string output_pattern(const std::string& folder, const std::string& name, const std::string& fields) {
    if (folder.find('\\') != std::string::npos)
        throw std::runtime_error("the job folder \"" + folder +
                                 "\" holds a backslash, which sbatch's --output reads as \"no task fields\": "
                                 "give another --job-dir");
    std::string escaped;
    for (char c : folder + "/" + name) escaped += c == '%' ? std::string("%%") : std::string(1, c);
    return escaped + fields;
}

// The cluster's MaxArraySize ("MaxArraySize            = 1001"); nothing
// when scontrol cannot say, and sbatch is left to judge.
std::optional<size_t> max_array_size() {
    const ProgramResult r = run_program({"scontrol", "show", "config"});
    if (!r.started || r.status != 0) return std::nullopt;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name, equals;
        size_t value = 0;
        if (words >> name >> equals >> value && name == "MaxArraySize" && equals == "=") return value;
    }
    return std::nullopt;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + line;
    return text;
}

}  // namespace

SubmitFailed::SubmitFailed(const std::string& why, const std::string& said, const std::string& outcome)
    : std::runtime_error(why + (said.empty() ? "" : ": " + joined(lines_of(said))) + "; " + outcome),
      why_(why),
      said_(lines_of(said)),
      outcome_(outcome) {}

std::string batch_script(const JobPlan& plan, const JobStep& step) {
    // A name is only ever a comment here: a line break would end it.
    std::string name = plan.job_name;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    std::string script = "#!/bin/sh\n# talvik-stmap: the " + step.name + " step of job " + name +
                         " (" + std::to_string(step.task_count) + (step.task_count == 1 ? " task" : " tasks") +
                         "), written by submit slurm.\n";
    if (step.task_count == 1) return script + command_line(step.task(0).argv) + "\n";
    script += "case \"$SLURM_ARRAY_TASK_ID\" in\n";
    for (size_t i = 0; i < step.task_count; ++i)
        script += "  " + std::to_string(i) + ") " + command_line(step.task(i).argv) + " ;;\n";
    script += "  *) echo \"talvik-stmap: no task $SLURM_ARRAY_TASK_ID in this job\" >&2; exit 2 ;;\n";
    return script + "esac\n";
}

std::vector<SubmittedStep> submit_to_slurm(const JobPlan& plan, const SbatchArgs& sbatch_args) {
    const bool arrays = std::any_of(plan.steps.begin(), plan.steps.end(), [](const JobStep& s) { return s.task_count > 1; });
    if (arrays)
        if (const std::optional<size_t> limit = max_array_size())
            pipeline::check_task_count(plan, *limit, "this cluster's MaxArraySize");
    std::error_code ec;
    fs::create_directories(plan.log_folder, ec);
    if (ec) throw std::runtime_error("cannot create the job's log folder \"" + plan.log_folder + "\": " + ec.message());
    std::vector<SubmittedStep> submitted;
    auto fail = [&submitted](const std::string& why, const std::string& said = "") {
        throw SubmitFailed(why, said, cancel(submitted));
    };
    for (const JobStep& step : plan.steps) {
        const std::string script = (fs::path(plan.job_folder) / ("slurm-" + step.name + ".sh")).string();
        pipeline::write_json_file(script, batch_script(plan, step), "batch script");
        const bool array = step.task_count > 1;
        const std::string& name = step.job_name;
        const std::string fields = array ? "-%A_%a.log" : "-%j.log";
        SubmittedStep s{step.name, "", step.task_count, (fs::path(plan.log_folder) / (name + fields)).string(), {}, name};
        // Held until every step is in: a step refused leaves nothing running.
        std::vector<std::string> argv = {"sbatch", "--parsable", "--hold", "--job-name=" + name,
                                         "--output=" + output_pattern(plan.log_folder, name, fields),
                                         "--open-mode=append"};
        if (plan.threads > 0) argv.push_back("--cpus-per-task=" + std::to_string(plan.threads));
        if (array) argv.push_back("--array=0-" + std::to_string(step.task_count - 1));
        std::string ids;
        for (const std::string& after : step.after)
            for (const SubmittedStep& before : submitted)
                if (before.step == after) ids += ":" + before.id;
        if (!ids.empty()) {
            argv.push_back(std::string("--dependency=") + (step.after_success ? "afterok" : "afterany") + ids);
            // A step that can never start is cancelled, so the steps
            // waiting for it to end run and say so.
            if (step.after_success) argv.push_back("--kill-on-invalid-dep=yes");
        }
        const std::vector<std::string>& own = step.kind == "overscan" ? sbatch_args.overscan
                                              : step.kind == "render" ? sbatch_args.render
                                                                      : sbatch_args.verify;
        for (const std::vector<std::string>* args : {&sbatch_args.every, &own})
            argv.insert(argv.end(), args->begin(), args->end());
        argv.push_back(script);
        const ProgramResult r = run_program(argv);
        if (!r.started)
            fail("sbatch " + r.why_not + ": submit slurm needs Slurm's client commands (Debian: slurm-client) "
                 "and a cluster to submit to");
        s.id = job_id(r.out);
        if (r.status != 0 || s.id.empty())
            fail("sbatch refused the " + step.name + " step (exit " + std::to_string(r.status) + ")", program_said(r));
        // The names sbatch gives the logs: %A the array's id, %a the task's index, %j the job's id.
        for (size_t i = 0; i < step.task_count; ++i)
            s.logs.push_back((fs::path(plan.log_folder) /
                              (name + "-" + s.id + (array ? "_" + std::to_string(i) : std::string()) + ".log"))
                                 .string());
        submitted.push_back(std::move(s));
        // Stopped half-way: nothing of the job is left to run.
        if (io::stop_requested().load()) throw io::Stopped(cancel(submitted));
    }
    std::vector<std::string> release = {"scontrol", "release"};
    for (const SubmittedStep& s : submitted) release.push_back(s.id);
    const ProgramResult r = run_program(release);
    if (!r.started || r.status != 0)
        fail("scontrol could not release the held jobs", r.started ? program_said(r) : r.why_not);
    return submitted;
}

std::optional<JobEnd> wait_for_slurm_job(const std::string& id) {
    // Often at first, then every few seconds: a long shot need not keep
    // slurmctld busy.
    double pause = 0.5;
    for (;;) {
        if (io::stop_requested().load()) return std::nullopt;
        const ProgramResult shown = run_program({"scontrol", "show", "job", "--oneliner", id});
        if (shown.started && shown.status == 0) {
            const std::string state = field(shown.out, "JobState");
            if (ended(state)) return JobEnd{state, exit_code_of(field(shown.out, "ExitCode"))};
        } else {
            // Gone from slurmctld's memory (MinJobAge): accounting may know.
            const ProgramResult account = run_program({"sacct", "--noheader", "--allocations", "--parsable2", "--jobs",
                                                       id, "--format=State,ExitCode"});
            const std::string line = account.out.substr(0, account.out.find('\n'));
            const size_t bar = line.find('|');
            if (account.started && account.status == 0 && bar != std::string::npos) {
                const std::string state = line.substr(0, bar);
                if (ended(state)) return JobEnd{state.substr(0, state.find(' ')), exit_code_of(line.substr(bar + 1))};
            } else {
                throw std::runtime_error("cannot tell how job " + id + " ended: scontrol: " +
                                         (shown.started ? program_said(shown) : shown.why_not) + "; sacct: " +
                                         (account.started ? program_said(account) : account.why_not));
            }
        }
        sleep_seconds(pause);
        pause = std::min(pause + 0.5, 5.0);
    }
}

}  // namespace talvik::cli
