// A shot checked file by file, as verify does, and the shot manifest
// rebuilt from the files themselves: whatever became of the tasks (retried,
// killed, run twice), the files say what the shot holds.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pipeline/render/chunk_records.h"
#include "pipeline/job/shot_job.h"
#include "pipeline/render/existing_output.h"
#include "pipeline/render/render_plan.h"

namespace talvik::pipeline {

struct FileVerdict {
    std::string path;  // as the pattern gives it
    const char* kind;  // "map" or "preview"
    OutputCheck check;
    std::optional<io::FileSeal> seal;  // what it held, when the check read it whole
};

struct FrameVerdict {
    int frame = 0;
    std::vector<FileVerdict> files;
    bool holds() const;  // every file current
};

// Every frame of the plan, each of its files checked against what this
// shot makes of it: there, whole, made from the same values, and the bytes
// the latest run that wrote it recorded; with `deep`, each map's pixels
// compared with a render of the frame in memory.
std::vector<FrameVerdict> check_shot_files(RenderPlan& plan, const ChunkRecords& records, bool deep);

// {"command", "lens_model", "frames", "output", "preview", "complete",
//  "frames_holding", "frames_not_holding", "chunk_manifests",
//  "shot_frames": [{"frame", "holds", "files": [{"path", "kind", "state",
//  "why", "size", "xxh3_128", "identity", "recorded", "matches_record",
//  "history"}]}]}: the checksum is XXH3-128 of the file's bytes, the
// identity what this shot makes the frame from, "recorded" the latest run
// to write the file (by its end time; null when none recorded it),
// "matches_record" whether the file is still the bytes that run recorded
// (null when it recorded none), "history" all the chunks' manifests say of
// the file, oldest first.
shot::Json shot_manifest(const std::vector<FrameVerdict>& frames, const RenderPlan& plan, const ShotJob& options,
                         const ChunkRecords& records);

}  // namespace talvik::pipeline
