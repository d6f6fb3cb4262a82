// Stopping a render: SIGINT, SIGTERM and SIGHUP stop it promptly, remove the
// temporary in flight and keep the frames already written; a closed pipe
// on standard output stops it too; temporaries a killed render left behind
// are removed by the next render into the folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/exr_map.h"
#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

// Generous: only a hang should ever come near it.
constexpr double kPatience = 60.0;

bool is_temporary(const std::string& name) { return name.find(".talvik-tmp-") != std::string::npos; }

std::vector<std::string> render_args(const test::ScratchFolder& dir, bool with_take) {
    // Far more frames than a stopped render gets through.
    std::vector<std::string> args = {"render", "--size", "1920x1080", "--frames", "1-400", "-q",
                                     "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png")};
    if (with_take) args.insert(args.end(), {"--fbx", fbx::testing::fixture("blender_take.fbx"), "--camera", "2"});
    return args;
}

TEST(StopSignal, EndsPromptlyKeepingWrittenFramesAndNoTemporary) {
    for (const bool with_take : {false, true}) {
        for (const auto& [signal, code] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}}) {
            SCOPED_TRACE(std::string(with_take ? "with --fbx, " : "") + "signal " + std::to_string(signal));
            test::ScratchFolder dir;
            StmapProcess render(render_args(dir, with_take));
            ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir.file("p.0002.png")); }, kPatience))
                << render.err();
            render.signal(signal);
            const std::optional<int> status = render.wait(kPatience);
            ASSERT_TRUE(status) << "still rendering after the signal";
            EXPECT_EQ(*status, code) << render.err();
            EXPECT_FALSE(render.killed()) << "the signal's default action ended it, not the command";
            EXPECT_NE(render.err().find("stopped"), std::string::npos) << render.err();
            const std::vector<std::string> entries = dir.entries();
            EXPECT_LT(entries.size(), 800u);
            for (const std::string& name : entries) {
                EXPECT_FALSE(is_temporary(name)) << name;
                if (name.front() == 'm') {
                    EXPECT_EQ(read_exr_map(dir.file(name)).width, 1920) << name;
                }
            }
            // Every frame whose preview was written has its map too.
            EXPECT_TRUE(std::filesystem::exists(dir.file("m.0002.exr")));
        }
    }
}

TEST(StopSignal, ClosedStandardOutputStopsPrinting) {
    for (const bool with_take : {false, true}) {
        SCOPED_TRACE(with_take ? "with --fbx" : "without a take");
        std::vector<std::string> args = {"render", "--size", "8x8", "--frames", "1-1000000", "--print-controls"};
        if (with_take) args.insert(args.end(), {"--fbx", fbx::testing::fixture("blender_take.fbx"), "--camera", "2"});
        ProcessOptions options;
        options.stdout_pipe = true;
        StmapProcess render(args, options);
        char first[64];
        ASSERT_GT(read(render.stdout_fd(), first, sizeof first), 0) << render.err();
        render.close_stdout();
        const std::optional<int> status = render.wait(kPatience);
        ASSERT_TRUE(status) << "still printing into a closed pipe";
        EXPECT_EQ(*status, 128 + SIGPIPE) << render.err();
    }
}

TEST(StopSignal, NextRenderRemovesTemporariesOfKilledRenders) {
    test::ScratchFolder dir;
    std::string left;
    {
        StmapProcess render({"render", "--size", "4320x2160", "--frames", "1-50", "-q", "-o", dir.file("m.####.exr")});
        ASSERT_TRUE(eventually(
            [&] {
                for (const std::string& name : dir.entries())
                    if (is_temporary(name)) left = name;
                return !left.empty();
            },
            kPatience))
            << render.err();
        render.signal(SIGKILL);
        ASSERT_TRUE(render.wait(kPatience));
    }
    ASSERT_TRUE(std::filesystem::exists(dir.file(left))) << "SIGKILL leaves the temporary";
    // Another output's abandoned temporary goes too; one whose writer holds
    // its lock stays, whatever process id its name gives.
    const std::string tail = left.substr(left.find(".talvik-tmp-"));
    const std::string other = ".other.exr" + tail;
    const std::string living = ".m.0001.exr" + tail + "9";
    test::write_bytes(dir.file(other), "x");
    test::write_bytes(dir.file(living), "x");
    const int lock = open(dir.file(living).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);

    const CommandResult again_status = [&] {
        StmapProcess again({"render", "--size", "8x8", "--frames", "1", "-q", "-o", dir.file("m.####.exr")});
        const std::optional<int> status = again.wait(kPatience);
        return CommandResult{status.value_or(-1), "", again.err()};
    }();
    EXPECT_EQ(again_status.status, 0) << again_status.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file(left)));
    EXPECT_FALSE(std::filesystem::exists(dir.file(other)));
    EXPECT_TRUE(std::filesystem::exists(dir.file(living)));
    close(lock);
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// A call blocked when the stop arrives is interrupted, not restarted: here a
// write into a pipe nobody reads, which would otherwise wait for good.
TEST(StopSignal, ABlockedWriteDoesNotOutliveTheStop) {
    for (const auto& [signal, code] : {std::pair{SIGTERM, 143}, {SIGINT, 130}}) {
        SCOPED_TRACE(signal);
        ProcessOptions options;
        options.stdout_pipe = true;  // and never read past the first bytes
        StmapProcess render({"render", "--size", "8x8", "--frames", "1-1000000", "--print-controls"}, options);
        char first[64];
        ASSERT_GT(read(render.stdout_fd(), first, sizeof first), 0) << render.err();
        // The pipe fills and the command blocks writing into it.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        render.signal(signal);
        const std::optional<int> status = render.wait(kPatience);
        ASSERT_TRUE(status) << "still blocked after the signal";
        EXPECT_EQ(*status, code) << render.err();
        EXPECT_FALSE(render.killed());
    }
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// A stop during the reload (Python starting, importing, reading the take)
// ends it with the one line every stop prints: no traceback of the script,
// nothing Python reports from its import machinery.
TEST(StopSignal, DuringTheReloadOneLineSaysSo) {
    int stopped = 0;
    for (int ms = 5; ms < 80; ++ms) {
        SCOPED_TRACE(std::to_string(ms) + " ms after the start");
        StmapProcess render({"render", "--size", "8x8", "--fbx", fbx::testing::fixture("blender_take.fbx"), "--camera",
                             "2", "--frames", "1001", "--print-controls", "--verbose"});
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        render.signal(SIGINT);
        const std::optional<int> status = render.wait(kPatience);
        ASSERT_TRUE(status);
        const std::string err = render.err();
        EXPECT_EQ(err.find("Traceback"), std::string::npos) << err;
        EXPECT_EQ(err.find("Exception ignored"), std::string::npos) << err;
        // Done before the signal came, or not yet set to take it.
        if (*status == 0 || render.killed()) continue;
        ++stopped;
        EXPECT_EQ(*status, 130) << err;
        EXPECT_EQ(occurrences(err, "\n"), occurrences(err, "reload: ") + 1) << err;
        EXPECT_EQ(occurrences(err, "talvik-stmap: stopped by SIGINT"), 1u) << err;
    }
    EXPECT_GT(stopped, 0);
}

}  // namespace
}  // namespace talvik::test
