#include "io/temporary_name.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tests/support/scratch_folder.h"

namespace talvik::cli {
namespace {

std::string name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

TEST(TemporaryName, HiddenBesideTheFileAndReadBack) {
    const std::string temp = io::temporary_path_for("out/m.1004.exr", 3);
    EXPECT_EQ(temp.rfind("out/.m.1004.exr.talvik-tmp-", 0), 0u) << temp;
    io::TemporaryName parsed;
    ASSERT_TRUE(io::parse_temporary_name(name_of(temp), parsed));
    EXPECT_EQ(parsed.final_name, "m.1004.exr");
    EXPECT_EQ(parsed.host, io::this_host_tag());
    EXPECT_EQ(parsed.pid, getpid());
    for (const char* other : {"m.1004.exr", ".m.1004.exr.tmp-12167-3", ".m.exr.talvik-tmp-0000000g-1-2",
                              ".m.exr.talvik-tmp-00000000--2", ".m.exr.talvik-tmp-00000000-1-", "m.talvik-tmp-00000000-1-2"})
        EXPECT_FALSE(io::parse_temporary_name(other, parsed)) << other;
}

TEST(TemporaryName, FitsWhereverTheFinalNameFits) {
    // The longest name the folder takes, and paths at the path limit.
    const std::string longest(255, 'a');
    const std::string temp = io::temporary_path_for("dir/" + longest, 12345, 255, 4096);
    EXPECT_LE(name_of(temp).size(), 255u);
    io::TemporaryName parsed;
    ASSERT_TRUE(io::parse_temporary_name(name_of(temp), parsed));
    EXPECT_EQ(longest.rfind(parsed.final_name, 0), 0u) << "a shortened copy keeps the start";
    const std::string deep = std::string(4000, 'd') + "/" + std::string(90, 'n');
    EXPECT_LE(io::temporary_path_for(deep, 1, 255, 4096).size(), 4095u);
    // A UTF-8 character is never cut in half ("é" is two bytes).
    std::string accented;
    while (accented.size() < 260) accented += "\xc3\xa9";
    for (const long name_max : {255, 256}) {  // one of them would cut inside a character
        const std::string cut = name_of(io::temporary_path_for(accented.substr(0, 254), 1, name_max, 4096));
        ASSERT_TRUE(io::parse_temporary_name(cut, parsed));
        EXPECT_LE(cut.size(), static_cast<size_t>(name_max));
        EXPECT_EQ(parsed.final_name.size() % 2, 0u);
    }
}

// Whether a temporary's writer lives is told by its lock alone: a process id
// means nothing in another PID namespace or on another machine.
TEST(TemporaryName, OnlyTemporariesNobodyHoldsLockedAreRemoved) {
    test::ScratchFolder dir;
    auto temp = [&](const std::string& final_name, pid_t pid, const std::string& tag) {
        return "." + final_name + ".talvik-tmp-" + tag + "-" + std::to_string(pid) + "-0";
    };
    const std::string host = io::this_host_tag();
    const std::vector<std::string> abandoned = {
        temp("m.0001.exr", 1, host),              // whatever process 1 is here
        temp("other.0001.exr", 2, host),           // another output's
        temp("m.0003.exr", 3, "0badc0de"),         // another machine's
    };
    for (const std::string& name : abandoned) test::write_bytes(dir.file(name), "x");
    // A live writer in another namespace: its pid is this process's own or
    // any other; only its lock says it lives.
    const std::string live = dir.file(temp("m.0002.exr", 12345, host));
    const int live_fd = io::create_locked_temporary(live);
    ASSERT_GE(live_fd, 0) << std::strerror(errno);
    const std::string live_here = io::temporary_path_for(dir.file("m.0004.exr"), 0);
    const int live_here_fd = io::create_locked_temporary(live_here);
    ASSERT_GE(live_here_fd, 0) << std::strerror(errno);
    std::filesystem::create_directory(dir.file(temp("m.0005.exr", 4, host)));  // not a file
    test::write_bytes(dir.file("m.0006.exr"), "a map");                      // not a temporary

    EXPECT_EQ(io::remove_stale_temporaries(dir.path()), 3);
    for (const std::string& name : abandoned) EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(live));
    EXPECT_TRUE(std::filesystem::is_regular_file(live_here));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file(temp("m.0005.exr", 4, host))));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("m.0006.exr")));

    close(live_fd);  // the writer is killed: its lock goes with it
    EXPECT_EQ(io::remove_stale_temporaries(dir.path()), 1);
    EXPECT_FALSE(std::filesystem::exists(live));
    close(live_here_fd);
}

TEST(TemporaryName, ALockedTemporaryCannotBeCreatedTwice) {
    test::ScratchFolder dir;
    const std::string path = io::temporary_path_for(dir.file("m.exr"), 7);
    const int fd = io::create_locked_temporary(path);
    ASSERT_GE(fd, 0);
    errno = 0;
    EXPECT_EQ(io::create_locked_temporary(path), -1);
    EXPECT_EQ(errno, EEXIST);
    close(fd);
    EXPECT_EQ(io::create_locked_temporary(dir.file("missing/.m.exr.talvik-tmp-00000000-1-0")), -1);
}

}  // namespace
}  // namespace talvik::cli
