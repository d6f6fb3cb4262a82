// Bad input: a message naming the culprit, a non-zero exit, no file left.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

struct BadCase {
    std::vector<std::string> args;  // "@" stands for the output folder
    std::string culprit;            // must appear in the message
};

TEST(BadInput, EachIsRefusedByName) {
    const std::string plate = std::string(TALVIK_SAMPLE_DIR) + "/plate.exr";
    const std::string truncated = fbx::testing::fixture("bad_truncated.fbx");
    const std::vector<BadCase> cases = {
        {{"render", "--sise", "4x4", "-o", "@/a.exr"}, "--sise"},
        {{"render", "--size", "4x4"}, "nothing to do"},
        {{"render", "--size", "4by4", "-o", "@/a.exr"}, "4by4"},
        {{"render", "--size", "0x4", "-o", "@/a.exr"}, "width"},
        {{"render", "--size", "4x4", "--set", "nope=1", "-o", "@/a.exr"}, "nope"},
        {{"render", "--size", "4x4", "--set", "k1=abc", "-o", "@/a.exr"}, "abc"},
        {{"render", "--size", "4x4", "--set", "k1", "-o", "@/a.exr"}, "NAME=VALUE"},
        {{"render", "--size", "4x4", "--set", "Mode=sideways", "-o", "@/a.exr"}, "sideways"},
        {{"render", "--size", "4x4", "--set", "camera_index=1.5", "-o", "@/a.exr"}, "1.5"},
        {{"render", "--size", "4x4", "--mode", "warp", "-o", "@/a.exr"}, "warp"},
        {{"render", "--size", "4x4", "--frames", "5-1", "-o", "@/a.####.exr"}, "5-1"},
        {{"render", "--size", "4x4", "--frames", "1-3", "-o", "@/a.exr"}, "frame"},
        {{"render", "--size", "4x4", "--compression", "dwaa", "-o", "@/a.exr"}, "dwaa"},
        {{"render", "--size", "4x4", "--threads", "0", "-o", "@/a.exr"}, "--threads"},
        {{"render", "--plate", "@/missing.exr", "-o", "@/a.exr"}, "missing.exr"},
        {{"render", "--plate", truncated, "-o", "@/a.exr"}, "bad_truncated.fbx"},
        {{"render", "--plate", plate, "--size", "4x4", "-o", "@/a.exr"}, "--plate"},
        {{"render", "--size", "4x4", "--fbx", truncated, "-o", "@/a.exr"}, "bad_truncated.fbx"},
        {{"render", "--size", "4x4", "--fbx", "@/nothing.fbx", "-o", "@/a.exr"}, "nothing.fbx"},
        {{"render", "--size", "4x4", "--fbx", "@/take.FBX", "-o", "@/a.exr"}, "lower-case .fbx"},
        {{"render", "--size", "4x4", "--camera", "2", "-o", "@/a.exr"}, "--fbx"},
        {{"render", "--size", "4x4", "-o", "@/file/a.exr"}, "file"},
        {{"warp"}, "warp"},
        {{"inspect"}, "inspect"},
        {{"inspect", truncated}, "bad_truncated.fbx"},
    };
    for (const BadCase& c : cases) {
        test::ScratchFolder dir;
        std::ofstream(dir.file("file")) << "a file where a folder is expected";
        std::vector<std::string> args;
        std::string shown;
        for (const std::string& a : c.args) {
            args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
            shown += " " + a;
        }
        const CommandResult r = run_stmap(args);
        SCOPED_TRACE(shown);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find(c.culprit), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"}) << "nothing written";
    }
}

TEST(BadInput, UnwritableFolderLeavesNoTemporary) {
    if (geteuid() == 0) {
        // Root writes anywhere; a read-only folder cannot be made here.
        const CommandResult r = run_stmap({"render", "--size", "4x4", "-o", "/proc/talvik/a.exr"});
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("/proc/talvik"), std::string::npos) << r.err;
        return;
    }
    test::ScratchFolder dir;
    std::filesystem::create_directory(dir.file("locked"));
    std::filesystem::permissions(dir.file("locked"), std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::owner_exec);
    const CommandResult r = run_stmap({"render", "--size", "4x4", "-o", dir.file("locked/a.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("locked"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("locked")));
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// The manifest and the overscan report are written after the frames (the
// report of `overscan` after measuring): a place they cannot go is found
// before anything is rendered, not after.
TEST(BadInput, AManifestOrReportThatCannotBeWrittenIsRefusedBeforeRendering) {
    test::ScratchFolder dir;
    test::write_bytes(dir.file("file"), "a file where a folder is expected");
    // Root writes in any folder of a disk: /proc takes no new file from anyone.
    std::string locked = "/proc/talvik/m.json";
    if (geteuid() != 0) {
        std::filesystem::create_directory(dir.file("locked"));
        std::filesystem::permissions(dir.file("locked"),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        locked = dir.file("locked/new/m.json");
    }
    for (const std::string& place : {dir.file("file/m.json"), dir.file("file/below/m.json"), locked}) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"render", "--size", "64x36", "-o", dir.file("m.exr"), "--manifest", place},
                 {"render", "--size", "64x36", "-o", dir.file("m.exr"), "--overscan", "auto", "--overscan-report", place},
                 {"overscan", "--size", "64x36", "--set", "k1=-0.1", "-o", place}}) {
            SCOPED_TRACE(args[args.size() - 2] + " " + place);
            const CommandResult r = run_stmap(args);
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find("cannot write " + args[args.size() - 2] + " \"" + place + "\""), std::string::npos)
                << r.err;
            EXPECT_EQ(r.err.find("overscan: left"), std::string::npos) << "nothing measured: " << r.err;
            EXPECT_FALSE(std::filesystem::exists(dir.file("m.exr")));
        }
    }
}

}  // namespace
}  // namespace talvik::test
