#include "cli/verify_command.h"

#include "cli/output/terminal_events.h"
#include "cli/output/terminal_print.h"
#include "pipeline/farm/shot_verify.h"

namespace talvik::cli {

int run_verify(const RenderOptions& o, const FarmOptions& f, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    const pipeline::ShotVerdict verdict = pipeline::verify_shot(o, f, events);
    for (const std::string& line : verdict.file_lines()) print_message(out, "%s", line.c_str());
    if (!o.quiet) print_message(out, "%s", verdict.summary().c_str());
    std::fflush(out);
    return verdict.holds() ? 0 : 1;
}

}  // namespace talvik::cli
