// The panel: the controls as declared, store passes, and change handling.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "node_host.h"

namespace talvik::test {
namespace {

using DD::Image::Knob;

struct Expected {
    const char* name;
    const char* label;
    int type;
    int store;
    bool slider;
    bool startline;
};

TEST_F(NodeHost, ControlsAreDeclaredInOrder) {
    Node& node = create();
    const std::vector<Expected> expected = {
        {"Mode", "", ENUMERATION_KNOB, DD::Image::IntPtr, false, true},
        {"fbx_file_path", "FBX File", FILE_KNOB, DD::Image::StringPtr, false, true},
        {"reload", "", PYSCRIPT_KNOB, DD::Image::Custom, false, true},
        {"camera_index", "Camera", INT_KNOB, DD::Image::IntPtr, false, true},
        {"cx", "Cx", FLOAT_KNOB, DD::Image::FloatPtr, false, true},
        {"cy", "Cy", FLOAT_KNOB, DD::Image::FloatPtr, false, false},
        {"fx", "Fx", FLOAT_KNOB, DD::Image::FloatPtr, false, true},
        {"fy", "Fy", FLOAT_KNOB, DD::Image::FloatPtr, false, false},
        {"anamorphic", "", BOOL_KNOB, DD::Image::BoolPtr, false, false},
        {"k1", "K1", FLOAT_KNOB, DD::Image::FloatPtr, false, true},
        {"k2", "K2", FLOAT_KNOB, DD::Image::FloatPtr, false, false},
        {"", " ", TEXT_KNOB, DD::Image::Custom, false, true},
        {"show advanced", "", BOOL_KNOB, DD::Image::BoolPtr, false, true},
        {"lens1", "Lens 1", STRING_KNOB, DD::Image::StringPtr, false, true},
        {"lens2", "Lens 2", STRING_KNOB, DD::Image::StringPtr, false, true},
        {"lens3", "Lens 3", STRING_KNOB, DD::Image::StringPtr, false, true},
        {"lens4", "Lens 4", STRING_KNOB, DD::Image::StringPtr, false, true},
    };
    ASSERT_EQ(node.knobs().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Knob& k = *node.knobs()[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(k.name(), expected[i].name);
        EXPECT_EQ(k.label(), expected[i].label);
        EXPECT_EQ(k.type(), expected[i].type);
        EXPECT_EQ(k.store_type(), expected[i].store);
        EXPECT_EQ(k.flag(Knob::SLIDER), expected[i].slider);
        EXPECT_EQ(k.flag(Knob::STARTLINE), expected[i].startline);
    }
    const char* const* entries = static_cast<const char* const*>(node.knob("Mode")->extra());
    EXPECT_STREQ(entries[0], "Distort");
    EXPECT_STREQ(entries[1], "Undistort");
    EXPECT_EQ(entries[2], nullptr);
    EXPECT_STREQ(node.knob("camera_index")->tooltip(),
                 "Index of which camera to pull lens parameters from.");
    EXPECT_STREQ(node.knob("show advanced")->tooltip(), "Check this option to show advanced options");
    // The spacer shows no text; only its label is a blank.
    const Knob& spacer = *node.knobs()[11];
    ASSERT_NE(spacer.extra(), nullptr);
    EXPECT_STREQ(static_cast<const char*>(spacer.extra()), "");
    EXPECT_STREQ(spacer.get_text(), "");

    // Initial values come from the construction defaults, in panel units.
    EXPECT_EQ(node.knob("fx")->value(), 1920.0);
    EXPECT_EQ(node.knob("fy")->value(), 1920.0);
    EXPECT_STREQ(node.knob("lens2")->get_text(), "BP_TalvikLensK1K2FD");
    EXPECT_STREQ(node.knob("fbx_file_path")->get_text(), "");
    // The creating pass normalized the defaults.
    EXPECT_EQ(lens(node).fx, 1.0f);
    EXPECT_EQ(lens(node).cx, 0.5f);
}

TEST_F(NodeHost, ReloadButtonCarriesTheScriptFileByteForByte) {
    Node& node = create();
    std::ifstream file(TALVIK_RELOAD_SCRIPT, std::ios::binary);
    ASSERT_TRUE(file) << TALVIK_RELOAD_SCRIPT;
    std::ostringstream text;
    text << file.rdbuf();
    const char* script = static_cast<const char*>(node.knob("reload")->extra());
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(std::string(script), text.str());
    EXPECT_GT(text.str().size(), 1000u);
}

TEST_F(NodeHost, StorePassesNormalizePanelValues) {
    Node& node = create();
    for (auto [name, value] : {std::pair{"cx", 96.0}, {"cy", 54.0}, {"fx", 1500.0}, {"fy", 1000.0}}) {
        node.knob(name)->set_value(value);
    }
    host.store(node);
    const LensModel& l = lens(node);
    EXPECT_FLOAT_EQ(l.cx, 0.55f);
    EXPECT_FLOAT_EQ(l.cy, 0.45f);
    EXPECT_FLOAT_EQ(l.fx, 1500.0f / 1920.0f);
    EXPECT_FLOAT_EQ(l.fy, 1500.0f / 1080.0f);
    EXPECT_FLOAT_EQ(l.undistorted_fx, l.fx);
    EXPECT_FLOAT_EQ(l.undistorted_fy, l.fy);

    host.set_value(node, "anamorphic", 1.0);
    EXPECT_FLOAT_EQ(lens(node).fy, 1000.0f / 1080.0f);
    // Store passes start again from the panel values, never from the members.
    host.store(node);
    host.store(node);
    EXPECT_FLOAT_EQ(lens(node).cx, 0.55f);

    host.set_text(node, "lens1", "MyPrefix");
    EXPECT_STREQ(lens(node).lens1, "MyPrefix") << "strings point at the host's text";
}

TEST_F(NodeHost, AnimatedControlsStoreTheirFrame) {
    Node& node = create();
    Knob& k1 = *node.knob("k1");
    k1.set_value_at(-0.1, 10);
    k1.set_value_at(-0.3, 20);
    host.set_frame(15);
    host.store(node);
    EXPECT_FLOAT_EQ(lens(node).k1, -0.2f);
    host.set_frame(30);
    host.store(node);
    EXPECT_FLOAT_EQ(lens(node).k1, -0.3f);
}

TEST_F(NodeHost, PanelOpeningAndTogglesSetControlStates) {
    Node& node = create();
    host.open_panel(node);
    for (const char* name : {"lens1", "lens2", "lens3", "lens4"}) {
        EXPECT_FALSE(node.knob(name)->isVisible()) << name;
        EXPECT_FALSE(node.knob(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(node.knob("fy")->isEnabled());
    EXPECT_TRUE(node.knob("fy")->isVisible());

    host.set_value(node, "show advanced", 1.0);
    for (const char* name : {"lens1", "lens2", "lens3", "lens4"}) {
        EXPECT_TRUE(node.knob(name)->isVisible()) << name;
        EXPECT_TRUE(node.knob(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(node.knob("fy")->isEnabled()) << "show advanced leaves Fy alone";

    host.set_value(node, "anamorphic", 1.0);
    EXPECT_TRUE(node.knob("fy")->isEnabled());
    host.set_value(node, "anamorphic", 0.0);
    EXPECT_FALSE(node.knob("fy")->isEnabled());

    // Changes the node does not handle go to the base.
    EXPECT_EQ(node.op()->knob_changed(node.knob("k1")), 0);
}

TEST_F(NodeHost, HandledChangesAnswerOne) {
    Node& node = create();
    DD::Image::Op& op = *node.op();
    EXPECT_EQ(op.knob_changed(&Knob::showPanel), 1);
    EXPECT_EQ(op.knob_changed(node.knob("show advanced")), 1);
    EXPECT_EQ(op.knob_changed(node.knob("anamorphic")), 1);
    node.knob("fbx_file_path")->set_text("/takes/take_cam6.fbx");
    host.store(node);
    EXPECT_EQ(op.knob_changed(node.knob("fbx_file_path")), 1);
    EXPECT_EQ(lens(node).camera_index, 6);
    // A name the camera rule rejects is still handled.
    node.knob("fbx_file_path")->set_text("/takes/take.fbx");
    host.store(node);
    EXPECT_EQ(op.knob_changed(node.knob("fbx_file_path")), 1);
    EXPECT_EQ(lens(node).camera_index, 6);
    for (const char* name : {"cx", "Mode", "lens1", "camera_index"}) {
        EXPECT_EQ(op.knob_changed(node.knob(name)), 0) << name;
    }
}

TEST_F(NodeHost, CameraNumberFollowsTheFileName) {
    Node& node = create();
    auto camera_after = [&](const std::string& path) {
        host.set_text(node, "fbx_file_path", path);
        EXPECT_EQ(node.knob("camera_index")->value(), lens(node).camera_index) << path;
        return lens(node).camera_index;
    };
    EXPECT_EQ(camera_after("cam7.fbx"), 7);
    EXPECT_EQ(camera_after("/shots/a.fbx"), 7) << "no digit before the dot";
    EXPECT_EQ(camera_after("c1.fb"), 7) << "five bytes or fewer";
    EXPECT_EQ(camera_after("/takes/take_cam12.fbx"), 2) << "one digit only";
    EXPECT_EQ(camera_after("/takes/shot3.fbx"), 3);
    EXPECT_EQ(camera_after("/takes/\xC3\xA9.fbx"), 3) << "bytes of 0x80 and up are no digit";
    EXPECT_EQ(camera_after("/takes/take5"), 3) << "no dot";
    EXPECT_EQ(camera_after(".take5.fbx"), 5);
    EXPECT_EQ(camera_after("/v4.d/take"), 4) << "a directory's dot is read the same way";
    EXPECT_EQ(camera_after(""), 4);
}

}  // namespace
}  // namespace talvik::test
