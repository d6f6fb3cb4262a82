// --manifest FILE.json: what a render wrote, for the pipeline to pick up:
// every file with its frame and the control values it was rendered from.
//
// {"command": "talvik-stmap 1.1.0-0-ga445758", "plugin": "/.../TalvikDistort.so",
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
    std::vector<std::string> files_;  // one JSON object each
    std::vector<std::string> skipped_;
};

// Throws UsageError when the manifest names a folder or would
// replace one of the render's own outputs.
void check_manifest_path(const std::string& manifest, const std::vector<std::string>& outputs);

// Written under a temporary name and renamed into place, as every file;
// missing folders are made.
void write_manifest(const std::string& path, const std::string& json);

}  // namespace talvik::cli
