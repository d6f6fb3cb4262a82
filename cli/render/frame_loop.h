// Renders a plan's frames in order and writes each frame's files: a map
// whose controls and box equal the last frame's is not rendered again, and
// its EXR reuses the chunks just written.
#pragma once

#include <cstdio>

#include "cli/options/command_options.h"
#include "cli/render/render_manifest.h"
#include "cli/render/render_plan.h"

namespace talvik::cli {

// Controls' JSON goes to `out` with --print-controls, progress to `err`.
// Returns what was written, for the manifest. Throws io::Stopped when a
// stop signal arrives; the files of finished frames are kept.
RenderManifest render_frames(RenderPlan& plan, const RenderOptions& options, std::FILE* out, std::FILE* err);

}  // namespace talvik::cli
