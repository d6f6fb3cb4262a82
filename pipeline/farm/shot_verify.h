// Whether a shot's files hold: every frame's files there, whole and made
// from what the shot's values make now. With a manifest path, the shot
// manifest is written too.
#pragma once

#include <string>
#include <vector>

#include "pipeline/farm/shot_manifest.h"
#include "pipeline/job/farm_job.h"
#include "pipeline/job/shot_events.h"
#include "pipeline/job/shot_job.h"

namespace talvik::pipeline {

struct ShotVerdict {
    std::vector<FrameVerdict> frames;
    std::vector<int> failing;  // the frames that do not hold, in order
    bool holds() const { return failing.empty(); }
    // One line per file that does not hold ("frame 12: x.exr is missing").
    std::vector<std::string> file_lines() const;
    // "verify: all 120 frames hold: ..." or which do not.
    std::string summary() const;
};

// Throws as plan_render does for a shot that cannot be read.
ShotVerdict verify_shot(const ShotJob& job, const FarmJob& farm, ShotEvents& events);

}  // namespace talvik::pipeline
