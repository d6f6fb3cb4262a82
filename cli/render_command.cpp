#include "cli/render_command.h"

#include "cli/output/terminal_events.h"
#include "pipeline/render/shot_render.h"

namespace talvik::cli {

int run_overscan(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    pipeline::measure_overscan(o, events);
    return 0;
}

int run_render(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    TerminalEvents events(out, err, {o.quiet, o.verbose, o.strict, o.print_controls});
    pipeline::render_shot(o, events);
    return 0;
}

}  // namespace talvik::cli
