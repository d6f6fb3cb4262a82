// Temporaries: one another render is still writing is never removed, even
// when its process id means nothing here (another PID namespace, another
// machine with the same name); every abandoned one of ours in an output
// folder is, whatever output it was for and whatever this run writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "io/temporary_name.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace fs = std::filesystem;

// A process id no process has here: a child that has been reaped.
pid_t dead_pid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

std::string temporary(const std::string& final_name, pid_t pid) {
    return "." + final_name + ".talvik-tmp-" + io::this_host_tag() + "-" + std::to_string(pid) + "-0";
}

TEST(Temporaries, ALiveWriterInAnotherNamespaceKeepsItsTemporary) {
    test::ScratchFolder dir;
    // Written by a render whose pid, seen from here, is no process at all.
    const std::string live = dir.file(temporary("m.0002.exr", dead_pid()));
    const int writer = io::create_locked_temporary(live);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "half a map", 10), 10);
    const CommandResult r = run_stmap({"render", "--size", "8x4", "-q", "-o", dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(live)) << "the other render's temporary stays";
    EXPECT_EQ(test::read_bytes(live), "half a map");
    close(writer);
}

struct CleanupCase {
    const char* what;
    std::vector<std::string> args;  // "@" stands for the scratch folder
    std::vector<std::string> existing;  // files there before, kept
    std::vector<std::string> abandoned;  // temporaries killed renders left, removed
    bool rendered_before = false;  // the run's own maps are in place and current
};

TEST(Temporaries, EveryAbandonedTemporaryInAnOutputFolderIsRemoved) {
    const pid_t gone = dead_pid();
    const std::vector<CleanupCase> cases = {
        {"another output pattern's",
         {"--frames", "1", "-o", "@/m.####.exr"},
         {},
         {temporary("other.1003.exr", gone), temporary("m.0001.exr", gone)}},
        {"every frame skipped",
         {"--frames", "1", "--skip-existing", "-o", "@/m.####.exr"},
         {},
         {temporary("m.0001.exr", gone), temporary("n.0004.exr", gone)},
         true},
        {"the preview's and the manifest's folders",
         {"--frames", "1", "-o", "@/m.####.exr", "--preview", "@/p/p.####.png", "--manifest", "@/j/m.json"},
         {"p/keep.txt", "j/keep.txt"},
         {"p/" + temporary("q.0009.png", gone), "j/" + temporary("m.json", gone)}},
        {"a process id alive here",
         {"--frames", "1", "-o", "@/m.####.exr"},
         {},
         {temporary("m.0001.exr", getpid()), temporary("m.0002.exr", 1)}},
    };
    for (const CleanupCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchFolder dir;
        for (const std::string& f : c.existing) {
            fs::create_directories(fs::path(dir.file(f)).parent_path());
            test::write_bytes(dir.file(f), "kept");
        }
        std::vector<std::string> args = {"render", "--size", "8x4", "-q"};
        for (const std::string& a : c.args) args.push_back(a[0] == '@' ? dir.path() + a.substr(1) : a);
        std::string map_before;
        if (c.rendered_before) {
            std::vector<std::string> first = args;
            first.erase(std::find(first.begin(), first.end(), "--skip-existing"));
            ASSERT_EQ(run_stmap(first).status, 0);
            map_before = test::read_bytes(dir.file("m.0001.exr"));
        }
        for (const std::string& f : c.abandoned) {
            fs::create_directories(fs::path(dir.file(f)).parent_path());
            test::write_bytes(dir.file(f), "half");
        }
        const CommandResult r = run_stmap(args);
        ASSERT_EQ(r.status, 0) << r.err;
        if (c.rendered_before) {
            EXPECT_EQ(test::read_bytes(dir.file("m.0001.exr")), map_before) << "skipped";
        }
        for (const std::string& f : c.abandoned) EXPECT_FALSE(fs::exists(dir.file(f))) << f;
        for (const std::string& f : c.existing) EXPECT_EQ(test::read_bytes(dir.file(f)), "kept") << f;
    }
}

}  // namespace
}  // namespace talvik::test

namespace talvik::test {
namespace {

// What the preloaded logger saw: fsync of a file or folder by inode, and
// renames of an inode onto a name.
struct SyncCall {
    std::string call, what;  // "fsync" file|folder inode, "rename" inode path
    unsigned long long inode = 0;
};

std::vector<SyncCall> read_sync_log(const std::string& path) {
    std::vector<SyncCall> calls;
    std::istringstream in(test::read_bytes(path));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        SyncCall c;
        words >> c.call;
        if (c.call == "fsync") words >> c.what >> c.inode;
        if (c.call == "rename") {
            words >> c.inode;
            std::getline(words >> std::ws, c.what);
        }
        calls.push_back(c);
    }
    return calls;
}

unsigned long long inode_of(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.st_ino) : 0;
}

// A machine that crashes must leave the old file or the whole new one: every
// file's bytes are flushed before its rename, and its folder after it.
TEST(Temporaries, EveryFileIsFlushedBeforeItsRenameAndItsFolderAfter) {
    if (kSanitized) GTEST_SKIP() << "a sanitizer's runtime must be loaded before any preloaded library";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> written;
    } runs[] = {
        // ZIP maps by our chunk writer (frame 2 copies frame 1's chunks),
        // previews, the manifest and the overscan report.
        {{"render", "--size", "64x36", "--frames", "1-2", "-q", "--overscan", "4", "-o", "@/m.####.exr", "--preview",
          "@/p.####.png", "--manifest", "@/manifest.json", "--overscan-report", "@/report.json"},
         {"m.0001.exr", "m.0002.exr", "manifest.json", "p.0001.png", "p.0002.png", "report.json"}},
        // PIZ by OpenEXR's writer.
        {{"render", "--size", "64x36", "-q", "--compression", "piz", "-o", "@/m.exr"}, {"m.exr"}},
        {{"overscan", "--size", "64x36", "--set", "k1=-0.05", "-o", "@/overscan.json"}, {"overscan.json"}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.written.back());
        test::ScratchFolder dir;
        const std::string out = dir.file("out");
        fs::create_directory(out);
        std::vector<std::string> args;
        for (const std::string& a : run.args) args.push_back(a[0] == '@' ? out + a.substr(1) : a);
        ProcessOptions options;
        options.environment = {"LD_PRELOAD=" TALVIK_SYNC_PRELOAD, "TALVIK_SYNC_LOG=" + dir.file("sync.log")};
        const CommandResult r = run_stmap(args, options);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<SyncCall> calls = read_sync_log(dir.file("sync.log"));
        const unsigned long long folder = inode_of(out);
        std::vector<std::string> written;
        for (const auto& e : fs::directory_iterator(out)) written.push_back(e.path().filename().string());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, run.written);
        for (const std::string& name : written) {
            SCOPED_TRACE(name);
            const std::string path = out + "/" + name;
            const auto renamed = std::find_if(calls.begin(), calls.end(),
                                              [&](const SyncCall& c) { return c.call == "rename" && c.what == path; });
            ASSERT_NE(renamed, calls.end()) << "written under another name and renamed";
            EXPECT_EQ(renamed->inode, inode_of(path));
            EXPECT_TRUE(std::any_of(calls.begin(), renamed, [&](const SyncCall& c) {
                return c.call == "fsync" && c.what == "file" && c.inode == renamed->inode;
            })) << "the file flushed before its rename";
            EXPECT_TRUE(std::any_of(renamed, calls.end(), [&](const SyncCall& c) {
                return c.call == "fsync" && c.what == "folder" && c.inode == folder;
            })) << "the folder flushed after the rename";
        }
    }
}

}  // namespace
}  // namespace talvik::test
