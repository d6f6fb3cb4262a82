// Every JSON document the command writes is valid UTF-8 that Python's json
// reads, and a name that is not UTF-8 keeps its bytes: os.fsencode of what
// json.load gives is the name the command was given.
#include <gtest/gtest.h>

#include <filesystem>

#include "python_json.h"
#include "run_command.h"
#include "tests/support/fixture_util.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;

// The bytes Python's os.fsencode gives for a string read from JSON (UTF-8
// with surrogateescape, as on any Linux with a UTF-8 locale).
std::string fs_bytes(const py::handle text) {
    return text.attr("encode")("utf-8", "surrogateescape").cast<std::string>();
}

// Texts that are not UTF-8 in the ways file names are not: Latin-1, bytes
// cut from a longer sequence, overlong forms, encoded surrogates, code points
// beyond U+10FFFF; next to valid UTF-8 and characters JSON must escape.
const std::vector<std::string>& awkward_texts() {
    static const std::vector<std::string> texts = {
        "caf\xe9 cr\xe8me",          // Latin-1
        "\xff\xfe",                  // never in UTF-8
        "a\xe2\x82",                 // the start of a three-byte sequence, cut
        "\xc0\x80 \xe0\x80\x80",     // overlong forms of NUL
        "\xed\xa0\x80\xed\xbf\xbf",  // UTF-8 of surrogates
        "\xf4\x90\x80\x80",          // beyond U+10FFFF
        "\x80\xbf",                  // continuation bytes alone
        "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac",  // valid: é € 🎬
        "quote\" back\\ tab\t nl\n del\x7f",
    };
    return texts;
}

TEST(JsonOutput, PrintControlsKeepsEveryTextsBytes) {
    for (const std::string& text : awkward_texts()) {
        SCOPED_TRACE(testing::PrintToString(text));
        const CommandResult r =
            run_stmap({"render", "--size", "4x4", "--print-controls", "--set", "fbx_file_path=" + text});
        ASSERT_EQ(r.status, 0) << r.err;
        const py::object line = parse_json(r.out);  // raises on text that is not UTF-8
        EXPECT_EQ(fs_bytes(line["fbx_file_path"]), text);
    }
}

TEST(JsonOutput, ManifestPathsThatAreNotUtf8KeepTheirBytes) {
    test::ScratchFolder dir;
    const std::string folder = dir.file("shot_\xe9t\xe9");
    const CommandResult r = run_stmap({"render", "--size", "4x4", "--frames", "1-2", "-q", "-o",
                                       folder + "/m\xff.####.exr", "--manifest", folder + "/manifest.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object manifest = parse_json(test::read_bytes(folder + "/manifest.json"));
    const py::list files = manifest["files"];
    ASSERT_EQ(py::len(files), 2u);
    EXPECT_EQ(fs_bytes(files[0]["path"]), folder + "/m\xff.0001.exr");
    EXPECT_EQ(fs_bytes(files[1]["path"]), folder + "/m\xff.0002.exr");
    EXPECT_TRUE(std::filesystem::is_regular_file(fs_bytes(files[1]["path"])));
}

TEST(JsonOutput, InspectJsonKeepsTheTakesNameBytes) {
    test::ScratchFolder dir;
    const std::string take = dir.file("take_\xe9\xff_cam1.fbx");
    std::filesystem::copy_file(fbx::testing::fixture("blender_take.fbx"), take);
    const CommandResult r = run_stmap({"inspect", "--json", take});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs_bytes(parse_json(r.out)["file"]), take);
}

}  // namespace
}  // namespace talvik::test
