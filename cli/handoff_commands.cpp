#include "cli/handoff_commands.h"

#include "cli/output/terminal_events.h"
#include "pipeline/handoff/shot_handoff.h"

namespace talvik::cli {

int run_camera(const RenderOptions& o, const HandoffOptions& handoff, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    pipeline::write_camera(o, handoff, events);
    return 0;
}

int run_nuke_script(const RenderOptions& o, const HandoffOptions& handoff, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    pipeline::write_nuke_script(o, handoff, events);
    return 0;
}

}  // namespace talvik::cli
