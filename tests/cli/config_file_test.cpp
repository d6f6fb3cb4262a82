// Config files: what they set, what they may not, and what config shows.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/config_command.h"
#include "cli/options/command_options.h"
#include "cli/options/config_file.h"
#include "shot/usage_error.h"

namespace talvik::cli {
namespace {

CommandLine parsed(const std::vector<std::string>& files, const std::vector<std::string>& args) {
    std::vector<ConfigFile> read;
    for (size_t i = 0; i < files.size(); ++i) read.push_back(ConfigFile::parse(files[i], "f" + std::to_string(i)));
    return parse_command_line(args, ConfigFiles(std::move(read)));
}

// The files under the command line, a section over the global keys, the
// user's file over the system's key by key; `expect` the resulting
// threads/compression/sets, or the refusal's text.
TEST(ConfigFile, ValuesTheCommandTakes) {
    struct Case {
        std::vector<std::string> files;  // least important first
        std::vector<std::string> args;   // after "render --size 8x8 -o m.exr"
        std::string expect;
    };
    const std::vector<Case> cases = {
        {{"threads = 2\n"}, {}, "threads 2"},
        {{"threads = 2\n"}, {"--threads", "3"}, "threads 3"},
        {{"threads = 2\n[render]\nthreads = 3\n"}, {}, "threads 3"},
        {{"[overscan]\nthreads = 3\n"}, {}, "threads 0"},
        {{"threads = 2\ncompression = piz\n", "  # mine\nthreads = 4\n"}, {}, "threads 4 piz"},
        {{"set = a=1\nset = b=2\n"}, {}, "set a=1 set b=2"},
        {{"set = a=1\n"}, {"--set", "c=3"}, "set c=3"},
        {{"overscan = 4\n"}, {"--overscan-from", "r.json"}, "threads 0"},  // not "give one"
        {{"threads = 0\n"}, {}, "f0\" line 1: --threads 0 is out of range"},
        {{"threads = 2\n\nthreds = 2\n"}, {}, "line 3: unknown key \"threds\"; did you mean threads?"},
        {{"[inspect]\nthreads = 2\n"}, {}, "line 2: \"threads\": inspect takes no --threads"},
        {{"output = m.exr\n"}, {}, "line 1: \"output\" is -o, --output, which only the command line may give"},
        {{"fbx = t.fbx\n"}, {}, "line 1: \"fbx\" is --fbx, which"},
        {{"threads 2\n"}, {}, "line 1: \"threads 2\" is not KEY = VALUE"},
        {{"[render\n"}, {}, "line 1: \"[render\" is not a [COMMAND] section"},
        {{"threads = 1\nthreads = 2\n"}, {}, "line 2: \"threads\" given twice"},
        {{"alpha = yes\n"}, {}, "line 1: \"alpha\" is a flag"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.back());
        std::vector<std::string> args = {"render", "--size", "8x8", "-o", "m.exr"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string got;
        try {
            const CommandLine cl = parsed(c.files, args);
            const RenderOptions& o = cl.render;
            got = "threads " + std::to_string(o.threads);
            if (o.compression == exr::StMapCompression::Piz) got += " piz";
            if (!o.sets.empty()) got = "";
            for (const auto& [name, value] : o.sets) got += (got.empty() ? "set " : " set ") + name + "=" + value;
        } catch (const shot::UsageError& e) {
            got = e.what();
        }
        EXPECT_NE(got.find(c.expect), std::string::npos) << got;
    }
}

// config shows each value's origin: the command line, a file's line, or
// the default.
TEST(ConfigFile, ConfigShowsWhereEachValueCameFrom) {
    std::vector<ConfigFile> files = {ConfigFile::parse("threads = 2\n[render]\noverscan = auto\n", "/etc/xdg/t")};
    const CommandLine cl = parse_command_line({"config", "render", "--threads", "3"}, ConfigFiles(std::move(files)));
    char* text = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    run_config(cl.config, out);
    std::fclose(out);
    const std::string shown(text, size);
    std::free(text);
    for (const char* line : {"threads = 3 ", "overscan = auto ", "alpha "}) {
        const size_t at = shown.find(std::string("\n") + line);
        ASSERT_NE(at, std::string::npos) << line << " in\n" << shown;
        const std::string rest = shown.substr(at + 1, shown.find('\n', at + 1) - at - 1);
        const char* origin = line[0] == 't' ? " command line" : line[0] == 'o' ? " /etc/xdg/t:3" : " default";
        EXPECT_EQ(rest.substr(rest.size() - std::string(origin).size()), origin) << rest;
    }
}

// A file that is not one to read is refused at once, naming it, and never
// waited on.
TEST(ConfigFile, RefusesWhatIsNotAConfigFile) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "config_kinds";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "folder");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> written = {
        {"huge", std::string((1 << 20) + 1, '#')}, {"latin1", "threads = 2 # \xe9t\xe9\n"},
        {"escape", "set = a=\x1b]0;x\x07\n"},       {"csi", "set = a=\xc2\x9b" "2J\n"},
        {"ok", "threads = 2\n"},
    };
    for (const auto& [name, text] : written) std::ofstream(dir / name, std::ios::binary) << text;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"folder", "a folder"},          {"fifo", "not a regular file"},    {"huge", "larger than 1 MiB"},
        {"latin1", "line 1: not UTF-8"}, {"escape", "line 1: holds a control character"},
        {"csi", "line 1: holds a control character"},
    };
    for (const auto& [name, refusal] : cases) {
        try {
            ConfigFile::read((dir / name).string());
            ADD_FAILURE() << name << " was read";
        } catch (const shot::UsageError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + (dir / name).string() + "\""), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(refusal), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(ConfigFile::read((dir / "none").string()));
    // The system's folders, the first most important, then the user's.
    for (const char* folder : {"a/talvik", "b/talvik", "home/talvik"}) {
        std::filesystem::create_directories(dir / folder);
        std::filesystem::copy_file(dir / "ok", dir / folder / "config");
    }
    ::unsetenv("TALVIK_CONFIG");
    ::setenv("XDG_CONFIG_DIRS", (dir / "a").string().append(":relative:" + (dir / "b").string()).c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(ConfigFiles::from_environment().paths(),
              (std::vector<std::string>{(dir / "b/talvik/config").string(), (dir / "a/talvik/config").string(),
                                        (dir / "home/talvik/config").string()}));
    ::setenv("TALVIK_CONFIG", (dir / "none").c_str(), 1);
    EXPECT_THROW(ConfigFiles::from_environment(), shot::UsageError);
    ::setenv("TALVIK_CONFIG", "", 1);
    EXPECT_TRUE(ConfigFiles::from_environment().paths().empty());
    ::unsetenv("TALVIK_CONFIG");
}

}  // namespace
}  // namespace talvik::cli
