#include "cli/output/frame_outputs.h"

#include <filesystem>

namespace talvik::cli {
namespace {

std::optional<std::string> to_write(const std::optional<OutputPattern>& pattern, int frame, bool skip_existing,
                                    std::vector<std::string>& all_paths, std::vector<std::string>& skipped) {
    if (!pattern) return std::nullopt;
    std::string path = pattern->path_for(frame);
    all_paths.push_back(path);
    std::error_code ec;
    // Only a regular file counts as done: a folder in the way still fails
    // the write, with its own message.
    if (skip_existing && std::filesystem::is_regular_file(path, ec)) {
        skipped.push_back(std::move(path));
        return std::nullopt;
    }
    return path;
}

}  // namespace

FrameOutputs::FrameOutputs(const std::vector<int>& frames, const std::optional<OutputPattern>& exr,
                           const std::optional<OutputPattern>& preview, bool skip_existing) {
    for (int frame : frames) {
        FrameFiles files;
        files.exr = to_write(exr, frame, skip_existing, all_paths_, skipped_paths_);
        files.preview = to_write(preview, frame, skip_existing, all_paths_, skipped_paths_);
        if (files.any()) ++to_render_;
        files_.emplace(frame, std::move(files));
    }
}

}  // namespace talvik::cli
