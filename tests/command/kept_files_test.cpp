// A file in place is kept by --skip-existing only when it is whole: a map
// or preview cut short (a crash, a full disk, a copy interrupted) is
// rendered again however much of it survived.
#include <gtest/gtest.h>

#include <filesystem>

#include "python_json.h"
#include "run_command.h"
#include "tests/exr/exr_chunks.h"
#include "tests/support/exr_map.h"
#include "tests/support/lens_take_writer.h"
#include "tests/support/scratch_folder.h"

namespace talvik::test {
namespace {

namespace py = pybind11;
const std::string kTake = std::string(TALVIK_SAMPLE_DIR) + "/sample_take.fbx";  // keyed 1001-1024

std::vector<std::string> shot_args(const ScratchFolder& dir) {
    return {"render", "--size", "64x36", "--fbx", kTake, "--camera", "2", "--frames", "1001-1005",
            "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"), "--quiet"};
}

void cut(const std::string& path, size_t size) {
    const std::string bytes = read_bytes(path);
    ASSERT_LT(size, bytes.size()) << path;
    write_bytes(path, bytes.substr(0, size));
}

TEST(KeptFiles, CutFilesAreRenderedAgain) {
    ScratchFolder dir;
    std::vector<std::string> args = shot_args(dir);
    ASSERT_EQ(run_stmap(args).status, 0);
    const std::string whole_map = read_bytes(dir.file("m.1004.exr"));
    const std::string whole_preview = read_bytes(dir.file("p.1005.png"));

    // 1001: to its header; 1002: to 60 %; 1004: one byte short; the preview
    // of 1005 inside its pixels, after its identity chunk, which still reads.
    cut(dir.file("m.1001.exr"), exr::test::header_bytes(dir.file("m.1001.exr")).size());
    cut(dir.file("m.1002.exr"), read_bytes(dir.file("m.1002.exr")).size() * 6 / 10);
    cut(dir.file("m.1004.exr"), whole_map.size() - 1);
    const size_t idat = whole_preview.find("IDAT");
    ASSERT_GT(idat, whole_preview.find("iTXt"));
    cut(dir.file("p.1005.png"), idat + 4 + 10);
    // OpenEXR still opens a map whose header and offset table are whole.
    EXPECT_EQ(Imf::InputFile(dir.file("m.1002.exr").c_str()).header().dataWindow().max.x, 63);

    args.push_back("--skip-existing");
    args.push_back("--manifest");
    args.push_back(dir.file("run.json"));
    const CommandResult r = run_stmap(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const py::object manifest = parse_json(read_bytes(dir.file("run.json")));
    EXPECT_EQ(manifest["frames_kept"].cast<int>(), 1) << "only 1003 is whole";
    EXPECT_EQ(manifest["frames_stale"].cast<int>(), 4);
    std::vector<std::string> stale;
    for (const py::handle path : manifest["stale"]) stale.push_back(path.cast<std::string>());
    EXPECT_EQ(stale, (std::vector<std::string>{dir.file("m.1001.exr"), dir.file("m.1002.exr"), dir.file("m.1004.exr"),
                                               dir.file("p.1005.png")}));
    EXPECT_EQ(read_bytes(dir.file("m.1004.exr")), whole_map);
    EXPECT_EQ(read_bytes(dir.file("p.1005.png")), whole_preview);
    for (int frame : {1001, 1002}) EXPECT_EQ(read_exr_map(dir.file("m." + std::to_string(frame) + ".exr")).width, 64);
}

// A map is known by the values it is rendered from, not by its take: the
// same take reached by another path (a copy, a relative path) keeps every
// frame, and so does a take exported again with the same keys.
TEST(KeptFiles, TakesAreKnownByTheirKeys) {
    ScratchFolder dir;
    const std::string take = ascii_take(lens_take(2, 1, 3));
    write_bytes(dir.file("take.fbx"), take);
    std::filesystem::create_directory(dir.file("copy"));
    write_bytes(dir.file("copy/take.fbx"), take);
    auto run = [&](const std::string& fbx, bool skip) {
        std::vector<std::string> args = {"render", "--size", "16x9", "--fbx", fbx, "--camera", "2",
                                         "-o", dir.file("m.####.exr"), "--preview", dir.file("p.####.png"),
                                         "--manifest", dir.file("run.json"), "--quiet"};
        if (skip) args.push_back("--skip-existing");
        const CommandResult r = run_stmap(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return parse_json(read_bytes(dir.file("run.json")));
    };
    run(dir.file("take.fbx"), false);
    const std::string relative = std::filesystem::relative(dir.file("take.fbx")).string();
    ASSERT_NE(relative.front(), '/');
    for (const std::string& same : {dir.file("copy/take.fbx"), relative}) {
        const py::object manifest = run(same, true);
        EXPECT_EQ(manifest["frames_kept"].cast<int>(), 3) << same;
        EXPECT_EQ(manifest["frames_stale"].cast<int>(), 0) << same;
    }
    // Another take over the same path: a comment more, the same keys.
    write_bytes(dir.file("take.fbx"), take + "\n; edited since\n");
    const py::object manifest = run(dir.file("take.fbx"), true);
    EXPECT_EQ(manifest["frames_kept"].cast<int>(), 3);
    EXPECT_EQ(manifest["frames_stale"].cast<int>(), 0);
}

}  // namespace
}  // namespace talvik::test
