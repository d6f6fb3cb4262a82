// Lens values that make no usable map (a focal length at or below 0, a lens
// that folds back before the frame's edge or before any pixel, a principal
// point off the frame): each frame they reach is named in a warning with
// the value, and --strict fails before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "run_command.h"
#include "tests/support/lens_take_writer.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

struct LensCase {
    std::vector<std::string> sets;  // --set values
    const char* mode;
    std::string named;              // in the warning: the value, worked by hand
};

TEST(UnusableLens, EachFrameIsNamedWithTheValueAndStrictRendersNothing) {
    const std::vector<LensCase> cases = {
        {{"fx=0"}, "undistort", "fx is 0"},
        {{"fx=-1500"}, "distort", "fx is -1500"},
        {{"anamorphic=true", "fy=0"}, "distort", "fy is 0"},
        // 960 / (0.5 (1 - 1e30 / 4)): the edge-fitted focal length.
        {{"k1=-1e30"}, "undistort", "-7.68e-27"},
        // 960 / (0.5 (1 - 4.5 / 4)) = -15360: a barrel lens folded before the edge.
        {{"k1=-4.5"}, "undistort", "-15360"},
        {{"cx=1e20"}, "distort", "cx 1e+20"},
        {{"cy=-541"}, "distort", "cy -541"},
        // D(r) = 1 - 3e6 r^2 + 1.5e12 r^4 first reaches 0 at r = 6.5e-4, where
        // r F(r) peaks at 4.1e-4; the pixel nearest the centre lies half a
        // pixel of 64 from it, 0.0078 / 5.3e-11 (the edge-fitted focal length,
        // normalized) = 1.5e8 out.
        {{"k1=-1e6", "k2=3e11"}, "undistort", "no pixel has an undistorted position"},
    };
    for (const LensCase& c : cases) {
        SCOPED_TRACE(c.named);
        for (const bool strict : {false, true}) {
            test::ScratchFolder dir;
            std::vector<std::string> args = {"render", "--size", "64x36", "--mode", c.mode, "--frames", "7", "-q",
                                             "-o", dir.file("m.exr")};
            for (const std::string& s : c.sets) args.insert(args.end(), {"--set", s});
            if (strict) args.push_back("--strict");
            const CommandResult r = run_stmap(args);
            EXPECT_NE(r.err.find("frame 7: the lens makes no usable map"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
            if (strict) {
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(dir.entries(), std::vector<std::string>{}) << "nothing rendered";
            } else {
                // The node renders the lens as it would in Nuke.
                EXPECT_EQ(r.status, 0) << r.err;
                EXPECT_EQ(dir.entries(), std::vector<std::string>{"m.exr"});
            }
        }
    }
}

TEST(UnusableLens, LensesAtTheEdgeOfTheRuleAreNotNamed) {
    // Inside the frame; folding within the frame (k1 -0.3: the centre has
    // positions); a tiny focal length without distortion is a plain
    // identity map; 960 / (0.5 (1 - 3.9 / 4)) is still above 0.
    for (const std::vector<std::string>& sets : std::vector<std::vector<std::string>>{
             {"cx=960", "cy=-540"}, {"k1=-0.3"}, {"fx=1"}, {"k1=-3.9"}, {"anamorphic=true", "fy=700"}}) {
        SCOPED_TRACE(sets[0]);
        test::ScratchFolder dir;
        std::vector<std::string> args = {"render", "--size", "64x36", "--mode", "undistort", "--strict", "-q",
                                         "-o", dir.file("m.exr")};
        for (const std::string& s : sets) args.insert(args.end(), {"--set", s});
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
    }
}

// Camera 1 keyed on 1001-1008 with a plausible lens, fx 0 at `zero_frames`.
std::string take_with_zero_fx(const test::ScratchFolder& dir, const std::vector<int>& zero_frames) {
    auto constant = [](float value) {
        ChannelKeys keys;
        for (int f = 1001; f <= 1008; ++f) {
            keys.frames.push_back(f);
            keys.values.push_back(value);
        }
        return keys;
    };
    ChannelKeys fx = constant(1500.0f);
    for (int f : zero_frames) fx.values[static_cast<size_t>(f - 1001)] = 0.0f;
    const std::vector<TakeModel> take = {
        {"BP_TalvikLensCxCyFOV1", {{0, constant(8.0f)}, {2, constant(-4.0f)}}},
        {"BP_TalvikLensK1K2FD1", {{0, constant(-0.05f)}, {2, constant(0.008f)}}},
        {"BP_TalvikLensFxAndOverscanFactor1", {{0, fx}, {1, constant(0.0f)}}},
        {"BP_TalvikLensEPDFy1", {{0, constant(1500.0f)}}},
    };
    test::write_bytes(dir.file("take.fbx"), ascii_take(take));
    return dir.file("take.fbx");
}

TEST(UnusableLens, ATakeNamesEveryFrameWhoseFocalLengthIsZero) {
    test::ScratchFolder dir;
    const std::string take = take_with_zero_fx(dir, {1003, 1006});
    CommandResult r = run_stmap({"render", "--size", "64x36", "--fbx", take, "--camera", "1", "--mode", "undistort",
                                 "-q", "-o", dir.file("m.####.exr"), "--manifest", dir.file("manifest.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.err, "no usable map"), 2u) << r.err;
    EXPECT_NE(r.err.find("frame 1003: the lens makes no usable map: fx is 0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame 1006: the lens makes no usable map: fx is 0"), std::string::npos) << r.err;
    EXPECT_EQ(occurrences(test::read_bytes(dir.file("manifest.json")), "no usable map"), 2u) << "the manifest's warnings";

    // Only the frames asked are named; --strict fails before any file.
    r = run_stmap({"render", "--size", "64x36", "--fbx", take, "--camera", "1", "--frames", "1005-1008", "--strict",
                   "-q", "-o", dir.file("s.####.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 1006"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("frame 1003"), std::string::npos) << r.err;
    for (const std::string& name : dir.entries()) EXPECT_NE(name.substr(0, 2), "s.") << name;
}

TEST(UnusableLens, ManyFramesAreNamedInOneLineAfterTheFirstFew) {
    test::ScratchFolder dir;
    const std::string take = take_with_zero_fx(dir, {1001, 1002, 1003, 1004, 1005, 1006, 1007});
    const CommandResult r = run_stmap({"render", "--size", "16x9", "--fbx", take, "--camera", "1", "--print-controls"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.err, "the lens makes no usable map"), 5u) << r.err;
    EXPECT_NE(r.err.find("2 more frames whose lens makes no usable map: 1006-1007"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

std::string margins_line(const std::string& err) {
    const size_t at = err.find("overscan: ");
    return at == std::string::npos ? "" : err.substr(at, err.find('\n', at) - at);
}

// Measured, the frames with fx 0 would collapse the Undistort map onto its
// centre line and widen the margins of the whole shot.
TEST(UnusableLens, OverscanMeasurementLeavesSuchFramesOutAndSaysSo) {
    test::ScratchFolder dir;
    const std::string clean = take_with_zero_fx(dir, {});
    const CommandResult expected = run_stmap({"overscan", "--size", "96x54", "--fbx", clean, "--camera", "1", "-o",
                                              dir.file("clean.json")});
    ASSERT_EQ(expected.status, 0) << expected.err;
    ASSERT_NE(margins_line(expected.err), "") << expected.err;
    const std::string damaged = take_with_zero_fx(dir, {1003, 1006});
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"overscan", "-o", dir.file("damaged.json")},
             {"render", "--mode", "distort", "--overscan", "auto", "--frames", "1001", "-o", dir.file("m.exr")}}) {
        SCOPED_TRACE(args[0]);
        std::vector<std::string> full = args;
        full.insert(full.begin() + 1, {"--size", "96x54", "--fbx", damaged, "--camera", "1"});
        CommandResult r = run_stmap(full);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(margins_line(r.err), margins_line(expected.err));
        EXPECT_EQ(occurrences(r.err, "the overscan measurement leaves it out"), 2u) << r.err;
        full.push_back("--strict");
        r = run_stmap(full);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("frame 1003"), std::string::npos) << r.err;
    }
}

TEST(UnusableLens, OverscanOverFramesOfNoUsableLensAloneFails) {
    test::ScratchFolder dir;
    const CommandResult r = run_stmap({"overscan", "--size", "96x54", "--set", "fx=0", "-o", dir.file("o.json")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("no frame to measure the overscan on"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("o.json")));
}

}  // namespace
}  // namespace talvik::test
