// A frame's map rendered in memory through the render's own bands, the
// host set up for the frame as the frame loop sets it: the pixels the
// frame's file was written from, for a check that compares them bit for bit.
#pragma once

#include "exr/st_map_pixels.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

// Throws as a render of the frame does (positions that are not finite).
exr::StMapPixels render_map_in_memory(RenderPlan& plan, int frame);

}  // namespace talvik::pipeline
