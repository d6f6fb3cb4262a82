// The version a build names: its checkout's release, commits in history,
// commit and -dirty, the same in --version, in every map and in the
// manifest, so two builds can be told apart from their output.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/exr_map.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

std::string command_version() {
    const CommandResult r = run_stmap({"--version"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string first = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(first.rfind("talvik-stmap ", 0), 0u) << r.out;
    return first.substr(std::string("talvik-stmap ").size());
}

// The first line git prints for `arguments` run on the source tree, "" when
// it fails (no git, no checkout).
std::string git(const std::string& arguments) {
    const std::string command = "git -C '" TALVIK_SOURCE_DIR "' " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    if (pclose(pipe) != 0 || !got) return "";
    std::string out = line;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

TEST(Version, NamesTheCommitsInHistoryAndTheCommit) {
    const std::string version = command_version();
    // 1.1.0 from a tree without git, else 1.1.0-251-g1a2b3c4[-dirty].
    static const std::regex shape(R"((\d+\.\d+\.\d+)(-(\d+)-g([0-9a-f]{7,40})(-dirty)?)?)");
    std::smatch part;
    ASSERT_TRUE(std::regex_match(version, part, shape)) << version;
    EXPECT_NE(version, "1.0.0");
    // Built from this checkout: what git says of it now (the build
    // regenerates the version whenever that changes).
    const std::string count = git("rev-list --count HEAD");
    if (count.empty()) return;
    ASSERT_TRUE(part[2].matched) << "built from a checkout, the version names no commit: " << version;
    EXPECT_EQ(part[3].str(), count);
    EXPECT_EQ(git("rev-parse HEAD").rfind(part[4].str(), 0), 0u) << version;
    const std::string modified = git("describe --always --dirty");
    EXPECT_EQ(part[5].matched, modified.size() > 6 && modified.compare(modified.size() - 6, 6, "-dirty") == 0)
        << version << " vs " << modified;
}

TEST(Version, MapsAndManifestCarryIt) {
    const std::string version = command_version();
    ScratchFolder dir;
    const CommandResult r = run_stmap({"render", "--size", "16x9", "--set", "k1=0.02", "-o", dir.file("m.exr"),
                                       "--manifest", dir.file("manifest.json"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap map = read_exr_map(dir.file("m.exr"));
    ASSERT_NE(map.attribute<Imf::StringAttribute>("talvik/version"), nullptr);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("talvik/version")->value(), version);
    // OpenEXR's standard attribute for the program that wrote the file.
    ASSERT_NE(map.attribute<Imf::StringAttribute>("software"), nullptr);
    EXPECT_EQ(map.attribute<Imf::StringAttribute>("software")->value(), "talvik-stmap " + version);
    const pybind11::object manifest = parse_json(read_bytes(dir.file("manifest.json")));
    EXPECT_EQ(manifest["command"].cast<std::string>(), "talvik-stmap " + version);
}

}  // namespace
}  // namespace talvik::test
