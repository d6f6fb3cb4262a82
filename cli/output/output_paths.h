// Checks on a render's output paths made before anything is rendered, and
// the folders each frame's files go into.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "shot/frame_pattern.h"

namespace talvik::cli {

// A file a render writes once, whatever its frames: the manifest, a report.
struct SingleOutput {
    std::string option;  // "--manifest"
    std::string path;
};

// Every file the render would replace, each frame's map and preview and
// every single file, is resolved as the write will resolve it: symlinks
// followed, in the folders and at the end, and files compared by device
// and inode where they exist. Throws std::runtime_error naming the path
// when an output is not a regular file where it exists (see
// output_target.h) or lands on one of `inputs` (the plate, the take);
// UsageError naming both paths when two outputs land on one file. Either
// pattern may be absent.
void check_output_paths(const std::optional<shot::FramePattern>& exr, const std::optional<shot::FramePattern>& preview,
                        const std::vector<int>& frames, const std::vector<std::string>& inputs,
                        const std::vector<SingleOutput>& single_files = {});

// Makes the folders of a pattern that do not depend on the frame, so that
// one that cannot be made is reported before anything is rendered.
void make_fixed_folders(const shot::FramePattern& pattern);

// Removes, in the folder of each output (after its symlinks), every
// temporary a killed render left there, whatever output it was for: run
// before rendering, also when every frame is skipped.
void remove_abandoned_temporaries(const std::vector<std::string>& outputs);

// Makes the folder of one frame's file (a frame field may stand in a folder
// name). Throws std::runtime_error naming a folder that cannot be made.
class OutputFolders {
public:
    void prepare(const std::string& file_path);

private:
    std::set<std::string> seen_;
};

}  // namespace talvik::cli
