// Reloading Blender-written takes: every lens control gets the keys Blender
// was given, frame by frame, and the node renders each frame with them.
#include <map>
#include <vector>

#include "lens/st_map_row.h"
#include "reload_host.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

using fbx::testing::KeyedFrame;

// The keyed values of one camera of a Blender fixture, per model prefix.
std::map<std::string, std::vector<KeyedFrame>> camera_rows(const std::string& csv, int camera) {
    std::map<std::string, std::vector<KeyedFrame>> out;
    const std::string suffix = std::to_string(camera);
    for (const KeyedFrame& row : fbx::testing::read_keyed_frames(csv)) {
        if (row.model.size() > suffix.size() &&
            row.model.compare(row.model.size() - suffix.size(), suffix.size(), suffix) == 0) {
            out[row.model.substr(0, row.model.size() - suffix.size())].push_back(row);
        }
    }
    return out;
}

void expect_take_loaded(Node& node, const std::string& csv, int camera) {
    const auto rows = camera_rows(csv, camera);
    ASSERT_EQ(rows.size(), 4u);
    struct Target {
        const char* control;
        const char* prefix;
        int axis;
    };
    for (const Target& t : {Target{"cx", "BP_TalvikLensCxCyFOV", 0}, {"cy", "BP_TalvikLensCxCyFOV", 2},
                            {"fx", "BP_TalvikLensFxAndOverscanFactor", 0},
                            {"fy", "BP_TalvikLensEPDFy", 0}, {"k1", "BP_TalvikLensK1K2FD", 0},
                            {"k2", "BP_TalvikLensK1K2FD", 2}}) {
        const auto& keyed = rows.at(t.prefix);
        const auto& keys = node.knob(t.control)->keys(0);
        ASSERT_EQ(keys.size(), keyed.size()) << t.control;
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i].frame, keyed[i].frame) << t.control;
            EXPECT_EQ(keys[i].value, static_cast<double>(static_cast<float>(keyed[i].xyz[t.axis])))
                << t.control << " at " << keyed[i].frame;
        }
    }
    // Anamorphic comes from the first Y key of lens 3 only.
    const bool first_flag = rows.at("BP_TalvikLensFxAndOverscanFactor").front().xyz[1] != 0.0;
    EXPECT_EQ(node.knob("anamorphic")->value() != 0.0, first_flag);
    EXPECT_FALSE(node.knob("anamorphic")->is_animated());
}

TEST_F(ReloadHost, BlenderTakeFillsEveryLensControl) {
    Node& node = create();
    host.set_value(node, "camera_index", 1);
    reload(node, fbx::testing::fixture("blender_take.fbx"));
    EXPECT_TRUE(alerts.empty()) << alerts.front();
    ASSERT_EQ(output, std::vector<std::string>{"File reloaded"});
    expect_take_loaded(node, fbx::testing::fixture("blender_take.csv"), 1);
}

TEST_F(ReloadHost, EachFrameRendersWithItsOwnLens) {
    Node& node = create();
    Node& plate = host.create_source({480, 270});
    host.connect(node, 0, &plate);
    host.set_value(node, "camera_index", 1);
    host.set_value(node, "Mode", 1);
    reload(node, fbx::testing::fixture("blender_take.fbx"));
    const auto rows = camera_rows(fbx::testing::fixture("blender_take.csv"), 1);
    for (size_t i : {size_t{0}, size_t{4}, size_t{9}}) {
        const int frame = rows.at("BP_TalvikLensCxCyFOV")[i].frame;
        // The lens as a store pass at that frame must leave it.
        LensModel expected;
        expected.mode = 1;
        expected.cx = static_cast<float>(rows.at("BP_TalvikLensCxCyFOV")[i].xyz[0]);
        expected.cy = static_cast<float>(rows.at("BP_TalvikLensCxCyFOV")[i].xyz[2]);
        expected.fx = static_cast<float>(rows.at("BP_TalvikLensFxAndOverscanFactor")[i].xyz[0]);
        expected.fy = static_cast<float>(rows.at("BP_TalvikLensEPDFy")[i].xyz[0]);
        expected.k1 = static_cast<float>(rows.at("BP_TalvikLensK1K2FD")[i].xyz[0]);
        expected.k2 = static_cast<float>(rows.at("BP_TalvikLensK1K2FD")[i].xyz[2]);
        expected.anamorphic = lens(node).anamorphic;
        expected.normalize();

        const host::Image image = host.render(node, frame);
        EXPECT_EQ(lens(node).cx, expected.cx) << frame;
        EXPECT_EQ(lens(node).undistorted_fy, expected.undistorted_fy) << frame;
        std::vector<float> s(480), t(480);
        st_map_row_scalar(expected, frame_size_from(480, 270), 17, 0, 480, s.data(), t.data());
        for (int x : {0, 123, 479}) {
            EXPECT_EQ(image.at(0, x, 17), s[x]) << frame << " x " << x;
            EXPECT_EQ(image.at(1, x, 17), t[x]) << frame << " x " << x;
        }
    }
}

TEST_F(ReloadHost, CameraNumberFromMetadataTakesOneDigit) {
    Node& node = create();
    Node& plate = host.create_source({64, 36}, {{"exr/unreal/cameraName", std::string("CineCamera12")}});
    host.connect(node, 0, &plate);
    reload(node, fbx::testing::fixture("blender_take.fbx"));
    EXPECT_EQ(node.knob("camera_index")->value(), 2.0);
    EXPECT_TRUE(alerts.empty());
    expect_take_loaded(node, fbx::testing::fixture("blender_take.csv"), 2);
}

// A Read node of a sequence changes its metadata from frame to frame; the
// node sees the source's metadata as it is now, not as it was created.
TEST_F(ReloadHost, MetadataReplacedOnTheSourceReachesTheNode) {
    Node& node = create();
    Node& plate = host.create_source({64, 36}, {{"exr/unreal/cameraName", std::string("CineCamera1")}});
    host.connect(node, 0, &plate);
    host.set_metadata(plate, {{"exr/unreal/cameraName", std::string("CineCamera2")},
                              {"exr/timeCode", std::string("01:00:00:05")}});
    EXPECT_EQ(std::get<std::string>(host.metadata(node).at("exr/timeCode")), "01:00:00:05");
    reload(node, fbx::testing::fixture("blender_take.fbx"));
    EXPECT_EQ(node.knob("camera_index")->value(), 2.0);
    expect_take_loaded(node, fbx::testing::fixture("blender_take.csv"), 2);
    EXPECT_THROW(host.set_metadata(node, {}), std::invalid_argument) << "only sources hold their own";
}

TEST_F(ReloadHost, CameraSetByHandIgnoresMetadata) {
    Node& node = create();
    Node& plate = host.create_source({64, 36}, {{"exr/unreal/cameraName", std::string("CineCamera2")}});
    host.connect(node, 0, &plate);
    host.set_value(node, "camera_index", 1);
    reload(node, fbx::testing::fixture("blender_take.fbx"));
    EXPECT_EQ(node.knob("camera_index")->value(), 1.0);
    expect_take_loaded(node, fbx::testing::fixture("blender_take.csv"), 1);
}

TEST_F(ReloadHost, OnlyLowerCaseFbxPathsAreRead) {
    Node& node = create();
    Node& plate = host.create_source({64, 36}, {{"exr/unreal/cameraName", std::string("Cam7")}});
    host.connect(node, 0, &plate);
    const size_t nodes = host.nodes().size();
    host.press(node, "reload");  // no path at all
    reload(node, "/shots/TAKE.FBX");
    EXPECT_EQ(alerts, (std::vector<std::string>{"Please select an FBX file to reload!",
                                                "Please select an FBX file to reload!"}));
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(host.nodes().size(), nodes);
    EXPECT_EQ(node.knob("camera_index")->value(), 7.0) << "the metadata step ran first";
    EXPECT_FALSE(node.knob("cx")->is_animated());
}

TEST_F(ReloadHost, SampleTakeLoadsBothCameras) {
    for (int camera : {1, 2}) {
        Node& node = create();
        host.set_value(node, "camera_index", camera);
        reload(node, fbx::testing::sample("sample_take.fbx"));
        expect_take_loaded(node, fbx::testing::fixture("sample_take.csv"), camera);
    }
    EXPECT_TRUE(alerts.empty());
}

}  // namespace
}  // namespace talvik::test
