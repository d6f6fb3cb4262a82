// Outputs never destroy what is not a map of ours: device nodes, FIFOs,
// sockets and folders are refused, a symlink's target is replaced rather
// than the link, and an output that is an input (or the other output) is
// refused before anything is rendered.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/exr_map.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

fs::file_type type_of(const std::string& path) { return fs::symlink_status(path).type(); }

TEST(OutputSafety, SpecialFilesAreRefusedAndLeftAsTheyAre) {
    test::ScratchFolder dir;
    ASSERT_EQ(mkfifo(dir.file("fifo.exr").c_str(), 0644), 0);
    fs::create_directory(dir.file("folder.exr"));
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sock_path = dir.file("sock.exr");
    ASSERT_LT(sock_path.size(), sizeof address.sun_path);
    sock_path.copy(address.sun_path, sock_path.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::pair<std::string, fs::file_type>> specials = {
        {"fifo.exr", fs::file_type::fifo}, {"folder.exr", fs::file_type::directory}, {"sock.exr", fs::file_type::socket}};
    // A device node needs root to make; CI runs as root.
    if (geteuid() == 0 && mknod(dir.file("null.exr").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        specials.push_back({"null.exr", fs::file_type::character});
    else
        std::cerr << "not root: the device-node case is skipped\n";
    // A symlink to a FIFO is the FIFO.
    fs::create_symlink("fifo.exr", dir.file("to_fifo.exr"));
    for (const auto& [name, type] : specials) {
        for (const std::string option : {"-o", "--preview"}) {
            SCOPED_TRACE(option + " " + name);
            const CommandResult r = run_stmap({"render", "--size", "8x8", option, dir.file(name)});
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
            const char* reason = type == fs::file_type::directory ? "Is a directory" : "not a regular file";
            EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
            EXPECT_EQ(type_of(dir.file(name)), type);
        }
    }
    const CommandResult r = run_stmap({"render", "--size", "8x8", "-o", dir.file("to_fifo.exr")});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(type_of(dir.file("fifo.exr")), fs::file_type::fifo);
    EXPECT_EQ(type_of(dir.file("to_fifo.exr")), fs::file_type::symlink);
    close(sock);
    for (const std::string& name : dir.entries()) EXPECT_EQ(name.find(".talvik-tmp-"), std::string::npos) << name;
}

TEST(OutputSafety, SymlinkTargetIsReplacedAndTheLinkKept) {
    test::ScratchFolder dir;
    fs::create_directory(dir.file("store"));
    test::write_bytes(dir.file("store/old.exr"), "an old map");
    fs::create_symlink("store/old.exr", dir.file("link.exr"));
    fs::create_symlink("store/new.exr", dir.file("dangling.exr"));
    for (const std::string link : {"link.exr", "dangling.exr"}) {
        const CommandResult r = run_stmap({"render", "--size", "8x4", "-o", dir.file(link)});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(type_of(dir.file(link)), fs::file_type::symlink) << link;
    }
    EXPECT_EQ(read_exr_map(dir.file("store/old.exr")).width, 8);
    EXPECT_EQ(read_exr_map(dir.file("store/new.exr")).width, 8);
}

TEST(OutputSafety, InputsAndTheOtherOutputAreNeverOverwritten) {
    test::ScratchFolder dir;
    fs::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/plate.exr", dir.file("plate.exr"));
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), dir.file("take.fbx"));
    fs::create_symlink("plate.exr", dir.file("plate_link.exr"));
    const std::string plate_bytes = test::read_bytes(dir.file("plate.exr"));
    const std::string take_bytes = test::read_bytes(dir.file("take.fbx"));
    const std::string plate = dir.file("plate.exr");
    const std::string take = dir.file("take.fbx");
    const std::vector<std::vector<std::string>> cases = {
        {"render", "--plate", plate, "-o", plate},
        {"render", "--plate", plate, "-o", dir.path() + "/./plate.exr"},
        {"render", "--plate", plate, "-o", dir.file("plate_link.exr")},
        {"render", "--plate", plate, "--preview", plate},
        {"render", "--size", "8x8", "--fbx", take, "--camera", "2", "--frames", "1", "-o", take},
        {"render", "--size", "8x8", "--frames", "1-3", "-o", dir.file("m.####.exr"), "--preview", dir.file("m.%04d.exr")},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const CommandResult r = run_stmap(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("refus"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::read_bytes(dir.file("plate.exr")), plate_bytes);
    EXPECT_EQ(test::read_bytes(dir.file("take.fbx")), take_bytes);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"plate.exr", "plate_link.exr", "take.fbx"}));
}

// Every frame of a plate sequence is an input, and the manifest is an
// output like the maps.
TEST(OutputSafety, PlateSequenceFramesAndTheManifestAreCheckedToo) {
    test::ScratchFolder dir;
    for (const char* frame : {"p.0001.exr", "p.0002.exr"})
        fs::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/plate.exr", dir.file(frame));
    fs::copy_file(fbx::testing::fixture("blender_take.fbx"), dir.file("take.fbx"));
    const std::string plate_bytes = test::read_bytes(dir.file("p.0002.exr"));
    const std::string take_bytes = test::read_bytes(dir.file("take.fbx"));
    const std::string plates = dir.file("p.####.exr");
    const std::vector<std::vector<std::string>> cases = {
        {"render", "--plate", plates, "--set", "camera_index=2", "-o", dir.file("p.%04d.exr")},
        {"render", "--plate", plates, "--preview", dir.file("p.####.exr")},
        {"render", "--plate", plates, "-o", dir.file("m.####.exr"), "--manifest", dir.file("p.0002.exr")},
        {"render", "--size", "8x8", "--fbx", dir.file("take.fbx"), "--camera", "2", "--frames", "1", "-o",
         dir.file("m.exr"), "--manifest", dir.file("take.fbx")},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const CommandResult r = run_stmap(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("refus"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::read_bytes(dir.file("p.0002.exr")), plate_bytes);
    EXPECT_EQ(test::read_bytes(dir.file("take.fbx")), take_bytes);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"p.0001.exr", "p.0002.exr", "take.fbx"}));
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// /dev/stdout and its kin name an open descriptor: renaming a finished
// file onto where it leads would replace the file standard output was
// redirected to (losing what was written there before), and a pipe has no
// name to rename onto. They are refused before anything is rendered.
TEST(OutputSafety, OutputsNamingADescriptorAreRefusedBeforeRendering) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> options = {
        {"-o", {}}, {"--preview", {}}, {"--manifest", {"--frames", "1-3", "-o", "@/m.####.exr"}},
        {"--overscan-report", {"--overscan", "auto", "--frames", "1-3", "-o", "@/m.####.exr"}}};
    for (const auto& [option, with] : options) {
        for (const std::string target : {"/dev/stdout", "/dev/stderr", "/dev/fd/1", "/proc/self/fd/1", "/proc/self/fd/2"}) {
            for (const bool pipe : {false, true}) {
                SCOPED_TRACE(option + " " + target + (pipe ? " into a pipe" : " into a file"));
                test::ScratchFolder dir;
                std::vector<std::string> args = {"render", "--size", "320x180", option, target};
                for (const std::string& a : with) args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
                ProcessOptions process;
                process.stdout_pipe = pipe;
                process.stdout_path = dir.file("stdout.txt");
                const std::string stdout_path = process.stdout_path;
                StmapProcess render(args, process);
                const std::optional<int> status = render.wait(60);
                ASSERT_TRUE(status);
                EXPECT_EQ(*status, 2) << render.err();
                EXPECT_NE(render.err().find("names an open file descriptor"), std::string::npos) << render.err();
                EXPECT_EQ(render.err().find("frame 1 done"), std::string::npos) << "refused before rendering";
                std::vector<std::string> left = dir.entries();
                left.erase(std::remove(left.begin(), left.end(), "stdout.txt"), left.end());
                EXPECT_EQ(left, std::vector<std::string>{});
                if (!pipe) {
                    EXPECT_EQ(test::read_bytes(stdout_path), "") << "standard output's file untouched";
                }
            }
        }
    }
}

TEST(OutputSafety, DashIsNoOutput) {
    test::ScratchFolder dir;
    const std::vector<std::vector<std::string>> cases = {
        {"render", "--size", "8x8", "-o", "-"},
        {"render", "--size", "8x8", "--preview", "-"},
        {"render", "--size", "8x8", "-o", "@/m.exr", "--manifest", "-"},
        {"render", "--size", "8x8", "-o", "@/m.exr", "--overscan", "1", "--overscan-report", "-"},
        {"overscan", "--size", "8x8", "-o", "-"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args;
        for (const std::string& a : c) args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
        SCOPED_TRACE(args[args.size() - 2]);
        ProcessOptions options;
        options.working_folder = dir.path();
        const CommandResult r = run_stmap(args, options);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("\"-\" is not standard output here"), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{});
    }
}

// Hard links to the program, the host library and the plug-in the run
// loads: the same files under other names (and a failing check replaces
// only the link, never the build's own file).
TEST(OutputSafety, TheProgramItsLibrariesAndEveryPlateFrameAreInputs) {
    test::ScratchFolder dir;
    fs::create_directory(dir.file("plugins"));
    fs::copy_file(std::string(TALVIK_PLUGIN_DIR) + "/TalvikDistort.so", dir.file("plugins/TalvikDistort.so"));
    std::vector<std::pair<std::string, std::string>> links = {{TALVIK_STMAP, "program.exr"},
                                                              {TALVIK_DDIMAGE, "ddimage.exr"}};
    for (const auto& [original, link] : links) {
        std::error_code ec;
        fs::create_hard_link(original, dir.file(link), ec);
        if (ec) GTEST_SKIP() << "the build and the scratch folder are on different file systems: " << ec.message();
    }
    for (const char* frame : {"p.0001.exr", "p.0002.exr", "p.0003.exr"})
        fs::copy_file(std::string(TALVIK_SAMPLE_DIR) + "/plate.exr", dir.file(frame));
    const std::string plugin_path = dir.file("plugins");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-o", dir.file("plugins/TalvikDistort.so")}, "library this run loaded"},
        {{"--preview", dir.file("ddimage.exr")}, "library this run loaded"},
        {{"-o", dir.file("m.exr"), "--manifest", dir.file("program.exr")}, "program itself"},
        // Frame 3 of the plate is not read for frame 1, but it is the plate's.
        {{"--plate", dir.file("p.####.exr"), "--frames", "1", "--set", "camera_index=2", "-o", dir.file("p.0003.exr")},
         "plate frame"},
    };
    const std::string program = test::read_bytes(TALVIK_STMAP);
    for (const auto& [extra, named] : cases) {
        SCOPED_TRACE(extra.back());
        std::vector<std::string> args = {"render", "--plugin-path", plugin_path};
        if (extra[0] != "--plate") args.insert(args.end(), {"--size", "8x8"});
        args.insert(args.end(), extra.begin(), extra.end());
        const std::vector<std::string> before = dir.entries();
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("refusing to overwrite"), std::string::npos) << r.err;
        EXPECT_EQ(dir.entries(), before);
    }
    EXPECT_EQ(fs::hard_link_count(dir.file("program.exr")), fs::hard_link_count(TALVIK_STMAP));
    EXPECT_EQ(test::read_bytes(dir.file("program.exr")), program);
}

}  // namespace
}  // namespace talvik::test
