#include "cli/points_command.h"

#include "cli/output/terminal_events.h"
#include "pipeline/points/track_conversion.h"

namespace talvik::cli {

int run_points(const CommandLine& cl, std::FILE* err) {
    const RenderOptions& o = cl.render;
    TerminalEvents events(err, err, {o.quiet, o.verbose, o.strict, false});
    pipeline::convert_track(o, cl.points, events);
    return 0;
}

}  // namespace talvik::cli
