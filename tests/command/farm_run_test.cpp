// What a pipeline and a render farm rely on: frames as Nuke writes them,
// warnings for held frames, re-queued chunks that finish only what is
// missing, a manifest of what was written, versions, and exit status.
#include <gtest/gtest.h>

#include <OpenEXRConfig.h>

#include <filesystem>
#include <fstream>

#include "tests/support/exr_map.h"
#include "python_json.h"
#include "run_command.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/fixture_util.h"

namespace talvik::test {
namespace {

namespace py = pybind11;
const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024

TEST(FarmRun, BlankSeparatedFramesAndHeldFramesWarning) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "1", "--frames",
                                 "1001 1003-1005x2", "-o", dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"m.1001.exr", "m.1003.exr", "m.1005.exr"}));
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << "all frames keyed: " << r.err;

    // Frames outside the keyed range hold the first or last key: said, not hidden.
    r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "1", "--frames", "1-3 1001 1030",
                   "-o", dir.file("h.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: frames 1-3,1030 are outside the take's keyed range 1001-1024"),
              std::string::npos)
        << r.err;
    const ExrMap held = read_exr_map(dir.file("h.0001.exr"));
    const ExrMap first = read_exr_map(dir.file("h.1001.exr"));
    EXPECT_EQ(held.attribute<Imf::FloatAttribute>("talvik/cx")->value(),
              first.attribute<Imf::FloatAttribute>("talvik/cx")->value());
    EXPECT_EQ(held.s, first.s);
}

TEST(FarmRun, SummaryNamesDefaultSizeAndPlugin) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--set", "k1=0.01", "--threads", "2", "-o", dir.file("d.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("size 4320 x 2160: the node's default (no --plate or --size given)"), std::string::npos)
        << r.err;
    const CommandResult version = run_stmap({"--version"});
    ASSERT_EQ(version.status, 0) << version.err;
    // "TalvikDistort plug-in built <date> for 15.0, <path>"
    const size_t comma = version.out.find(" for 15.0, ");
    ASSERT_NE(comma, std::string::npos) << version.out;
    const std::string plugin = version.out.substr(comma + 11, version.out.find('\n', comma) - comma - 11);
    EXPECT_TRUE(std::filesystem::is_regular_file(plugin)) << plugin;
    EXPECT_NE(r.err.find("plug-in " + plugin + "\n"), std::string::npos) << r.err;
    EXPECT_NE(version.out.find(std::string("\nOpenEXR ") + OPENEXR_VERSION_STRING + "\n"), std::string::npos)
        << version.out;

    r = run_stmap({"render", "--size", "16x9", "-o", dir.file("s.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("default"), std::string::npos) << r.err;
}

// A chunk stopped halfway is re-queued: it finishes only the missing frames
// and leaves the finished ones alone; the manifest says which is which.
TEST(FarmRun, SkipExistingFinishesAStoppedChunk) {
    test::ScratchFolder dir;
    CommandResult r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames",
                                 "1001-1003", "-o", dir.file("m.####.exr"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The stopped run left a temporary behind; a finished file is marked so
    // that rewriting it would show.
    test::write_bytes(dir.file(".m.1004.exr.tmp-99999-0"), "half a file");
    test::write_bytes(dir.file("m.1002.exr"), "finished earlier");

    r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames", "1001-1006",
                   "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"), "--skip-existing",
                   "--manifest", dir.file("manifest.json")});
    ASSERT_EQ(r.status, 0) << r.err;
    // A file that says nothing of what it was made from is not trusted.
    EXPECT_EQ(read_exr_map(dir.file("m.1002.exr")).width, 16);
    EXPECT_NE(r.err.find("wrote 6 frames"), std::string::npos) << "previews were missing: " << r.err;
    for (int frame = 1004; frame <= 1006; ++frame)
        EXPECT_EQ(read_exr_map(dir.file("m." + std::to_string(frame) + ".exr")).width, 16);

    // Everything there now: nothing is rendered again.
    r = run_stmap({"render", "--size", "16x9", "--fbx", kTake, "--camera", "2", "--frames", "1001-1006",
                   "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"), "--skip-existing"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("skipped 6 frames whose files exist"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("wrote 0 frames"), std::string::npos) << r.err;

    const py::object manifest = parse_json(test::read_bytes(dir.file("manifest.json")));
    const py::list files = manifest["files"];
    const py::list skipped = manifest["skipped"];
    ASSERT_EQ(py::len(files), 10u) << "m.1002, m.1004-1006 and p.1001-1006";
    ASSERT_EQ(py::len(skipped), 2u);
    EXPECT_EQ(skipped[0].cast<std::string>(), std::filesystem::absolute(dir.file("m.1001.exr")).string());
    for (const py::handle entry : files) {
        const std::string path = entry["path"].cast<std::string>();
        const int frame = entry["frame"].cast<int>();
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
        EXPECT_NE(path.find(std::to_string(frame)), std::string::npos) << path;
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".exr") == 0) {
            // The controls listed are the ones the map was rendered from.
            const ExrMap map = read_exr_map(path);
            EXPECT_EQ(entry["controls"]["cx"].cast<float>(), map.attribute<Imf::FloatAttribute>("talvik/cx")->value());
            EXPECT_EQ(entry["controls"]["Mode"].cast<std::string>(),
                      map.attribute<Imf::StringAttribute>("talvik/Mode")->value());
            EXPECT_EQ(entry["controls"]["camera_index"].cast<int>(), 2);
        }
    }
    EXPECT_NE(manifest["plugin"].cast<std::string>().find("TalvikDistort.so"), std::string::npos);
}

// A frame whose EXR exists but whose preview does not is rendered for the
// preview alone; the next frame with the same controls must not get the
// compressed chunks of the EXR written before it.
TEST(FarmRun, SkippedExrDoesNotLendStaleChunksToTheNextFrame) {
    test::ScratchFolder dir;
    const std::vector<std::string> take = {"--size", "40x24", "--fbx", kTake, "--camera", "2", "--quiet"};
    auto render = [&](std::vector<std::string> args) {
        args.insert(args.begin(), take.begin(), take.end());
        args.insert(args.begin(), "render");
        return run_stmap(args);
    };
    CommandResult r = render({"--frames", "1024", "-o", dir.file("m.####.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    // 1030 holds the last key (1024's controls); 1024's EXR is there already.
    r = render({"--frames", "1001 1024 1030", "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"),
                "--skip-existing"});
    ASSERT_EQ(r.status, 0) << r.err;
    const ExrMap first = read_exr_map(dir.file("m.1001.exr"));
    const ExrMap last = read_exr_map(dir.file("m.1024.exr"));
    const ExrMap held = read_exr_map(dir.file("m.1030.exr"));
    ASSERT_NE(first.s, last.s) << "the take must change the lens between its first and last key";
    EXPECT_EQ(held.s, last.s);
    EXPECT_EQ(held.t, last.t);
}

TEST(FarmRun, ExitStatusSaysWhoseFaultItWas) {
    test::ScratchFolder dir;
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{"render", "--bogus"}, 2},
        {{"render", "--size", "16x9", "--frames", "1-", "-o", dir.file("m.#.exr")}, 2},
        {{"render", "--size", "16x9", "--set", "nope=1", "-o", dir.file("m.exr")}, 2},
        {{"render", "--size", "16x9", "-o", dir.file("m.#.exr"), "--manifest", dir.file("m.1.exr")}, 2},
        {{"render", "--plate", dir.file("missing.exr"), "-o", dir.file("m.exr")}, 1},
        {{"render", "--size", "16x9", "--fbx", dir.file("missing.fbx"), "-o", dir.file("m.exr")}, 1},
        {{"inspect", "a.fbx", "b.fbx"}, 2},
    };
    for (const auto& c : cases) {
        const CommandResult r = run_stmap(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << ": " << r.err;
        EXPECT_NE(r.err.find("talvik-stmap: "), std::string::npos) << r.err;
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(FarmRun, InspectJsonHoldsTheSameFactsAsTheText) {
    const std::string take = fbx::testing::fixture("blender_take.fbx");
    const CommandResult text = run_stmap({"inspect", take});
    const CommandResult json = run_stmap({"inspect", "--json", take});
    ASSERT_EQ(json.status, 0) << json.err;
    const py::object facts = parse_json(json.out);
    EXPECT_EQ(facts["file"].cast<std::string>(), take);
    EXPECT_EQ(facts["fps"].cast<double>(), 24.0);
    const py::list cameras = facts["cameras"];
    ASSERT_EQ(py::len(cameras), 2u);
    for (const py::handle camera : cameras) {
        // The text line this camera has, rebuilt from the JSON.
        const std::string line = "  camera " + std::to_string(camera["camera"].cast<int>()) + ": frames " +
                                 std::to_string(camera["first_frame"].cast<int>()) + "-" +
                                 std::to_string(camera["last_frame"].cast<int>()) + ", " +
                                 std::to_string(camera["keys"].cast<int>()) + " keys\n";
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
        EXPECT_EQ(py::len(camera["missing"]), 0u);
    }

    const CommandResult none = run_stmap({"inspect", fbx::testing::fixture("crafted_ascii.fbx"), "--json"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(py::len(parse_json(none.out)["cameras"]), 0u);
}

}  // namespace
}  // namespace talvik::test
