// The command line: an empty value is not an absent option, a value is
// never read as an option, a single-valued option is given once, and a
// misspelt option is answered with the nearest real one.
#include <gtest/gtest.h>

#include <thread>

#include "run_command.h"
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
    const CommandResult r = run_in(dir, {"render", "--size", "4x4", "--set", "k1=0.1", "--set", "k2=0.2",
                                         "--plugin-path", "@/none", "--plugin-path", "@/none2", "--print-controls"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"k1\": 0.1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"k2\": 0.2"), std::string::npos) << r.out;
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

TEST(OptionValues, HelpPrintsTheUsageAndExitsZero) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"-h"}, {"--help"}, {"help"}, {"render", "--help"}, {"render", "--size", "4x4", "-h"},
             {"inspect", "-h"}}) {
        SCOPED_TRACE(shown(args));
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("usage:"), std::string::npos);
        EXPECT_NE(r.out.find("--manifest FILE.json"), std::string::npos);
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
