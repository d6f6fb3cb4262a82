// What a render tells the artist beyond its progress: warnings, which are
// never silent (they reach stderr with --quiet and fail the run with
// --strict), and the facts a summary should carry so nothing was picked
// silently (the camera and why, skipped and stale frames, the plug-in it
// ran).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "pipeline/job/shot_events.h"

namespace talvik::pipeline {

// Frames before the first or after the last keyed frame get the values of
// that key, as Nuke's curves hold them. Empty when every frame is inside
// the keyed range or nothing is keyed.
std::string held_frames_warning(const std::vector<int>& frames, int first_key, int last_key);

// "--set k1, cx replace the take's keys: ..."; empty when `names` is.
std::string overridden_controls_warning(const std::vector<std::string>& names);

struct RenderNotes {
    std::string camera;       // "camera 2, from the file name take_cam2.fbx"; empty: no take
    int kept = 0;             // frames whose files all existed from the same values
    int stale = 0;            // frames whose files existed from other values, rendered again
    std::vector<std::string> stale_paths;  // the first few of them
    std::vector<std::string> overridden;   // controls whose take keys --set replaced
    std::vector<std::string> warnings;     // as printed, without "warning: "
    std::string plugin_path;
};

// Tells `events` and keeps the warning for the manifest. The caller may
// stop the shot by throwing from its warning(), so that nothing is rendered
// from a run that warns.
void warn(RenderNotes& notes, ShotEvents& events, const std::string& text);

// One note per fact, after the frames.
void tell_render_notes(ShotEvents& events, const RenderNotes& notes);

}  // namespace talvik::pipeline
