// Small ASCII FBX documents built in memory for syntax and settings tests.
#pragma once

#include <string>

#include "host/fbx/fbx_scene.h"

namespace talvik::fbx::testing {

struct AsciiTake {
    std::string global_settings =  // body of GlobalSettings' Properties70
        "\t\tP: \"TimeMode\", \"enum\", \"\", \"\",11\n";
    std::string key_time = "*2 {\n\t\ta: 46186158000,92372316000\n\t}";
    std::string key_value = "*2 {\n\t\ta: 1.5,-2.25\n\t}";
    std::string model_name = "Model::Cam";
    std::string extra_objects;
    bool with_global_settings = true;

    // Model 10 <- curve node 20 ("Lcl Translation") <- curve 30 ("d|Y").
    std::string text() const;
};

Scene parse_text(const std::string& text, const std::string& name = "take.fbx");
// The FbxError message, or "" when the text was read.
std::string error_of_text(const std::string& text, const std::string& name = "take.fbx");

}  // namespace talvik::fbx::testing
