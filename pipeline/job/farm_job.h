// A shot as a farm job: how it is cut into tasks, which maps it makes and
// where the job keeps its reports, scripts and logs.
#pragma once

#include <cstddef>
#include <string>

namespace talvik::pipeline {

// The longest job name taken: what a queue's columns show whole.
constexpr size_t kJobNameLimit = 64;

struct FarmJob {
    int chunk = 0;          // frames per render task
    std::string job_dir;    // empty: beside the outputs
    bool strict_tasks = false;  // each task fails on a warning
    bool quiet_tasks = false;   // each render task prints no progress
    bool verbose_tasks = false; // each task prints the reload script's own lines
    bool deep = false;          // verify decodes each map and compares its pixels with a fresh render
    // Instead of the job's -o: the remove-distortion and the add-distortion
    // maps, both made from one overscan measurement (either alone: that one).
    std::string remove_map;
    std::string add_map;
    std::string job_name;   // the base of each step's job name; empty: from the maps' path
};

}  // namespace talvik::pipeline
