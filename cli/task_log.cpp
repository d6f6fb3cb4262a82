#include "cli/task_log.h"

#include "cli/output/terminal_print.h"
#include "pipeline/farm/job_plan.h"
#include "pipeline/render/render_provenance.h"
#include "shot/version_info.h"

namespace talvik::cli {

void print_task_log_header(std::FILE* err, const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& word : argv) line += (line.empty() ? "" : " ") + pipeline::shell_quoted(word);
    // A line each, each escaped: a line break in an argument stays in it.
    print_message(err, "talvik-stmap task log");
    print_message(err, "  time:      %s", pipeline::utc_time_now().c_str());
    print_message(err, "  host:      %s", pipeline::host_name().c_str());
    print_message(err, "  version:   %s", shot::command_version());
    print_message(err, "  arguments: %s", line.c_str());
    std::fflush(err);
}

TerminalEvents terminal_events(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    if (o.task_log) events.stamp_progress(pipeline::utc_time_now);
    return events;
}

}  // namespace talvik::cli
