// Checks on a render's output paths made before anything is rendered, and
// the folders each frame's files go into.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pipeline/job/field_names.h"
#include "shot/frame_pattern.h"

namespace talvik::pipeline {

// A file a render writes once, whatever its frames: the manifest, a report.
struct SingleOutput {
    std::string option;  // "--manifest"
    std::string path;
};

// A file the render depends on, which no output may replace.
struct InputFile {
    std::string path;
    std::string what;  // "plate frame", "take", "library", ...: named in the refusal
    // Only named on the command line, for what this run writes to read
    // later (a script's Read): an output landing on it is a command line
    // contradicting itself, a usage error, whether the file exists yet or not.
    bool named_only = false;
};

// Every file the render would replace, each frame's map and preview and
// every single file, is resolved as the write will resolve it: symlinks
// followed, in the folders and at the end, also through folders that do
// not exist yet, and compared by the identity (device and inode) of the
// file, or of its deepest existing folder and the names below it, so that
// bind mounts and hard links are seen through. Throws std::runtime_error
// naming the path when an output is not a regular file where it exists
// (see output_target.h) or lands on one of `inputs` (UsageError for one
// named only); UsageError naming both paths when two outputs land on one
// file, or naming an output that is an open descriptor (/dev/stdout,
// /proc/self/fd/1) rather than a file.
// Either pattern may be absent; messages name the patterns as `naming`
// spells them.
void check_output_paths(const std::optional<shot::FramePattern>& exr, const std::optional<shot::FramePattern>& preview,
                        const std::vector<int>& frames, const std::vector<InputFile>& inputs,
                        const std::vector<SingleOutput>& single_files, Naming naming);

// A file written once the frames are done (a manifest, a report) must not
// fail only then: throws UsageError when `file.path` names a folder, and
// std::runtime_error naming it when what lies on its way is a file rather
// than a folder or the folder it goes into (or would be made in) takes no
// new file, found by making a temporary there and removing it.
void check_single_output_writable(const SingleOutput& file);

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

}  // namespace talvik::pipeline
