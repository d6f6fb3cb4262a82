// --manifest FILE.json: what a render wrote, for the pipeline to pick up:
// every file with its frame and the control values it was rendered from.
//
// {"format_version": 1, "command": "talvik-stmap 1.1.0-0-ga445758", "plugin": "/.../TalvikDistort.so",
//  "files": [{"path": "/abs/m.1001.exr", "frame": 1001,
//             "controls": {"Mode": "Undistort", "cx": 5.1, ...},
//             "size": 1234567, "xxh3_128": "9f0c..."}, ...],
//  "documents": [{"path": "/abs/overscan.json", "size": ..., "xxh3_128": ...}],
//  "skipped": ["/abs/m.1000.exr", ...], "stale": ["/abs/m.1002.exr", ...],
//  "frames_kept": 1, "frames_stale": 1, "warnings": ["frames 1-3 are ..."],
//  "provenance": {"command_line": [...], "plate": {...}, "take": ..., ...}}
// "skipped" files were left alone as made from this run's values; "stale"
// files were in place from other values and were written again. "frames",
// "output" and "preview" say what the run was asked to make; a re-run with
// --skip-existing asked the same (a farm task retried) keeps the manifests
// of the runs before it under "earlier_runs", oldest first. "size" and
// "xxh3_128" are those of the bytes renamed into place (io/file_seal.h):
// what verify and --skip-existing compare the file found with.
#pragma once

#include <string>
#include <vector>

#include "io/file_seal.h"
#include "shot/control_values.h"
#include "shot/json_output.h"
#include "pipeline/render/render_notes.h"

namespace talvik::pipeline {

class RenderManifest {
public:
    void add(const std::string& path, int frame, const std::vector<shot::ControlValue>& values,
             const io::FileSeal& seal);
    // A document the run wrote beside the maps (the overscan report).
    void add_document(const std::string& path, const io::FileSeal& seal);
    void add_skipped(const std::string& path);
    void add_stale(const std::string& path);
    // `provenance`: where the run came from (see render_provenance);
    // `asked`: run_asked(); `earlier_runs`: earlier_runs().
    std::string json(const std::string& plugin_path, const RenderNotes& notes, const shot::Json& provenance,
                     const shot::Json& asked, const shot::Json& earlier_runs) const;

private:
    shot::Json files_ = shot::Json::array();
    shot::Json skipped_ = shot::Json::array();
    shot::Json stale_ = shot::Json::array();
    shot::Json documents_ = shot::Json::array();
};

// A path as manifests write it: absolute, so that the manifest means the
// same wherever it is read from, and records are found by it.
std::string recorded_path(const std::string& path);

// {"frames": "1001-1005", "output": ..., "preview": ...}: what a run was
// asked to make.
shot::Json run_asked(const std::string& frames, const std::string& output, const std::string& preview);

// The runs the manifest at `path` records, itself last, when it is a
// manifest of a run asked the same; none otherwise (no file, not ours,
// another chunk). Throws naming the file when it is of a later format
// version than this build reads.
shot::Json earlier_runs(const std::string& path, const shot::Json& asked);

// Written under a temporary name and renamed into place, as every file;
// missing folders are made. Return the size and hash of what was renamed.
io::FileSeal write_manifest(const std::string& path, const std::string& json);

// The same for any JSON document the command writes; `what` names it in
// messages ("overscan report").
io::FileSeal write_json_file(const std::string& path, const std::string& json, const std::string& what);

}  // namespace talvik::pipeline
