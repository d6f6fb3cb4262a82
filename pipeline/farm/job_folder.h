// Where a farm job of a shot keeps what is not a frame: the overscan
// report, the batch scripts, each task's log, the chunks' manifests and the
// shot manifest. Beside the outputs, named after them, so that a plan, a
// submit and a verify of the same outputs find the same folder.
#pragma once

#include <string>

namespace talvik::pipeline {

// "undist" for maps/undist.####.exr, "map" for shots/f_####/map.exr.
std::string output_stem(const std::string& output_pattern);

// maps/undist.job for maps/undist.####.exr, absolute; `given` (--job-dir)
// made absolute when not empty.
std::string job_folder(const std::string& output_pattern, const std::string& given);

// Inside a job folder: chunks/ holds the render tasks' manifests.
std::string chunk_manifest_folder(const std::string& job_folder);

// An absolute path, with "." components dropped ("x/../y" is kept: x may
// be a link).
std::string absolute_path(const std::string& path);

}  // namespace talvik::pipeline
