// A host with the plug-in, Python scripting, and captured alerts and output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TalvikDistort.h"
#include "host/python/python_scripting.h"
#include "host/runtime/host.h"

namespace talvik::test {

class ReloadHost : public ::testing::Test {
protected:
    ReloadHost() {
        host::enable_python_scripting(host);
        host.set_alert_sink([this](const std::string& t) { alerts.push_back(t); });
        host.set_output_sink([this](const std::string& t) { output.push_back(t); });
    }

    Node& create() { return host.create_node("TalvikDistort"); }
    static const LensModel& lens(Node& node) {
        return static_cast<TalvikDistort*>(node.op())->lens;
    }
    // Keys of a control, as (frame, value) pairs.
    static std::vector<std::pair<double, double>> keys(Node& node, const char* name) {
        std::vector<std::pair<double, double>> out;
        for (const auto& k : node.knob(name)->keys(0)) out.emplace_back(k.frame, k.value);
        return out;
    }
    void reload(Node& node, const std::string& path) {
        host.set_text(node, "fbx_file_path", path);
        host.press(node, "reload");
    }

    host::Host host{{TALVIK_PLUGIN_DIR}};
    std::vector<std::string> alerts;
    std::vector<std::string> output;
};

}  // namespace talvik::test
