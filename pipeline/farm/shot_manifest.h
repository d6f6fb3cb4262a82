// A shot checked file by file, as verify does, and the shot manifest
// rebuilt from the files themselves: whatever became of the tasks (retried,
// killed, run twice), the files say what the shot holds.
#pragma once

#include <string>
#include <vector>

#include "pipeline/farm/chunk_records.h"
#include "pipeline/job/shot_job.h"
#include "pipeline/render/existing_output.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

struct FileVerdict {
    std::string path;  // as the pattern gives it
    const char* kind;  // "map" or "preview"
    OutputCheck check;
};

struct FrameVerdict {
    int frame = 0;
    std::vector<FileVerdict> files;
    bool holds() const;  // every file current
};

// Every frame of the plan, each of its files checked against what this
// shot makes of it: there, whole, made from the same values.
std::vector<FrameVerdict> check_shot_files(const RenderPlan& plan);

// {"command", "lens_model", "frames", "output", "preview", "complete",
//  "frames_holding", "frames_not_holding", "chunk_manifests",
//  "shot_frames": [{"frame", "holds", "files": [{"path", "kind", "state",
//  "why", "size", "xxh3_128", "identity", "recorded"}]}]}: the checksum
// is XXH3-128 of the file's bytes, the identity what this shot makes the
// frame from, "recorded" what the chunks' manifests say of the file.
shot::Json shot_manifest(const std::vector<FrameVerdict>& frames, const RenderPlan& plan, const ShotJob& options,
                         const ChunkRecords& records);

}  // namespace talvik::pipeline
