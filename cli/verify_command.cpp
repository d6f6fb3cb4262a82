#include "cli/verify_command.h"

#include "cli/output/terminal_events.h"
#include "cli/output/terminal_print.h"
#include "cli/task_log.h"
#include "pipeline/farm/farm_maps.h"
#include "pipeline/farm/shot_verify.h"

namespace talvik::cli {
namespace {

bool print_verdict(const pipeline::ShotVerdict& verdict, bool quiet, std::FILE* out) {
    for (const std::string& line : verdict.file_lines()) print_message(out, "%s", line.c_str());
    if (!quiet) print_message(out, "%s", verdict.summary().c_str());
    std::fflush(out);
    return verdict.holds();
}

}  // namespace

int run_verify(const RenderOptions& o, const FarmOptions& f, std::FILE* out, std::FILE* err) {
    TerminalEvents events = terminal_events(o, out, err);
    if (!pipeline::maps_by_direction(f)) return print_verdict(pipeline::verify_shot(o, f, events), o.quiet, out) ? 0 : 1;
    // Each map in its own folder, found as the job's plan found it.
    bool hold = true;
    for (const pipeline::FarmMap& map : pipeline::farm_maps(o, f).maps) {
        pipeline::FarmJob farm = f;
        farm.job_dir = map.folder;
        if (!o.quiet) print_message(out, "%s:", map.job.output.c_str());
        hold = print_verdict(pipeline::verify_shot(map.job, farm, events), o.quiet, out) && hold;
    }
    return hold ? 0 : 1;
}

}  // namespace talvik::cli
