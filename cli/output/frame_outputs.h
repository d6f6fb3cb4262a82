// The files each frame of a render writes. With --skip-existing a file
// already in place is not written again: files are only ever renamed into
// place when complete, so one that exists is whole, and a re-queued farm
// chunk finishes only what is missing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/output/output_pattern.h"

namespace talvik::cli {

struct FrameFiles {
    std::optional<std::string> exr;      // to write
    std::optional<std::string> preview;  // to write
    bool any() const { return exr || preview; }
};

class FrameOutputs {
public:
    FrameOutputs(const std::vector<int>& frames, const std::optional<OutputPattern>& exr,
                 const std::optional<OutputPattern>& preview, bool skip_existing);

    const FrameFiles& at(int frame) const { return files_.at(frame); }
    // Frames with at least one file to write.
    int frames_to_render() const { return to_render_; }
    // Frames whose files all exist already.
    int frames_skipped() const { return static_cast<int>(files_.size()) - to_render_; }
    // Every path a frame would write, skipped or not.
    const std::vector<std::string>& all_paths() const { return all_paths_; }
    // The files left alone because they exist.
    const std::vector<std::string>& skipped_paths() const { return skipped_paths_; }

private:
    std::map<int, FrameFiles> files_;
    std::vector<std::string> all_paths_;
    std::vector<std::string> skipped_paths_;
    int to_render_ = 0;
};

}  // namespace talvik::cli
