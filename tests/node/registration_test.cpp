// Loading the plug-in, its registration and the lifecycle of its nodes.
#include <regex>

#include "node_host.h"

namespace talvik::test {
namespace {

using DD::Image::Op;

TEST_F(NodeHost, PluginRegistersItsClassWhenLoaded) {
    Node& node = create();
    const Op::Description* d = Op::Description::find("TalvikDistort");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(node.op()->Class(), d->name) << "Class() is the registration's own name pointer";
    EXPECT_STREQ(d->name, "TalvikDistort");
    ASSERT_NE(d->compiled, nullptr);
    EXPECT_TRUE(std::regex_match(d->compiled, std::regex(R"([A-Z][a-z]{2} [ 123]\d \d{4} for 15\.0)")))
        << d->compiled;
    EXPECT_THROW(host.create_node("NoSuchNode"), std::runtime_error);
}

TEST_F(NodeHost, FreshNodeAnswersAndDefaults) {
    // Straight from the factory: no panel pass has run yet.
    const Op::Description* d = nullptr;
    create();
    d = Op::Description::find("TalvikDistort");
    ASSERT_NE(d, nullptr);
    Node bare(&host, "TalvikDistort", "bare");
    Op* op = d->constructor(&bare);
    bare.op(op);
    EXPECT_STREQ(op->Class(), "TalvikDistort");
    EXPECT_STREQ(op->node_help(), "Handles Talvik Oskaro recorded FBX lens distortion and undistortion");
    EXPECT_EQ(op->minimum_inputs(), 1);
    EXPECT_EQ(op->maximum_inputs(), 1);
    EXPECT_EQ(op->inputs(), 0);

    const LensModel& l = lens(bare);
    EXPECT_EQ(l.mode, 0);
    EXPECT_EQ(l.fbx_file_path, nullptr);
    EXPECT_EQ(l.camera_index, 0);
    EXPECT_EQ(l.fx, 1920.0f);
    EXPECT_EQ(l.fy, 1920.0f);
    EXPECT_EQ(l.cx, 0.0f);
    EXPECT_EQ(l.cy, 0.0f);
    EXPECT_EQ(l.k1, 0.0f);
    EXPECT_EQ(l.k2, 0.0f);
    EXPECT_EQ(l.k3, 0.0f);
    EXPECT_EQ(l.p1, 0.0f);
    EXPECT_EQ(l.p2, 0.0f);
    EXPECT_EQ(l.fx_scale, 0.999999f);
    EXPECT_EQ(l.undistorted_fx, 1920.0f);
    EXPECT_EQ(l.undistorted_fy, 1920.0f);
    EXPECT_STREQ(l.lens1, "BP_TalvikLensCxCyFOV");
    EXPECT_STREQ(l.lens2, "BP_TalvikLensK1K2FD");
    EXPECT_STREQ(l.lens3, "BP_TalvikLensFxAndOverscanFactor");
    EXPECT_STREQ(l.lens4, "BP_TalvikLensEPDFy");
    EXPECT_FALSE(l.anamorphic);
    EXPECT_FALSE(l.show_advanced);
}

TEST_F(NodeHost, DeletingNodesReturnsEveryOperator) {
    const long before = host::Host::live_ops();
    Node& a = create();
    Node& b = create();
    Node& source = host.create_source({64, 32});
    host.connect(a, 0, &source);
    EXPECT_EQ(host::Host::live_ops(), before + 3);
    EXPECT_NE(a.name(), b.name());
    host.delete_node(source);
    EXPECT_EQ(a.input(0), nullptr) << "deleting a node disconnects it";
    host.delete_node(a);
    host.delete_node(b);
    EXPECT_EQ(host::Host::live_ops(), before);

    // Through the secondary base too.
    Node& c = create();
    Node* keep = &c;
    DD::Image::IopInfoOwner* info = dynamic_cast<DD::Image::IopInfoOwner*>(keep->op());
    ASSERT_NE(info, nullptr);
    keep->op(nullptr);
    delete info;  // the deleting destructor finds Op's allocator
    host.delete_node(c);
    EXPECT_EQ(host::Host::live_ops(), before);
}

}  // namespace
}  // namespace talvik::test
