// talvik-stmap inspect on Blender-written takes.
#include <gtest/gtest.h>

#include "run_command.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

TEST(InspectCommand, ListsLensCamerasRangesAndRate) {
    CommandResult r = run_stmap({"inspect", fbx::testing::fixture("blender_take.fbx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("24 fps, 2 lens cameras"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("camera 1: frames 1001-1010"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("camera 2: frames 1001-1010"), std::string::npos) << r.out;

    r = run_stmap({"inspect", fbx::testing::fixture("blender_take_25fps.fbx")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("25 fps, 1 lens camera\n"), std::string::npos) << r.out;

    // A valid file without lens nodes.
    r = run_stmap({"inspect", fbx::testing::fixture("crafted_ascii.fbx")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("0 lens cameras"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace talvik::test
