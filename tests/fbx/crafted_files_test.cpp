// Hand-made files (make_crafted_fixtures.py): header widths, ASCII, zlib,
// channels on different frames, missing channels, layers, custom rates.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "host/fbx/fbx_scene.h"
#include "tests/support/fixture_util.h"

namespace talvik::fbx {
namespace {

class CraftedTakeTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CraftedTakeTest, ReadsTheKeysAsWritten) {
    const Scene scene = read_scene(testing::fixture(GetParam()));
    EXPECT_EQ(scene.frames_per_second(), 24.0);
    EXPECT_EQ(scene.model_names(), (std::vector<std::string>{"CamA", "CamB", "CamC", "Static"}));

    // model -> axis -> keys, from the generator's own record.
    std::map<std::string, std::map<int, Curve>> expected;
    for (const auto& k : testing::read_keyed_values(testing::fixture("crafted_expected.csv"))) {
        Curve& c = expected[k.model][k.axis];
        c.times.push_back(k.time);
        c.values.push_back(static_cast<float>(k.value));
    }
    ASSERT_EQ(expected.size(), 3u);
    for (const auto& [model, axes] : expected) {
        SCOPED_TRACE(model);
        const auto t = scene.translation(model);
        ASSERT_TRUE(t.has_value());
        for (int axis = 0; axis < 3; ++axis) {
            const auto it = axes.find(axis);
            if (it == axes.end()) {
                EXPECT_FALSE(t->component[axis].has_value()) << "axis " << axis;
                continue;
            }
            ASSERT_TRUE(t->component[axis].has_value()) << "axis " << axis;
            // Stored order and values; the rotation curve and CamC's later layer stay out.
            EXPECT_EQ(t->component[axis]->times, it->second.times) << "axis " << axis;
            EXPECT_EQ(t->component[axis]->values, it->second.values) << "axis " << axis;
        }
    }
    EXPECT_FALSE(scene.translation("Static").has_value());
    EXPECT_FALSE(scene.translation("NoSuchModel").has_value());
    EXPECT_FALSE(scene.translation("").has_value());
}

INSTANTIATE_TEST_SUITE_P(Formats, CraftedTakeTest,
                         ::testing::Values("crafted_v7400.fbx", "crafted_v7500.fbx",
                                           "crafted_ascii.fbx", "crafted_zlib.fbx"),
                         [](const auto& info) {
                             std::string n = info.param.substr(8, info.param.size() - 12);
                             return n;
                         });

TEST(CraftedTake, ChannelsKeepTheirOwnFrames) {
    const Scene scene = read_scene(testing::fixture("crafted_v7500.fbx"));
    const Translation t = *scene.translation("CamA");
    auto frames = [&](int axis) {
        std::vector<int> out;
        for (int64_t k : t.component[axis]->times) out.push_back(scene.frame_of(k));
        return out;
    };
    EXPECT_EQ(frames(0), (std::vector<int>{1001, 1002, 1003}));
    EXPECT_EQ(frames(1), (std::vector<int>{1001, 1005, 1009}));
    EXPECT_EQ(frames(2), (std::vector<int>{1004}));
}

TEST(CraftedTake, AsciiAndBinaryAgree) {
    const Scene ascii = read_scene(testing::fixture("crafted_ascii.fbx"));
    const Scene binary = read_scene(testing::fixture("crafted_v7400.fbx"));
    ASSERT_EQ(ascii.model_names(), binary.model_names());
    for (const std::string& name : binary.model_names()) {
        const auto a = ascii.translation(name);
        const auto b = binary.translation(name);
        ASSERT_EQ(a.has_value(), b.has_value()) << name;
        if (!a) continue;
        for (int axis = 0; axis < 3; ++axis) {
            ASSERT_EQ(a->component[axis].has_value(), b->component[axis].has_value());
            if (!a->component[axis]) continue;
            EXPECT_EQ(a->component[axis]->times, b->component[axis]->times);
            EXPECT_EQ(a->component[axis]->values, b->component[axis]->values);
        }
    }
}

TEST(CraftedTake, CustomFrameRate) {
    const Scene scene = read_scene(testing::fixture("crafted_custom_fps.fbx"));
    EXPECT_EQ(scene.frames_per_second(), 12.5);
    const Curve x = *scene.translation("Cam1")->component[0];
    ASSERT_EQ(x.times.size(), 3u);
    EXPECT_EQ(scene.frame_of(x.times[0]), 10);
    EXPECT_EQ(scene.frame_of(x.times[1]), 11);
    EXPECT_EQ(scene.frame_of(x.times[2]), 12);
    EXPECT_EQ(x.values, (std::vector<float>{1.25f, 1.5f, 1.75f}));
}

TEST(CraftedTake, LongZlibCurve) {
    const Scene scene = read_scene(testing::fixture("crafted_long_zlib.fbx"));
    const Curve x = *scene.translation("Long")->component[0];
    ASSERT_EQ(x.times.size(), 400u);
    ASSERT_EQ(x.values.size(), 400u);
    for (size_t k = 0; k < x.values.size(); ++k) {
        EXPECT_EQ(scene.frame_of(x.times[k]), static_cast<int>(k) + 1);
        EXPECT_EQ(x.values[k], static_cast<float>(k) * 0.25f - 50.0f);
    }
}

// parse_scene names the buffer in its messages and reads the same as read_scene.
TEST(CraftedTake, ParseSceneFromMemory) {
    const std::vector<uint8_t> bytes = testing::read_bytes(testing::fixture("crafted_zlib.fbx"));
    const Scene scene = parse_scene(bytes.data(), bytes.size(), "in-memory take");
    EXPECT_EQ(scene.translation("CamB")->component[0]->values.size(), 5u);

    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 100);
    try {
        parse_scene(cut.data(), cut.size(), "in-memory take");
        FAIL() << "a cut file was read";
    } catch (const FbxError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("in-memory take: ", 0), 0u) << e.what();
    }
}

// The host reads takes from several threads; a reader shares no state.
TEST(CraftedTake, ConcurrentReadsAgree) {
    const std::string path = testing::fixture("crafted_zlib.fbx");
    const std::vector<float> reference = read_scene(path).translation("CamB")->component[2]->values;
    std::vector<std::vector<float>> got(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < got.size(); ++i)
        threads.emplace_back([&, i] { got[i] = read_scene(path).translation("CamB")->component[2]->values; });
    for (std::thread& t : threads) t.join();
    for (const auto& g : got) EXPECT_EQ(g, reference);
}

}  // namespace
}  // namespace talvik::fbx
