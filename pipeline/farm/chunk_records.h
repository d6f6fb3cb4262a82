// What the render tasks of a job recorded in their own manifests (the job
// folder's chunks/), every run of each: a retried task keeps the runs
// before it. Read by verify for the shot manifest; a task killed before it
// wrote its manifest simply has none.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "shot/json_output.h"

namespace talvik::pipeline {

class ChunkRecords {
public:
    // Every *.json in `folder` that is a manifest of ours; a missing folder
    // holds none. Files that are not manifests are named in skipped(); a
    // manifest of a later format version than this build reads is refused.
    static ChunkRecords read(const std::string& folder);

    const std::vector<std::string>& manifests() const { return manifests_; }
    const std::vector<std::string>& skipped() const { return skipped_; }
    // What the runs said about the file at `absolute_path`, oldest first:
    // [{"manifest": ..., "host": ..., "started": ..., "ended": ..., "as":
    // "written" | "kept"}]; an empty array when none did.
    shot::Json about(const std::string& absolute_path) const;

private:
    std::vector<std::string> manifests_;
    std::vector<std::string> skipped_;
    std::map<std::string, shot::Json> by_path_;
};

}  // namespace talvik::pipeline
