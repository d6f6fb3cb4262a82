// What the render runs recorded in their own manifests (a job folder's
// chunks/, or the folder a render's --manifest is written to), every run of
// each: a retried task keeps the runs before it. Read by verify for the
// shot manifest and by --skip-existing; a task killed before it wrote its
// manifest simply has none.
#pragma once

#include <map>
#include <optional>
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
    // "written" | "kept", "size": ..., "xxh3_128": ...}] (the last two
    // only where the run recorded them); an empty array when none did.
    shot::Json about(const std::string& absolute_path) const;
    // Of those, the run that wrote the bytes now meant to be there: the
    // latest to write the file, by its end time (runs ending in the same
    // second by their manifest's modification time, then their order).
    std::optional<shot::Json> latest_written(const std::string& absolute_path) const;

private:
    std::vector<std::string> manifests_;
    std::vector<std::string> skipped_;
    std::map<std::string, shot::Json> by_path_;
    std::map<std::string, long long> modified_;  // manifest -> its mtime, ns
};

}  // namespace talvik::pipeline
