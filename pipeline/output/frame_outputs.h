// The files each frame of a render writes. With --skip-existing a file
// already in place is not written again when it was made from what this
// run would make (the caller judges that): files are only ever renamed
// into place when complete, so one that exists is whole, and a re-queued
// farm chunk finishes only what is missing or stale.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shot/frame_pattern.h"

namespace talvik::pipeline {

struct FrameFiles {
    std::optional<std::string> exr;      // to write
    std::optional<std::string> preview;  // to write
    bool any() const { return exr || preview; }
};

// Whether the existing file at `path` is the one frame `frame` would write.
using IsCurrent = std::function<bool(const std::string& path, int frame)>;

class FrameOutputs {
public:
    // `is_current` is asked only with `skip_existing` and only about
    // regular files in place.
    FrameOutputs(const std::vector<int>& frames, const std::optional<shot::FramePattern>& exr,
                 const std::optional<shot::FramePattern>& preview, bool skip_existing,
                 const IsCurrent& is_current = {});

    const FrameFiles& at(int frame) const { return files_.at(frame); }
    // Frames with at least one file to write.
    int frames_to_render() const { return to_render_; }
    // Frames whose files all exist already and are current.
    int frames_skipped() const { return static_cast<int>(files_.size()) - to_render_; }
    // Frames with a file in place that is not current, so written again.
    int frames_stale() const { return stale_frames_; }
    // Every path a frame would write, skipped or not.
    const std::vector<std::string>& all_paths() const { return all_paths_; }
    // The files left alone because they exist and are current.
    const std::vector<std::string>& skipped_paths() const { return skipped_paths_; }
    // The files in place that are written again because they are stale.
    const std::vector<std::string>& stale_paths() const { return stale_paths_; }

private:
    std::optional<std::string> to_write(const std::optional<shot::FramePattern>& pattern, int frame,
                                        bool skip_existing, const IsCurrent& is_current);

    std::map<int, FrameFiles> files_;
    std::vector<std::string> all_paths_;
    std::vector<std::string> skipped_paths_;
    std::vector<std::string> stale_paths_;
    int to_render_ = 0;
    int stale_frames_ = 0;
};

}  // namespace talvik::pipeline
