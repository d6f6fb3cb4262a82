#include "cli/render_command.h"

#include "cli/output/terminal_events.h"
#include "cli/task_log.h"
#include "pipeline/render/shot_render.h"

namespace talvik::cli {

int run_overscan(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    // Measuring is all it does: its progress is the command's.
    TerminalEvents events = terminal_events(o, out, err);
    events.show_measuring();
    pipeline::measure_overscan(o, events);
    return 0;
}

int run_render(const RenderOptions& o, std::FILE* out, std::FILE* err) {
    TerminalEvents events = terminal_events(o, out, err);
    pipeline::render_shot(o, events);
    return 0;
}

}  // namespace talvik::cli
