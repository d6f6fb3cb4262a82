// Rendering through the command: maps equal the row generation pixel for
// pixel (bottom line = row 0) and the lens model in double precision, frames
// and values follow the take, metadata flows in from the plate and out into
// the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tests/support/exr_map.h"
#include "keyed_lens.h"
#include "lens/st_map_row.h"
#include "run_command.h"
#include "tests/support/double_lens.h"
#include "tests/support/fixture_util.h"
#include "tests/support/lens_from_panel.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

void expect_map_equals_rows(const ExrMap& map, const LensModel& lens) {
    std::vector<float> s(map.width), t(map.width);
    for (int y = 0; y < map.height; ++y) {
        st_map_row_scalar(lens, frame_size_from(map.width, map.height), y, 0, map.width, s.data(),
                          t.data());
        for (int x = 0; x < map.width; ++x) {
            ASSERT_EQ(map.s_at(x, y), s[x]) << x << "," << y;
            ASSERT_EQ(map.t_at(x, y), t[x]) << x << "," << y;
        }
    }
}

TEST(RenderCommand, ControlsSetOnTheCommandLine) {
    test::ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--size", "64x36", "--mode", "undistort", "--set",
                                       "k1=-0.05", "--set", "cx=10", "--set", "fx=1500", "--set",
                                       "anamorphic=on", "--set", "fy=1400", "-o", dir.file("map.exr"),
                                       "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "--quiet: " << r.err;
    const ExrMap map = read_exr_map(dir.file("map.exr"));
    ASSERT_EQ(map.width, 64);
    ASSERT_EQ(map.height, 36);
    // Panel cx, cy, fx, fy, k1, k2, anamorphic, Mode as the --set values above.
    expect_map_equals_rows(map, normalized({10.0f, 0.0f, 1500.0f, 1400.0f, -0.05f, 0.0f, true, 1}));
    ASSERT_NE(map.attribute<Imf::FloatAttribute>("talvik/k1"), nullptr);
    EXPECT_EQ(map.attribute<Imf::FloatAttribute>("talvik/k1")->value(), -0.05f);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("talvik/Mode")->value(), "Undistort");
    EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/frame")->value(), 1);
    EXPECT_EQ(map.header.compression(), Imf::ZIP_COMPRESSION);
}

// An anamorphic lens, whose vertical edge fit is its own, in both Modes:
// the map read back against the model in double precision, pixel by pixel.
TEST(RenderCommand, AnamorphicMapsMatchTheDoublePrecisionModel) {
    for (const auto& [mode_name, mode] : {std::pair<const char*, int>{"distort", 0}, {"undistort", 1}}) {
        SCOPED_TRACE(mode_name);
        test::ScratchFolder dir;
        const CommandResult r =
            run_stmap({"render", "--size", "64x36", "--mode", mode_name, "--set", "anamorphic=true", "--set",
                       "fy=1400", "--set", "k1=-0.05", "-o", dir.file("map.exr"), "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err;
        const ExrMap map = read_exr_map(dir.file("map.exr"));
        ASSERT_EQ(map.width, 64);
        ASSERT_EQ(map.height, 36);
        PanelLens panel;
        panel.anamorphic = true;
        panel.fy = 1400.0f;
        panel.k1 = -0.05f;
        panel.mode = mode;
        const DoubleLens model(panel);
        for (int y = 0; y < map.height; ++y) {
            for (int x = 0; x < map.width; ++x) {
                double s, t;
                ASSERT_TRUE(model.st(x, y, map.width, map.height, &s, &t));
                ASSERT_NEAR(map.s_at(x, y), s, 1e-6) << x << ", " << y;
                ASSERT_NEAR(map.t_at(x, y), t, 1e-6) << x << ", " << y;
            }
        }
    }
}

TEST(RenderCommand, FixtureTakeGivesOneMapPerKeyedFrame) {
    test::ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--size", "40x24", "--fbx",
                                       fbx::testing::fixture("blender_take.fbx"), "--camera", "2",
                                       "--mode", "distort", "-o", dir.file("m.####.exr"), "--preview",
                                       dir.file("p.%04d.png"), "--compression", "piz"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("File reloaded"), std::string::npos) << "the reload script's lines only with --verbose";
    EXPECT_NE(r.err.find("wrote 10 frames"), std::string::npos) << r.err;
    std::map<int, LensModel> keyed = keyed_lenses(fbx::testing::fixture("blender_take.csv"), '2');
    ASSERT_EQ(keyed.size(), 10u);
    std::vector<std::string> expected_files;
    for (const auto& [frame, lens] : keyed) {
        const std::string f = std::to_string(frame);
        expected_files.push_back("m." + f + ".exr");
        expected_files.push_back("p." + f + ".png");
    }
    std::sort(expected_files.begin(), expected_files.end());
    EXPECT_EQ(dir.entries(), expected_files);

    for (int frame : {keyed.begin()->first, keyed.rbegin()->first}) {
        LensModel lens = keyed[frame];
        const ExrMap map = read_exr_map(dir.file("m." + std::to_string(frame) + ".exr"));
        EXPECT_EQ(map.attribute<Imf::FloatAttribute>("talvik/cx")->value(), lens.cx);
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/frame")->value(), frame);
        EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/camera_index")->value(), 2);
        EXPECT_EQ(map.header.compression(), Imf::PIZ_COMPRESSION);
        lens.normalize();
        expect_map_equals_rows(map, lens);
    }
}

TEST(RenderCommand, PlateMetadataPicksTheCameraAndIsCarriedOver) {
    test::ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--plate", std::string(TALVIK_SAMPLE_DIR) + "/plate.exr",
                                       "--fbx", std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx",
                                       "--frames", "1010", "-o", dir.file("s.####.exr"), "--threads", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("s.1010.exr"));
    EXPECT_EQ(map.width, 1920);
    EXPECT_EQ(map.height, 1080);
    ASSERT_NE(map.attribute<Imf::StringAttribute>("unreal/cameraName"), nullptr);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("unreal/cameraName")->value(), "CineCamera2");
    EXPECT_EQ(map.attribute<Imf::IntAttribute>("talvik/camera_index")->value(), 2)
        << "no digit in the file name: the camera comes from the plate";
}

TEST(RenderCommand, PrintControlsNeedsNoOutputAndEqualFramesShareTheirMap) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--fbx", fbx::testing::fixture("blender_take.fbx"),
                                 "--camera", "1", "--print-controls", "--frames", "1001,1010"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string first, last, extra;
    std::getline(lines, first);
    std::getline(lines, last);
    EXPECT_FALSE(std::getline(lines, extra)) << "one line per frame";
    EXPECT_EQ(first.rfind("{\"format_version\": 1, \"frame\": 1001, \"Mode\": \"Distort\"", 0), 0u) << first;
    EXPECT_NE(first.find("\"cx\": 5.137,"), std::string::npos) << first;
    EXPECT_EQ(last.rfind("{\"format_version\": 1, \"frame\": 1010", 0), 0u) << last;

    // Without animation every frame has the same lens: identical maps.
    r = run_stmap({"render", "--size", "16x9", "--set", "k1=-0.1", "--frames", "1-3", "-o",
                   dir.file("f.#.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap one = read_exr_map(dir.file("f.1.exr"));
    const ExrMap three = read_exr_map(dir.file("f.3.exr"));
    EXPECT_EQ(one.s, three.s);
    EXPECT_EQ(three.attribute<Imf::IntAttribute>("talvik/frame")->value(), 3);
}

}  // namespace
}  // namespace talvik::test
