// A host with the built plug-in on its path, and access to a node's lens
// members for checks.
#pragma once

#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "TalvikDistort.h"
#include "host/runtime/host.h"

namespace talvik::test {

class NodeHost : public ::testing::Test {
protected:
    host::Host host{{TALVIK_PLUGIN_DIR}};

    Node& create() { return host.create_node("TalvikDistort"); }

    // The operator is the plug-in's own class; only its layout is used here.
    static TalvikDistort& distort(Node& node) { return *static_cast<TalvikDistort*>(node.op()); }
    static const LensModel& lens(Node& node) { return distort(node).lens; }
};

}  // namespace talvik::test
