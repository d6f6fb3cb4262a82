// Frames too large for the memory the process may use, threads that cannot
// be started and inputs that never end are refused with a reason, never a
// bare std::bad_alloc, a crash or a hang.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "run_command.h"
#include "stmap_process.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

constexpr double kPatience = 60.0;
constexpr rlim_t kGiB = rlim_t{1} << 30;

TEST(Resources, FrameLargerThanTheAddressSpaceLimitIsRefusedWithBothFigures) {
    if (kSanitized) GTEST_SKIP() << "sanitizers need more address space than any limit set here";
    test::ScratchFolder dir;
    ProcessOptions options;
    options.limits = {{RLIMIT_AS, 2 * kGiB}};
    // PIZ: OpenEXR's writer takes the whole map.
    StmapProcess render({"render", "--size", "20000x20000", "--compression", "piz", "-o", dir.file("m.exr")}, options);
    const std::optional<int> status = render.wait(kPatience);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 1) << render.err();
    EXPECT_NE(render.err().find("20000 x 20000"), std::string::npos) << render.err();
    EXPECT_NE(render.err().find("physical memory"), std::string::npos) << render.err();
    EXPECT_NE(render.err().find("address-space limit 2.0 GiB"), std::string::npos) << render.err();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

// ZIP maps are written a few bands per thread at a time: a frame far larger
// than the limit renders under it; PIZ gathers the frame for OpenEXR and is
// refused, before it could run short halfway through.
TEST(Resources, TheLimitIsMeasuredAgainstWhatTheWriterHolds) {
    if (kSanitized) GTEST_SKIP() << "sanitizers need more address space than any limit set here";
    test::ScratchFolder dir;
    ProcessOptions options;
    options.limits = {{RLIMIT_AS, 400000 * rlim_t{1024}}};
    for (const char* compression : {"zip", "piz"}) {
        SCOPED_TRACE(compression);
        StmapProcess render({"render", "--size", "8192x4320", "--threads", "2", "--compression", compression, "-q",
                             "-o", dir.file(std::string(compression) + ".exr")},
                            options);
        const std::optional<int> status = render.wait(kPatience);
        ASSERT_TRUE(status);
        if (std::string(compression) == "zip") {
            EXPECT_EQ(*status, 0) << render.err();
            EXPECT_EQ(Imf::Header(Imf::InputFile(dir.file("zip.exr").c_str()).header()).dataWindow().max.x, 8191);
        } else {
            EXPECT_EQ(*status, 1) << render.err();
            EXPECT_NE(render.err().find("8192 x 4320 frame needs about 6"), std::string::npos) << render.err();
            EXPECT_FALSE(std::filesystem::exists(dir.file("piz.exr")));
        }
    }
}

TEST(Resources, HugePlateIsRefusedBeforeAllocating) {
    test::ScratchFolder dir;
    // A header-only plate: its data window is the map's box, gathered whole
    // for PIZ (60000 x 60000 x 16 bytes: 54 GiB).
    const Imath::Box2i window({0, 0}, {59999, 59999});
    Imf::Header header(window, window);
    header.channels().insert("R", Imf::Channel(Imf::HALF));
    { Imf::OutputFile(dir.file("plate.exr").c_str(), header); }
    const CommandResult r =
        run_stmap({"render", "--plate", dir.file("plate.exr"), "--compression", "piz", "-o", dir.file("m.exr")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("60000 x 60000 frame needs about"), std::string::npos) << r.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"plate.exr"});
}

TEST(Resources, ThreadsThatCannotStartAreReportedWithoutHanging) {
    if (kSanitized) GTEST_SKIP() << "sanitizers need more address space than any limit set here";
    test::ScratchFolder dir;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const std::string threads = std::to_string(std::min(8, 4 * cores));
    ProcessOptions options;
    // Every thread reserves a stack of RLIMIT_STACK: a few exhaust 3 GiB.
    options.limits = {{RLIMIT_STACK, kGiB}, {RLIMIT_AS, 3 * kGiB}};
    StmapProcess render({"render", "--size", "8x8", "--threads", threads, "-o", dir.file("m.exr")}, options);
    const std::optional<int> status = render.wait(kPatience);
    ASSERT_TRUE(status) << "hung starting threads";
    EXPECT_EQ(*status, 1) << render.err();
    EXPECT_FALSE(render.killed());
    EXPECT_NE(render.err().find("cannot start "), std::string::npos) << render.err();
    EXPECT_NE(render.err().find(" threads: Resource temporarily unavailable"), std::string::npos) << render.err();
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

TEST(Resources, ThreadCountAboveFourPerCoreIsRefused) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const CommandResult r =
        run_stmap({"render", "--size", "8x8", "--threads", std::to_string(4 * cores + 1), "--print-controls"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--threads " + std::to_string(4 * cores + 1)), std::string::npos) << r.err;
}

TEST(Resources, InputsThatAreNotRegularFilesAreRefusedWithoutBlocking) {
    test::ScratchFolder dir;
    ASSERT_EQ(mkfifo(dir.file("take.fbx").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.file("plate.exr").c_str(), 0644), 0);
    // Takes are named *.fbx, whatever they are.
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.fbx"));
    std::filesystem::create_directory(dir.file("folder.fbx"));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"render", "--size", "8x8", "--fbx", dir.file("take.fbx"), "--print-controls"}, "take.fbx"},
        {{"render", "--plate", dir.file("plate.exr"), "--print-controls"}, "plate.exr"},
        {{"inspect", dir.file("take.fbx")}, "take.fbx"},
        {{"inspect", dir.file("zero.fbx")}, "zero.fbx"},
        {{"inspect", dir.file("folder.fbx")}, dir.file("folder.fbx") + ": is a folder"},
        {{"render", "--plate", dir.path(), "--print-controls"}, "is a folder"},
    };
    for (const auto& [args, named] : cases) {
        SCOPED_TRACE(args[args.size() - 2] + " " + args.back());
        StmapProcess command(args);
        const std::optional<int> status = command.wait(kPatience);
        ASSERT_TRUE(status) << "blocked reading " << named;
        EXPECT_NE(*status, 0);
        EXPECT_NE(command.err().find(named), std::string::npos) << command.err();
    }
}

}  // namespace
}  // namespace talvik::test
