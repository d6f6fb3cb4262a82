// --manifest FILE.json: what a render wrote, for the pipeline to pick up:
// every file with its frame and the control values it was rendered from.
//
// {"command": "talvik-stmap 1.0.0", "plugin": "/.../TalvikDistort.so",
//  "files": [{"path": "/abs/m.1001.exr", "frame": 1001,
//             "controls": {"Mode": "Undistort", "cx": 5.1, ...}}, ...],
//  "skipped": ["/abs/m.1000.exr", ...]}
#pragma once

#include <string>
#include <vector>

#include "cli/render/control_values.h"

namespace talvik::cli {

class RenderManifest {
public:
    void add(const std::string& path, int frame, const std::vector<ControlValue>& values);
    void add_skipped(const std::string& path);
    std::string json(const std::string& plugin_path) const;

private:
    Json files_ = Json::array();
    Json skipped_ = Json::array();
};

// Throws UsageError when the manifest names a folder. Whether it lands on
// another output is checked with every output (output_paths.h).
void check_manifest_folder(const std::string& manifest);

// Written under a temporary name and renamed into place, as every file;
// missing folders are made.
void write_manifest(const std::string& path, const std::string& json);

}  // namespace talvik::cli
