// A shot as a farm job: how it is cut into tasks and where the job keeps
// its reports, scripts and logs.
#pragma once

#include <string>

namespace talvik::pipeline {

struct FarmJob {
    int chunk = 0;          // frames per render task
    std::string job_dir;    // empty: beside the outputs
    bool strict_tasks = false;  // each task fails on a warning
    bool quiet_tasks = false;   // each render task prints no progress
    bool verbose_tasks = false; // each task prints the reload script's own lines
    bool deep = false;          // verify decodes each map and compares its pixels with a fresh render
};

}  // namespace talvik::pipeline
