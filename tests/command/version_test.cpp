// The version a build names: `git describe` of its source (tag, commits
// since, commit, -dirty), the same in --version, in every map and in the
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

// What git says of the source tree now, "" without git.
std::string git_describe() {
    const std::string command = "git -C '" TALVIK_SOURCE_DIR "' describe --tags --long --dirty --match 'v[0-9]*' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    if (pclose(pipe) != 0 || !got) return "";
    std::string out = line;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out.rfind('v', 0) == 0 ? out.substr(1) : out;
}

TEST(Version, HasTheShapeOfGitDescribe) {
    const std::string version = command_version();
    // 1.1.0, 1.1.0-0-g1a2b3c4, 1.1.0-12-g1a2b3c4-dirty, or 1.1.0-g1a2b3c4
    // for a checkout without a release tag.
    static const std::regex shape(R"(\d+\.\d+\.\d+(-\d+-g[0-9a-f]{7,40}|-g[0-9a-f]{7,40})?(-dirty)?)");
    EXPECT_TRUE(std::regex_match(version, shape)) << version;
    EXPECT_NE(version, "1.0.0");
    // Built from this checkout: what describe says of it now (the build
    // regenerates the version whenever describe changes).
    const std::string described = git_describe();
    if (!described.empty()) {
        EXPECT_EQ(version, described);
    }
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
