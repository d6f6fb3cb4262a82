// --overscan auto: the margins CG needs so that the Undistort map finds a
// pixel for every plate pixel, measured by rendering that map.
#pragma once

#include <vector>

#include "DDImage/Format.h"
#include "host/runtime/host.h"
#include "pipeline/job/shot_events.h"
#include "shot/overscan.h"

namespace talvik::pipeline {

// Renders `node` in Undistort mode over its input's format at each of
// `frames` (once for a run of frames with equal controls) and returns the
// margins holding every position; Mode is set back however that ends. The
// node's input must still have the format as its box. Each frame's bands
// run on the host's threads; the progress reaches `events`.
shot::Margins measure_auto_overscan(host::Host& host, Node& node, const std::vector<int>& frames,
                                    const DD::Image::Format& format, ShotEvents& events);

}  // namespace talvik::pipeline
