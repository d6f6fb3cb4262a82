#include "pipeline/output/frame_outputs.h"

#include <filesystem>

namespace talvik::pipeline {

std::optional<std::string> FrameOutputs::to_write(const std::optional<shot::FramePattern>& pattern, int frame,
                                                  bool skip_existing, const IsCurrent& is_current) {
    if (!pattern) return std::nullopt;
    std::string path = pattern->path_for(frame);
    all_paths_.push_back(path);
    std::error_code ec;
    // Only a regular file counts as done: a folder in the way still fails
    // the write, with its own message.
    if (!skip_existing || !std::filesystem::is_regular_file(path, ec)) return path;
    if (is_current && !is_current(path, frame)) {
        stale_paths_.push_back(path);
        return path;
    }
    skipped_paths_.push_back(std::move(path));
    return std::nullopt;
}

FrameOutputs::FrameOutputs(const std::vector<int>& frames, const std::optional<shot::FramePattern>& exr,
                           const std::optional<shot::FramePattern>& preview, bool skip_existing,
                           const IsCurrent& is_current) {
    for (int frame : frames) {
        const size_t stale_before = stale_paths_.size();
        FrameFiles files;
        files.exr = to_write(exr, frame, skip_existing, is_current);
        files.preview = to_write(preview, frame, skip_existing, is_current);
        if (files.any()) ++to_render_;
        if (stale_paths_.size() > stale_before) ++stale_frames_;
        files_.emplace(frame, std::move(files));
    }
}

}  // namespace talvik::pipeline
