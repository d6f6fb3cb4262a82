#include "io/temporary_name.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(TemporaryName, StaleOnesOfDeadProcessesOfThePatternAreRemoved) {
    test::ScratchFolder dir;
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const std::string host = io::this_host_tag();
    auto temp = [&](const std::string& final_name, pid_t pid, const std::string& tag) {
        return "." + final_name + ".talvik-tmp-" + tag + "-" + std::to_string(pid) + "-0";
    };
    const std::string stale = temp("m.0001.exr", dead, host);
    const std::vector<std::string> kept = {
        temp("m.0002.exr", getpid(), host),  // a living process
        temp("other.0001.exr", dead, host),  // another output
        temp("m.0003.exr", dead, "0badc0de" == host ? "0badc0df" : "0badc0de"),  // another machine
    };
    for (const std::string& name : kept) test::write_bytes(dir.file(name), "x");
    test::write_bytes(dir.file(stale), "x");
    std::filesystem::create_directory(dir.file(temp("m.0004.exr", dead, host)));  // not a file
    EXPECT_EQ(io::remove_stale_temporaries(dir.path(), "m."), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file(stale)));
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
}

}  // namespace
}  // namespace talvik::cli
