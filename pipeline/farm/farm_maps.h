// The maps a farm job makes: -o's, its Mode as given, or --remove-map's and
// --add-map's. Each map keeps its shot manifest and its chunks' manifests
// in a folder of its own; plan, submit and verify all find them by this
// one rule.
#pragma once

#include <string>
#include <vector>

#include "pipeline/job/farm_job.h"
#include "pipeline/job/shot_job.h"

namespace talvik::pipeline {

struct FarmMap {
    // What tells it from the job's other map in step and job names: the
    // maps' file name stems ("rm", "am"), or "remove" and "add" where those
    // are equal; empty for a job of one map.
    std::string label;
    ShotJob job;         // the shot with this map's -o, Mode and shot manifest (absolute)
    std::string folder;  // absolute: its shot manifest and chunks/
};

struct FarmMaps {
    std::string job_folder;  // absolute: the overscan report, batch scripts, logs
    std::vector<FarmMap> maps;
};

// Without --job-dir each map's folder is NAME.job beside it (job_folder.h)
// and the job's is the first map's; with --job-dir DIR, one map's is DIR
// and two maps' are DIR/remove and DIR/add. Throws UsageError when the two
// maps are one or would share a folder.
FarmMaps farm_maps(const ShotJob& options, const FarmJob& farm);

// Whether the maps are given by --remove-map and --add-map rather than -o.
bool maps_by_direction(const FarmJob& farm);

}  // namespace talvik::pipeline
