// Damaged takes and absurd values never end in a map of garbage: they are
// refused by name and nothing is written for them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"
#include "tests/support/lens_take_writer.h"

namespace talvik::test {
namespace {

// Camera 1 keyed on frames 1001-1010, with one key changed by `damage`.
template <class Damage>
std::string damaged_take(const test::ScratchFolder& dir, const std::string& model, Damage damage) {
    std::vector<TakeModel> models = lens_take(1, 1001, 1010);
    for (TakeModel& m : models)
        if (m.name == model) damage(m.channels.at(0));
    const std::string path = dir.file("take.fbx");
    test::write_bytes(path, ascii_take(models));
    return path;
}

void expect_refused(const std::vector<std::string>& args, const std::vector<std::string>& named,
                    const test::ScratchFolder& dir, const std::vector<std::string>& kept) {
    const CommandResult r = run_stmap(args);
    EXPECT_NE(r.status, 0);
    for (const std::string& n : named) EXPECT_NE(r.err.find(n), std::string::npos) << n << " in: " << r.err;
    EXPECT_EQ(dir.entries(), kept);
}

TEST(Garbage, FlippedKeyTimesAreRefusedNamingCameraControlAndRange) {
    // 1002001 makes the keys span 1,000,001 frames, one more than --frames allows.
    for (const int flipped : {1002001, 2147483647, -2147483647}) {
        SCOPED_TRACE(flipped);
        test::ScratchFolder dir;
        const std::string take = damaged_take(dir, "BP_TalvikLensK1K2FD1", [&](ChannelKeys& k) { k.frames[4] = flipped; });
        for (const char* extra : {"-o", "--print-controls"}) {
            std::vector<std::string> args = {"render", "--size", "8x8", "--fbx", take, "--camera", "1"};
            args.push_back(extra);
            if (std::string(extra) == "-o") args.push_back(dir.file("m.####.exr"));
            expect_refused(args, {"camera 1", "k1", std::to_string(flipped)}, dir, {"take.fbx"});
        }
    }
}

TEST(Garbage, NonFiniteKeyValuesAreRefusedNamingCameraControlAndFrame) {
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        test::ScratchFolder dir;
        const std::string take = damaged_take(dir, "BP_TalvikLensCxCyFOV1", [&](ChannelKeys& k) { k.values[3] = bad; });
        expect_refused({"render", "--size", "8x8", "--fbx", take, "--camera", "1", "-o", dir.file("m.####.exr")},
                       {"camera 1", "cx", "1004"}, dir, {"take.fbx"});
    }
}

TEST(Garbage, SetValuesMustBeFiniteFloatsOrIntegersInRange) {
    test::ScratchFolder dir;
    for (const std::string set : {"k1=1e39", "k1=-1e39", "k1=inf", "k1=nan", "fx=1e400", "camera_index=99999999999",
                                   "camera_index=2147483648", "camera_index=-2147483649"}) {
        SCOPED_TRACE(set);
        expect_refused({"render", "--size", "8x8", "--set", set, "-o", dir.file("m.exr")},
                       {set.substr(0, set.find('=')), set.substr(set.find('=') + 1)}, dir, {});
    }
    const CommandResult r = run_stmap({"render", "--size", "8x8", "--set", "k1=+0.1", "--set", "camera_index=2147483647",
                                       "--print-controls"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"k1\": 0.1,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"camera_index\": 2147483647,"), std::string::npos) << r.out;
}

TEST(Garbage, LensesWithoutFinitePositionsWriteNothing) {
    for (const std::string set : {"k1=1e8", "fx=1e-10", "cx=1e10"}) {
        SCOPED_TRACE(set);
        test::ScratchFolder dir;
        const std::string value = set.substr(set.find('=') + 1);
        const CommandResult r = run_stmap({"render", "--size", "64x32", "--mode", "undistort", "--set", set,
                                           "--frames", "7", "-o", dir.file("m.####.exr"), "--preview",
                                           dir.file("p.####.png")});
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("frame 7"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(set.substr(0, set.find('=')) + "="), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{});
    }
}

TEST(Garbage, FailedWritesToStandardOutputFailTheCommand) {
    // /dev/full takes the open but no byte.
    ProcessOptions options;
    options.stdout_path = "/dev/full";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", "--size", "8x8", "--print-controls"}, {"--help"}, {"inspect", fbx::testing::fixture("blender_take.fbx")}}) {
        SCOPED_TRACE(args[0]);
        StmapProcess command(args, options);
        const std::optional<int> status = command.wait(60);
        ASSERT_TRUE(status);
        EXPECT_NE(*status, 0);
        EXPECT_NE(command.err().find("cannot write to standard output: No space left on device"), std::string::npos)
            << command.err();
    }
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// A take that keys frame 1003 twice on k1 (an exporter that wrote a key
// again): the reload keeps the later key, and says so.
TEST(Garbage, KeysGivenTwiceForOneFrameAreNamed) {
    test::ScratchFolder dir;
    std::vector<TakeModel> take = lens_take(1, 1001, 1005, 0.01f, 0.01f);
    for (TakeModel& m : take) {
        if (m.name != "BP_TalvikLensK1K2FD1") continue;
        ChannelKeys& k1 = m.channels.at(0);
        k1.frames.insert(k1.frames.begin() + 3, 1003);  // after the first key at 1003
        k1.values.insert(k1.values.begin() + 3, -0.25f);
    }
    test::write_bytes(dir.file("take.fbx"), ascii_take(take));
    const std::vector<std::string> args = {"render", "--size", "8x8", "--fbx", dir.file("take.fbx"), "--camera", "1",
                                           "--frames", "1003", "--print-controls"};
    CommandResult r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("BP_TalvikLensK1K2FD1 gives its X channel (k1) more than one key at frame 1003"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("(k2)"), std::string::npos) << "only the channel with the repeated key: " << r.err;
    EXPECT_NE(r.out.find("\"k1\": -0.25,"), std::string::npos) << "the later key holds: " << r.out;
    std::vector<std::string> strict = args;
    strict.push_back("--strict");
    r = run_stmap(strict);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 1003"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace talvik::test
