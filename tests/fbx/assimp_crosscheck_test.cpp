// Cross-check against assimp, another program's FBX importer. assimp merges
// X/Y/Z into one key list, fills missing channels from the property default
// and may rebase times, so only channels keyed together are compared, and
// times as frames from the first key.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <cmath>

#include "host/fbx/fbx_scene.h"
#include "tests/support/fixture_util.h"

namespace talvik::fbx {
namespace {

const aiNodeAnim* channel_of(const aiScene& s, const std::string& node) {
    for (unsigned a = 0; a < s.mNumAnimations; ++a)
        for (unsigned c = 0; c < s.mAnimations[a]->mNumChannels; ++c)
            if (node == s.mAnimations[a]->mChannels[c]->mNodeName.C_Str())
                return s.mAnimations[a]->mChannels[c];
    return nullptr;
}

// Compares `model`'s keys on the given axes; the others must be absent.
void expect_same_keys(const std::string& path, const std::string& model, std::vector<int> axes) {
    SCOPED_TRACE(path + " " + model);
    Assimp::Importer importer;
    const aiScene* theirs = importer.ReadFile(path, 0);
    ASSERT_NE(theirs, nullptr) << importer.GetErrorString();
    const aiNodeAnim* channel = channel_of(*theirs, model);
    ASSERT_NE(channel, nullptr);
    const double tps = theirs->mAnimations[0]->mTicksPerSecond;

    const Scene ours = read_scene(path);
    const auto t = ours.translation(model);
    ASSERT_TRUE(t.has_value());
    const Curve& first = *t->component[axes.front()];
    ASSERT_EQ(channel->mNumPositionKeys, first.times.size());
    for (int axis : axes) {
        const Curve& c = *t->component[axis];
        ASSERT_EQ(c.times, first.times) << "channels keyed apart";
        for (size_t k = 0; k < c.times.size(); ++k) {
            const aiVectorKey& key = channel->mPositionKeys[k];
            EXPECT_EQ(c.values[k], key.mValue[axis]) << "axis " << axis << " key " << k;
            const double their_frames =
                (key.mTime - channel->mPositionKeys[0].mTime) * ours.frames_per_second() / tps;
            EXPECT_EQ(ours.frame_of(c.times[k]) - ours.frame_of(c.times[0]), std::lround(their_frames));
        }
    }
}

TEST(AssimpCrossCheck, BlenderTakes) {
    for (const std::string& fbx : {testing::fixture("blender_take.fbx"), testing::sample("sample_take.fbx")}) {
        const std::vector<std::string> models = read_scene(fbx).model_names();
        ASSERT_EQ(models.size(), 8u);
        for (const std::string& m : models) expect_same_keys(fbx, m, {0, 1, 2});
    }
}

TEST(AssimpCrossCheck, CraftedFilesWhereChannelsShareKeys) {
    for (const char* name :
         {"crafted_v7400.fbx", "crafted_v7500.fbx", "crafted_ascii.fbx", "crafted_zlib.fbx"})
        expect_same_keys(testing::fixture(name), "CamB", {0, 2});
}

}  // namespace
}  // namespace talvik::fbx
