// The command line: an empty value is not an absent option, a value is
// never read as an option, a single-valued option is given once, and a
// misspelt option is answered with the nearest real one.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "run_command.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

struct UsageCase {
    std::vector<std::string> args;  // "@" stands for the scratch folder
    std::string named;              // must appear in the message
};

CommandResult run_in(const test::ScratchFolder& dir, const std::vector<std::string>& given) {
    std::vector<std::string> args;
    for (const std::string& a : given) args.push_back(!a.empty() && a[0] == '@' ? dir.path() + a.substr(1) : a);
    return run_stmap(args);
}

std::string shown(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args) s += " '" + a + "'";
    return s;
}

// Each exits 2 naming the option, and writes nothing.
void expect_usage_errors(const std::vector<UsageCase>& cases) {
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(shown(c.args));
        test::ScratchFolder dir;
        const CommandResult r = run_in(dir, c.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("usage:"), std::string::npos) << "no help: " << r.out;
        EXPECT_TRUE(dir.entries().empty()) << "nothing written";
    }
}

TEST(OptionValues, AnEmptyValueIsRefusedNamingTheOption) {
    expect_usage_errors({
        {{"render", "--size", "4x4", "--frames", "", "-o", "@/a.####.exr"}, "--frames"},
        {{"render", "--size", "4x4", "--fbx", "", "-o", "@/a.exr"}, "--fbx"},
        {{"render", "--plate", "", "-o", "@/a.exr"}, "--plate"},
        {{"render", "--size", "4x4", "-o", "", "--preview", "@/a.png"}, "-o"},
        {{"render", "--size", "4x4", "--output", "", "--preview", "@/a.png"}, "--output"},
        {{"render", "--size", "4x4", "-o", "@/a.exr", "--preview", ""}, "--preview"},
        {{"render", "--size", "4x4", "-o", "@/a.exr", "--manifest", ""}, "--manifest"},
        {{"render", "--size", "", "-o", "@/a.exr"}, "--size"},
        {{"render", "--size", "4x4", "--set", "", "-o", "@/a.exr"}, "--set"},
        {{"render", "--size", "4x4", "--frames=", "-o", "@/a.exr"}, "--frames"},
    });
}

TEST(OptionValues, AValueIsNeverReadAsAnOption) {
    expect_usage_errors({
        {{"render", "--size", "4x4", "-o", "-h"}, "-o"},
        {{"render", "--plate", "--help", "-o", "@/a.exr"}, "--plate"},
        {{"render", "--size", "4x4", "-o", "@/a.exr", "--manifest", "--quiet"}, "--manifest"},
        {{"render", "--size", "4x4", "--frames", "--help", "-o", "@/a.exr"}, "--frames"},
        {{"render", "--size", "4x4", "-o"}, "-o"},
    });
}

TEST(OptionValues, ASingleValuedOptionGivenTwiceIsRefused) {
    expect_usage_errors({
        {{"render", "--size", "4x4", "-o", "@/a.exr", "-o", "@/b.exr"}, "-o"},
        {{"render", "--size", "4x4", "--size", "8x8", "-o", "@/a.exr"}, "--size"},
        {{"render", "--size", "4x4", "-o", "@/a.exr", "--output", "@/b.exr"}, "--output"},
        {{"render", "--size", "4x4", "--frames", "1", "--frames", "2", "-o", "@/a.exr"}, "--frames"},
        {{"render", "--size", "4x4", "--mode", "distort", "--mode", "undistort", "-o", "@/a.exr"}, "--mode"},
    });
}

TEST(OptionValues, SetAndPluginPathStayRepeatable) {
    test::ScratchFolder dir;
    std::filesystem::create_directories(dir.file("empty"));
    std::filesystem::create_directories(dir.file("plugins"));
    std::filesystem::copy_file(std::string(TALVIK_PLUGIN_DIR) + "/TalvikDistort.so", dir.file("plugins/TalvikDistort.so"));
    const CommandResult r = run_in(dir, {"render", "--size", "4x4", "--set", "k1=0.1", "--set", "k2=0.2",
                                         "--plugin-path", "@/empty", "--plugin-path", "@/plugins", "--print-controls"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"k1\": 0.1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"k2\": 0.2"), std::string::npos) << r.out;
}

// --mode, --fbx and --camera set a control each; a --set of that control
// must give the same value, however it is spelt.
TEST(OptionValues, AnOptionAndASetOfItsControlMustAgree) {
    const std::string take = fbx::testing::fixture("blender_take.fbx");
    expect_usage_errors({
        {{"render", "--size", "4x4", "--mode", "distort", "--set", "Mode=Undistort", "-o", "@/a.exr"},
         "--mode distort and --set Mode=Undistort contradict each other"},
        {{"render", "--size", "4x4", "--set", "Mode=1", "--mode", "distort", "-o", "@/a.exr"}, "contradict"},
        {{"render", "--size", "4x4", "--fbx", take, "--camera", "2", "--set", "fbx_file_path=" + take + ".other.fbx",
          "-o", "@/a.exr"},
         "--set fbx_file_path=" + take + ".other.fbx contradict"},
        {{"render", "--size", "4x4", "--fbx", take, "--camera", "1", "--set", "camera_index=2", "-o", "@/a.exr"},
         "--camera 1 and --set camera_index=2 contradict"},
        {{"overscan", "--size", "4x4", "--fbx", take, "--camera", "1", "--set", "camera_index=2", "-o", "@/o.json"},
         "contradict"},
    });
    const std::string same_take = take.substr(0, take.rfind('/')) + "/./" + take.substr(take.rfind('/') + 1);
    for (const std::vector<std::string>& agreeing : std::vector<std::vector<std::string>>{
             {"--mode", "undistort", "--set", "Mode=undistort"},
             {"--mode", "undistort", "--set", "Mode=1"},
             {"--fbx", take, "--camera", "2", "--set", "camera_index=2", "--frames", "1001"},
             {"--fbx", take, "--camera", "2", "--set", "fbx_file_path=" + same_take, "--frames", "1001"}}) {
        SCOPED_TRACE(shown(agreeing));
        std::vector<std::string> args = {"render", "--size", "4x4", "--print-controls", "-q"};
        args.insert(args.end(), agreeing.begin(), agreeing.end());
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (agreeing[0] == "--mode") {
            EXPECT_NE(r.out.find("\"Mode\": \"Undistort\""), std::string::npos) << r.out;
        }
    }
}

// A plug-in folder asked for that is missing, empty or no folder is an
// error, never a reason to load the bundled plug-in instead.
TEST(OptionValues, APluginPathAskedForIsTheOnlyPlaceLookedIn) {
    const struct {
        std::vector<std::string> args;
        std::string environment;  // TALVIK_PLUGIN_PATH, "@" the scratch folder
        std::string named;
    } cases[] = {
        {{"--plugin-path", "@/missing"}, "", "--plugin-path \"@/missing\" does not exist"},
        {{"--plugin-path", "@/empty"}, "", "unknown node class TalvikDistort"},
        {{"--plugin-path", "@/file"}, "", "is not a folder"},
        {{"--strict"}, "@/missing", "TALVIK_PLUGIN_PATH folder \"@/missing\" does not exist"},
        {{}, "@/empty:", "unknown node class TalvikDistort"},
    };
    for (const auto& c : cases) {
        for (const bool version : {false, true}) {
            test::ScratchFolder dir;
            std::filesystem::create_directory(dir.file("empty"));
            test::write_bytes(dir.file("file"), "not a folder");
            auto at = [&](const std::string& a) { return !a.empty() && a[0] == '@' ? dir.path() + a.substr(1) : a; };
            std::vector<std::string> args = version ? std::vector<std::string>{"--version"}
                                                    : std::vector<std::string>{"render", "--size", "4x4", "-o",
                                                                               dir.file("m.exr")};
            for (const std::string& a : c.args) args.push_back(at(a));
            if (version && !c.args.empty() && c.args[0] == "--strict") args.pop_back();
            ProcessOptions options;
            if (!c.environment.empty()) options.environment = {"TALVIK_PLUGIN_PATH=" + at(c.environment)};
            SCOPED_TRACE(shown(args) + " TALVIK_PLUGIN_PATH=" + c.environment);
            const CommandResult r = run_stmap(args, options);
            EXPECT_EQ(r.status, 1) << r.err;
            std::string named = c.named;
            if (const size_t a = named.find('@'); a != std::string::npos) named = named.substr(0, a) + dir.path() + named.substr(a + 1);
            EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
            EXPECT_EQ(r.out.find("TalvikDistort plug-in built"), std::string::npos) << r.out;
            EXPECT_FALSE(std::filesystem::exists(dir.file("m.exr")));
        }
    }
}

// The node's reload reads only names ending in a lower-case .fbx: render,
// overscan and inspect all refuse another name alike, before reading it.
TEST(OptionValues, ATakeIsNamedInLowerCaseFbxForEveryCommand) {
    test::ScratchFolder dir;
    std::filesystem::copy_file(fbx::testing::fixture("blender_take.fbx"), dir.file("TAKE.FBX"));
    std::filesystem::copy_file(fbx::testing::fixture("blender_take.fbx"), dir.file("take.fbx.bak"));
    for (const std::string name : {"TAKE.FBX", "take.fbx.bak"}) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"render", "--size", "4x4", "--fbx", dir.file(name), "--camera", "2", "--print-controls"},
                 {"overscan", "--size", "4x4", "--fbx", dir.file(name), "--camera", "2", "-o", dir.file("o.json")},
                 {"inspect", dir.file(name)},
                 {"inspect", "--json", dir.file(name)}}) {
            SCOPED_TRACE(shown(args));
            const CommandResult r = run_stmap(args);
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_NE(r.err.find("must end in a lower-case .fbx"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_EQ(run_stmap({"inspect", fbx::testing::fixture("blender_take.fbx")}).status, 0);
}

TEST(OptionValues, AMisspeltOptionIsAnsweredWithTheNearestOne) {
    expect_usage_errors({
        {{"render", "--sise", "4x4", "-o", "@/a.exr"}, "did you mean --size?"},
        {{"render", "--size", "4x4", "--previw", "@/a.png"}, "did you mean --preview?"},
        {{"render", "--size", "4x4", "--skip-exsting", "-o", "@/a.exr"}, "did you mean --skip-existing?"},
        {{"render", "--size", "4x4", "--manifest=@/m.json", "--fram=1", "-o", "@/a.exr"}, "did you mean --frames?"},
        {{"inspect", "--jsn", "take.fbx"}, "did you mean --json?"},
        {{"--verison"}, "did you mean --version?"},
    });
    test::ScratchFolder dir;
    const CommandResult far = run_in(dir, {"render", "--size", "4x4", "--zzzzzzzz", "-o", "@/a.exr"});
    EXPECT_EQ(far.status, 2);
    EXPECT_NE(far.err.find("--zzzzzzzz"), std::string::npos) << far.err;
    EXPECT_EQ(far.err.find("did you mean"), std::string::npos) << "nothing near: " << far.err;
}

// Help asked for goes to standard output; no arguments at all is a
// mistaken call, answered on standard error.
TEST(OptionValues, HelpPrintsTheUsageAndExitsZero) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out, err;  // must appear there
    };
    for (const Case& c : std::vector<Case>{
             {{}, 2, "", "usage: talvik-stmap COMMAND"},
             {{"-h"}, 0, "nuke-script", ""},
             {{"--help"}, 0, "usage: talvik-stmap COMMAND", ""},
             {{"help"}, 0, "usage: talvik-stmap COMMAND", ""},
             {{"render", "--help"}, 0, "--manifest FILE.json", ""},
             {{"render", "--size", "4x4", "-h"}, 0, "usage: talvik-stmap render", ""},
             {{"inspect", "-h"}, 0, "usage: talvik-stmap inspect", ""}}) {
        SCOPED_TRACE(shown(c.args));
        const CommandResult r = run_stmap(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(c.out.empty(), r.out.empty()) << r.out;
    }
}

TEST(OptionValues, ThreadsOutOfRangeNamesTheRealLimit) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string range = "(1 to " + std::to_string(4 * cores) + ")";
    for (const std::string& threads : {std::string("0"), std::to_string(4 * cores + 1)}) {
        test::ScratchFolder dir;
        const CommandResult r = run_in(dir, {"render", "--size", "4x4", "--threads", threads, "-o", "@/a.exr"});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--threads " + threads + " is out of range " + range), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace talvik::test
