// The command line at the parser: --direction and --mode, the help each
// command prints, and the documents made from the option table.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/options/command_options.h"
#include "cli/options/help_text.h"
#include "cli/options/option_docs.h"
#include "cli/options/option_table.h"
#include "shot/usage_error.h"

namespace talvik::cli {
namespace {

// remove takes plate positions to undistorted ones. A map removes when
// made by Mode Distort (0); a point's lens removes under Mode Undistort (1).
TEST(CommandLine, DirectionAndModeAgreeOrAreRefused) {
    struct Case {
        std::vector<std::string> args;
        int mode;             // -1: refused
        std::string message;  // in the refusal
    };
    const std::vector<std::string> track = {"--fbx", "t.fbx", "--size", "8x8", "t.csv", "-o", "o.csv"};
    auto points = [&](std::vector<std::string> a) {
        a.insert(a.begin(), "points");
        a.insert(a.end(), track.begin(), track.end());
        return a;
    };
    const std::vector<Case> cases = {
        {{"render", "--size", "8x8", "--direction", "remove", "-o", "m.exr"}, 0, ""},
        {{"render", "--size", "8x8", "--direction", "add", "-o", "m.exr"}, 1, ""},
        {{"verify", "--size", "8x8", "--direction", "add", "-o", "m.exr"}, 1, ""},
        {{"plan", "--size", "8x8", "--direction", "remove", "-o", "m.####.exr", "--chunk", "2"}, 0, ""},
        {{"submit", "slurm", "--size", "8x8", "--direction", "add", "-o", "m.####.exr", "--chunk", "2"}, 1, ""},
        {points({"--direction", "remove"}), 1, ""},
        {points({"--direction", "add"}), 0, ""},
        {{"render", "--size", "8x8", "--mode", "distort", "--direction", "remove", "-o", "m.exr"}, 0, ""},
        {{"render", "--size", "8x8", "--direction", "add", "--mode", "undistort", "-o", "m.exr"}, 1, ""},
        {points({"--mode", "undistort", "--direction", "remove"}), 1, ""},
        {{"render", "--size", "8x8", "--mode", "distort", "--direction", "add", "-o", "m.exr"}, -1, "disagree"},
        {points({"--mode", "distort", "--direction", "remove"}), -1, "disagree"},
        {{"render", "--size", "8x8", "--direction", "distort", "-o", "m.exr"}, -1, "--direction takes remove or add"},
        {{"render", "--size", "8x8", "--mode", "remove", "-o", "m.exr"}, -1, "--mode takes distort or undistort"},
        {{"render", "--size", "8x8", "--direction", "add", "--direction", "add", "-o", "m.exr"}, -1, "given twice"},
        {{"camera", "--size", "8x8", "--direction", "add", "-o", "c.json"}, -1, "unknown option \"--direction\""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += " " + a;
        SCOPED_TRACE(shown);
        try {
            const CommandLine cl = parse_command_line(c.args);
            ASSERT_TRUE(cl.render.mode);
            EXPECT_EQ(*cl.render.mode, c.mode);
        } catch (const shot::UsageError& e) {
            EXPECT_EQ(c.mode, -1) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// A farm job's maps are -o's or named by their direction, never both; its
// job name is one word a queue shows whole.
TEST(CommandLine, FarmJobOptionsThatCannotHoldAreRefused) {
    const std::vector<std::string> shot = {"--size", "8x8", "--chunk", "2"};
    const std::string long_name(65, 'n');
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"plan", "-o", "m.####.exr", "--remove-map", "r.####.exr"}, "-o and --remove-map both name the maps"},
        {{"submit", "slurm", "-o", "m.####.exr", "--remove-map", "r.####.exr", "--add-map", "a.####.exr"},
         "-o and --remove-map and --add-map both"},
        {{"verify", "-o", "m.####.exr", "--add-map", "a.####.exr"}, "-o and --add-map both"},
        {{"plan", "--direction", "add", "--add-map", "a.####.exr"}, "leave --direction and --mode out"},
        {{"plan", "--remove-map", "r.####.exr", "--add-map", "a.####.exr", "--preview", "p.####.png"}, "--preview"},
        {{"plan", "--remove-map", "r.####.exr", "--add-map", "a.####.exr", "--manifest", "s.json"}, "--manifest"},
        {{"plan", "-o", "m.####.exr", "--job-name", "sh 010"}, "one word"},
        {{"plan", "-o", "m.####.exr", "--job-name", "sh010/rm"}, "one word"},
        {{"plan", "-o", "m.####.exr", "--job-name", "sh\n010"}, "one word"},
        {{"plan", "-o", "m.####.exr", "--job-name", long_name}, "longer than 64"},
        {{"submit", "slurm", "-o", "m.####.exr", "--render-sbatch-arg=--array=0-3%1"}, "makes its own arrays"},
        {{"submit", "slurm", "-o", "m.####.exr", "--sbatch-arg=--arr=0-3"}, "makes its own arrays"},
        {{"submit", "slurm", "-o", "m.####.exr", "--verify-sbatch-arg=-a0-3"}, "makes its own arrays"},
        {{"submit", "slurm", "-o", "m.####.exr", "--overscan-sbatch-arg", "--array"}, "makes its own arrays"},
    };
    for (const auto& [args, message] : cases) {
        std::vector<std::string> line = args;
        line.insert(line.end(), shot.begin(), shot.end() - (args.front() == "verify" ? 2 : 0));
        SCOPED_TRACE(args.front() + " " + args.back());
        try {
            parse_command_line(line);
            ADD_FAILURE() << "taken";
        } catch (const shot::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    // One map alone is a job of that map; 64 characters are a name.
    const CommandLine one = parse_command_line({"plan", "--add-map", "a.####.exr", "--job-name", long_name.substr(1),
                                                "--size", "8x8", "--chunk", "2"});
    EXPECT_EQ(one.farm.add_map, "a.####.exr");
    EXPECT_EQ(one.farm.job_name, long_name.substr(1));
    // Each step's own arguments, and what only looks like --array.
    const CommandLine args = parse_command_line({"submit", "slurm", "-o", "m.####.exr", "--chunk", "2",
                                                 "--render-sbatch-arg=--mem=8G", "--overscan-sbatch-arg=-A",
                                                 "--overscan-sbatch-arg=arrays", "--sbatch-arg=--account=a"});
    EXPECT_EQ(args.farm.render_sbatch_args, std::vector<std::string>{"--mem=8G"});
    EXPECT_EQ(args.farm.overscan_sbatch_args, (std::vector<std::string>{"-A", "arrays"}));
    EXPECT_EQ(args.farm.sbatch_args, std::vector<std::string>{"--account=a"});
}

// Each command's help lists its own options, and only those.
TEST(CommandLine, HelpListsTheCommandsOwnOptions) {
    struct Case {
        std::string command;
        std::vector<std::string> listed, absent;
    };
    const std::vector<Case> cases = {
        {"render", {"--plate FILE.exr", "--direction remove|add", "-o, --output OUT", "--skip-existing", "--threads N"},
         {"--sbatch-arg", "--chunk", "--origin", "--film-back", "--remove-map", "--version"}},
        {"submit", {"slurm", "--sbatch-arg ARG", "--wait", "--chunk N", "--manifest FILE.json"}, {"--origin", "--haperture"}},
        {"points", {"TRACK.csv", "--origin", "--direction", "--strict"}, {"--threads", "--set", "--frames", "--chunk"}},
        {"inspect", {"TAKE.fbx", "--json", "-h, --help"}, {"--plate", "--plugin-path", "--direction"}},
        {"nuke-script", {"--remove-map PATTERN", "--add-map PATTERN", "--haperture MM"}, {"--direction remove|add", "--alpha"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const CommandLine cl = parse_command_line({c.command, "--help"});
        ASSERT_EQ(cl.command, Command::Help);
        ASSERT_EQ(cl.help_for, find_command(c.command)->command);
        const std::string help = command_help(cl.help_for);
        EXPECT_EQ(help.rfind("usage: talvik-stmap " + c.command + " ", 0), 0u) << help;
        for (const std::string& option : c.listed) EXPECT_NE(help.find(option), std::string::npos) << option;
        for (const std::string& option : c.absent) EXPECT_EQ(help.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(parse_command_line({"--help"}).help_for, Command::Help);
}

// Help, the reference and the man page say what every option is.
TEST(CommandLine, EveryOptionHasHelpAndItsValueAName) {
    for (const OptionEntry& o : option_table()) {
        SCOPED_TRACE(o.names);
        EXPECT_GT(std::string(o.help).size(), 10u);
        const bool takes_value = o.takes == Takes::Value || o.takes == Takes::Values;
        EXPECT_EQ(takes_value, *o.value_name != '\0');
        EXPECT_NE(o.commands, 0u);
    }
    for (const CommandEntry& c : command_table()) EXPECT_EQ(*c.operand == '\0', *c.operand_help == '\0') << c.name;
}

TEST(CommandLine, TheReferenceIsWhatTheTableMakes) {
    std::ifstream in(TALVIK_SOURCE_DIR "/docs/reference.md", std::ios::binary);
    std::stringstream stored;
    stored << in.rdbuf();
    EXPECT_TRUE(stored.str() == reference_markdown())
        << "docs/reference.md differs from the option table; regenerate it from the build folder with\n"
           "  cli/tools/talvik-option-docs --reference ../docs/reference.md";
}

}  // namespace
}  // namespace talvik::cli
