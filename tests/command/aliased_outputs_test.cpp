// Outputs that land on one file through symlinks, hard links or symlinked
// folders: refused before anything is written, naming both paths.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

struct AliasCase {
    const char* what;
    std::function<void(const test::ScratchFolder&)> set_up;
    std::vector<std::string> args;  // "@" stands for the scratch folder
    std::string first, second;      // both named in the message
};

// Every entry under the folder with what it holds (a link's target).
std::map<std::string, std::string> snapshot(const std::string& root) {
    std::map<std::string, std::string> state;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = e.path().string().substr(root.size());
        if (e.is_symlink()) state[name] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file()) state[name] = test::read_bytes(e.path().string());
        else state[name] = "folder";
    }
    return state;
}

TEST(AliasedOutputs, TwoOutputsOnOneFileAreRefusedNamingBoth) {
    const std::vector<AliasCase> cases = {
        {"manifest through a symlinked folder onto the map",
         [](const auto& d) {
             fs::create_directories(d.file("m/real"));
             test::write_bytes(d.file("m/real/map.exr"), "an old map");
             fs::create_directory_symlink("real", d.file("m/link"));
         },
         {"-o", "@/m/real/map.exr", "--manifest", "@/m/link/map.exr"}, "m/real/map.exr", "m/link/map.exr"},
        {"manifest a symlink to a frame's map",
         [](const auto& d) { fs::create_symlink("map.0001.exr", d.file("manifest.json")); },
         {"--frames", "1-2", "-o", "@/map.####.exr", "--manifest", "@/manifest.json"}, "map.0001.exr",
         "manifest.json"},
        {"preview and manifest one PNG through a link",
         [](const auto& d) {
             test::write_bytes(d.file("p.png"), "a png");
             fs::create_symlink("p.png", d.file("manifest.json"));
         },
         {"-o", "@/m.exr", "--preview", "@/p.png", "--manifest", "@/manifest.json"}, "p.png", "manifest.json"},
        {"a held frame: m.1002 a link to m.1001",
         [](const auto& d) {
             test::write_bytes(d.file("m.1001.exr"), "frame 1001");
             fs::create_symlink("m.1001.exr", d.file("m.1002.exr"));
         },
         {"--frames", "1001-1003", "-o", "@/m.####.exr"}, "m.1001.exr", "m.1002.exr"},
        {"a dangling held frame",
         [](const auto& d) { fs::create_symlink("m.1001.exr", d.file("m.1003.exr")); },
         {"--frames", "1001-1003", "-o", "@/m.####.exr"}, "m.1001.exr", "m.1003.exr"},
        {"a preview linked onto another frame's map",
         [](const auto& d) {
             test::write_bytes(d.file("m.0002.exr"), "frame 2");
             fs::create_symlink("m.0002.exr", d.file("p.0001.png"));
         },
         {"--frames", "1-2", "-o", "@/m.####.exr", "--preview", "@/p.####.png"}, "p.0001.png", "m.0002.exr"},
        {"two frames hard-linked to one file",
         [](const auto& d) {
             test::write_bytes(d.file("m.0001.exr"), "frame 1");
             fs::create_hard_link(d.file("m.0001.exr"), d.file("m.0002.exr"));
         },
         {"--frames", "1-2", "-o", "@/m.####.exr"}, "m.0001.exr", "m.0002.exr"},
        {"manifest through a link to the folder the run makes for the map",
         [](const auto& d) { fs::create_directory_symlink("newdir", d.file("link")); },
         {"-o", "@/newdir/a.exr", "--manifest", "@/link/a.exr"}, "newdir/a.exr", "link/a.exr"},
        {"a link into folders two levels not made yet, and back out with ..",
         [](const auto& d) { fs::create_directory_symlink("made/later", d.file("deep")); },
         {"-o", "@/made/later/x/../m.exr", "--preview", "@/deep/m.exr"}, "made/later/x/../m.exr", "deep/m.exr"},
        {"a frame folder linked onto another",
         [](const auto& d) {
             fs::create_directory(d.file("f1"));
             fs::create_directory_symlink("f1", d.file("f2"));
         },
         {"--frames", "1-2", "-o", "@/f#/m.exr"}, "f1/m.exr", "f2/m.exr"},
    };
    for (const AliasCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchFolder dir;
        c.set_up(dir);
        const auto before = snapshot(dir.path());
        std::vector<std::string> args = {"render", "--size", "8x4", "-q"};
        for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.first), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.second), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("refusing"), std::string::npos) << r.err;
        EXPECT_EQ(snapshot(dir.path()), before) << "nothing written, nothing replaced";
    }
}

// A bind mount gives one folder two paths with nothing on disk to tell:
// only the folder's identity does. Mounting needs a mount namespace of our
// own (root, or a user namespace).
TEST(AliasedOutputs, ABindMountedFolderIsOneFolder) {
    test::ScratchFolder dir;
    fs::create_directories(dir.file("a"));
    fs::create_directories(dir.file("b"));
    const std::string mount = "unshare -m sh -c 'mount --bind " + dir.file("a") + " " + dir.file("b");
    if (std::system((mount + " 2>/dev/null' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot bind-mount in a mount namespace here; the folder-link cases cover the rest";
    const int status = std::system((mount + " && exec " TALVIK_STMAP " render --size 8x4 -q -o " + dir.file("a/new/m.exr") +
                                    " --manifest " + dir.file("b/new/m.exr") + "' 2>" + dir.file("err"))
                                       .c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string err = test::read_bytes(dir.file("err"));
    EXPECT_NE(err.find("are one file"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir.file("a/new"))) << "nothing written";
}

TEST(AliasedOutputs, DistinctFilesThroughLinksStillRender) {
    test::ScratchFolder dir;
    fs::create_directory(dir.file("store"));
    fs::create_directory_symlink("store", dir.file("link"));
    const CommandResult r = run_stmap({"render", "--size", "8x4", "-q", "--frames", "1-2", "-o",
                                       dir.file("link/m.####.exr"), "--preview", dir.file("store/m.####.png"),
                                       "--manifest", dir.file("link/manifest.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* f : {"store/m.0001.exr", "store/m.0002.exr", "store/m.0001.png", "store/manifest.json"})
        EXPECT_TRUE(fs::is_regular_file(dir.file(f))) << f;
}

}  // namespace
}  // namespace talvik::test
