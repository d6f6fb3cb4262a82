// What a shot tells its caller while it runs. The pipeline never prints:
// the command prints these and fails on warnings under --strict; Python
// turns warnings into warnings.warn and progress into a callback.
#pragma once

#include <string>

namespace talvik::pipeline {

class ShotEvents {
public:
    virtual ~ShotEvents() = default;
    // Something the caller should know that does not stop the shot. May
    // throw to stop it instead (every warning a failure).
    virtual void warning(const std::string& text) = 0;
    // A line worth showing unless the caller asked for quiet: the overscan
    // measured, the camera chosen, what was kept.
    virtual void note(const std::string& text) { (void)text; }
    // An alert of the take's reload script: shown even when quiet.
    virtual void alert(const std::string& text) { (void)text; }
    // What the take's reload script printed.
    virtual void script_output(const std::string& text) { (void)text; }
    // Values per frame or of the shot, one JSON object per line, for a
    // caller that prints them.
    virtual void values(const std::string& json_line) { (void)json_line; }
    // Frames: how many will be rendered and where, each one done, the end.
    virtual void frames_started(int total, const std::string& folder) { (void)total, (void)folder; }
    virtual void frame_done(int frame) { (void)frame; }
    virtual void frames_finished() {}
    // The frames --overscan auto measures: how many, each one measured, the end.
    virtual void measuring_started(int total) { (void)total; }
    virtual void frame_measured(int frame) { (void)frame; }
    virtual void measuring_finished() {}
};

}  // namespace talvik::pipeline
