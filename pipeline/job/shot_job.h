// A shot job: what to make, as a value. The command line and the Python
// module each fill one; the pipeline plans, renders, writes and verifies
// from it. Text fields take the forms the command takes ("1001-1100x2",
// "auto", "distort"); the library parses and checks them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exr/st_map_exr_writer.h"
#include "pipeline/job/field_names.h"

namespace talvik::pipeline {

struct ShotJob {
    std::string plate;                         // a plate file or sequence pattern
    std::optional<std::pair<int, int>> size;   // the format without a plate
    std::optional<std::string> overscan;       // margins, "auto" or a report's margins, unparsed
    std::string overscan_from;                 // a report whose margins are used
    std::string overscan_report;               // the overscan report to write
    std::string overscan_report_name = "--overscan-report";  // how messages name that file
    std::optional<int> mode;                   // 0 distort (remove), 1 undistort (add)
    std::vector<std::pair<std::string, std::string>> sets;  // NAME=VALUE on the controls, in order
    std::string fbx;                           // the take
    std::optional<int> camera;                 // the take's camera
    std::string frames;                        // a frame range, unparsed; empty: the shot's frames
    std::string output;                        // the map's frame pattern
    std::string preview;                       // the preview's frame pattern
    int threads = 0;                           // 0: the CPUs this process may use
    exr::StMapCompression compression = exr::StMapCompression::Zip;
    bool alpha = false;                        // the validity as a half A channel
    std::vector<std::string> plugin_path;      // folders searched for the plug-in
    bool skip_existing = false;                // keep files made from the same values
    std::string manifest;                      // the render manifest to write
    std::string document;                      // the camera's or Nuke script's file
    std::vector<std::string> command_line;     // how the job was asked for, for the manifest
    Naming naming = Naming::Options;           // how messages name the fields
};

}  // namespace talvik::pipeline
