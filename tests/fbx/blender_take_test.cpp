// Takes written by Blender 3.4 read back against the values Blender was given
// (the CSVs make_blender_fixtures.py writes from Blender's own evaluation).
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "host/fbx/fbx_scene.h"
#include "tests/support/fixture_util.h"

namespace talvik::fbx {
namespace {

using testing::KeyedFrame;

struct BlenderTake {
    std::string fbx;
    std::string csv;
    double fps;
    int first_frame;
    int last_frame;
    std::set<int> cameras;
};

std::ostream& operator<<(std::ostream& os, const BlenderTake& t) { return os << t.fbx; }

class BlenderTakeTest : public ::testing::TestWithParam<BlenderTake> {};

TEST_P(BlenderTakeTest, EveryKeyedFrameComesBackExactly) {
    const BlenderTake& take = GetParam();
    const Scene scene = read_scene(take.fbx);
    EXPECT_EQ(scene.frames_per_second(), take.fps);

    const std::vector<KeyedFrame> keyed = testing::read_keyed_frames(take.csv);
    ASSERT_FALSE(keyed.empty());
    std::map<std::string, int> rows_per_model;
    for (const KeyedFrame& k : keyed) {
        SCOPED_TRACE(k.model + " frame " + std::to_string(k.frame));
        ++rows_per_model[k.model];
        const auto t = scene.translation(k.model);
        ASSERT_TRUE(t.has_value());
        for (int axis = 0; axis < 3; ++axis) {
            // Blender bakes all three channels, keyed or not.
            ASSERT_TRUE(t->component[axis].has_value()) << "axis " << axis;
            const Curve& c = *t->component[axis];
            ASSERT_EQ(c.times.size(), c.values.size());
            size_t hits = 0;
            for (size_t i = 0; i < c.times.size(); ++i) {
                if (scene.frame_of(c.times[i]) != k.frame) continue;
                ++hits;
                // Float32 exact: the exporter keeps the keyed value untouched.
                EXPECT_EQ(c.values[i], static_cast<float>(k.xyz[axis])) << "axis " << axis;
            }
            EXPECT_EQ(hits, 1u) << "axis " << axis;
        }
    }
    // No extra keys: one key per keyed frame, frames first..last.
    const int frames = take.last_frame - take.first_frame + 1;
    for (const auto& [model, rows] : rows_per_model) {
        EXPECT_EQ(rows, frames) << model;
        const Curve x = *scene.translation(model)->component[0];
        ASSERT_EQ(x.times.size(), static_cast<size_t>(frames)) << model;
        EXPECT_EQ(scene.frame_of(x.times.front()), take.first_frame);
        EXPECT_EQ(scene.frame_of(x.times.back()), take.last_frame);
    }
}

TEST_P(BlenderTakeTest, HasTheLensEmptiesOfEachCamera) {
    const BlenderTake& take = GetParam();
    const Scene scene = read_scene(take.fbx);
    const std::vector<std::string> names = scene.model_names();
    const std::set<std::string> name_set(names.begin(), names.end());
    EXPECT_EQ(name_set.size(), names.size()) << "model names repeat";
    const char* prefixes[] = {"BP_TalvikLensCxCyFOV", "BP_TalvikLensK1K2FD",
                              "BP_TalvikLensFxAndOverscanFactor", "BP_TalvikLensEPDFy"};
    std::set<std::string> expected;
    for (int cam : take.cameras)
        for (const char* p : prefixes) expected.insert(p + std::to_string(cam));
    EXPECT_EQ(name_set, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Blender, BlenderTakeTest,
    ::testing::Values(
        BlenderTake{testing::fixture("blender_take.fbx"), testing::fixture("blender_take.csv"),
                    24.0, 1001, 1010, {1, 2}},
        BlenderTake{testing::fixture("blender_take_25fps.fbx"),
                    testing::fixture("blender_take_25fps.csv"), 25.0, 1, 5, {1}},
        BlenderTake{testing::sample("sample_take.fbx"), testing::fixture("sample_take.csv"), 24.0,
                    1001, 1024, {1, 2}}));

// Blender writes exact tick multiples at 24 fps: frame n is n/24 s.
TEST(BlenderTake, KeyTimesAreWholeFramesAt24Fps) {
    const Scene scene = read_scene(testing::fixture("blender_take.fbx"));
    const Curve x = *scene.translation("BP_TalvikLensFxAndOverscanFactor2")->component[0];
    for (size_t i = 0; i < x.times.size(); ++i)
        EXPECT_EQ(x.times[i], static_cast<int64_t>(1001 + i) * (kTicksPerSecond / 24));
}

// The demo take reads as the node expects: flag on the first key only, a
// barrel k1 and a slow zoom.
TEST(BlenderTake, SampleTakeIsAPlausibleLensTake) {
    const Scene scene = read_scene(testing::sample("sample_take.fbx"));
    for (int cam : {1, 2}) {
        SCOPED_TRACE("camera " + std::to_string(cam));
        const auto fx = scene.translation("BP_TalvikLensFxAndOverscanFactor" + std::to_string(cam));
        const auto k = scene.translation("BP_TalvikLensK1K2FD" + std::to_string(cam));
        ASSERT_TRUE(fx && k);
        const Curve& flag = *fx->component[1];
        ASSERT_EQ(flag.values.size(), 24u);
        EXPECT_EQ(flag.values.front(), 1.0f);
        for (size_t i = 1; i < flag.values.size(); ++i) EXPECT_EQ(flag.values[i], 0.0f);
        const Curve& focal = *fx->component[0];
        EXPECT_LT(focal.values.front(), focal.values.back());
        for (size_t i = 1; i < focal.values.size(); ++i)
            EXPECT_GE(focal.values[i], focal.values[i - 1]);
        for (float k1 : k->component[0]->values) {
            EXPECT_GT(k1, -0.06f);
            EXPECT_LT(k1, -0.04f);
        }
    }
}

}  // namespace
}  // namespace talvik::fbx
